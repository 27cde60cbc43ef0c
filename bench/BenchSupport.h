#pragma once
// What the benchmarks share so that they time what the product does: the real logger writing
// its file, and a real store that a sync saves into.

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "app/clients/sync/SyncPlan.h"
#include "app/store/Store.h"
#include "app/store/StoreCopy.h"
#include "app/store/StoreRecord.h"
#include "app/store/StoreSchema.h"
#include "app/store/StoreTables.h"
#include "common/Log.h"
#include "common/Logger.h"

namespace quillet {

// The process's logger, writing Quillet.log in a folder of its own, for as long as it lives.
class BenchLog {
public:
    BenchLog() : _logger(_folder.path(), "Quillet bench", {}) { InstallProcessLogger(&_logger); }
    ~BenchLog() { InstallProcessLogger(nullptr); }
    BenchLog(const BenchLog&) = delete;
    BenchLog& operator=(const BenchLog&) = delete;

private:
    QTemporaryDir _folder;
    Logger _logger;
};

// Writes the signatures into a new store in the data folder in one transaction, with the
// store's own record writer (adding them one by one would time one commit each). Their ids are
// 1, 2, ... in order. False when it cannot.
inline bool StoreSignatures(const QString& dataFolder, const std::vector<Signature>& signatures) {
    QDir().mkpath(dataFolder);
    if (!Store::OpenStoreChain(dataFolder, dataFolder + "/Documents", {}))
        return false;
    sqlite3* database = nullptr;
    sqlite3_open(QFile::encodeName(dataFolder + "/" + kStoreFileName).constData(), &database);
    StoreKeys keys;
    std::optional<QString> error = ExecuteStoreSql(database, "BEGIN IMMEDIATE");
    if (!error)
        error = PrepareSchema(database, SignatureEntity::desktop, &keys);
    if (!error)
        error = ReadEntityKeyMaxima(database, SignatureEntity::desktop, &keys);
    StoreRecordWriter writer(database, SignatureEntity::desktop, keys);
    for (const Signature& signature : signatures) {
        if (!error)
            error = writer.insert(keys.signature.next(), RecordFromSignature(signature));
    }
    if (!error)
        error = WriteEntityKeyMaxima(database, keys);
    if (!error)
        error = ExecuteStoreSql(database, "COMMIT");
    sqlite3_close(database);
    return !error;
}

// A store holding the signatures of a map (ids 1, 2, ...), which a sync saves into as the
// engine does.
class BenchStore : public SignatureSaver {
public:
    explicit BenchStore(const IdToSignatureMap& map) {
        std::vector<Signature> signatures;
        for (const auto& [id, signature] : map)
            signatures.push_back(*signature);
        StoreSignatures(_folder.path(), signatures);
        _store = Store::OpenStoreChain(_folder.path(), _folder.path() + "/Documents", {});
        if (!_store->LoadSignatures())
            std::abort();  // a benchmark over no signatures would time nothing
    }
    void saveSignatures(const SignatureIds& ids, const IdToSignatureMap& map) override {
        _store->SaveSignatures(ids, map);
    }
    Store& store() { return *_store; }

private:
    QTemporaryDir _folder;
    std::unique_ptr<Store> _store;
};

}  // namespace quillet
