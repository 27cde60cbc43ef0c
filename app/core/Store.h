#pragma once
// The signature store: one SQLite database ("DataV2.sqlite" in the data folder, with its "-shm"
// and "-wal" companions) holding the signatures, the installations the user selected and the
// installations performed. The engine opens it once and uses it from the main thread only.
// Failures are logged; a failed save also raises the critical alert, and its changes stay
// pending so that the next successful save writes them.

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "app/core/StoreRecord.h"
#include "app/core/StoreSchema.h"
#include "app/core/StoreTables.h"
#include "common/ClientKind.h"
#include "common/Signature.h"
#include "common/SignatureId.h"

struct sqlite3;

namespace quillet {

using CriticalAlert = std::function<void(const QString& title, const QString& details)>;

// Appended to a store's path, they name its three files.
inline constexpr std::array<const char*, 3> kStoreFileSuffixes = {"", "-shm", "-wal"};
// The number of colours of the signature colour palette.
inline constexpr std::int64_t kSignatureColorCount = 13;
// How long a save waits for another connection's write lock before it fails.
inline constexpr int kStoreBusyTimeoutMilliseconds = 1000;

class Store {
public:
    // The open-store chain over the data folder and the Documents folder: "DataV2.sqlite", else
    // a migrated "DataV1.sqlite", else a migrated copy of Documents' "SignatureModel.sqlite",
    // else a new store. Absent when the store cannot be opened or migrated (the log line is
    // written); a failed migration keeps "DataV1" and leaves no "DataV2" file behind.
    static std::unique_ptr<Store> OpenStoreChain(const QString& dataFolder,
                                                 const QString& documentsFolder,
                                                 CriticalAlert alert);
    // Opens the store of the model "DataV2" (created when missing, older files upgraded in
    // place) or "DataV1" (existing files only). Absent, with the log line, on failure.
    static std::unique_ptr<Store> openStore(const QString& modelName, const QString& path,
                                            CriticalAlert alert);

    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const QString& path() const { return _path; }
    const QString& modelName() const { return _modelName; }

    // Every signature in store order. Pending-deletion signatures that no detected client still
    // has are deleted, unassigned colours are assigned, and the result is saved.
    std::pair<SignatureIds, IdToSignatureMap> LoadSignatures(
        const std::vector<ClientKind>& detectedKinds);
    // The new record's permanent id, given at once; the record is saved.
    SignatureId AddSignatureRecord(const Signature& signature);
    // Writes the listed signatures from the map, then saves (also when the list is empty).
    void SaveSignatures(const SignatureIds& ids, const IdToSignatureMap& map);
    // Writes every pending change in one transaction; records equal to what the file holds are
    // not written. On failure: the log line, the alert "Could not save signatures", and the
    // changes kept for the next save.
    bool SaveManagedObjectContext();
    bool hasChanges() const { return !_pending.empty(); }
    // Closes the database and deletes its three files.
    void DestroyStore();

    void setBusyTimeout(int milliseconds);
    // The next `count` commits fail as if the disk refused them.
    void failNextCommitsForTesting(int count) { _failingCommits = count; }
    // The same for the commits of the next migrations, whose store the caller never sees.
    static void FailNextMigrationCommitsForTesting(int count);

private:
    Store(QString modelName, QString path, sqlite3* database, CriticalAlert alert);

    static std::unique_ptr<Store> MigrateDataV1Store(const QString& legacyPath, const QString& path,
                                                     CriticalAlert alert);
    bool isKnown(std::int64_t primaryKey) const;
    // Records a change to write at the next save; nullopt deletes the record.
    void stage(std::int64_t primaryKey, std::optional<SignatureRecord> record);
    std::optional<QString> commitPendingChanges();

    QString _modelName;
    QString _path;
    sqlite3* _database;
    CriticalAlert _alert;
    StoreKeys _keys;
    StoredRecords _saved;  // what the file holds, as last read or written
    std::map<std::int64_t, std::optional<SignatureRecord>> _pending;
    int _failingCommits = 0;
};

// Deletes the store's files that exist (path + each of kStoreFileSuffixes).
void RemoveStoreFiles(const QString& path);

}  // namespace quillet
