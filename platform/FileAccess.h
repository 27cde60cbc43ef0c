#pragma once
// Who may read Quillet's own files. The store, the accounts cache, the activity record, the
// managed links and the restore points hold signatures, account addresses and entries of the
// clients' files: only their owner may read them, whatever the umask. Files of other programs
// keep the permissions they have.

#include <sys/types.h>

#include <QString>
#include <optional>

#include "platform/FileFailure.h"

namespace quillet {

// The permissions a write gives the file it creates or replaces.
class FileAccess {
public:
    // Another program's file: the permissions it has; a new one gets the usual ones (read and
    // write for everyone, less the umask).
    static FileAccess ofTarget() { return FileAccess(std::nullopt); }
    // Quillet's own file: owner read and write (0600), whatever an earlier file had.
    static FileAccess ownerOnly();
    // The exact permissions; absent for ofTarget().
    const std::optional<mode_t>& mode() const { return _mode; }
    // Whether the folders a write creates for the file are owner-only too.
    bool ownFolders() const { return _mode.has_value(); }

private:
    explicit FileAccess(std::optional<mode_t> mode) : _mode(mode) {}
    std::optional<mode_t> _mode;
};

// Makes the folder and every missing folder above it, each owner-only (0700) whatever the
// umask: on a Linux desktop Quillet makes ~/Library itself. A folder that already stands at the
// path is Quillet's too and loses every permission of its group and others; existing folders
// above it are left as they are. Nothing on success.
std::optional<FileFailure> MakeOwnerOnlyFolder(const QString& path);

// Makes an empty file at the path, owner read and write (0600) whatever the umask, for a file
// that another library then fills: SQLite makes a new database as the umask allows, and its
// journal and shared-memory files (made later, by whichever process opens the store) as the
// database is. A file already there (another process made it first) is left as it is; a link
// there is not followed. Nothing on success.
std::optional<FileFailure> CreateOwnerOnlyFile(const QString& path);

// Takes every permission of the group and others from the file or folder at the path (the one
// a symbolic link there points to), as Quillet's own files had them before it kept them to
// their owner. Nothing there is success.
std::optional<FileFailure> RestrictToOwner(const QString& path);

}  // namespace quillet
