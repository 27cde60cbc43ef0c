#pragma once
// Spark keeps its signatures, their order and each account's default signature in its settings
// database (SparkSettings.h). The sync rewrites the rows of Quillet's signatures, the ordering
// and the binding in one transaction. A signature that leaves Spark keeps its row as a tombstone
// ("deleted" true), so that Spark's own cloud sync removes it everywhere.

#include <QString>
#include <map>
#include <optional>

#include "app/clients/sync/SparkSettings.h"
#include "app/clients/sync/SyncPlan.h"
#include "platform/FileFailure.h"

namespace quillet {

struct SyncSparkSignaturesError {
    enum class Kind { database, fileSystem };
    Kind kind = Kind::database;
    QString pathX;                                     // the database
    FileFailureCause cause = FileFailureCause::other;  // of a write that failed
};

// The moment of one sync, taken once: in seconds since 1 January 2001 for the members of the
// signature objects, and in seconds since 1970 for the rows' sync date.
struct SparkSyncTime {
    double referenceSeconds = 0;
    double unixSeconds = 0;
};
SparkSyncTime SparkSyncTimeNow();
SparkSyncTime SparkSyncTimeAt(double unixSeconds);

// The name under which an account's binding is kept when Quillet replaces it.
inline const QString kSparkBindingSetting = QStringLiteral("binding");

struct SparkSyncPlan {
    SparkSettingsRows rows;
    ReplacedSettingsChanges replaced;  // by account email, for the settings database
};

// Works out the rows to write from the settings read and what was kept of the person's bindings
// (by account email); writes nothing. Rows are written for the signatures Spark must hold and
// for Quillet's signatures that leave it (tombstones), each only when its content changes (its
// modification date with it); a signature row keeps every member Spark put in it besides
// Quillet's. An account that Quillet's signature leaves is bound again to the person's own
// signature when its row is still live.
SparkSyncPlan PlanSparkSync(const SyncInputs& inputs, const SparkSettings& settings,
                            const SparkSyncTime& time,
                            const std::map<QString, ClientSettings>& kept);

// For a restore, inside its open transaction once the rows are back: an account that the restore
// bound to a signature whose row is gone or a tombstone (the person deleted it since) is
// unbound, as a sync leaves it. `before` is the binding when the restore began; an account bound
// as it was then stays as the person has it. False when the settings cannot be read or written.
bool UnbindDeletedSparkSignatures(sqlite3* database, const std::map<QString, QString>& before,
                                  ClientWrites& writes);

// Reads the settings, writes the planned rows in one transaction, closes the database and
// records the installations. `fileSystem` when the database cannot be opened; `database` when a
// query or statement fails or a row is not what Spark writes, with nothing written or recorded.
std::optional<SyncSparkSignaturesError> SyncSparkSignatures(const SyncInputs& inputs);

}  // namespace quillet
