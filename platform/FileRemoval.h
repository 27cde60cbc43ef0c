#pragma once
// The one way Quillet removes a folder with what is in it (Apple Mail's cache, a restore
// point): without ever following a symbolic link. A link, at the path itself or anywhere
// below, is removed as the link it is; what it points to (a folder elsewhere, the person's
// files) is never touched. Each folder is opened without following links and its entries are
// removed relative to it, so a folder swapped for a link while the removal runs is not
// followed either. No recursion: a folder nested deep costs open folders, and the system's
// limit on them fails the removal rather than the process.

#include <QString>
#include <optional>

#include "platform/FileFailure.h"

namespace quillet {

// Removes whatever is at the path: a file, a link, or a folder with everything in it. Nothing
// there is success. On a failure the removal goes on with the other entries and reports the
// first failure; what could be removed is gone.
std::optional<FileFailure> RemoveWithoutFollowingLinks(const QString& path);

}  // namespace quillet
