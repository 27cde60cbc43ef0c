// The signature store against a disk that fails: opening it and saving a new signature, with the
// Nth file operation on its files failing (reads among them), for every N until the work no longer
// reaches an Nth. Each failure must be told (the store does not open, or the save raises the
// alert), the file must stay whole (SQLite's integrity check) with the signatures as before or as
// after, and the next save must write what the failed one could not.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <iostream>

#include "tests/support/FileFaults.h"
#include "tests/support/LegacyStore.h"
#include "tests/support/StoreHarness.h"
#include "tests/support/TestHelpers.h"

namespace quillet {
namespace {

QStringList IntegrityCheck(const QString& path) {
    sqlite3* database = nullptr;
    QStringList rows{"(does not open)"};
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &database, SQLITE_OPEN_READWRITE,
                        nullptr) == SQLITE_OK) {
        rows = QuerySqliteRows(database, "PRAGMA integrity_check");
    }
    sqlite3_close(database);
    return rows;
}

void CopyFiles(const QString& from, const QString& to) {
    QDir(to).removeRecursively();
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files | QDir::Hidden))
        QFile::copy(from + "/" + name, to + "/" + name);
}

class StoreFileFaultsTest : public testing::Test, protected StoreHarness {};

TEST_F(StoreFileFaultsTest, EveryFailedFileOperationIsToldAndLeavesTheStoreWhole) {
    ASSERT_TRUE(FileFaults::Available());
    const QString base = folder() + "/base";
    const QString data = dataFolder();
    const QString documents = documentsFolder();
    QDir().mkpath(base);
    {
        auto store = Store::OpenStoreChain(base, documents, {});
        ASSERT_TRUE(store);
        store->AddSignatureRecord(NamedSignature("First"));
    }
    const QStringList before{"First"};
    const QStringList after{"First", "Second"};

    // Opens the store and adds a signature; whether a failure was told.
    auto work = [&] {
        int alerts = 0;
        auto store = Store::OpenStoreChain(data, documents,
                                           [&alerts](const QString&, const QString&) { ++alerts; });
        if (!store)
            return true;
        store->AddSignatureRecord(NamedSignature("Second"));
        return alerts > 0;
    };
    long operations = 0;
    {
        CopyFiles(base, data);
        FileFaults counting(folder(), FileFaultAction::count, 0);
        counting.faultReads(FileReadFault::fail);
        EXPECT_FALSE(work());
        operations = counting.count();
    }
    ASSERT_EQ(storedNames(), after);

    int faults = 0;
    for (long target = 1; target <= operations; ++target) {
        CopyFiles(base, data);
        bool told = false;
        QString fault;
        {
            FileFaults faulty(folder(), FileFaultAction::fail, target);
            faulty.faultReads(FileReadFault::fail);
            told = work();
            if (!faulty.fired())
                continue;
            fault = faulty.lastFault();
        }
        ++faults;
        SCOPED_TRACE(fault.toStdString());
        EXPECT_EQ(IntegrityCheck(data + "/DataV2.sqlite"), QStringList{"ok"});
        const QStringList names = storedNames();
        // A fault that SQLite rides over (it cannot delete the log it no longer needs, say)
        // must leave the work done.
        if (told)
            EXPECT_TRUE(names == before || names == after) << names.join(", ").toStdString();
        else
            EXPECT_EQ(names, after);
        if (names == before) {
            EXPECT_FALSE(work());
            EXPECT_EQ(storedNames(), after);
        }
    }
    std::cout << "Store: " << operations << " file operations, faults injected: " << faults
              << std::endl;
    EXPECT_GT(faults, 0);
}

// The earlier store in Documents keeps its latest changes in its "-wal" companion: a copy made
// without it, or cut short, must never be migrated, or those changes are lost for good (the
// migrated store is the one every later start opens).
TEST_F(StoreFileFaultsTest, ACopyOfTheEarlierStoreWithoutItsLogIsNeverMigrated) {
    ASSERT_TRUE(FileFaults::Available());
    const QString data = dataFolder();
    const QString documents = documentsFolder();
    const QString legacy = folder() + "/legacy";
    QDir().mkpath(legacy);
    // The records in the database file, the latest change only in the log: a copy without the
    // log still reads as an earlier store.
    WriteLegacyStore(legacy + "/SignatureModel.sqlite");
    Sql(legacy + "/SignatureModel.sqlite", "UPDATE ZSIGNATUREMODEL SET ZNAME = 'Latest'", true);
    ASSERT_TRUE(QFile::exists(legacy + "/SignatureModel.sqlite-wal"));

    long operations = 0;
    QStringList migrated;
    {
        CopyFiles(legacy, documents);
        QDir(data).removeRecursively();
        QDir().mkpath(data);
        FileFaults counting(data, FileFaultAction::count, 0);
        migrated = storedNames();
        operations = counting.count();
    }
    ASSERT_EQ(migrated.size(), 9);
    ASSERT_TRUE(migrated.contains("Latest"));
    int faults = 0;
    for (long target = 1; target <= operations; ++target) {
        CopyFiles(legacy, documents);
        QDir(data).removeRecursively();
        QDir().mkpath(data);
        QString fault;
        {
            FileFaults faulty(data, FileFaultAction::fail, target);
            Store::OpenStoreChain(data, documents, {});
            if (!faulty.fired())
                continue;
            fault = faulty.lastFault();
        }
        ++faults;
        SCOPED_TRACE(fault.toStdString());
        EXPECT_EQ(storedNames(), migrated);
    }
    EXPECT_GT(faults, 0);
}

}  // namespace
}  // namespace quillet
