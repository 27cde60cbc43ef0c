#pragma once
// The signature store's side of restore points: the records a command's saves change (as the
// store found them first and left them last), their JSON form in a point, putting them back
// field by field, and naming a pass by what its command did to them.

#include <QString>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <vector>

#include "app/restore/RestorePoints.h"
#include "app/store/StoreRecord.h"

namespace quillet {

// Gathers the records that the store's saves change, by uuid: each with the record as it was
// before the first change and as it is after the last. The engine clears it when a pass ends.
class StoreChangeJournal {
public:
    // What the store tells of each record it wrote (absent: no record).
    void recordSaved(std::int64_t primaryKey, const std::optional<SignatureRecord>& before,
                     const std::optional<SignatureRecord>& after);
    // The records that differ from how they were, in the order first changed.
    std::vector<KeptStoreRecord> changes() const;
    // A reinstallation the person asked for: its record's marks look like a refresh's, which
    // also marks what the service changed.
    void noteReinstallationAsked(const QString& uuid);
    bool reinstallationAsked(const std::set<QString>& uuids) const;
    void clear();

private:
    std::vector<KeptStoreRecord> _records;
    std::map<QString, std::size_t> _indexByUuid;
    std::set<QString> _reinstallationsAsked;
};

nlohmann::json StoreRecordJson(const std::optional<SignatureRecord>& record);
// Absent when the JSON is not a record of this form (null reads as no record).
std::optional<std::optional<SignatureRecord>> StoreRecordFromJson(const nlohmann::json& json);

// Which parts of a record a restore puts back: every field, or only the selected and performed
// installations of some clients (a restore of some of a point's clients).
struct StoreRestoreScope {
    bool everything = true;
    std::set<ClientKind> clients;
};

// Puts back the fields of `record` that the change changed (every field when the change's after
// is not known), from what is there now (absent: no record). Changing everything, a record the
// change created goes and one it removed comes back.
std::optional<SignatureRecord> UndoStoreRecordChange(const std::optional<SignatureRecord>& now,
                                                     const KeptStoreRecord& change, bool afterKnown,
                                                     const StoreRestoreScope& scope);

// Whether a command's change of the store needs a restore point of its own even when no client
// changed: a record added or removed, or its installations (selected or performed) changed. A
// client that already held what the pass wrote (a second signature of the same text on an
// identity that holds one) changes nothing, yet restoring an earlier point must undo this
// record too, or the store would claim what the client no longer holds.
bool ChangesInstallations(const KeptStoreRecord& change);

// What a pass over these signatures does, from what their command changed in the store:
// "install" (a signature or an installation added), "uninstall" (a signature marked for removal
// or an installation removed), "rename", "update" (reinstalled, or its options changed), else
// "refresh" (what the service changed, what was pending). "managed" when they are all the
// organisation's.
QString InferChangeReason(const std::vector<KeptStoreRecord>& changes,
                          const std::set<QString>& passUuids, bool allManaged,
                          bool reinstallationAsked);

}  // namespace quillet
