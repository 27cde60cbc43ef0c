// A library for tests only, never linked into the product: it stands between a process and the C
// library's file calls, counts the operations on files under one folder and, at the Nth, fails
// the call as a full or broken disk would, or kills the process as a crash would (what each means:
// tests/support/FileFaults.h). Linked into a test executable it is driven through the functions
// at the end; preloaded into a child, through the environment, which it then clears so that the
// programs the child runs are left alone: QUILLET_FILE_FAULTS="count|fail|kill N ROOT", and
// QUILLET_FILE_FAULTS_ IGNORE (a suffix of paths not counted), ERRNO (the failure's errno instead
// of its own), REPORT (a file for the count at a normal exit), READS (fail or short: reads count
// too) and UNSYNCED (a journal of the writes not yet synchronised, for CutPower).

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

enum Action { kCount = 0, kFail = 1, kKill = 2 };

constexpr int kMaxTrackedFds = 1 << 16;
std::atomic<bool> gArmed{false};
std::atomic<int> gAction{kCount};
std::atomic<long> gTarget{0};
std::atomic<long> gCount{0};
std::atomic<bool> gFired{false};
std::atomic<int> gError{0};  // 0: each operation's own
std::atomic<bool> gTracked[kMaxTrackedFds];
enum Reads { kUncounted = 0, kFailReads = 1, kCutReadsShort = 2 };
std::atomic<int> gReads{kUncounted};
std::atomic<bool> gReadsFail[kMaxTrackedFds];  // files whose read was cut short
std::atomic<bool> gWritten[kMaxTrackedFds];    // written since last noted in the journal
int gUnsynced = -1;                            // the journal of writes not synchronised
char gRoot[4096];
size_t gRootLength = 0;
char gIgnored[256];
char gReportPath[4096];
char gLastFault[4200];

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

#define QLT_REAL(name) static const auto real = Next<decltype(&::name)>(#name)

bool Watched(const char* path) {
    if (!gArmed.load(std::memory_order_acquire) || path == nullptr || path[0] != '/')
        return false;
    if (strncmp(path, gRoot, gRootLength) != 0 ||
        (path[gRootLength] != '/' && path[gRootLength] != '\0')) {
        return false;
    }
    const size_t length = strlen(path);
    const size_t ignored = strlen(gIgnored);
    return ignored == 0 || length < ignored || strcmp(path + length - ignored, gIgnored) != 0;
}

bool WatchedFd(int fd) {
    return gArmed.load(std::memory_order_acquire) && fd >= 0 && fd < kMaxTrackedFds &&
           gTracked[fd].load(std::memory_order_relaxed);
}

void Track(int fd, bool watched) {
    if (fd >= 0 && fd < kMaxTrackedFds) {
        gTracked[fd].store(watched, std::memory_order_relaxed);
        gReadsFail[fd].store(false, std::memory_order_relaxed);
        gWritten[fd].store(false, std::memory_order_relaxed);
    }
}

// Counts one operation; true when this one must fail (errno is then set).
bool Strike(const char* operation, const char* path, int fd, int error) {
    const long number = gCount.fetch_add(1) + 1;
    if (number != gTarget.load())
        return false;
    if (gAction.load() == kKill)
        kill(getpid(), SIGKILL);
    if (gAction.load() != kFail)
        return false;
    char fdPath[4096] = "";
    if (path == nullptr) {
        char link[64];
        snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        static const auto readLink = Next<decltype(&::readlink)>("readlink");
        const ssize_t length = readLink(link, fdPath, sizeof fdPath - 1);
        fdPath[length > 0 ? length : 0] = '\0';
        path = fdPath;
    }
    snprintf(gLastFault, sizeof gLastFault, "%s %s (operation %ld)", operation, path, number);
    gFired.store(true);
    errno = gError.load() != 0 ? gError.load() : error;
    return true;
}

bool StrikePath(const char* operation, const char* path, int error) {
    return Watched(path) && Strike(operation, path, -1, error);
}

bool StrikeFd(const char* operation, int fd, int error) {
    return WatchedFd(fd) && Strike(operation, nullptr, fd, error);
}

void Arm(const char* root, int action, long target, const char* ignored) {
    gArmed.store(false, std::memory_order_release);
    snprintf(gRoot, sizeof gRoot, "%s", root);
    gRootLength = strlen(gRoot);
    while (gRootLength > 1 && gRoot[gRootLength - 1] == '/')
        gRoot[--gRootLength] = '\0';
    snprintf(gIgnored, sizeof gIgnored, "%s", ignored ? ignored : "");
    gAction.store(action);
    gTarget.store(target);
    gCount.store(0);
    gFired.store(false);
    gError.store(0);
    gReads.store(kUncounted);
    gLastFault[0] = '\0';
    gArmed.store(true, std::memory_order_release);
}

