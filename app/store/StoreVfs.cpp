#include "app/store/StoreVfs.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <mutex>

namespace quillet {

namespace {

sqlite3_vfs gStoreVfs;
sqlite3_vfs* gSystemVfs = nullptr;

// SQLite synchronises the folder at the first synchronisation of every journal it opens as one
// to be made, so that a new journal's name survives a power loss, and it opens the write-ahead
// log so in every process: a command's first commit waited for the disk twice. The log stays
// between processes (no process folds it in when it closes the store), and one that holds
// frames got its name onto the disk with the first commit written there, by the process that
// opened it as new.
int OpenStoreFile(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    if ((flags & SQLITE_OPEN_WAL) && (flags & SQLITE_OPEN_CREATE) && name) {
        struct stat log {};
        // Removed meanwhile (it cannot be opened then), it is made as SQLite makes it.
        if (::stat(name, &log) == 0 && S_ISREG(log.st_mode) && log.st_size > 0 &&
            gSystemVfs->xOpen(gSystemVfs, name, file, flags & ~SQLITE_OPEN_CREATE, outFlags) ==
                SQLITE_OK) {
            return SQLITE_OK;
        }
    }
    return gSystemVfs->xOpen(gSystemVfs, name, file, flags, outFlags);
}

}  // namespace

const char* StoreVfsName() {
    static std::once_flag registered;
    std::call_once(registered, [] {
        gSystemVfs = sqlite3_vfs_find(nullptr);
        gStoreVfs = *gSystemVfs;
        gStoreVfs.zName = "quillet-store";
        gStoreVfs.pNext = nullptr;
        gStoreVfs.xOpen = OpenStoreFile;
        sqlite3_vfs_register(&gStoreVfs, 0);
    });
    return gStoreVfs.zName;
}

}  // namespace quillet
