#include "tests/support/FaultySqliteVfs.h"

#include <sqlite3.h>

#include <cstring>
#include <new>

namespace quillet {

namespace {

// Our file in front of the real one, which SQLite allocates right behind it.
struct FaultyFile {
    sqlite3_file base;
    sqlite3_file* real;
    FaultySqliteVfs* owner;
    bool writeAheadLog;
};

sqlite3_file* Real(sqlite3_file* file) {
    return reinterpret_cast<FaultyFile*>(file)->real;
}

sqlite3_vfs* Default(sqlite3_vfs* vfs) {
    return static_cast<sqlite3_vfs*>(static_cast<void**>(vfs->pAppData)[0]);
}

FaultySqliteVfs* Owner(sqlite3_vfs* vfs) {
    return static_cast<FaultySqliteVfs*>(static_cast<void**>(vfs->pAppData)[1]);
}

// A frame header (24 bytes) whose second word, the database size after the commit, is not zero
// ends a transaction.
bool IsCommitFrameHeader(const void* data, int amount) {
    if (amount != 24)
        return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    return (bytes[4] | bytes[5] | bytes[6] | bytes[7]) != 0;
}

int Close(sqlite3_file* file) {
    const int result = Real(file)->pMethods ? Real(file)->pMethods->xClose(Real(file)) : SQLITE_OK;
    file->pMethods = nullptr;
    return result;
}
int Read(sqlite3_file* file, void* data, int amount, sqlite3_int64 offset) {
    return Real(file)->pMethods->xRead(Real(file), data, amount, offset);
}
int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
    auto* faulty = reinterpret_cast<FaultyFile*>(file);
    if (faulty->writeAheadLog && IsCommitFrameHeader(data, amount) &&
        !faulty->owner->admitCommit()) {
        return SQLITE_IOERR_WRITE;
    }
    return Real(file)->pMethods->xWrite(Real(file), data, amount, offset);
}
int Truncate(sqlite3_file* file, sqlite3_int64 size) {
    return Real(file)->pMethods->xTruncate(Real(file), size);
}
int Sync(sqlite3_file* file, int flags) {
    return Real(file)->pMethods->xSync(Real(file), flags);
}
int FileSize(sqlite3_file* file, sqlite3_int64* size) {
    return Real(file)->pMethods->xFileSize(Real(file), size);
}
int Lock(sqlite3_file* file, int level) {
    return Real(file)->pMethods->xLock(Real(file), level);
}
int Unlock(sqlite3_file* file, int level) {
    return Real(file)->pMethods->xUnlock(Real(file), level);
}
int CheckReservedLock(sqlite3_file* file, int* result) {
    return Real(file)->pMethods->xCheckReservedLock(Real(file), result);
}
int FileControl(sqlite3_file* file, int op, void* argument) {
    return Real(file)->pMethods->xFileControl(Real(file), op, argument);
}
int SectorSize(sqlite3_file* file) {
    return Real(file)->pMethods->xSectorSize(Real(file));
}
int DeviceCharacteristics(sqlite3_file* file) {
    return Real(file)->pMethods->xDeviceCharacteristics(Real(file));
}
int ShmMap(sqlite3_file* file, int page, int size, int extend, void volatile** memory) {
    return Real(file)->pMethods->xShmMap(Real(file), page, size, extend, memory);
}
int ShmLock(sqlite3_file* file, int offset, int count, int flags) {
    return Real(file)->pMethods->xShmLock(Real(file), offset, count, flags);
}
void ShmBarrier(sqlite3_file* file) {
    Real(file)->pMethods->xShmBarrier(Real(file));
}
int ShmUnmap(sqlite3_file* file, int deleteFlag) {
    return Real(file)->pMethods->xShmUnmap(Real(file), deleteFlag);
}
int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** pointer) {
    return Real(file)->pMethods->xFetch(Real(file), offset, amount, pointer);
}
int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* pointer) {
    return Real(file)->pMethods->xUnfetch(Real(file), offset, pointer);
}

const sqlite3_io_methods kMethods = {
    3,
    Close,
    Read,
    Write,
    Truncate,
    Sync,
    FileSize,
    Lock,
    Unlock,
    CheckReservedLock,
    FileControl,
    SectorSize,
    DeviceCharacteristics,
    ShmMap,
    ShmLock,
    ShmBarrier,
    ShmUnmap,
    Fetch,
    Unfetch,
};

int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    auto* faulty = reinterpret_cast<FaultyFile*>(file);
    faulty->base.pMethods = nullptr;
    faulty->real = reinterpret_cast<sqlite3_file*>(faulty + 1);
    faulty->owner = Owner(vfs);
    faulty->writeAheadLog = (flags & SQLITE_OPEN_WAL) != 0;
    const int result = Default(vfs)->xOpen(Default(vfs), name, faulty->real, flags, outFlags);
    if (faulty->real->pMethods)
        faulty->base.pMethods = &kMethods;
    return result;
}

}  // namespace

FaultySqliteVfs::FaultySqliteVfs(const char* name) : _name(name), _vfs(new sqlite3_vfs) {
    sqlite3_vfs* real = sqlite3_vfs_find(nullptr);
    *_vfs = *real;
    _vfs->szOsFile = static_cast<int>(sizeof(FaultyFile)) + real->szOsFile;
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
