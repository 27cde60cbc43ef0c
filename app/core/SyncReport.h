#pragma once
// What one client's sync came to, in the words the person reads: whether it counts as updated,
// the line shown under the client's name, and which permission or database hint explains it.
// The sync pass gathers these and builds its one problems alert from them.

#include <QString>
#include <QStringList>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "common/ClientKind.h"
#include "platform/FileFailure.h"

namespace quillet {

// In the order the hints are shown.
enum class SyncHint { automation, fullDiskAccess, database, diskFull, diskQuota, readOnlyDisk };

struct ClientSyncReport {
    bool problem = false;         // the sync returned an error, or the client was not synced
    bool counted = true;          // counts as an updated client
    std::optional<QString> line;  // shown as "NAME: line"; none when a hint says it all
    std::set<SyncHint> hints;

    static ClientSyncReport Succeeded() { return {}; }
    static ClientSyncReport Failed(std::optional<QString> line, std::set<SyncHint> hints = {});
    bool operator==(const ClientSyncReport&) const = default;
};

using ClientSyncReports = std::vector<std::pair<ClientKind, ClientSyncReport>>;

// The report of a client that was running when its turn came: its files were not written.
ClientSyncReport ClientWasRunningReport();

// The report of a sync that could not read or change a file of its client. A permission (or
// anything the system does not tell apart from one) is the Full Disk Access hint; a full disk,
// a used-up quota or a read-only disk is said as it is, with the file: switching on Full Disk
// Access would not help there.
ClientSyncReport FileFailureReport(FileFailureCause cause, const QString& path);

// The report of a client that was written, except for the accounts it has not reported (the
// accounts cache is gone, or discovery has not found them): nothing of theirs changed.
ClientSyncReport AccountsNotFoundReport(const QStringList& emails);

// The problems alert's parts: the hints (each once, in their order), then one "NAME: line" per
// client in the order given. Empty without problems.
QStringList SyncProblemParts(const ClientSyncReports& reports, const QString& appName);

}  // namespace quillet
