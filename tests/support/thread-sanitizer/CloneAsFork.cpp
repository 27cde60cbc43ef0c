// Linked into the test executables of a ThreadSanitizer build only (QUILLET_TSAN), never into the
// product. QProcess starts a child with clone(CLONE_VM | CLONE_VFORK): the child runs on the
// calling thread's own memory and thread-local storage, so the C library calls it makes before
// exec go through ThreadSanitizer's interceptors as if that thread had made them, and the
// thread's state is left inconsistent. What the thread did before it started the process is then
// no longer ordered before what it does after (its end, a mutex it releases), and every thread
// that starts a process while others read what it read shows a race that is not there (a thread
// that writes a value, starts /bin/true and is joined: the joining thread's read is reported).
//
// Such a clone is turned into fork(), which ThreadSanitizer sees; the child runs the same
// function and exits with its result, as after vfork. The child's pidfd, asked for with
// CLONE_PIDFD, is opened afterwards. Every other clone (threads) goes to the C library.

#include <dlfcn.h>
#include <sched.h>
#include <stdarg.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" int clone(int (*fn)(void*), void* stack, int flags, void* arg, ...) {
    va_list rest;
    va_start(rest, arg);
    pid_t* parentTid = va_arg(rest, pid_t*);
    void* tls = va_arg(rest, void*);
    pid_t* childTid = va_arg(rest, pid_t*);
    va_end(rest);
    constexpr int kVfork = CLONE_VM | CLONE_VFORK;
    if ((flags & kVfork) == kVfork && (flags & CLONE_THREAD) == 0) {
        const pid_t pid = fork();
        if (pid == 0)
            _exit(fn(arg));
        if (pid > 0 && (flags & CLONE_PIDFD) != 0) {
            const long pidfd = syscall(SYS_pidfd_open, pid, 0);
            *parentTid = static_cast<pid_t>(pidfd);
        }
        return pid;
    }
    using Clone = int (*)(int (*)(void*), void*, int, void*, ...);
    static const auto systemClone = reinterpret_cast<Clone>(dlsym(RTLD_NEXT, "clone"));
    return systemClone(fn, stack, flags, arg, parentTid, tls, childTid);
}
