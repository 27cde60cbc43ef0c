// The signature store against a disk that fails: opening it and saving a new signature, with the
// Nth file operation on its files failing (reads among them), for every N until the work no longer
// reaches an Nth. Each failure must be told (the store does not open, or the save raises the
// alert), the file must stay whole (SQLite's integrity check) with the signatures as before or as
// after, and the next save must write what the failed one could not.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/demo/FakeMac.h"
#include "tests/support/FileFaults.h"
#include "tests/support/StoreHarness.h"

namespace quillet {
namespace {

// The folder's files as they were, whatever a faulty run left there.
void CopyFiles(const QString& from, const QString& to) {
    QDir(to).removeRecursively();
    CopyFakeMacFolder(from, to);
}

class StoreFileFaultsTest : public testing::Test, protected StoreHarness {
protected:
    // Does the work once for each file operation under the folder that it does, with that one
    // failing, after preparing each time, until a run reaches no more (a run without a fault,
    // which must tell of none); `check` looks at what a run whose fault fired left (whether the
    // work told of a failure).
    void walkFaults(const QString& watched, bool faultReads, const std::function<void()>& prepare,
                    const std::function<bool()>& work, const std::function<void(bool)>& check) {
        ASSERT_TRUE(FileFaults::Available());
        for (long target = 1;; ++target) {
            prepare();
            bool told = false;
            QString fault;
            {
                FileFaults faulty(watched, FileFaultAction::fail, target);
                if (faultReads)
                    faulty.faultReads(FileReadFault::fail);
                told = work();
                fault = faulty.fired() ? faulty.lastFault() : QString();
            }
            if (fault.isEmpty()) {
                EXPECT_GT(target, 1);
                EXPECT_FALSE(told);
                return;
            }
            SCOPED_TRACE(fault.toStdString());
            check(told);
        }
    }
};

TEST_F(StoreFileFaultsTest, EveryFailedFileOperationIsToldAndLeavesTheStoreWhole) {
    const QString base = folder() + "/base";
    QDir().mkpath(base);
    {
        auto store = Store::OpenStoreChain(base, documentsFolder(), {});
        ASSERT_TRUE(store);
        store->AddSignatureRecord(NamedSignature("First"));
    }
    const QStringList before{"First"};
    const QStringList after{"First", "Second"};
    // Opens the store and adds a signature; whether a failure was told.
    auto work = [&] {
        int alerts = 0;
        auto store = Store::OpenStoreChain(dataFolder(), documentsFolder(),
                                           [&alerts](const QString&, const QString&) { ++alerts; });
        if (!store)
            return true;
        store->AddSignatureRecord(NamedSignature("Second"));
        return alerts > 0;
    };
    walkFaults(
        folder(), true, [&] { CopyFiles(base, dataFolder()); }, work,
        [&](bool told) {
            EXPECT_EQ(sql("PRAGMA integrity_check"), QStringList{"ok"});
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
        });
    EXPECT_EQ(storedNames(), after);
}

// The earlier store in Documents keeps its latest changes in its "-wal" companion: a copy made
// without it, or cut short, must never be migrated, or those changes are lost for good (the
// migrated store is the one every later start opens).
TEST_F(StoreFileFaultsTest, ACopyOfTheEarlierStoreWithoutItsLogIsNeverMigrated) {
    const QString legacy = folder() + "/legacy";
    QDir().mkpath(legacy);
    // The records in the database file, the latest change only in the log: a copy without the
    // log still reads as an earlier store.
    WriteLegacyStore(legacy + "/SignatureModel.sqlite");
    Sql(legacy + "/SignatureModel.sqlite", "UPDATE ZSIGNATUREMODEL SET ZNAME = 'Latest'", true);
    ASSERT_TRUE(QFile::exists(legacy + "/SignatureModel.sqlite-wal"));
    const auto prepare = [&] {
        CopyFiles(legacy, documentsFolder());
        QDir(dataFolder()).removeRecursively();
        QDir().mkpath(dataFolder());
    };
    prepare();
    const QStringList migrated = storedNames();
    ASSERT_EQ(migrated.size(), 9);
    ASSERT_TRUE(migrated.contains("Latest"));
    walkFaults(
        dataFolder(), false, prepare,
        [&] {
            Store::OpenStoreChain(dataFolder(), documentsFolder(), {});
            return false;
        },
        [&](bool) { EXPECT_EQ(storedNames(), migrated); });
}

}  // namespace
}  // namespace quillet
