#pragma once
// The signature store: one SQLite database ("DataV2.sqlite" in the data folder, with its "-shm"
// and "-wal" companions) holding the signatures, the installations the user selected and the
// installations performed. The web-mail extension keeps its signatures in a store of its own
// ("SafariDataV1.sqlite", model "SafariDataV1") of the same layout and discipline, through the
// record operations. The engine opens it once and uses it from the main thread only.
// Other processes (the command beside the application, two commands) may use the same file at
// the same time: every save takes its keys and writes its changes under the file's write lock,
// against what the file holds then. A record another process deleted stays deleted: the changes
// this process held for it are dropped and reported (takeRecordsRemovedElsewhere). Failures are
// logged; a failed save also raises the critical alert, and its changes stay pending so that the
// next successful save writes them.

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "app/store/StoreMigration.h"
#include "app/store/StoreRecord.h"
#include "app/store/StoreSchema.h"
#include "app/store/StoreTables.h"
#include "common/ClientKind.h"
#include "common/Result.h"
#include "common/Signature.h"
#include "common/SignatureId.h"

struct sqlite3;

namespace quillet {

using CriticalAlert = std::function<void(const QString& title, const QString& details)>;

// Appended to a store's path, they name its three files.
inline constexpr std::array<const char*, 3> kStoreFileSuffixes = {"", "-shm", "-wal"};
// In the data folder: held while a process opens the store (and makes or migrates it).
inline constexpr const char* kStoreOpeningLockFileName = "StoreOpening.lock";
// The number of colours of the signature colour palette.
inline constexpr std::int64_t kSignatureColorCount = 13;
// How long a save waits for another connection's write lock before it fails.
inline constexpr int kStoreBusyTimeoutMilliseconds = 1000;

// How the store reaches its file.
struct StoreOptions {
    int busyTimeoutMilliseconds = kStoreBusyTimeoutMilliseconds;
    // The SQLite VFS (by its registered name) through which the file is read and written;
    // empty for SQLite's default.
    QString sqliteVfs;
};

class Store {
public:
    // The open-store chain over the data folder and the Documents folder: "DataV2.sqlite", else
    // a migrated "DataV1.sqlite", else a migrated copy of Documents' "SignatureModel.sqlite",
    // else a new store. Absent when the store cannot be opened or migrated (the log line is
    // written); a failed migration keeps "DataV1" and leaves no "DataV2" file behind.
    // A Documents file that is not an earlier store is left alone, with a Warning, and a new
    // store is created.
    static std::unique_ptr<Store> OpenStoreChain(const QString& dataFolder,
                                                 const QString& documentsFolder,
                                                 CriticalAlert alert,
                                                 const StoreOptions& options = {});
    // Opens the store of the model "DataV2" or "SafariDataV1" (created when missing, older files
    // upgraded in place) or "DataV1" (existing files only). Absent, with the log line, on
    // failure.
    static std::unique_ptr<Store> openStore(const QString& modelName, const QString& path,
                                            CriticalAlert alert, const StoreOptions& options = {});

    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const QString& path() const { return _path; }
    const QString& modelName() const { return _modelName; }

