#pragma once
// The commands of the existing-signature panel: update (fetch again and reinstall), rename,
// colour and uninstall. Each finds its signature as `show` does, does what the panel's button
// does, and waits for the work the engine set going.

#include "app/cli/Session.h"

namespace quillet {

int RunUpdateCommand(Session& session);
int RunRenameCommand(Session& session);
int RunColorCommand(Session& session);
int RunUninstallCommand(Session& session);

}  // namespace quillet
