// Carrying signatures forward from the "DataV1" layout: stores that the test writes in Core
// Data's layout, in the data folder and in Documents (with a "-wal" companion), opened through
// the open-store chain.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <future>
#include <thread>

#include "app/demo/FakeMacMozilla.h"
#include "app/store/StoreMigration.h"
#include "tests/support/FaultySqliteVfs.h"
#include "tests/support/StoreHarness.h"

namespace quillet {
namespace {

class StoreMigrationTest : public testing::Test, protected StoreHarness {
protected:
    QString previousPath() const { return dataFolder() + "/DataV1.sqlite"; }
    QString documentsPath() const { return documentsFolder() + "/SignatureModel.sqlite"; }
    QByteArray documentsBytes() const { return ReadFakeFile(documentsPath()).value_or(""); }
};

// An earlier store (in the data folder, or in Documents) whose migration fails keeps its copy,
// leaves no new store, and is migrated by every rule at the next start, with what only its "-wal"
// companion holds, and then never again. The store in Documents is left in place, neither
// changed nor checkpointed.
TEST_F(StoreMigrationTest, AMigrationWhoseCommitFailsKeepsDataV1AndIsMigratedNextStartOnce) {
    for (const QString& legacy : {previousPath(), documentsPath()}) {
        SCOPED_TRACE(legacy.toStdString());
        RemoveStoreFiles(storePath());
        RemoveStoreFiles(documentsPath());
        WriteLegacyStore(legacy, /*keepWriteAheadLog=*/true);
        ASSERT_GT(QFileInfo(legacy + "-wal").size(), 0);
        const QByteArray before = documentsBytes();
        log.clear();
        FaultySqliteVfs disk;
        disk.failCommits(1, /*passing=*/1);  // the new store's tables are created, its records not
        EXPECT_FALSE(open({kStoreBusyTimeoutMilliseconds, disk.name()}));
        EXPECT_TRUE(log.contains("Error: OpenStoreChain(): Could not migrate " + previousPath() +
                                 " to " + storePath() + ": disk I/O error"));
        EXPECT_FALSE(log.containsText("Warning: "));
        expectStoreFiles(storePath(), false);
        EXPECT_EQ(Sql(previousPath(), "SELECT COUNT(*) FROM ZSIGNATUREMODEL"), QStringList{"9"});

        auto store = open();
        ASSERT_TRUE(store);
        EXPECT_EQ(store->path(), storePath());
        EXPECT_TRUE(
            log.contains("Info: OpenStoreChain(): Migrated 9 signature(s) from " + previousPath()));
        expectRows("base/legacy-migrated.tsv",
                   {{"Postbox uuid",
                     sql("SELECT ZUUIDSTRING FROM ZSIGNATUREENTITYV2 WHERE Z_PK = 5").value(0)}});
        expectStoreFiles(previousPath(), false);
        EXPECT_EQ(LoadedSignatures(*store).first.size(), 9u);
        store.reset();
        EXPECT_EQ(QFile::exists(documentsPath() + "-wal"), legacy == documentsPath());
        EXPECT_EQ(documentsBytes(), before);
        log.clear();
        ASSERT_TRUE(open());
        EXPECT_FALSE(log.containsText("Migrated"));
        EXPECT_EQ(sql("SELECT COUNT(*) FROM ZSIGNATUREENTITYV2"), QStringList{"9"});
    }
}

// "SignatureModel.sqlite" is a name another program may use: a Documents file of that name that
// is not an earlier store (another program's tables, or no database at all) is named in a
// Warning and left alone, its copy is removed, and the start goes on with a new store, this
// time and every later time; so is the copy an earlier start left in the data folder.
TEST_F(StoreMigrationTest, AStrayDocumentsFileThatIsNoEarlierStoreDoesNotBlockStartUp) {
    for (const auto& [database, copyLeftBehind] :
         {std::pair{true, false}, {true, true}, {false, false}, {false, true}}) {
        SCOPED_TRACE(std::string(database ? "another program's database" : "no database") +
                     (copyLeftBehind ? ", copy left behind" : ""));
        RemoveStoreFiles(storePath());
        RemoveStoreFiles(documentsPath());
        if (database) {
            Sql(documentsPath(),
                "CREATE TABLE ZNOTE (Z_PK INTEGER PRIMARY KEY, ZTEXT VARCHAR);"
                "INSERT INTO ZNOTE VALUES (1, 'not a signature')");
        } else {
            QFile file(documentsPath());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QByteArray(4096, 'q')));
        }
        if (copyLeftBehind) {
            ASSERT_TRUE(QFile::copy(documentsPath(), previousPath()));
        }
        const QByteArray before = documentsBytes();
        log.clear();
        for (int start = 0; start < 2; ++start) {
            auto store = open();
            ASSERT_TRUE(store);
            EXPECT_EQ(store->path(), storePath());
            EXPECT_EQ(LoadedSignatures(*store).first.size(), size_t(start));
            store->AddSignatureRecord(Signature{});
        }
        const std::vector<QString> lines = log.lines();
        EXPECT_EQ(QStringList(lines.begin(), lines.end()).filter("Warning: "),
                  QStringList{"Warning: OpenStoreChain(): " + documentsPath() +
                              " is not an earlier signature store; it is left in place and a new "
                              "store is created"});
        expectStoreFiles(previousPath(), false);
        EXPECT_EQ(documentsBytes(), before);
        EXPECT_EQ(sql("SELECT COUNT(*) FROM ZSIGNATUREENTITYV2"), QStringList{"2"});
    }
    EXPECT_TRUE(alerts.empty());
}