    // Every signature in store order. Pending-deletion signatures that no client holds any more
    // (none has a performed installation left, detected or not) are deleted, unassigned colours
    // are assigned, and the result is saved. Fails, with the log line, when the store cannot be
    // read.
    Result<std::pair<SignatureIds, IdToSignatureMap>> LoadSignatures();
    // The new record's permanent id; the record is saved. Its key is taken when the record is
    // first written: should that save fail, the id is a stand-in that stays valid for this
    // run (later saves write the record under a key of its own).
    SignatureId AddSignatureRecord(const Signature& signature);
    // Writes the listed signatures from the map, then saves (also when the list is empty).
    void SaveSignatures(const SignatureIds& ids, const IdToSignatureMap& map);
    // The records as stored, in store order, with the changes a failed save left pending.
    std::vector<std::pair<SignatureId, SignatureRecord>> LoadRecords();
    // As AddSignatureRecord and SaveSignatures, for a record the caller built. A record that comes
    // back (a restore) takes its former key when the file has none under it, so that it keeps its
    // place in store order: which signature wins an account goes by that order.
    SignatureId AddRecord(SignatureRecord record, std::int64_t formerKey = 0);
    // False (with the log line) when the store has no such record.
    bool SaveRecord(SignatureId id, SignatureRecord record);
    bool RemoveRecord(SignatureId id);
    // Writes every pending change in one transaction; only what this process changed in a record
    // since it read or wrote it is written. On failure: the log line, the alert "Could not save
    // signatures", and the changes kept for the next save.
    bool SaveManagedObjectContext();
    bool hasChanges() const { return !_pending.empty(); }
    // Told, once a save has committed, of each record it wrote: its key, as the file held it right
    // before (so that putting it back undoes this save and nothing another process wrote), and as
    // written (absent: no record). Restore points keep what commands change.
    using SaveObserver =
        std::function<void(std::int64_t primaryKey, const std::optional<SignatureRecord>& before,
                           const std::optional<SignatureRecord>& after)>;
    void setSaveObserver(SaveObserver observer) { _saveObserver = std::move(observer); }
    // Of the caller's signatures, those whose records another process deleted while this one
    // held changes to them, since the last call: the deletion stands (the person removed them, or
    // their removal finished) and the changes were dropped. The caller forgets them, and tells
    // the person when the change was theirs.
    SignatureIds takeRecordsRemovedElsewhere(const SignatureIds& known);
    // SQLite's data version of this connection: it changes when another connection (another
    // process) committed to the file since the last time it was read. Absent when it cannot be
    // read (StoreDataVersion.cpp).
    std::optional<std::int64_t> dataVersion() const;
    // Whether another process may have committed to the file since this one last read its
    // records (true when that cannot be told): the records held here are then not what the file
    // holds. This process's own commits leave them alike.
    bool changedElsewhereSinceRead() const;
    // What the file holds now of the signature with this uuid, whatever this process read or
    // holds; fails (SQLite's description) when it cannot be read.
    Result<StoredPresence> storedPresence(const QUuid& uuid) const;
    // Forgets the records' digests, for a process that lets its signatures go while it waits:
    // the next LoadSignatures reads them afresh. Only without changes the store has not taken
    // (false then, and nothing is forgotten).
    bool letRecordsGo();
    // Closes the database and deletes its three files.
    void DestroyStore();

private:
    Store(QString modelName, QString path, sqlite3* database, CriticalAlert alert,
          StoreOptions options);
    // Reads the stored records, keeping their digests as this process's own view of them;
    // absent, with the log line, when they cannot be read. The pending changes of records another
    // process deleted are dropped.
    std::optional<StoredRecords> readSavedRecords();
    // The records read merged with the pending changes, in store order; records not yet written
    // come last, under their stand-in ids. Each read record is let go once visited.
    void forEachWorkingRecord(
        StoredRecords records,
        const std::function<void(std::int64_t id, const SignatureRecord& record)>& visit) const;

    // The records of an earlier store; absent, with the log line, when the file is not one (it
    // cannot be opened as one, or its signatures cannot be read).
    static std::optional<std::vector<LegacySignatureRecord>> ReadDataV1Records(
        const QString& legacyPath, const StoreOptions& options);
    // Writes the records into a new "DataV2" store and removes the old files; absent, with
    // neither a "DataV2" file left nor the old files touched, when that fails.
    static std::unique_ptr<Store> MigrateDataV1Records(
        const std::vector<LegacySignatureRecord>& records, const QString& legacyPath,
        const QString& path, CriticalAlert alert, const StoreOptions& options);
    // The key under which the record of an id is stored (a stand-in id's record has its own).
    std::int64_t storedKey(std::int64_t id) const;
    bool isKnown(std::int64_t primaryKey) const;
    // Records a change to write at the next save; nullopt deletes the record. False when the
    // record is as saved: nothing to write.
    bool stage(std::int64_t primaryKey, std::optional<SignatureRecord> record);
    // Records a new record to write at the next save; returns its stand-in id.
    std::int64_t stageNew(SignatureRecord record, std::int64_t formerKey = 0);
    // The key a new record is written under: its former one when that is free, else the next.
    std::optional<QString> keyForNew(std::int64_t standInId, EntityKeys& keys,
                                     const std::set<std::int64_t>& taken, std::int64_t* key);
    // The stand-in ids of new records not yet written, in the order they were added.
    std::vector<std::int64_t> unwrittenIds() const;
    std::optional<QString> commitPendingChanges();
    // The change of a record the file still holds (`current`); nullopt deletes it.
    std::optional<QString> writeChange(StoreRecordWriter& writer, std::int64_t primaryKey,
                                       const SignatureRecord& current,
                                       const std::optional<SignatureRecord>& change);

    QString _modelName;
    SignatureEntity _entity = SignatureEntity::desktop;
    QString _path;
    sqlite3* _database;
    CriticalAlert _alert;
    StoreOptions _options;
    StoreKeys _keys;  // the entity numbers; the maxima are read again by every save
    // Each row as this process last read or wrote it, by key: its digest, not a copy, as the
    // engine holds the signatures themselves.
    std::map<std::int64_t, RecordDigest> _saved;
    // By key; new records not yet written are under negative stand-in ids.
    std::map<std::int64_t, std::optional<SignatureRecord>> _pending;
    std::int64_t _lastStandInId = 0;
    std::map<std::int64_t, std::int64_t> _formerKeys;  // by stand-in id, of records that come back
    std::map<std::int64_t, std::int64_t> _standInIdToKey;  // of records written since
    SaveObserver _saveObserver;
    std::set<std::int64_t> _removedElsewhere;  // keys, until taken
    std::optional<std::int64_t> _readVersion;  // the data version before the last read
};

// Deletes the store's files that exist (path + each of kStoreFileSuffixes).
void RemoveStoreFiles(const QString& path);

}  // namespace quillet
