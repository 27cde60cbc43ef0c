#pragma once
// The log: human-readable lines appended to one file per user, each also echoed to the console.
// Safe from any thread; every line is on disk before write() returns.

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <functional>
#include <mutex>

namespace quillet {

// Where the console echo goes (the system log, standard error, a test's buffer).
using ConsoleSink = std::function<void(const QString& text)>;
ConsoleSink SystemLogConsole();
ConsoleSink StandardErrorConsole();

class Logger {
public:
    // Opens (creating when missing) DIRECTORY/Quillet.log for appending and writes the separator
    // and the version line. When the file cannot be opened, logging goes to the console only.
    Logger(const QString& directory, const QString& versionLine, ConsoleSink console);
    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    const QString& path() const { return _path; }
    bool hasFile() const { return _fd >= 0; }

    // Appends the text unchanged (no timestamp, no newline added).
    void write(const QString& text);
    // The console echo, then "[" + long date and time + "] " + level + ": " + message + "\n".
    void log(const QString& level, const QString& message);
    void error(const QString& message) { log("Error", message); }
    void warning(const QString& message) { log("Warning", message); }
    void info(const QString& message) { log("Info", message); }
    void debug(const QString& message) { log("Debug", message); }

private:
    QString _path;
    ConsoleSink _console;
    int _fd = -1;
    std::mutex _lock;
};

// The long date without a weekday and the long time of the locale, as the platform joins them
// ("December 6, 2026 at 7:42:01 PM UTC" in English).
QString FormatLogTimestamp(const QDateTime& moment, const QLocale& locale);

}  // namespace quillet
