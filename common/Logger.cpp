#include "common/Logger.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstdio>

#include "platform/AtomicFile.h"

namespace quillet {

namespace {

// A batch this large is written at once rather than after the delay.
constexpr qsizetype kLargeBatchBytes = 256 * 1024;

struct TimestampFormat {
    QString date;
    QString time;
    QString joiner;
};

TimestampFormat TimestampFormatOf(const QLocale& locale) {
    // Qt's long date carries the weekday; the platform's long style does not. Drop the weekday
    // field together with the separator that follows or precedes it.
    QString dateFormat = locale.dateFormat(QLocale::LongFormat);
    static const QRegularExpression weekday(R"(^\s*dddd?[,\s]*|[,\s]*dddd?\s*$|dddd?[,\s]*)");
    dateFormat.replace(weekday, QString());
    return {dateFormat.trimmed(), locale.timeFormat(QLocale::LongFormat),
            locale.language() == QLocale::English ? " at " : " "};
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Data only, and what reading it back needs (its size): the log's own times do not matter.
void WaitForDisk(int fd) {
#ifdef __APPLE__
    ::fsync(fd);
#else
    ::fdatasync(fd);
#endif
}

}  // namespace

ConsoleSink SystemLogConsole() {
#ifndef __APPLE__
    // Without the system log's socket every message would cost a failed connection.
    struct stat socket {};
    if (::stat("/dev/log", &socket) != 0 || !S_ISSOCK(socket.st_mode))
        return {};
#endif
    ::openlog(nullptr, LOG_NDELAY, LOG_USER);  // one connection for the process
    return
        [](const QString& text) { syslog(LOG_USER | LOG_INFO, "%s", text.toUtf8().constData()); };
}

ConsoleSink StandardErrorConsole() {
    return [](const QString& text) { std::fprintf(stderr, "%s\n", text.toUtf8().constData()); };
}

Logger::Logger(const QString& directory, const QString& versionLine, ConsoleSink console,
               LoggerLimits limits)
    : _path(directory + "/" + kLogFileName),
      _previousPath(directory + "/" + kPreviousLogFileName),
      _console(std::move(console)),
      _limits(limits) {
    const TimestampFormat format = TimestampFormatOf(_locale);
    _dateFormat = format.date;
    _timeFormat = format.time;
    _joiner = format.joiner;
    QDir().mkpath(directory);  // a failure shows in the open below
    {
        std::lock_guard guard(_lock);
        openLocked();
        _toFile = _fd >= 0;
    }
    if (!_toFile && _console)
        _console(QString("Could not open log file for writing: %1").arg(_path));
    write(QString(50, '=') + "\n");
    if (_console)
        _console(QString("Info: Log file at %1").arg(_path));
    info(versionLine);
    if (_toFile)
        _writer = std::thread([this] { writeInTheBackground(); });
}

Logger::~Logger() {
    {
        std::lock_guard guard(_lock);
        _stopping = true;
    }
    _wake.notify_all();
    if (_writer.joinable())
        _writer.join();
    std::lock_guard guard(_lock);
    // The last lines may tell of a change this process made: they must reach the disk too. A
    // process that changed nothing has nothing to wait for.
    writeGatheredLocked(_changesMade);
    if (_fd >= 0)
        ::close(_fd);
}

void Logger::write(const QString& text) {
    append(text.toUtf8());
}

void Logger::log(const QString& level, const QString& message) {
    if (_console)
        _console(level + ": " + message);
    append(("[" + timestamp() + "] " + level + ": " + message + "\n").toUtf8());
}

void Logger::sync() {
    std::lock_guard guard(_lock);
    _changesMade = true;
    writeGatheredLocked(true);
}

void Logger::append(const QByteArray& bytes) {
    std::unique_lock guard(_lock);
    if (!_toFile)
        return;
    const bool first = _gathered.isEmpty();
    if (first)
        _gatheredSince = Clock::now();
    // Copied, never shared: appended to an empty array, QByteArray would share the caller's
    // bytes, whose last reference the caller then drops outside the lock.
    _gathered.append(bytes.constData(), bytes.size());
    if (_gathered.size() >= kLargeBatchBytes) {
        writeGatheredLocked(false);
    } else if (first) {
        guard.unlock();
        _wake.notify_one();
    }
}

void Logger::writeGatheredLocked(bool synchronise) {
    if (!_gathered.isEmpty()) {
        appendToFileLocked(_gathered);
        _gathered.clear();
        _unsynchronised = true;
    }
    if (synchronise && _unsynchronised && _fd >= 0) {
        WaitForDisk(_fd);
        _unsynchronised = false;
    }
}

void Logger::appendToFileLocked(const QByteArray& bytes) {
    reopenIfMovedLocked();
    struct stat file {};
    if (_fd >= 0 && ::fstat(_fd, &file) == 0 && file.st_size > 0 &&
        file.st_size + bytes.size() > _limits.rotationBytes) {
        rotateLocked(bytes.size());
    }
    if (_fd < 0)
        return;
    // One write: with O_APPEND the batch lands whole after whatever another process appended.
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(_fd, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;  // write failures after a successful open are not reported
        data += written;
        left -= written;
    }
}

// Another process may have turned the file into the previous log: this one then continues in
// the new file.
void Logger::reopenIfMovedLocked() {
    struct stat open {
    }, named{};
    if (_fd >= 0 && ::fstat(_fd, &open) == 0 &&
        ::stat(QFile::encodeName(_path).constData(), &named) == 0 && SameFile(open, named)) {
        return;
    }
    if (_fd >= 0)
        ::close(_fd);
    _fd = -1;
    openLocked();
}

void Logger::rotateLocked(std::int64_t incoming) {
    // Processes that find the file full at once take turns; the first renames it, the others
    // find the new file at the path.
    if (::flock(_fd, LOCK_EX) == 0) {
        struct stat open {
        }, named{};
        if (::fstat(_fd, &open) == 0 && ::stat(QFile::encodeName(_path).constData(), &named) == 0 &&
            SameFile(open, named) && open.st_size + incoming > _limits.rotationBytes) {
            ::rename(QFile::encodeName(_path).constData(),
                     QFile::encodeName(_previousPath).constData());
        }
        ::flock(_fd, LOCK_UN);
    }
    ::close(_fd);
    _fd = -1;
    openLocked();
}

void Logger::openLocked() {
    const QByteArray path = QFile::encodeName(_path);
    // Never through a symbolic link: the log is written and its permissions narrowed.
    constexpr int kFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW;
    _fd = ::open(path.constData(), kFlags | O_CREAT | O_EXCL, 0600);
    if (_fd >= 0) {
        // A new file's name must survive a power loss with the lines in it.
        (void)SynchroniseFolderOrFail(QFileInfo(_path).absolutePath());
        return;
    }
    if (errno != EEXIST)
        return;
    _fd = ::open(path.constData(), kFlags);
    struct stat file {};
    // The log tells what signatures hold and where: for this user's eyes only.
    if (_fd >= 0 && ::fstat(_fd, &file) == 0 && (file.st_mode & 077) != 0 &&
        file.st_uid == ::geteuid()) {
        ::fchmod(_fd, file.st_mode & 0700);
    }
}

void Logger::writeInTheBackground() {
    std::unique_lock guard(_lock);
    while (!_stopping) {
        if (_gathered.isEmpty()) {
            _wake.wait(guard);
            continue;
        }
        const Clock::time_point due = _gatheredSince + _limits.batchDelay;
        if (Clock::now() >= due) {
            writeGatheredLocked(false);
            continue;
        }
        _wake.wait_until(guard, due);
    }
}

QString Logger::timestamp() {
    const QDateTime now = QDateTime::currentDateTime();
    const std::int64_t second = now.toSecsSinceEpoch();
    std::lock_guard guard(_lock);
    if (second != _timestampSecond) {
        _timestampSecond = second;
        _timestampText =
            _locale.toString(now, _dateFormat) + _joiner + _locale.toString(now, _timeFormat);
    }
    // A copy of its own: a shared one would be released by the caller outside the lock while
    // another thread replaces the text under it.
    return QString(_timestampText.constData(), _timestampText.size());
}

QString FormatLogTimestamp(const QDateTime& moment, const QLocale& locale) {
    const TimestampFormat format = TimestampFormatOf(locale);
    return locale.toString(moment, format.date) + format.joiner +
           locale.toString(moment, format.time);
}

}  // namespace quillet
