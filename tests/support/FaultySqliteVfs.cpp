#include "tests/support/FaultySqliteVfs.h"

#include <sqlite3.h>

namespace quillet {

namespace {

// Kept right behind the real file, which SQLite allocates as the default VFS sizes it: a
// write-ahead log's methods are the real ones with the write replaced, so every other call goes
// straight to the real file.
struct LogFile {
    sqlite3_io_methods methods;
    const sqlite3_io_methods* real;
    FaultySqliteVfs* owner;
};

sqlite3_vfs* Default(sqlite3_vfs* vfs) {
    return static_cast<sqlite3_vfs*>(static_cast<void**>(vfs->pAppData)[0]);
}

LogFile* LogFileOf(sqlite3_vfs* vfs, sqlite3_file* file) {
    return reinterpret_cast<LogFile*>(reinterpret_cast<char*>(file) + Default(vfs)->szOsFile);
}

// A frame header (24 bytes) whose second word, the database size after the commit, is not zero
// ends a transaction.
bool IsCommitFrameHeader(const void* data, int amount) {
    if (amount != 24)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    return (bytes[4] | bytes[5] | bytes[6] | bytes[7]) != 0;
}

int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    // The methods are the first member of the log file's record.
    const auto* log = reinterpret_cast<const LogFile*>(file->pMethods);
    if (IsCommitFrameHeader(data, amount) && !log->owner->admitCommit())
        return SQLITE_IOERR_WRITE;
    return log->real->xWrite(file, data, amount, offset);
}

int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    const int result = Default(vfs)->xOpen(Default(vfs), name, file, flags, outFlags);
    if (file->pMethods && (flags & SQLITE_OPEN_WAL)) {
        LogFile* log = LogFileOf(vfs, file);
        *log = {*file->pMethods, file->pMethods,
                static_cast<FaultySqliteVfs*>(static_cast<void**>(vfs->pAppData)[1])};
        log->methods.xWrite = Write;
        file->pMethods = &log->methods;
    }
    return result;
}

}  // namespace

FaultySqliteVfs::FaultySqliteVfs(const char* name) : _name(name), _vfs(new sqlite3_vfs) {
    sqlite3_vfs* real = sqlite3_vfs_find(nullptr);
    *_vfs = *real;
    _vfs->szOsFile = real->szOsFile + static_cast<int>(sizeof(LogFile));
    _vfs->zName = _name.c_str();
    _vfs->pNext = nullptr;
    _vfs->pAppData = new void* [2] { real, this };
    _vfs->xOpen = Open;
    sqlite3_vfs_register(_vfs, 0);
}

FaultySqliteVfs::~FaultySqliteVfs() {
    sqlite3_vfs_unregister(_vfs);
    delete[] static_cast<void**>(_vfs->pAppData);
    delete _vfs;
}

QString FaultySqliteVfs::name() const {
    return QString::fromStdString(_name);
}

void FaultySqliteVfs::failCommits(int count, int passing) {
    _passing = passing;
    _failing = count;
}

bool FaultySqliteVfs::admitCommit() {
    if (_passing > 0) {
        --_passing;
        return true;
    }
    if (_failing > 0) {
        --_failing;
        return false;
    }
    return true;
}

}  // namespace quillet