__attribute__((constructor)) void ReadEnvironment() {
    const char* setting = getenv("QUILLET_FILE_FAULTS");
    if (setting == nullptr)
        return;
    char action[16] = "";
    long target = 0;
    int rootStart = 0;
    if (sscanf(setting, "%15s %ld %n", action, &target, &rootStart) < 2 || rootStart == 0)
        return;
    const int kind = strcmp(action, "kill") == 0   ? kKill
                     : strcmp(action, "fail") == 0 ? kFail
                                                   : kCount;
    const char* report = getenv("QUILLET_FILE_FAULTS_REPORT");
    snprintf(gReportPath, sizeof gReportPath, "%s", report ? report : "");
    Arm(setting + rootStart, kind, target, getenv("QUILLET_FILE_FAULTS_IGNORE"));
    if (const char* error = getenv("QUILLET_FILE_FAULTS_ERRNO"))
        gError.store(atoi(error));
    if (const char* journal = getenv("QUILLET_FILE_FAULTS_UNSYNCED")) {
        static const auto open = Next<int (*)(const char*, int, ...)>("open");
        gUnsynced = open(journal, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    }
    if (const char* reads = getenv("QUILLET_FILE_FAULTS_READS"))
        gReads.store(strcmp(reads, "short") == 0 ? kCutReadsShort : kFailReads);
    for (const char* suffix : {"", "_IGNORE", "_ERRNO", "_REPORT", "_READS", "_UNSYNCED"}) {
        char name[64];
        snprintf(name, sizeof name, "QUILLET_FILE_FAULTS%s", suffix);
        unsetenv(name);
    }
}

__attribute__((destructor)) void WriteReport() {
    if (gReportPath[0] == '\0')
        return;
    gArmed.store(false);
    FILE* file = fopen(gReportPath, "w");
    if (file) {
        fprintf(file, "%ld\n", gCount.load());
        fclose(file);
    }
}

bool TakesMode(int flags) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

// The journal of the power cut: "D DEVICE INODE SIZE" when a file is first written after it was
// opened or synchronised (SIZE: before that write), "S DEVICE INODE SIZE" when it is synchronised.
void Note(char kind, int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0)
        return;
    char line[96];
    const int length =
        snprintf(line, sizeof line, "%c %llu %llu %lld\n", kind, (unsigned long long)info.st_dev,
                 (unsigned long long)info.st_ino, (long long)info.st_size);
    static const auto write = Next<decltype(&::write)>("write");
    (void)!write(gUnsynced, line, size_t(length));
}

enum class ReadOutcome { whole, fail, cutShort };

// What becomes of a read of a file: reads of a file whose read was cut short fail; when reads
// count, the Nth fails (errno set) or is cut short.
ReadOutcome ReadFault(int fd) {
    if (!WatchedFd(fd))
        return ReadOutcome::whole;
    if (gReadsFail[fd].load(std::memory_order_relaxed)) {
        errno = gError.load() != 0 ? gError.load() : EIO;
        return ReadOutcome::fail;
    }
    if (gReads.load() == kUncounted || !StrikeFd("read", fd, EIO))
        return ReadOutcome::whole;
    return gReads.load() == kFailReads ? ReadOutcome::fail : ReadOutcome::cutShort;
}

// A read cut short gives the first half of what it read (nothing read: it fails), and every
// later read of the file fails.
ssize_t CutShort(int fd, ssize_t got, bool moved) {
    if (got < 2) {
        errno = gError.load() != 0 ? gError.load() : EIO;
        return -1;
    }
    gReadsFail[fd].store(true, std::memory_order_relaxed);
    if (moved)
        lseek(fd, got / 2 - got, SEEK_CUR);
    return got / 2;
}

// A read (at an offset, when one is given) of the file as the fault wants it.
template <typename Real, typename... Offset>
ssize_t Read(Real real, int fd, void* data, size_t size, Offset... offset) {
    const ReadOutcome outcome = ReadFault(fd);
    if (outcome == ReadOutcome::fail)
        return -1;
    const ssize_t got = real(fd, data, size, offset...);
    return outcome == ReadOutcome::cutShort ? CutShort(fd, got, sizeof...(offset) == 0) : got;
}

// A write that goes ahead, and a synchronisation that succeeds, are noted for the power cut.
bool StrikeWrite(int fd) {
    if (StrikeFd("write", fd, ENOSPC))
        return true;
    if (gUnsynced >= 0 && WatchedFd(fd) && !gWritten[fd].exchange(true))
        Note('D', fd);
    return false;
}

int Synchronised(int fd, int result) {
    if (result == 0 && gUnsynced >= 0 && WatchedFd(fd)) {
        gWritten[fd].store(false);
        Note('S', fd);
    }
    return result;
}

}  // namespace

#define QLT_LIST(...) __VA_ARGS__

// The C library's NAME, taking PARAMETERS: when STRIKE says so it fails as the disk would (errno
// set); otherwise its result is CALL, made through `real`, the C library's own.
#define QLT_INTERPOSE(Result, name, parameters, strike, call) \
    Result name parameters {                                  \
        QLT_REAL(name);                                       \
        if (strike)                                           \
            return -1;                                        \
        return call;                                          \
    }

