#pragma once
// The commands of quillet, each over an open session; each returns the exit status.

#include "app/cli/Session.h"

namespace quillet {

int RunClientsCommand(Session& session);
int RunAccountsCommand(Session& session);
int RunListCommand(Session& session);
int RunShowCommand(Session& session);
int RunRefreshCommand(Session& session);
int RunRunCommand(Session& session);

// A signature by the identifier list prints, else by the exact name of one listed signature.
// Absent (with the reason printed) when none or several match.
std::optional<SignatureId> ResolveSignature(Core& core, const QString& text);

}  // namespace quillet
