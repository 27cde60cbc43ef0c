#include "tests/support/FaultySqliteVfs.h"

#include <sqlite3.h>

#include <utility>

namespace quillet {

namespace {

// Kept right behind the real file, which SQLite allocates as the default VFS sizes it: a
// write-ahead log's methods are the real ones with the write replaced (a watched database's, with
// the close replaced), so every other call goes straight to the real file.
struct WrappedFile {
    sqlite3_io_methods methods;
    const sqlite3_io_methods* real;
    FaultySqliteVfs* owner;
};

sqlite3_vfs* Default(sqlite3_vfs* vfs) {
    return static_cast<sqlite3_vfs*>(static_cast<void**>(vfs->pAppData)[0]);
}

WrappedFile* WrappedFileOf(sqlite3_vfs* vfs, sqlite3_file* file) {
    return reinterpret_cast<WrappedFile*>(reinterpret_cast<char*>(file) + Default(vfs)->szOsFile);
}

// A frame header (24 bytes) whose second word, the database size after the commit, is not zero
// ends a transaction.
bool IsCommitFrameHeader(const void* data, int amount) {
    if (amount != 24)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    return (bytes[4] | bytes[5] | bytes[6] | bytes[7]) != 0;
}

// The methods are the first member of the wrapped file's record.
const WrappedFile& Wrapped(sqlite3_file* file) {
    return *reinterpret_cast<const WrappedFile*>(file->pMethods);
}

int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    if (IsCommitFrameHeader(data, amount) && !Wrapped(file).owner->admitCommit())
        return SQLITE_IOERR_WRITE;
    return Wrapped(file).real->xWrite(file, data, amount, offset);
}

int Close(sqlite3_file* file) {
    const WrappedFile wrapped = Wrapped(file);
    const int result = wrapped.real->xClose(file);
    wrapped.owner->closed();
    return result;
}

int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    const int result = Default(vfs)->xOpen(Default(vfs), name, file, flags, outFlags);
    auto* owner = static_cast<FaultySqliteVfs*>(static_cast<void**>(vfs->pAppData)[1]);
    const bool log = flags & SQLITE_OPEN_WAL;
    const bool watched = (flags & SQLITE_OPEN_MAIN_DB) && name && owner->watches(name);
    if (file->pMethods && (log || watched)) {
        WrappedFile* wrapped = WrappedFileOf(vfs, file);
        *wrapped = {*file->pMethods, file->pMethods, owner};
        if (log)
            wrapped->methods.xWrite = Write;
        else
            wrapped->methods.xClose = Close;
        file->pMethods = &wrapped->methods;
    }
    return result;
}

}  // namespace

FaultySqliteVfs::FaultySqliteVfs(const char* name) : _name(name), _vfs(new sqlite3_vfs) {
    sqlite3_vfs* real = sqlite3_vfs_find(nullptr);
    *_vfs = *real;
    _vfs->szOsFile = real->szOsFile + static_cast<int>(sizeof(WrappedFile));
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

void FaultySqliteVfs::afterClosing(const QString& fileName, std::function<void()> hook) {
    _watchedFileName = fileName;
    _afterClosing = std::move(hook);
}

bool FaultySqliteVfs::watches(const char* path) const {
    return !_watchedFileName.isEmpty() && QString::fromUtf8(path).endsWith("/" + _watchedFileName);
}

void FaultySqliteVfs::closed() {
    if (auto hook = std::exchange(_afterClosing, {}))
        hook();
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
