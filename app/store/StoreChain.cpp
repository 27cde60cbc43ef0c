#include <sqlite3.h>

#include <QFile>

#include "app/store/Store.h"
#include "app/store/StoreMigration.h"
#include "app/store/StoreSchema.h"
#include "common/Log.h"
#include "platform/FileLock.h"

namespace quillet {

namespace {

bool SameContents(const QString& path, const QString& otherPath) {
    QFile file(path);
    QFile other(otherPath);
    return file.open(QIODevice::ReadOnly) && other.open(QIODevice::ReadOnly) &&
           file.size() == other.size() && file.readAll() == other.readAll();
}

// Whether the file is an earlier store, read without changing it (a read-only connection neither
// checkpoints nor removes its "-wal" companion).
bool IsDataV1Store(const QString& path) {
    sqlite3* database = nullptr;
    const bool opened = sqlite3_open_v2(QFile::encodeName(path).constData(), &database,
                                        SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK;
    const bool store = opened && !CheckDataV1Schema(database);
    sqlite3_close_v2(database);
    return store;
}

}  // namespace

std::unique_ptr<Store> Store::OpenStoreChain(const QString& dataFolder,
                                             const QString& documentsFolder, CriticalAlert alert,
                                             const StoreOptions& options) {
    // Two processes that start at once (the application at login beside a command that a
    // deployment script runs) must not both find no store and make one each: the second would
    // remove the files of the first while it uses them, and every later save of the first would
    // reach no file. Opening the store takes turns; a lock that cannot be had leaves the opening
    // as it was, and it fails on its own if the folder cannot be used.
    const FileLock opening(dataFolder + "/" + kStoreOpeningLockFileName, [] {
        LogInfo("OpenStoreChain(): waiting while another process opens the store");
    });
    const QString currentPath = dataFolder + "/DataV2.sqlite";
    const QString previousPath = dataFolder + "/DataV1.sqlite";
    if (QFile::exists(currentPath))
        return openStore("DataV2", currentPath, std::move(alert), options);

    const QString documentsPath = documentsFolder + "/SignatureModel.sqlite";
    bool copiedFromDocuments = false;
    if (!QFile::exists(previousPath) && QFile::exists(documentsPath)) {
        // Companions left by an earlier attempt would be replayed into the copy.
        RemoveStoreFiles(previousPath);
        // The latest changes may be only in the "-wal" companion: a copy without it would be
        // migrated without them, and the migrated store is the one every later start opens. The
        // database file goes last, so that its copy appears only once the companions are there.
        for (auto suffix = kStoreFileSuffixes.rbegin(); suffix != kStoreFileSuffixes.rend();
             ++suffix) {
            const QString from = documentsPath + *suffix;
            if (QFile::exists(from) && !QFile::copy(from, previousPath + *suffix)) {
                LogError("OpenStoreChain(): Could not copy " + from + " to " + previousPath +
                         *suffix);
                RemoveStoreFiles(previousPath);
                return nullptr;
            }
        }
        copiedFromDocuments = QFile::exists(previousPath);
    }
    if (QFile::exists(previousPath)) {
        const std::optional<std::vector<LegacySignatureRecord>> records =
            ReadDataV1Records(previousPath, options);
        if (records)
            return MigrateDataV1Records(*records, previousPath, currentPath, alert, options);
        // A copy that an earlier start made and could not migrate is known by its contents.
        if (!copiedFromDocuments &&
            !(QFile::exists(documentsPath) && SameContents(previousPath, documentsPath))) {
            return nullptr;
        }
        // A copy that could not be read this time (a failing disk) is no reason to take the
        // earlier store for a stranger's file: migrating nothing would lose its signatures for
        // good. The next start copies it again.
        if (IsDataV1Store(documentsPath)) {
            LogError("OpenStoreChain(): Could not read the copy of " + documentsPath + " at " +
                     previousPath + "; it is copied again at the next start");
            RemoveStoreFiles(previousPath);
            return nullptr;
        }
        // The name is generic enough to be another program's: that file is not ours to touch,
        // and a copy of it must not stop every later start.
        LogWarning("OpenStoreChain(): " + documentsPath +
                   " is not an earlier signature store; it is left in place and a new store is "
                   "created");
        RemoveStoreFiles(previousPath);
    }
    // Companions whose database is gone are left over from an earlier run.
    RemoveStoreFiles(currentPath);
    return openStore("DataV2", currentPath, std::move(alert), options);
}

std::optional<std::vector<LegacySignatureRecord>> Store::ReadDataV1Records(
    const QString& legacyPath, const StoreOptions& options) {
    std::unique_ptr<Store> legacy = openStore("DataV1", legacyPath, {}, options);
    if (!legacy)
        return std::nullopt;
    std::vector<LegacySignatureRecord> records;
    if (auto error = ReadLegacySignatureRecords(legacy->_database, &records)) {
        LogError("OpenStoreChain(): Could not read the signatures of " + legacyPath + ": " +
                 *error);
        return std::nullopt;
    }
    return records;
}

std::unique_ptr<Store> Store::MigrateDataV1Records(
    const std::vector<LegacySignatureRecord>& records, const QString& legacyPath,
    const QString& path, CriticalAlert alert, const StoreOptions& options) {
    RemoveStoreFiles(path);
    std::unique_ptr<Store> store = openStore("DataV2", path, std::move(alert), options);
    if (!store) {
        RemoveStoreFiles(path);
        return nullptr;
    }
    for (const LegacySignatureRecord& record : records)
        store->stageNew(MigratedRecord(record));
    // All records go in one transaction, and the old files go only once it has been committed:
    // otherwise a failure would lose every signature, and the next start would open an empty
    // store instead of migrating again.
    if (auto error = store->commitPendingChanges()) {
        LogError("OpenStoreChain(): Could not migrate " + legacyPath + " to " + path + ": " +
                 *error);
        store->DestroyStore();
        return nullptr;
    }
    RemoveStoreFiles(legacyPath);
    LogInfo("OpenStoreChain(): Migrated " + QString::number(records.size()) +
            " signature(s) from " + legacyPath);
    return store;
}

}  // namespace quillet
