// Carrying signatures forward from the "DataV1" layout: stores that the test writes in Core
// Data's layout, in the data folder and in Documents (with a "-wal" companion), opened through
// the open-store chain.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include "app/store/StoreMigration.h"
#include "common/Text.h"
#include "tests/support/FaultySqliteVfs.h"
#include "tests/support/LegacyStore.h"
#include "tests/support/StoreHarness.h"
#include "tests/support/TestHelpers.h"

namespace quillet {
namespace {

class StoreMigrationTest : public testing::Test, protected StoreHarness {
protected:
    QString previousPath() const { return dataFolder() + "/DataV1.sqlite"; }
    QString documentsPath() const { return documentsFolder() + "/SignatureModel.sqlite"; }
    void expectNoFiles(const QString& path) {
        for (const char* suffix : kStoreFileSuffixes)
            EXPECT_FALSE(QFile::exists(path + suffix)) << (path + suffix).toStdString();
    }
    // The migrated records and installations of the nine old ones, by steps 1 to 5.
    void expectEveryCaseMigrated() {
        EXPECT_EQ(
            Sql(storePath(),
                "SELECT ZACTIVE, ZCOLORINDEX, ZKEYQE, ZNAMEQE, ZMAINTEXTQE, "
                "ZLOCALTEXTQE, ZPENDINGDELETION FROM ZSIGNATUREENTITYV2 ORDER BY "
                "Z_PK"),
            (QStringList{"1|-1|k1|One|<p>one</p>||0", "1|-1||Two||<p>custom</p>|0",
                         "1|-1|k3|Three|<p>3</p>||0", "1|-1|k4|Four|<p>4</p>||0",
                         "1|-1|k5|Five|<p>5</p>||0", "1|-1|k6|Six|<p>6</p>||0",
                         "1|-1|k7|Seven|<p>7</p>||0", "1|-1|k8|Eight|<p>8</p>||0", "1|-1|||||0"}));
        const QStringList uuids =
            Sql(storePath(), "SELECT ZUUIDSTRING FROM ZSIGNATUREENTITYV2 ORDER BY Z_PK");
        ASSERT_EQ(uuids.size(), 9);
        EXPECT_EQ(uuids[0], kMailUuid);
        EXPECT_EQ(uuids[5], kSparkUuid);
        EXPECT_EQ(uuids[8], CanonicalUuidText(ParseUuid(uuids[8]).value_or(QUuid())));
        EXPECT_NE(uuids[8], CanonicalUuidText(QUuid()));
        EXPECT_EQ(QSet<QString>(uuids.begin(), uuids.end()).size(), 9);

        EXPECT_EQ(Sql(storePath(),
                      "SELECT ZSIGNATURE, ZCLIENT, ZACCOUNTEMAILQE, ZPENDINGREINSTALLATION FROM "
                      "ZSELECTEDINSTALLATIONENTITYV2 ORDER BY ZSIGNATURE"),
                  (QStringList{"1|AppleMail|john@example.com|0", "2|Outlook||0", "3|Thunderbird||0",
                               "4|Thunderbird|me@x.org|0", "5|Postbox||0", "6|Spark|team@x.org|0",
                               "8|AppleMail||0"}));
        EXPECT_EQ(Sql(storePath(),
                      "SELECT ZSIGNATURE, ZCLIENT, ZACCOUNTEMAILQE, ZIDSTRINGQE, ZTEXTQE FROM "
                      "ZPERFORMEDINSTALLATIONENTITYV2 ORDER BY ZSIGNATURE"),
                  (QStringList{"1|AppleMail|john@example.com|" + kMailUuid + "|<p>one</p>",
                               "2|Outlook||Two|<p>custom</p>", "4|Thunderbird|me@x.org||<p>4</p>",
                               "5|Postbox||" + uuids[4] + "|<p>5</p>",
                               "6|Spark|team@x.org|" + kSparkUuid + "|<p>6</p>"}));
    }
};

TEST_F(StoreMigrationTest, DataV1InTheDataFolderIsMigratedByEveryRuleAndRemoved) {
    WriteLegacyStore(previousPath());
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->path(), storePath());
    expectEveryCaseMigrated();
    expectNoFiles(previousPath());
    EXPECT_TRUE(
        log.contains("Info: OpenStoreChain(): Migrated 9 signature(s) from " + previousPath()));

