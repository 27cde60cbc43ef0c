#pragma once
// The process's log operations. The engine installs its logger at creation; every layer below it
// logs through these functions, so none of them needs to know the engine.

#include <QString>
#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

namespace quillet {

class Logger;

void LogError(const QString& message);
void LogWarning(const QString& message);
void LogInfo(const QString& message);
void LogDebug(const QString& message);

// The logger that the four operations write to; null detaches it. The caller keeps ownership.
void InstallProcessLogger(Logger* logger);

// Puts every line logged so far on disk. Called right before each change those lines may
// describe (a client's file or database, the store), so that a crash never loses the line of a
// change that was made; lines are otherwise written in batches.
void SyncLogToDisk();

// A listing at level Info as one entry: the header line, then the entries (each on lines of its
// own, made only when listed). Past kListingCharacters the remaining entries are counted, not
// listed, so that a large store does not fill the log at every start.
inline constexpr qsizetype kListingCharacters = 32 * 1024;
void LogInfoListing(const QString& header, size_t count,
                    const std::function<QString(size_t index)>& entry);

// Captures every line logged while it lives ("Level: message"), from any thread; for tests and
// for the command line's --verbose echo.
class LogTap {
public:
    LogTap();
    ~LogTap();
    LogTap(const LogTap&) = delete;
    LogTap& operator=(const LogTap&) = delete;

    std::vector<QString> lines() const;
    bool contains(const QString& line) const;      // an exact "Level: message" line
    bool containsText(const QString& part) const;  // any line containing the text
    int count(const QString& line) const;
    void clear();

    void record(const QString& line);

private:
    mutable std::mutex _lock;
    std::vector<QString> _lines;
};

}  // namespace quillet
