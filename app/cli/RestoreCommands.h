#pragma once
// quillet backups: the restore points, newest first (text, or --json: id, time, reason, clients,
// files). quillet restore ID [--client CLIENT…]: puts the store and the clients back as the
// point holds them, as a sync pass would (closing running clients after asking), after keeping a
// restore point of its own. A damaged or incomplete point is refused (exit 1) and nothing
// changes; so is a restore that the person postpones, as nothing carries it later.

#include "app/cli/Session.h"

namespace quillet {

int RunBackupsCommand(Session& session);
int RunRestoreCommand(Session& session);

}  // namespace quillet
