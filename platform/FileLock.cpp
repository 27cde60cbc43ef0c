#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace quillet {

namespace {

int LockRetryingInterrupts(int descriptor, int operation) {
    int result = 0;
    do {
        result = ::flock(descriptor, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

// flock cannot wait for a limited time: it is tried again every few milliseconds.
bool LockWithin(int descriptor, double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (LockRetryingInterrupts(descriptor, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace

FileLock::FileLock(const QString& path, const std::function<void()>& onWait,
                   double waitLimitSeconds) {
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
        if (waitLimitSeconds < 0) {
            if (LockRetryingInterrupts(descriptor, LOCK_EX) != 0) {
                _error =
                    "Could not lock " + path + ": " + QString::fromLocal8Bit(std::strerror(errno));
                ::close(descriptor);
                return;
            }
        } else if (!LockWithin(descriptor, waitLimitSeconds)) {
            _error = errno == EWOULDBLOCK ? "Another process held " + path + " for longer than " +
                                                QString::number(waitLimitSeconds) + " s"
                                          : "Could not lock " + path + ": " +
                                                QString::fromLocal8Bit(std::strerror(errno));
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
