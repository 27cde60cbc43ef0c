#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quillet {

namespace {

int LockRetryingInterrupts(int descriptor, int operation) {
    int result = 0;
    do {
        result = ::flock(descriptor, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

}  // namespace

FileLock::FileLock(const QString& path, const std::function<void()>& onWait) {
    // Close-on-exec: a client or script started while the lock is held must not keep it alive
    // after this process has gone.
    const int descriptor =
        ::open(path.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0) {
        _error = "Could not open " + path + ": " + QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    if (LockRetryingInterrupts(descriptor, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK && onWait)
            onWait();
        if (LockRetryingInterrupts(descriptor, LOCK_EX) != 0) {
            _error = "Could not lock " + path + ": " + QString::fromLocal8Bit(std::strerror(errno));
            ::close(descriptor);
            return;
        }
    }
    _descriptor = descriptor;
}

FileLock::~FileLock() {
    if (_descriptor >= 0)
        ::close(_descriptor);  // closing the only descriptor of this open releases the lock
}

}  // namespace quillet
