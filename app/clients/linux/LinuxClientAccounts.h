#pragma once
// The identities of Evolution (from its registry), KMail (emailidentities) and Geary (its
// accounts' geary.ini) as accounts.

#include <optional>

#include "app/clients/ClientInfo.h"
#include "common/Accounts.h"

namespace quillet {

// Absent when the client's identities cannot be read (the registry unreachable, the file
// unreadable); logged.
std::optional<Accounts> DiscoverLinuxClientAccounts(ClientKind kind, const ClientInfo& info);

}  // namespace quillet
