#pragma once
// A restore point's files, as JSON. Values that are bytes are JSON texts when they are UTF-8, else
// {"base64": …}; nothing here can throw.
//   manifest.json: {"format": 2, "id", "time" (ISO 8601, UTC), "reason", "complete",
//     "clients": [CLIENT…], "files": [PATH…], "units": [{"file", "sha256"}…],
//     "store": {"file", "sha256"} or null}. While the pass runs, "complete" is false, the lists
//     are empty and "keptStore" holds the store's record as store.json would: the records are
//     then those that are there, in order (earlier versions kept them in "units/<n>.json", and
//     the store's in store.json from the start).
//   unit-<n>.json: {"client", "kind", "path", "existedBefore", "table", "key": [[COLUMN,
//     VALUE]…], "rowsBefore": [ROW…], "name", "entries": [{"key", "before", "after",
//     "afterKnown"}…]}.
//   store.json: {"complete", "records": [{"uuid", "before", "after"}…]} (a record: its fields,
//     or null).

#include <QString>
#include <optional>
#include <variant>
#include <vector>

#include "app/restore/RestorePoints.h"
#include "platform/AtomicFile.h"

namespace quillet {

// Where a point's records lie, relative to its folder.
QString KeptUnitFileName(std::size_t number);  // "unit-<number>.json", from 1
inline const QString kKeptStoreFileName = QStringLiteral("store.json");

// The point in `folder` with what a listing shows (what it changed, not the entries); absent
// when its manifest is missing or not of this shape.
std::optional<RestorePoint> ReadRestorePointSummary(const QString& folder);
// The point whole: every record read, and for a finished point each checked against the digest
// the manifest holds. What is wrong otherwise.
std::variant<RestorePoint, QString> ReadWholeRestorePoint(const QString& folder);

// Sets the point's clients (in client order) and files (in order) from its units.
void SummariseRestorePoint(RestorePoint& point);
// Removes a point's folder; a symbolic link in its place is removed itself, never followed.
// False when something could not be removed.
bool RemoveRestorePointFolder(const QString& path);

// What the manifest of a finished point lists: each record with its digest.
struct KeptFileDigest {
    QString file;  // relative to the point
    QString sha256;
};

// A record written into the point's folder (durably, unless `durability` leaves the folder to
// the caller: records of files changed together share one synchronisation): its digest, or what
// failed.
std::variant<KeptFileDigest, QString> WriteKeptUnit(const QString& folder, const QString& file,
                                                    const KeptUnit& unit,
                                                    Durability durability = Durability::powerLoss);
// The finished point's record of the store leaves the folder to the manifest written after it.
std::variant<KeptFileDigest, QString> WriteKeptStore(const QString& folder,
                                                     const std::vector<KeptStoreRecord>& records,
                                                     bool complete,
                                                     Durability durability = Durability::powerLoss);

// Written atomically (durably, unless `durability` leaves the folder to the caller); nothing on
// success, else what failed. A finished point (`point.complete`) lists its records with their
// digests; an unfinished one lists nothing.
std::optional<QString> WriteRestorePointManifest(const RestorePoint& point,
                                                 const std::vector<KeptFileDigest>& units,
                                                 const std::optional<KeptFileDigest>& store,
                                                 Durability durability = Durability::powerLoss);
// The manifest of a point whose pass is under way, holding the store's changes so far: the
// record written before the pass's first change leaves the folder to it (one synchronisation
// of the folder for both).
std::optional<QString> WriteUnfinishedRestorePointManifest(
    const RestorePoint& point, const std::vector<KeptStoreRecord>& store, Durability durability);

}  // namespace quillet
