#pragma once
// An exclusive advisory lock between processes, on a lock file: held while the object lives and
// released by the system when the process ends in any way (so a killed holder never leaves it
// stuck). The lock belongs to one open of the file: two FileLock objects on one path exclude
// each other even in one process. Programs started while it is held do not inherit it.

#include <QString>
#include <functional>

namespace quillet {

class FileLock {
public:
    // Creates the lock file if needed and waits until the lock is held, or at most
    // waitLimitSeconds when that is not negative; onWait runs once, before the wait, when another
    // holder has it. Not held (see error) when the file cannot be opened or locked, or the wait
    // reached its limit.
    FileLock(const QString& path, const std::function<void()>& onWait,
             double waitLimitSeconds = -1);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool isHeld() const { return _descriptor >= 0; }
    const QString& error() const { return _error; }  // why it is not held

private:
    int _descriptor = -1;
    QString _error;
};

}  // namespace quillet
