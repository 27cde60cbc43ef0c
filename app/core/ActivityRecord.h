#pragma once
// What the engine last did, kept in the support folder so that another process (the command's
// "status", the application after a restart) can tell: the last refresh (when, and whether it
// succeeded) and the problems of the last sync pass that wrote the clients.
//
// A record that is missing or cannot be read is an empty record: the engine then knows of no
// refresh and no problems, and the next refresh or pass writes it anew.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

namespace quillet {

inline const QString kActivityRecordFileName = QStringLiteral("Activity.json");

struct RefreshRecord {
    std::int64_t time = 0;  // Unix seconds
    bool success = false;
};

struct ActivityRecord {
    std::optional<RefreshRecord> lastRefresh;
    std::int64_t lastSyncTime = 0;  // Unix seconds; 0: no pass has written the clients yet
    QStringList problems;           // the last pass's problems, as the person read them
};

ActivityRecord LoadActivityRecord(const QString& path);

// Written atomically; a power loss may bring back the previous record. False (with an Error log
// line) when the file could not be written.
bool SaveActivityRecord(const QString& path, const ActivityRecord& record);
// Reads the record, changes it and writes it, while no other process does the same (a lock on
// PATH.lock): each process changes only what it did (a refresh, a pass), and two at once would
// otherwise write back what the other's change replaced. False as SaveActivityRecord.
bool UpdateActivityRecord(const QString& path, const std::function<void(ActivityRecord&)>& change);

}  // namespace quillet
