#pragma once
// Signature stores over real SQLite files in a folder of their own, opened as a start opens
// them (the open-store chain over the data folder and Documents), for the store's tests.
#include <QStringList>
#include <QTemporaryDir>
#include <map>
#include <memory>

#include "app/store/Store.h"
#include "app/store/StoreCopy.h"
#include "common/Log.h"

namespace quillet {

// Runs statements on the file at path and returns every result row, its columns joined by "|"
// and NULL as "NULL". With keepWriteAheadLog the changes stay in the "-wal" companion, as when
// the application was ended before a checkpoint.
QStringList Sql(const QString& path, const QString& sql, bool keepWriteAheadLog = false);
// An earlier application's store ("DataV1" / "SignatureModel.sqlite") as its Core Data wrote
// it: the nine records of tests/data/base/legacy-store.sql, which between them meet every rule
// of the migration.
void WriteLegacyStore(const QString& path, bool keepWriteAheadLog = false);
// The store's signatures; none, and a failure of the test, when they cannot be read.
std::pair<SignatureIds, IdToSignatureMap> LoadedSignatures(Store& store);
// Another process takes the signatures' table of the store in the data folder away (the store
// can then be opened but its signatures not read), or puts it back.
void TakeSignaturesTableAway(const QString& dataFolder, bool away = true);

// Another process holds the write lock of the store in the data folder while this lives (a long
// save of its own): a save of this process waits as long as saves wait, then fails.
class StoreWriteLock {
public:
    explicit StoreWriteLock(const QString& dataFolder);
    ~StoreWriteLock();
    StoreWriteLock(const StoreWriteLock&) = delete;
    StoreWriteLock& operator=(const StoreWriteLock&) = delete;

private:
    sqlite3* _database = nullptr;
};

class StoreHarness {
public:
    StoreHarness();

    // The folder that holds the others; the tests' own folders go there too.
    QString folder() const { return _folder.path(); }
    QString dataFolder() const { return _folder.path() + "/data"; }
    QString documentsFolder() const { return _folder.path() + "/Documents"; }
    QString storePath() const { return dataFolder() + "/" + kStoreFileName; }
    // The store as a start opens it; its alerts are kept in `alerts` as "title / details".
    // (Defined here so that the test, which the linker reads before this library, pulls in the
    // store's chain.)
    std::unique_ptr<Store> open(const StoreOptions& options = {}) {
        return Store::OpenStoreChain(
            dataFolder(), documentsFolder(),
            [this](const QString& title, const QString& details) {
                alerts << title + " / " + details;
            },
            options);
    }
    // The statements run over the store's file by a connection of their own, as another process
    // would; the result rows, columns joined by "|".
    QStringList sql(const QString& statements) const;
    // Each row of the data file: a statement over the store and its result rows, joined by
    // " ; "; "{name}" in them stands for a value the test learns.
    void expectRows(const QString& file, const std::map<QString, QString>& values = {}) const;
    // Whether the store at path and its companions exist: its files are its owner's alone, for
    // they hold the signatures and where they are installed.
    void expectStoreFiles(const QString& path, bool exist) const;
    // The names of the signatures the next start reads, in their order.
    QStringList storedNames() const;

    // An active signature with that name and a text of its own.
    static Signature NamedSignature(const QString& name);

    QStringList alerts;
    LogTap log;

private:
    QTemporaryDir _folder;
};

}  // namespace quillet