    auto [ids, map] = store->LoadSignatures();
    ASSERT_EQ(ids.size(), 9u);
    for (size_t i = 0; i < ids.size(); ++i) {
        EXPECT_TRUE(map.at(ids[i])->active);
        EXPECT_EQ(map.at(ids[i])->colorIndex, (12 + std::int64_t(i)) % 13);
    }
    EXPECT_TRUE(alerts.empty());
}

TEST_F(StoreMigrationTest, TheDocumentsStoreIsMigratedOnceWithItsWriteAheadLogAndLeftInPlace) {
    WriteLegacyStore(documentsPath(), true);
    ASSERT_GT(QFileInfo(documentsPath() + "-wal").size(), 0);
    // The copy is migrated; the file in Documents is neither changed nor checkpointed.
    const auto documentsBytes = [&] {
        QFile file(documentsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = documentsBytes();
    {
        auto store = open();
        ASSERT_TRUE(store);
        expectEveryCaseMigrated();
        store->LoadSignatures();
    }
    expectNoFiles(previousPath());
    EXPECT_TRUE(QFile::exists(documentsPath() + "-wal"));
    EXPECT_EQ(documentsBytes(), before);

    log.clear();
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_FALSE(log.containsText("Migrated"));
    EXPECT_EQ(store->LoadSignatures().first.size(), 9u);
    EXPECT_EQ(Sql(storePath(), "SELECT COUNT(*) FROM ZSIGNATUREENTITYV2"), QStringList{"9"});
}

// An earlier store (in the data folder, or in Documents) whose migration fails keeps its copy,
// leaves no new store, and is migrated again at the next start.
TEST_F(StoreMigrationTest, AMigrationWhoseCommitFailsKeepsDataV1AndIsMigratedNextStart) {
    for (const QString& legacy : {previousPath(), documentsPath()}) {
        SCOPED_TRACE(legacy.toStdString());
        RemoveStoreFiles(storePath());
        RemoveStoreFiles(documentsPath());
        WriteLegacyStore(legacy);
        log.clear();
        FaultySqliteVfs disk;
        disk.failCommits(1, /*passing=*/1);  // the new store's tables are created, its records not
        EXPECT_FALSE(open({kStoreBusyTimeoutMilliseconds, disk.name()}));
        EXPECT_TRUE(log.contains("Error: OpenStoreChain(): Could not migrate " + previousPath() +
                                 " to " + storePath() + ": disk I/O error"));
        EXPECT_FALSE(log.containsText("Warning: "));
        expectNoFiles(storePath());
        EXPECT_EQ(Sql(previousPath(), "SELECT COUNT(*) FROM ZSIGNATUREMODEL"), QStringList{"9"});

        ASSERT_TRUE(open());
        expectEveryCaseMigrated();
        expectNoFiles(previousPath());
        EXPECT_EQ(QFile::exists(documentsPath()), legacy == documentsPath());
    }
}

// "SignatureModel.sqlite" is a name another program may use: a Documents file of that name that
// is not an earlier store (another program's tables, or no database at all) is named in a
// Warning and left alone, its copy is removed, and the start goes on with a new store, this
// time and every later time; so is the copy an earlier start left in the data folder.
TEST_F(StoreMigrationTest, AStrayDocumentsFileThatIsNoEarlierStoreDoesNotBlockStartUp) {
    const auto documentsBytes = [&] {
        QFile file(documentsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const std::vector<std::pair<const char*, std::function<void()>>> cases = {
        {"another program's database",
         [&] {
             Sql(documentsPath(),
                 "CREATE TABLE ZNOTE (Z_PK INTEGER PRIMARY KEY, ZTEXT VARCHAR);"
                 "INSERT INTO ZNOTE VALUES (1, 'not a signature')");
         }},
        {"no database at all",
         [&] {
             QFile file(documentsPath());
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             file.write(QByteArray(4096, 'q'));
         }},
    };
    for (const auto& [label, write] : cases) {
        for (const bool copyLeftBehind : {false, true}) {
            SCOPED_TRACE(std::string(label) + (copyLeftBehind ? ", copy left behind" : ""));
            RemoveStoreFiles(storePath());
            RemoveStoreFiles(documentsPath());
            write();
            if (copyLeftBehind) {
                ASSERT_TRUE(QFile::copy(documentsPath(), previousPath()));
            }
            const QByteArray before = documentsBytes();
            log.clear();
            for (int start = 0; start < 2; ++start) {
                auto store = open();
                ASSERT_TRUE(store);
                EXPECT_EQ(store->path(), storePath());
                EXPECT_EQ(store->LoadSignatures().first.size(), size_t(start));
                store->AddSignatureRecord(Signature{});
            }
            int warnings = 0;
            for (const QString& line : log.lines())
                warnings += line.startsWith("Warning: ");
            EXPECT_EQ(warnings, 1);
            EXPECT_TRUE(
                log.contains("Warning: OpenStoreChain(): " + documentsPath() +
                             " is not an earlier signature store; it is left in place and a "
                             "new store is created"));
            expectNoFiles(previousPath());
            EXPECT_EQ(documentsBytes(), before);
            EXPECT_EQ(Sql(storePath(), "SELECT COUNT(*) FROM ZSIGNATUREENTITYV2"),
                      QStringList{"2"});
        }
    }
    EXPECT_TRUE(alerts.empty());
}

TEST_F(StoreMigrationTest, AnUnreadableDataV1EndsStartUpAndIsKept) {
    QFile file(previousPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(2048, 'z'));
    file.close();
    EXPECT_FALSE(open());
    EXPECT_TRUE(
        log.containsText("Error: openStore(): Could not add persistent store for model "
                         "\"DataV1\" at " +
                         previousPath() + ": "));
    EXPECT_TRUE(QFile::exists(previousPath()));
    expectNoFiles(storePath());
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