// The opening calls: those after a folder's descriptor take it first, and the mode is there only
// when the flags make a file.
#define QLT_OPEN(name, folder, passedFolder)                                  \
    int name(QLT_LIST folder const char* path, int flags, ...) {              \
        QLT_REAL(name);                                                       \
        va_list arguments;                                                    \
        va_start(arguments, flags);                                           \
        const mode_t mode = TakesMode(flags) ? va_arg(arguments, mode_t) : 0; \
        va_end(arguments);                                                    \
        if (StrikePath("open", path, EIO))                                    \
            return -1;                                                        \
        const int fd = real(QLT_LIST passedFolder path, flags, mode);         \
        Track(fd, Watched(path));                                             \
        return fd;                                                            \
    }

extern "C" {

QLT_OPEN(open, (), ())
QLT_OPEN(open64, (), ())
QLT_OPEN(openat, (int directory, ), (directory, ))
QLT_OPEN(openat64, (int directory, ), (directory, ))

#define QLT_CREAT(name, open)                                  \
    int name(const char* path, mode_t mode) {                  \
        return open(path, O_CREAT | O_WRONLY | O_TRUNC, mode); \
    }
QLT_CREAT(creat, open)
QLT_CREAT(creat64, open64)

int close(int fd) {
    QLT_REAL(close);
    Track(fd, false);
    return real(fd);
}

// The shapes of the calls: reads as the fault wants them; writes noted for the power cut;
// calls on a descriptor, and calls on a path (for a rename either of its two, as watched).
#define QLT_READ(name, parameters, ...) \
    QLT_INTERPOSE(ssize_t, name, parameters, false, Read(real, __VA_ARGS__))
#define QLT_WRITE(name, parameters, ...) \
    QLT_INTERPOSE(ssize_t, name, parameters, StrikeWrite(fd), real(__VA_ARGS__))
#define QLT_ON_FD(name, operation, parameters, ...) \
    QLT_INTERPOSE(int, name, parameters, StrikeFd(operation, fd, EIO), __VA_ARGS__)
#define QLT_ON_PATH(name, operation, path, parameters, ...) \
    QLT_INTERPOSE(int, name, parameters, StrikePath(operation, path, EIO), real(__VA_ARGS__))
#define QLT_RENAME(name, parameters, ...) \
    QLT_ON_PATH(name, "rename", Watched(from) ? from : to, parameters, __VA_ARGS__)

QLT_READ(read, (int fd, void* data, size_t size), fd, data, size)
QLT_READ(pread, (int fd, void* data, size_t size, off_t offset), fd, data, size, offset)
QLT_READ(pread64, (int fd, void* data, size_t size, off64_t offset), fd, data, size, offset)
QLT_WRITE(write, (int fd, const void* data, size_t size), fd, data, size)
QLT_WRITE(pwrite, (int fd, const void* data, size_t size, off_t offset), fd, data, size, offset)
QLT_WRITE(pwrite64, (int fd, const void* data, size_t size, off64_t offset), fd, data, size, offset)
QLT_WRITE(writev, (int fd, const struct iovec* vectors, int count), fd, vectors, count)
QLT_ON_FD(ftruncate, "truncate", (int fd, off_t length), real(fd, length))
QLT_ON_FD(ftruncate64, "truncate", (int fd, off64_t length), real(fd, length))
QLT_ON_FD(fsync, "synchronise", (int fd), Synchronised(fd, real(fd)))
QLT_ON_FD(fdatasync, "synchronise", (int fd), Synchronised(fd, real(fd)))
QLT_RENAME(rename, (const char* from, const char* to), from, to)
QLT_RENAME(renameat, (int fromAt, const char* from, int toAt, const char* to), fromAt, from, toAt,
           to)
QLT_RENAME(renameat2, (int fromAt, const char* from, int toAt, const char* to, unsigned flags),
           fromAt, from, toAt, to, flags)
// A file made without a name (O_TMPFILE, as QFile::copy makes its copy) is given one by a link.
QLT_ON_PATH(linkat, "link", to, (int fromAt, const char* from, int toAt, const char* to, int flags),
            fromAt, from, toAt, to, flags)
QLT_ON_PATH(link, "link", to, (const char* from, const char* to), from, to)
QLT_ON_PATH(unlink, "delete", path, (const char* path), path)
QLT_ON_PATH(unlinkat, "delete", path, (int directory, const char* path, int flags), directory, path,
            flags)
QLT_ON_PATH(rmdir, "delete", path, (const char* path), path)

// The tests' side, when the library is linked into a test executable.
#define QLT_EXPORT(Result, name, parameters, ...) \
    Result QuilletFileFaults##name parameters {   \
        return __VA_ARGS__;                       \
    }

QLT_EXPORT(void, Arm, (const char* root, int action, long target, const char* ignoredSuffix),
           Arm(root, action, target, ignoredSuffix))
QLT_EXPORT(void, FailWith, (int error), gError.store(error))
QLT_EXPORT(void, FaultReads, (int kind), gReads.store(kind))
QLT_EXPORT(void, Disarm, (), gArmed.store(false, std::memory_order_release))
QLT_EXPORT(long, Count, (), gCount.load())
QLT_EXPORT(int, Fired, (), gFired.load() ? 1 : 0)
QLT_EXPORT(const char*, LastFault, (), gLastFault)

}  // extern "C"
