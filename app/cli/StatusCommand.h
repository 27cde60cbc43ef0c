#pragma once
// quillet status: whether this Mac is in order, for the person or an administrator's script.
// The detected clients and the permissions each still needs; every listed signature with where
// it is selected, where it is installed and where it is still pending; the last refresh and the
// last pass's problems. Exit status 0 when nothing is pending and the last refresh (if any)
// succeeded, 1 otherwise.

#include "app/cli/Session.h"

namespace quillet {

int RunStatusCommand(Session& session);

}  // namespace quillet