// Two processes that start at once, as the application at login does beside a command that a
// deployment script runs, and both find only the earlier store: the second to arrive waits and
// opens the store the first migrated, so that what either saves is in the one store. (Here the
// other process opens the store and saves a signature once this one has read the earlier store;
// this one used to remove the other's new store then and migrate again.)
TEST_F(StoreMigrationTest, TwoProcessesMigratingAtOnceKeepWhatEitherSaves) {
    WriteLegacyStore(previousPath());
    FaultySqliteVfs disk;
    std::promise<void> otherSaved;
    std::future<void> saved = otherSaved.get_future();
    std::jthread other;
    disk.afterClosing("DataV1.sqlite", [&] {
        other = std::jthread([&] {
            if (auto store = open())
                store->AddSignatureRecord(NamedSignature("Saved by the other process"));
            otherSaved.set_value();
        });
        // The other process works to its end, unless it waits for this one to open the store.
        while (saved.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready &&
               !log.contains(
                   "Info: OpenStoreChain(): waiting while another process opens the store")) {
        }
    });
    auto store = open({kStoreBusyTimeoutMilliseconds, disk.name()});
    other.join();
    const std::vector<QString> lines = log.lines();
    ASSERT_TRUE(store) << QStringList(lines.begin(), lines.end()).join("\n").toStdString();
    store.reset();
    const QStringList names = storedNames();
    EXPECT_EQ(names.size(), 10) << names.join(", ").toStdString();
    EXPECT_TRUE(names.contains("Saved by the other process"));
    EXPECT_EQ(log.count("Info: OpenStoreChain(): Migrated 9 signature(s) from " + previousPath()),
              1);
    expectStoreFiles(previousPath(), false);
}

// The edge cases of the old names that the nine records above do not meet.
TEST(StoreMigrationRules, ClientPrefixesAreExactAndOnlyTheLastAccountPartCounts) {
    EXPECT_EQ(LegacyClientKind("Mac Mail (V10)"), ClientKind::appleMail);
    EXPECT_EQ(LegacyClientKind("mac mail"), std::nullopt);
    for (const auto& [text, email] : std::vector<std::pair<QString, QString>>{
             {"jane@x.org", "jane@x.org"}, {"Jane - Work", ""}, {"a@b.c - ", ""}, {"", ""}})
        EXPECT_EQ(LegacyAccountEmail(text), email) << text.toStdString();
}

}  // namespace
}  // namespace quillet
