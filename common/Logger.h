#pragma once
// The log: human-readable lines appended to one file per user, each also echoed to the console.
// Safe from any thread, and shared by every process of the user (the application, the command,
// the web-mail host): each process appends whole batches of lines with one write.
//
// Lines are gathered in memory and written together: at sync() (with the wait for the disk),
// which the code calls before each change that the lines may describe, at the end of the
// process (waiting for the disk when it changed anything), and otherwise at most a second after
// they were logged. A crash therefore never loses a line that described a finished change.
// The file is Quillet's own (mode 0600); past its size limit it becomes the previous log, which
// is kept, and a new one begins.

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace quillet {

// Where the console echo goes (the system log, standard error, a test's buffer); empty: nowhere.
using ConsoleSink = std::function<void(const QString& text)>;
// The system log where this system has one (a socket to send to), else no echo at all.
ConsoleSink SystemLogConsole();
ConsoleSink StandardErrorConsole();

inline const QString kLogFileName = QStringLiteral("Quillet.log");
inline const QString kPreviousLogFileName = QStringLiteral("Quillet.previous.log");
// The size past which the log becomes the previous log.
inline constexpr std::int64_t kLogRotationBytes = 10 * 1024 * 1024;

struct LoggerLimits {
    std::int64_t rotationBytes = kLogRotationBytes;
    // How long gathered lines may wait for a write when nothing asks for one.
    std::chrono::milliseconds batchDelay{1000};
};

class Logger {
public:
    // Opens (creating when missing, mode 0600) DIRECTORY/Quillet.log for appending and starts
    // with the separator and the version line. When the file cannot be opened, logging goes to
    // the console only.
    Logger(const QString& directory, const QString& versionLine, ConsoleSink console,
           LoggerLimits limits = {});
    // Writes what is gathered; waits until it is on disk when sync() was ever called (the lines
    // since may tell how a change ended).
    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    const QString& path() const { return _path; }
    bool hasFile() const { return _toFile; }

    // Appends the text unchanged (no timestamp, no newline added).
    void write(const QString& text);
    // The console echo, then "[" + long date and time + "] " + level + ": " + message + "\n".
    void log(const QString& level, const QString& message);
    void error(const QString& message) { log("Error", message); }
    void warning(const QString& message) { log("Warning", message); }
    void info(const QString& message) { log("Info", message); }
    void debug(const QString& message) { log("Debug", message); }

    // Writes the gathered lines with one append and waits until the file is on disk; nothing
    // when everything is there already. Called before each change that the lines may describe.
    void sync();

private:
    using Clock = std::chrono::steady_clock;

    void append(const QByteArray& bytes);
    void writeGatheredLocked(bool synchronise);
    void appendToFileLocked(const QByteArray& bytes);
    void reopenIfMovedLocked();
    void rotateLocked(std::int64_t incoming);
    void openLocked();
    void writeInTheBackground();
    QString timestamp();

    QString _path;
    QString _previousPath;
    ConsoleSink _console;
    LoggerLimits _limits;
    QLocale _locale;
    QString _dateFormat;
    QString _timeFormat;
    QString _joiner;

    std::mutex _lock;      // guards everything below
    bool _toFile = false;  // the file could be opened at first: lines are gathered for it
    int _fd = -1;
    QByteArray _gathered;
    Clock::time_point _gatheredSince;
    bool _unsynchronised = false;  // written since the last wait for the disk
    bool _changesMade = false;     // sync() was called: the process changes things
    std::int64_t _timestampSecond = -1;
    QString _timestampText;
    bool _stopping = false;
    std::condition_variable _wake;
    std::thread _writer;
};

// The long date without a weekday and the long time of the locale, as the platform joins them
// ("December 6, 2026 at 7:42:01 PM UTC" in English).
QString FormatLogTimestamp(const QDateTime& moment, const QLocale& locale);

}  // namespace quillet
