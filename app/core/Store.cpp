#include "app/core/Store.h"

#include <sqlite3.h>

#include <QFile>
#include <QUuid>
#include <set>

#include "app/core/StoreSql.h"
#include "common/Localization.h"
#include "common/Log.h"

namespace quillet {

namespace {

constexpr const char* kDataV1 = "DataV1";
constexpr const char* kDataV2 = "DataV2";

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

std::optional<QString> PrepareDataV2(sqlite3* database, StoreKeys* keys) {
    if (auto error = UseWriteAheadLog(database))
        return error;
    if (auto error = ExecuteStoreSql(database, "BEGIN IMMEDIATE"))
        return error;
    std::optional<QString> error = PrepareDataV2Schema(database, keys);
    if (!error)
        error = ExecuteStoreSql(database, "COMMIT");
    if (error)
        ExecuteStoreSql(database, "ROLLBACK");
    return error;
}

bool HasPerformedInstallationIn(const Signature& signature, const std::vector<ClientKind>& kinds) {
    for (ClientKind kind : kinds) {
        if (signature.clientKindToPerformedInstallationsInfoMap.count(kind))
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
                                        CriticalAlert alert) {
    const bool current = modelName == kDataV2;
    std::optional<QString> error;
    sqlite3* database = nullptr;
    StoreKeys keys;
    if (!current && modelName != kDataV1) {
        error = QString("no such model");
    } else {
        const int flags = SQLITE_OPEN_READWRITE | (current ? SQLITE_OPEN_CREATE : 0);
        const int result =
            sqlite3_open_v2(QFile::encodeName(path).constData(), &database, flags, nullptr);
        if (result != SQLITE_OK) {
            error = database ? StoreErrorText(database) : QString(sqlite3_errstr(result));
        } else {
            sqlite3_busy_timeout(database, kStoreBusyTimeoutMilliseconds);
            error = current ? PrepareDataV2(database, &keys) : CheckDataV1Schema(database);
        }
    }
    if (error) {
        sqlite3_close_v2(database);
        LogError("openStore(): Could not add persistent store for model \"" + modelName + "\" at " +
                 path + ": " + *error);
        return nullptr;
    }
    std::unique_ptr<Store> store(new Store(modelName, path, database, std::move(alert)));
    store->_keys = keys;
    return store;
}

Store::Store(QString modelName, QString path, sqlite3* database, CriticalAlert alert)
    : _modelName(std::move(modelName)),
      _path(std::move(path)),
      _database(database),
      _alert(std::move(alert)) {}

Store::~Store() {
    sqlite3_close_v2(_database);
}

void Store::setBusyTimeout(int milliseconds) {
    if (_database)
        sqlite3_busy_timeout(_database, milliseconds);
}

std::pair<SignatureIds, IdToSignatureMap> Store::LoadSignatures(
    const std::vector<ClientKind>& detectedKinds) {
    if (!_database)
        return {};
    StoredRecords stored;
    if (auto error = ReadSignatureRecords(_database, &stored)) {
        LogError("LoadSignatures(): Could not fetch signatures: " + *error);
        return {};
    }
    _saved = stored;
    // Changes that a failed save left pending are part of the working set.
    for (const auto& [primaryKey, change] : _pending) {
        if (change) {
            stored[primaryKey] = *change;
        } else {
            stored.erase(primaryKey);
        }
    }

    SignatureIds ids;
    IdToSignatureMap map;
    std::set<std::int64_t> toWrite;
    bool deleted = false;
    for (const auto& [primaryKey, record] : stored) {
        auto signature = std::make_shared<Signature>(SignatureFromRecord(record));
        if (signature->pendingDeletion && !HasPerformedInstallationIn(*signature, detectedKinds)) {
            LogInfo("LoadSignatures(): Deleting signature \"" + signature->nameQe +
                    "\", which no installed client holds any more");
            stage(primaryKey, std::nullopt);
            deleted = true;
            continue;
        }
        if (!signature->uuidX) {
            signature->uuidX = QUuid::createUuid();
            toWrite.insert(primaryKey);
        }
        ids.push_back(SignatureId{primaryKey});
        map[ids.back()] = signature;
    }
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
    return {std::move(ids), std::move(map)};
}

SignatureId Store::AddSignatureRecord(const Signature& signature) {
    const SignatureId id{_keys.signature.next()};
    _pending[id.value] = RecordFromSignature(signature);
    SaveManagedObjectContext();
    return id;
}

void Store::SaveSignatures(const SignatureIds& ids, const IdToSignatureMap& map) {
    for (const SignatureId& id : ids) {
        const auto found = map.find(id);
        if (found == map.end() || !found->second) {
            LogError("SaveSignatures(): No signature with ID " + id.toString());
            continue;
        }
        const Signature& signature = *found->second;
        LogInfo("Updating signature \"" + signature.nameQe + "\"...");
        if (!isKnown(id.value)) {
            LogError("SaveSignatures(): No stored record with ID " + id.toString());
            continue;
        }
        stage(id.value, RecordFromSignature(signature));
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
    RemoveStoreFiles(_path);
}

bool Store::isKnown(std::int64_t primaryKey) const {
    const auto pending = _pending.find(primaryKey);
    if (pending != _pending.end())
        return pending->second.has_value();
    return _saved.count(primaryKey) > 0;
}

void Store::stage(std::int64_t primaryKey, std::optional<SignatureRecord> record) {
    const auto saved = _saved.find(primaryKey);
    const bool asSaved =
        record ? (saved != _saved.end() && saved->second == *record) : saved == _saved.end();
    if (asSaved) {
        _pending.erase(primaryKey);
    } else {
        _pending[primaryKey] = std::move(record);
    }
}

std::optional<QString> Store::commitPendingChanges() {
    if (!_database)
        return QString("the store is closed");
    if (auto error = ExecuteStoreSql(_database, "BEGIN IMMEDIATE"))
        return error;
    // Installation keys are taken from a copy: rows of a transaction that rolls back were never
    // written, so their keys may be given again.
    StoreKeys keys = _keys;
    std::optional<QString> error;
    {
        StoreRecordWriter writer(_database, keys);
        for (const auto& [primaryKey, change] : _pending) {
            const auto saved = _saved.find(primaryKey);
            if (!change) {
                if (saved != _saved.end())
                    error = writer.remove(primaryKey);
            } else if (saved == _saved.end()) {
                error = writer.insert(primaryKey, *change);
            } else {
                error = writer.update(primaryKey, saved->second, *change);
            }
            if (error)
                break;
        }
    }
    if (!error)
        error = WriteEntityKeyMaxima(_database, keys);
    if (!error && _failingCommits > 0) {
        --_failingCommits;
        error = QString(sqlite3_errstr(SQLITE_IOERR));
    }
    if (!error)
        error = ExecuteStoreSql(_database, "COMMIT");
    if (error) {
        ExecuteStoreSql(_database, "ROLLBACK");
        return error;
    }
    _keys = keys;
    for (auto& [primaryKey, change] : _pending) {
        if (change) {
            _saved[primaryKey] = std::move(*change);
        } else {
            _saved.erase(primaryKey);
        }
    }
    _pending.clear();
    return std::nullopt;
}

}  // namespace quillet
