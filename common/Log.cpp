#include "common/Log.h"

#include <algorithm>
#include <atomic>

#include "common/Logger.h"

namespace quillet {

namespace {

std::atomic<Logger*> gLogger{nullptr};
std::mutex gTapsLock;
std::vector<LogTap*> gTaps;

void Route(const char* level, const QString& message) {
    {
        std::lock_guard guard(gTapsLock);
        for (LogTap* tap : gTaps)
            tap->record(QString("%1: %2").arg(level, message));
    }
    if (Logger* logger = gLogger.load())
        logger->log(level, message);
}

}  // namespace

void LogError(const QString& message) {
    Route("Error", message);
}
void LogWarning(const QString& message) {
    Route("Warning", message);
}
void LogInfo(const QString& message) {
    Route("Info", message);
}
void LogDebug(const QString& message) {
    Route("Debug", message);
}

void InstallProcessLogger(Logger* logger) {
    gLogger = logger;
}

void SyncLogToDisk() {
    if (Logger* logger = gLogger.load())
        logger->sync();
}

void LogInfoListing(const QString& header, size_t count,
                    const std::function<QString(size_t index)>& entry) {
    QString text = header;
    size_t listed = 0;
    for (; listed < count && text.size() < kListingCharacters; ++listed)
        text += "\n" + entry(listed);
    if (listed < count)
        text += QString("\n    ... and %1 more, not listed").arg(count - listed);
    LogInfo(text);
}

LogTap::LogTap() {
    std::lock_guard guard(gTapsLock);
    gTaps.push_back(this);
}

LogTap::~LogTap() {
    std::lock_guard guard(gTapsLock);
    std::erase(gTaps, this);
}

void LogTap::record(const QString& line) {
    std::lock_guard guard(_lock);
    _lines.push_back(line);
}

std::vector<QString> LogTap::lines() const {
    std::lock_guard guard(_lock);
    return _lines;
}

bool LogTap::contains(const QString& line) const {
    return count(line) > 0;
}

bool LogTap::containsText(const QString& part) const {
    std::lock_guard guard(_lock);
    return std::any_of(_lines.begin(), _lines.end(),
                       [&](const QString& line) { return line.contains(part); });
}

int LogTap::count(const QString& line) const {
    std::lock_guard guard(_lock);
    return static_cast<int>(std::count(_lines.begin(), _lines.end(), line));
}

void LogTap::clear() {
    std::lock_guard guard(_lock);
    _lines.clear();
}

}  // namespace quillet
