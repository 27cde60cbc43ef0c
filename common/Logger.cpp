#include "common/Logger.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>
#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QRegularExpression>
#include <cerrno>
#include <cstdio>

namespace quillet {

ConsoleSink SystemLogConsole() {
    return
        [](const QString& text) { syslog(LOG_USER | LOG_INFO, "%s", text.toUtf8().constData()); };
}

ConsoleSink StandardErrorConsole() {
    return [](const QString& text) { std::fprintf(stderr, "%s\n", text.toUtf8().constData()); };
}

Logger::Logger(const QString& directory, const QString& versionLine, ConsoleSink console)
    : _path(directory + "/Quillet.log"), _console(std::move(console)) {
    QDir().mkpath(directory);  // a failure shows in the open below
    // Appending (rather than seeking to the end once) keeps the lines of the command line and of
    // the application apart when both run at the same time.
    _fd = ::open(_path.toLocal8Bit().constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (_fd < 0) {
        _console(QString("Could not open log file for writing: %1").arg(_path));
    }
    write(QString(50, '=') + "\n");
    _console(QString("Info: Log file at %1").arg(_path));
    info(versionLine);
}

Logger::~Logger() {
    if (_fd >= 0)
        ::close(_fd);
}

void Logger::write(const QString& text) {
    if (_fd < 0)
        return;
    const QByteArray bytes = text.toUtf8();
    std::lock_guard guard(_lock);
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(_fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return;  // write failures after a successful open are not reported
        }
        data += written;
        left -= written;
    }
    ::fsync(_fd);
}

void Logger::log(const QString& level, const QString& message) {
    _console(QString("%1: %2").arg(level, message));
    const QString timestamp = FormatLogTimestamp(QDateTime::currentDateTime(), QLocale());
    write("[" + timestamp + "] " + level + ": " + message + "\n");
}

QString FormatLogTimestamp(const QDateTime& moment, const QLocale& locale) {
    // Qt's long date carries the weekday; the platform's long style does not. Drop the weekday
    // field together with the separator that follows or precedes it.
    QString dateFormat = locale.dateFormat(QLocale::LongFormat);
    static const QRegularExpression weekday(R"(^\s*dddd?[,\s]*|[,\s]*dddd?\s*$|dddd?[,\s]*)");
    dateFormat.replace(weekday, QString());
    const QString date = locale.toString(moment, dateFormat.trimmed());
    const QString time = locale.toString(moment, locale.timeFormat(QLocale::LongFormat));
    const QString joiner = locale.language() == QLocale::English ? " at " : " ";
    return date + joiner + time;
}

}  // namespace quillet
