#include "app/store/Store.h"

#include <sqlite3.h>

#include <QFile>
#include <QUuid>
#include <functional>
#include <set>

#include "app/store/StoreSql.h"
#include "app/store/StoreVfs.h"
#include "common/Localization.h"
#include "common/Log.h"
#include "platform/FileAccess.h"

namespace quillet {

namespace {

constexpr const char* kDataV1 = "DataV1";
constexpr const char* kDataV2 = "DataV2";
constexpr const char* kSafariDataV1 = "SafariDataV1";

std::optional<QString> UseWriteAheadLog(sqlite3* database) {
    StoreStatement pragma(database, "PRAGMA journal_mode=WAL");
    if (!pragma.ok())
        return pragma.error();
    if (!pragma.step()) {
        return pragma.error().isEmpty() ? QString("no journal mode") : pragma.error();
    }
    const QString mode = pragma.text(0);
    if (mode.compare("wal", Qt::CaseInsensitive) != 0) {
        return QString("could not use write-ahead logging (journal mode %1)").arg(mode);
    }
    return std::nullopt;
}

std::optional<QString> PrepareCurrentModel(sqlite3* database, SignatureEntity entity,
                                           StoreKeys* keys) {
    if (auto error = UseWriteAheadLog(database))
        return error;
    if (auto error = ExecuteStoreSql(database, "BEGIN IMMEDIATE"))
        return error;
    std::optional<QString> error = PrepareSchema(database, entity, keys);
    if (!error)
        error = ExecuteStoreSql(database, "COMMIT");
    if (error)
        ExecuteStoreSql(database, "ROLLBACK");
    return error;
}

// Opens the store's database, making it when `create` and it is not there yet.
std::optional<QString> OpenDatabase(const QString& path, bool create, const StoreOptions& options,
                                    sqlite3** database) {
    // SQLite would make a new database as the umask allows, and its journal and shared-memory
    // files, made later by whichever process opens the store, as the database is: made
    // owner-only first, no file of the store is ever open to others.
    if (create) {
        if (auto failure = CreateOwnerOnlyFile(path))
            return failure->description;
    }
    // One thread uses a connection (the main one): SQLite need not lock it at every call.
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    const QByteArray vfs = options.sqliteVfs.toUtf8();
    const int result = sqlite3_open_v2(QFile::encodeName(path).constData(), database, flags,
                                       vfs.isEmpty() ? StoreVfsName() : vfs.constData());
    if (result == SQLITE_OK) {
        // Every commit is on the disk already in the write-ahead log; folding the log into the
        // database when a process closes it would make each short command wait for the disk
        // twice more. SQLite folds it in anyway once it grows (at its automatic checkpoint).
        sqlite3_db_config(*database, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        return std::nullopt;
    }
    return *database ? StoreErrorText(*database) : QString(sqlite3_errstr(result));
}

bool HasPerformedInstallation(const Signature& signature) {
    for (const auto& [kind, performed] : signature.clientKindToPerformedInstallationsInfoMap) {
        if (performed.allAccountsInstalled || !performed.accountEmailToPayloadMap.empty())
            return true;
    }
    return false;
}

}  // namespace

void RemoveStoreFiles(const QString& path) {
    for (const char* suffix : kStoreFileSuffixes) {
        const QString file = path + suffix;
        if (QFile::exists(file) && !QFile::remove(file)) {
            LogWarning("DestroyStore(): Could not delete " + file);
        }
    }
}

std::unique_ptr<Store> Store::openStore(const QString& modelName, const QString& path,
                                        CriticalAlert alert, const StoreOptions& options) {
    const bool current = modelName == kDataV2 || modelName == kSafariDataV1;
    const SignatureEntity entity =
        modelName == kSafariDataV1 ? SignatureEntity::webMail : SignatureEntity::desktop;
    std::optional<QString> error;
    sqlite3* database = nullptr;
    StoreKeys keys;
    if (!current && modelName != kDataV1) {
        error = QString("no such model");
    } else {
        error = OpenDatabase(path, current, options, &database);
        if (!error) {
            sqlite3_busy_timeout(database, options.busyTimeoutMilliseconds);
            error = current ? PrepareCurrentModel(database, entity, &keys)
                            : CheckDataV1Schema(database);
        }
    }
    if (error) {
        sqlite3_close_v2(database);
        LogError("openStore(): Could not add persistent store for model \"" + modelName + "\" at " +
                 path + ": " + *error);
        return nullptr;
    }
    // An earlier version left the store's files as open as the umask made them.
    for (const char* suffix : kStoreFileSuffixes)
        RestrictToOwner(path + suffix);
    std::unique_ptr<Store> store(new Store(modelName, path, database, std::move(alert), options));
    store->_entity = entity;
    store->_keys = keys;
    return store;
}

Store::Store(QString modelName, QString path, sqlite3* database, CriticalAlert alert,
             StoreOptions options)
    : _modelName(std::move(modelName)),
      _path(std::move(path)),
      _database(database),
      _alert(std::move(alert)),
      _options(std::move(options)) {}

Store::~Store() {
    sqlite3_close_v2(_database);
}

std::optional<StoredRecords> Store::readSavedRecords() {
    if (!_database)
        return std::nullopt;
    StoredRecords stored;
    // Taken before the read: a commit of another process during it is seen at the next look.
    const std::optional<std::int64_t> version = dataVersion();
    const std::optional<QString> error = ReadSignatureRecords(_database, _entity, &stored);
    // The rows were read: SQLite's cache of their pages would only hold a second copy of them,
    // in another encoding, until the next read, which finds them in the file anyway.
    sqlite3_db_release_memory(_database);
    if (error) {
        LogError("LoadSignatures(): Could not fetch signatures: " + *error);
        return std::nullopt;
    }
    // A record another process deleted takes this process's unsaved changes with it.
    for (auto it = _pending.begin(); it != _pending.end();) {
        const auto& [primaryKey, change] = *it;
        if (primaryKey > 0 && !stored.count(primaryKey)) {
            if (change)
                _removedElsewhere.insert(primaryKey);
            it = _pending.erase(it);
        } else {
            ++it;
        }
    }
    _saved.clear();
    for (const auto& [primaryKey, record] : stored)
        _saved.emplace_hint(_saved.end(), primaryKey, DigestOf(_entity, record));
    _readVersion = version;
    return stored;
}

void Store::forEachWorkingRecord(
    StoredRecords records,
    const std::function<void(std::int64_t id, const SignatureRecord& record)>& visit) const {
    // Changes that a failed save left pending are part of the working set; records not yet
    // written come last, in the order they were added.
    for (auto read = records.begin(); read != records.end(); read = records.erase(read)) {
        const auto pending = _pending.find(read->first);
        if (pending == _pending.end()) {
            visit(read->first, read->second);
        } else if (pending->second) {
            visit(read->first, *pending->second);
        }
    }
    for (std::int64_t id : unwrittenIds())
        visit(id, *_pending.at(id));
}

std::vector<std::pair<SignatureId, SignatureRecord>> Store::LoadRecords() {
    std::vector<std::pair<SignatureId, SignatureRecord>> records;
    auto read = readSavedRecords();
    if (!read)
        return records;
    forEachWorkingRecord(std::move(*read), [&](std::int64_t id, const SignatureRecord& record) {
        records.emplace_back(SignatureId{storedKey(id)}, record);
    });
    return records;
}

SignatureId Store::AddRecord(SignatureRecord record, std::int64_t formerKey) {
    const std::int64_t id = stageNew(std::move(record), formerKey);
    SaveManagedObjectContext();
    return SignatureId{storedKey(id)};
}

bool Store::SaveRecord(SignatureId id, SignatureRecord record) {
    const std::int64_t primaryKey = storedKey(id.value);
    if (!isKnown(primaryKey)) {
        LogError("SaveSignatures(): No stored record with ID " + id.toString());
        return false;
    }
    stage(primaryKey, std::move(record));
    return SaveManagedObjectContext();
}

bool Store::RemoveRecord(SignatureId id) {
    const std::int64_t primaryKey = storedKey(id.value);
    if (!isKnown(primaryKey)) {
        LogError("RemoveRecord(): No stored record with ID " + id.toString());
        return false;
    }
    stage(primaryKey, std::nullopt);
    return SaveManagedObjectContext();
}

Result<std::pair<SignatureIds, IdToSignatureMap>> Store::LoadSignatures() {
    auto read = readSavedRecords();
    if (!read)
        return Failed{"Could not read the signatures in " + _path + " (see the log for details)."};

    SignatureIds ids;
    IdToSignatureMap map;
    std::set<std::int64_t> toWrite;
    std::vector<std::int64_t> toDelete;
    forEachWorkingRecord(
        std::move(*read), [&](std::int64_t primaryKey, const SignatureRecord& record) {
            auto signature = std::make_shared<Signature>(SignatureFromRecord(record));
            // Kept while any client holds it, detected or not: a client that is away (moved, its
            // profile missing) still holds it, and has it removed when it is back.
            if (signature->pendingDeletion && !HasPerformedInstallation(*signature)) {
                LogInfo("LoadSignatures(): Deleting signature \"" + signature->nameQe +
                        "\", which no installed client holds any more");
                toDelete.push_back(primaryKey);
                return;
            }
            if (!signature->uuidX) {
                signature->uuidX = QUuid::createUuid();
                toWrite.insert(primaryKey);
            }
            ids.push_back(SignatureId{primaryKey});
            map.emplace_hint(map.end(), ids.back(), std::move(signature));
        });
    for (std::int64_t primaryKey : toDelete)
        stage(primaryKey, std::nullopt);
    const bool deleted = !toDelete.empty();
    for (size_t i = 0; i < ids.size(); ++i) {
        Signature& signature = *map[ids[i]];
        if (signature.colorIndex != -1)
            continue;
        signature.colorIndex =
            (kSignatureColorCount - 1 + static_cast<std::int64_t>(i)) % kSignatureColorCount;
        toWrite.insert(ids[i].value);
    }
    for (std::int64_t primaryKey : toWrite) {
        stage(primaryKey, RecordFromSignature(*map[SignatureId{primaryKey}]));
    }
    if (deleted || !toWrite.empty())
        SaveManagedObjectContext();
    return std::pair{std::move(ids), std::move(map)};
}

SignatureId Store::AddSignatureRecord(const Signature& signature) {
    return AddRecord(RecordFromSignature(signature));
}

void Store::SaveSignatures(const SignatureIds& ids, const IdToSignatureMap& map) {
    for (const SignatureId& id : ids) {
        const auto found = map.find(id);
        if (found == map.end() || !found->second) {
            LogError("SaveSignatures(): No signature with ID " + id.toString());
            continue;
        }
        const Signature& signature = *found->second;
        const std::int64_t primaryKey = storedKey(id.value);
        if (!isKnown(primaryKey)) {
            LogError("SaveSignatures(): No stored record with ID " + id.toString());
            continue;
        }
        // Only a record that changes is written, and only its change is logged.
        if (stage(primaryKey, RecordFromSignature(signature)))
            LogInfo("Updating signature \"" + signature.nameQe + "\"...");
    }
    SaveManagedObjectContext();
}

bool Store::SaveManagedObjectContext() {
    if (_pending.empty())
        return true;
    const std::optional<QString> error = commitPendingChanges();
    if (!error)
        return true;
    LogError("SaveManagedObjectContext(): " + *error);
    if (_alert)
        _alert(Localized("Could not save signatures"), *error);
    return false;
}

void Store::DestroyStore() {
    sqlite3_close_v2(_database);
    _database = nullptr;
    _saved.clear();
    _pending.clear();
    _formerKeys.clear();
    RemoveStoreFiles(_path);
}

std::int64_t Store::storedKey(std::int64_t id) const {
    const auto written = _standInIdToKey.find(id);
    return written == _standInIdToKey.end() ? id : written->second;
}

bool Store::isKnown(std::int64_t primaryKey) const {
    const auto pending = _pending.find(primaryKey);
    if (pending != _pending.end())
        return pending->second.has_value();
    return _saved.count(primaryKey) > 0;
}

bool Store::stage(std::int64_t primaryKey, std::optional<SignatureRecord> record) {
    const auto saved = _saved.find(primaryKey);
    const bool asSaved =
        record ? (saved != _saved.end() && saved->second == DigestOf(_entity, *record))
               : saved == _saved.end();
    if (asSaved) {
        _pending.erase(primaryKey);
    } else {
        _pending[primaryKey] = std::move(record);
    }
    return !asSaved;
}

std::int64_t Store::stageNew(SignatureRecord record, std::int64_t formerKey) {
    // Negative, so that a stand-in can never be mistaken for a key of the file.
    const std::int64_t id = --_lastStandInId;
    _pending[id] = std::move(record);
    if (formerKey > 0)
        _formerKeys[id] = formerKey;
    return id;
}

std::optional<QString> Store::keyForNew(std::int64_t standInId, EntityKeys& keys,
                                        const std::set<std::int64_t>& taken, std::int64_t* key) {
    const auto former = _formerKeys.find(standInId);
    // Keys above the file's maximum were never given by this file: one of them would be given
    // again to the next new record.
    if (former != _formerKeys.end() && former->second <= keys.max &&
        !taken.contains(former->second)) {
        std::optional<SignatureRecord> held;
        if (auto error = ReadSignatureRecord(_database, _entity, former->second, &held))
            return error;
        if (!held) {
            *key = former->second;
            return std::nullopt;
        }
    }
    *key = keys.next();
    return std::nullopt;
}

std::vector<std::int64_t> Store::unwrittenIds() const {
    std::vector<std::int64_t> ids;
    for (auto it = _pending.begin(); it != _pending.end() && it->first < 0; ++it)
        ids.insert(ids.begin(), it->first);
    return ids;
}

std::optional<QString> Store::commitPendingChanges() {
    if (!_database)
        return QString("the store is closed");
    SyncLogToDisk();  // the lines of these changes go first
    if (auto error = ExecuteStoreSql(_database, "BEGIN IMMEDIATE"))
        return error;
    // Everything is worked out afresh under the write lock: another process may have added,
    // changed or deleted rows since this one last looked, and a save that failed before must
    // not replay what it built then. Keys come from the file as it is now.
    StoreKeys keys = _keys;
    std::map<std::int64_t, std::int64_t> standInIdToKey;
    std::optional<QString> error = ReadEntityKeyMaxima(_database, _entity, &keys);
    std::set<std::int64_t> removedElsewhere;
    // What the file held of each record this save changes, for the observer.
    std::map<std::int64_t, SignatureRecord> before;
    if (!error) {
        StoreRecordWriter writer(_database, _entity, keys);
        for (const auto& [primaryKey, change] : _pending) {
            if (primaryKey < 0)
                continue;
            std::optional<SignatureRecord> current;
            if ((error = ReadSignatureRecord(_database, _entity, primaryKey, &current)))
                break;
            if (!current) {
                // Another process deleted it: the person removed it, or its removal finished.
                // That stands; a change of this process (a refresh, a pass, holding an older
                // copy) must not bring it back.
                if (change) {
                    LogInfo("SaveManagedObjectContext(): Not writing signature " +
                            QString::number(primaryKey) + ", which another process deleted");
                    removedElsewhere.insert(primaryKey);
                }
                continue;
            }
            if ((error = writeChange(writer, primaryKey, *current, change)))
                break;
            before.emplace(primaryKey, std::move(*current));
        }
        std::set<std::int64_t> taken;
        for (std::int64_t id : error ? std::vector<std::int64_t>() : unwrittenIds()) {
            std::int64_t key = 0;
            if ((error = keyForNew(id, keys.signature, taken, &key)) ||
                (error = writer.insert(key, *_pending.at(id))))
                break;
            standInIdToKey[id] = key;
            taken.insert(key);
        }
    }
    if (!error)
        error = WriteEntityKeyMaxima(_database, keys);
    if (!error)
        error = ExecuteStoreSql(_database, "COMMIT");
    if (error) {
        ExecuteStoreSql(_database, "ROLLBACK");
        return error;
    }
    _standInIdToKey.insert(standInIdToKey.begin(), standInIdToKey.end());
    for (auto& [id, change] : _pending) {
        const std::int64_t primaryKey = id < 0 ? standInIdToKey.at(id) : id;
        // A record another process deleted was not written: nothing of this save's to keep.
        const bool written = !removedElsewhere.contains(primaryKey);
        if (_saveObserver && written) {
            const auto held = before.find(primaryKey);
            _saveObserver(primaryKey,
                          held == before.end() ? std::nullopt : std::optional(held->second),
                          change);
        }
        if (change && written) {
            _saved[primaryKey] = DigestOf(_entity, *change);
        } else {
            _saved.erase(primaryKey);
        }
    }
    _pending.clear();
    _formerKeys.clear();
    _removedElsewhere.insert(removedElsewhere.begin(), removedElsewhere.end());
    return std::nullopt;
}

Result<StoredPresence> Store::storedPresence(const QUuid& uuid) const {
    if (!_database)
        return Failed{"the store is closed"};
    return ReadStoredPresence(_database, _entity, uuid);
}

bool Store::letRecordsGo() {
    if (hasChanges())
        return false;
    _saved.clear();
    _removedElsewhere.clear();
    _readVersion.reset();
    return true;
}

SignatureIds Store::takeRecordsRemovedElsewhere(const SignatureIds& known) {
    // A caller whose record's first save failed knows it by its stand-in id.
    SignatureIds removed;
    for (SignatureId id : known) {
        if (_removedElsewhere.contains(storedKey(id.value)))
            removed.push_back(id);
    }
    _removedElsewhere.clear();
    return removed;
}

std::optional<QString> Store::writeChange(StoreRecordWriter& writer, std::int64_t primaryKey,
                                          const SignatureRecord& current,
                                          const std::optional<SignatureRecord>& change) {
    const auto saved = _saved.find(primaryKey);
    if (!change) {
        // Deleted on what this process read; a row changed since is judged again next start.
        if (saved != _saved.end() && DigestOf(_entity, current) != saved->second) {
            LogInfo("SaveManagedObjectContext(): Keeping signature " + QString::number(primaryKey) +
                    ", which another process changed");
            return std::nullopt;
        }
        return writer.remove(primaryKey);
    }
    if (saved == _saved.end())
        return writer.update(primaryKey, current, *change);
    return writer.update(primaryKey, BaseForChange(_entity, saved->second, current, *change),
                         *change);
}

}  // namespace quillet
