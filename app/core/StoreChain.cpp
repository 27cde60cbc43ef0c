#include "app/core/Store.h"

#include <QFile>

#include "app/core/StoreMigration.h"
#include "common/Log.h"

namespace quillet {

namespace {

int gFailingMigrationCommits = 0;

}  // namespace

void Store::FailNextMigrationCommitsForTesting(int count) {
    gFailingMigrationCommits = count;
}

std::unique_ptr<Store> Store::OpenStoreChain(const QString& dataFolder,
                                             const QString& documentsFolder, CriticalAlert alert) {
    const QString currentPath = dataFolder + "/DataV2.sqlite";
    const QString previousPath = dataFolder + "/DataV1.sqlite";
    if (QFile::exists(currentPath))
        return openStore("DataV2", currentPath, std::move(alert));

    if (!QFile::exists(previousPath)) {
        const QString documentsPath = documentsFolder + "/SignatureModel.sqlite";
        if (QFile::exists(documentsPath)) {
            // Companions left by an earlier attempt would be replayed into the copy.
            RemoveStoreFiles(previousPath);
            for (const char* suffix : kStoreFileSuffixes) {
                if (QFile::exists(documentsPath + suffix)) {
                    QFile::copy(documentsPath + suffix, previousPath + suffix);
                }
            }
        }
    }
    if (QFile::exists(previousPath)) {
        return MigrateDataV1Store(previousPath, currentPath, std::move(alert));
    }
    // Companions whose database is gone are left over from an earlier run.
    RemoveStoreFiles(currentPath);
    return openStore("DataV2", currentPath, std::move(alert));
}

std::unique_ptr<Store> Store::MigrateDataV1Store(const QString& legacyPath, const QString& path,
                                                 CriticalAlert alert) {
    std::unique_ptr<Store> legacy = openStore("DataV1", legacyPath, alert);
    if (!legacy)
        return nullptr;
    std::vector<LegacySignatureRecord> records;
    if (auto error = ReadLegacySignatureRecords(legacy->_database, &records)) {
        LogError("OpenStoreChain(): Could not read the signatures of " + legacyPath + ": " +
                 *error);
        return nullptr;
    }

    RemoveStoreFiles(path);
    std::unique_ptr<Store> store = openStore("DataV2", path, std::move(alert));
    if (!store) {
        RemoveStoreFiles(path);
        return nullptr;
    }
    for (const LegacySignatureRecord& record : records) {
        store->_pending[store->_keys.signature.next()] = MigratedRecord(record);
    }
    if (gFailingMigrationCommits > 0) {
        --gFailingMigrationCommits;
        store->_failingCommits = 1;
    }
    // All records go in one transaction, and the old files go only once it has been committed:
    // otherwise a failure would lose every signature, and the next start would open an empty
    // store instead of migrating again.
    if (auto error = store->commitPendingChanges()) {
        LogError("OpenStoreChain(): Could not migrate " + legacyPath + " to " + path + ": " +
                 *error);
        store->DestroyStore();
        return nullptr;
    }
    store->_failingCommits = 0;
    legacy->DestroyStore();
    LogInfo("OpenStoreChain(): Migrated " + QString::number(records.size()) +
            " signature(s) from " + legacyPath);
    return store;
}

}  // namespace quillet
