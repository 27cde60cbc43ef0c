// Carrying signatures forward from the "DataV1" layout: stores that the test writes in Core
// Data's layout, in the data folder and in Documents (with a "-wal" companion), opened through
// the open-store chain.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <optional>

#include "app/core/Store.h"
#include "app/core/StoreMigration.h"
#include "common/Log.h"
#include "common/Text.h"

namespace quillet {
namespace {

using Text = std::optional<QString>;  // nullopt is NULL

struct LegacyRow {
    Text client;
    Text account;
    Text key;
    Text name;
    Text text;
    Text textCustom;
    Text uuid;
    QByteArray uuidBytes;  // when set, the uuid column holds these raw bytes
};

void BindText(sqlite3_stmt* statement, int parameter, const Text& text) {
    if (!text) {
        sqlite3_bind_null(statement, parameter);
        return;
    }
    const QByteArray bytes = text->toUtf8();
    sqlite3_bind_text(statement, parameter, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
}

// A "DataV1" store as the earlier application's Core Data wrote it. With keepWriteAheadLog the
// records stay in the "-wal" companion, as when the application was ended before a checkpoint.
void WriteLegacyStore(const QString& path, const std::vector<LegacyRow>& rows,
                      bool keepWriteAheadLog = false) {
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &database), SQLITE_OK);
    if (keepWriteAheadLog) {
        sqlite3_db_config(database, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    }
    const char* schema =
        "PRAGMA journal_mode=WAL;"
        "CREATE TABLE ZSIGNATUREMODEL (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
        "ZACCOUNT VARCHAR, ZCLIENT VARCHAR, ZKEY VARCHAR, ZNAME VARCHAR, ZTEXT VARCHAR, "
        "ZTEXTCUSTOM VARCHAR, ZUUID VARCHAR);"
        "CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, "
        "Z_MAX INTEGER);"
        "CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST "
        "BLOB);"
        "CREATE TABLE Z_MODELCACHE (Z_CONTENT BLOB);"
        "INSERT INTO Z_METADATA VALUES (1, 'B7E0A4C2-1111-4222-8333-944455556666', x'00ff');";
    ASSERT_EQ(sqlite3_exec(database, schema, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_stmt* insert = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(database,
                                 "INSERT INTO ZSIGNATUREMODEL (Z_PK, Z_ENT, Z_OPT, ZCLIENT, "
                                 "ZACCOUNT, ZKEY, ZNAME, ZTEXT, ZTEXTCUSTOM, ZUUID) VALUES (?, 1, "
                                 "1, ?, ?, ?, ?, ?, ?, ?)",
                                 -1, &insert, nullptr),
              SQLITE_OK);
    int primaryKey = 0;
    for (const LegacyRow& row : rows) {
        sqlite3_bind_int(insert, 1, ++primaryKey);
        BindText(insert, 2, row.client);
        BindText(insert, 3, row.account);
        BindText(insert, 4, row.key);
        BindText(insert, 5, row.name);
        BindText(insert, 6, row.text);
        BindText(insert, 7, row.textCustom);
        if (row.uuidBytes.isEmpty()) {
            BindText(insert, 8, row.uuid);
        } else {
            sqlite3_bind_blob(insert, 8, row.uuidBytes.constData(), int(row.uuidBytes.size()),
                              SQLITE_TRANSIENT);
        }
        ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(database,
                 QString("INSERT INTO Z_PRIMARYKEY VALUES (1, 'SignatureModel', 0, %1)")
                     .arg(primaryKey)
                     .toUtf8()
                     .constData(),
                 nullptr, nullptr, nullptr);
    sqlite3_close(database);
}

QStringList Query(const QString& path, const QString& sql) {
    QStringList values;
    sqlite3* database = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &database);
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(database, sql.toUtf8().constData(), -1, &statement, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(database);
    const int columns = sqlite3_column_count(statement);
    while (statement && sqlite3_step(statement) == SQLITE_ROW) {
        QStringList row;
        for (int column = 0; column < columns; ++column) {
            const auto* text =
                reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
            row << (text ? QString::fromUtf8(text) : QString("NULL"));
        }
        values << row.join("|");
    }
    sqlite3_finalize(statement);
    sqlite3_close(database);
    return values;
}

const QString kMailUuid = "0D5E7B52-8A51-4C3F-9A0B-2C7B6E0F1A11";
const QString kSparkUuid = "6F1C2D3E-4A5B-4C6D-8E7F-901A2B3C4D5E";

std::vector<LegacyRow> EveryCase() {
    return {
        {"Mac Mail 16.0",
         "John Doe - john@example.com",
         "k1",
         "One",
         "<p>one</p>",
         "",
         kMailUuid.toLower(),
         {}},
        {"Microsoft Outlook 2019", "All", "", "Two", "", "<p>custom</p>", std::nullopt, {}},
        {"Thunderbird", "Work account", "k3", "Three", "<p>3</p>", std::nullopt, std::nullopt, {}},
        {"Thunderbird 115", "Me - me@x.org", "k4", "Four", "<p>4</p>", "", std::nullopt, {}},
        {"Postbox", "All", "k5", "Five", "<p>5</p>", "", std::nullopt, {}},
        {"Spark 3", "  Team - Sub - team@x.org \n", " k6\t", "  Six \n", " <p>6</p> ", "",
         std::nullopt, QUuid::fromString(kSparkUuid).toRfc4122()},
        {"Gmail", "a - b@c.d", "k7", "Seven", "<p>7</p>", "", std::nullopt, {}},
        {"Mac Mail", "Name - not-an-email", "k8", "Eight", "<p>8</p>", "", std::nullopt, {}},
        {std::nullopt,
         std::nullopt,
         std::nullopt,
         std::nullopt,
         std::nullopt,
         std::nullopt,
         "garbage",
         {}},
    };
}

class StoreMigrationTest : public testing::Test {
protected:
    QString dataFolder() const { return _folder.path() + "/data"; }
    QString documentsFolder() const { return _folder.path() + "/Documents"; }
    QString currentPath() const { return dataFolder() + "/DataV2.sqlite"; }
    QString previousPath() const { return dataFolder() + "/DataV1.sqlite"; }
    QString documentsPath() const { return documentsFolder() + "/SignatureModel.sqlite"; }

    void SetUp() override {
        QDir().mkpath(dataFolder());
        QDir().mkpath(documentsFolder());
    }
    std::unique_ptr<Store> open() {
        return Store::OpenStoreChain(dataFolder(), documentsFolder(),
                                     [this](auto&, auto&) { ++alerts; });
    }
    void expectNoFiles(const QString& path) {
        for (const char* suffix : kStoreFileSuffixes) {
            EXPECT_FALSE(QFile::exists(path + suffix)) << (path + suffix).toStdString();
        }
    }
    // The migrated records and installations, checked against steps 1 to 5 for EveryCase().
    void expectEveryCaseMigrated() {
        const QStringList signatures =
            Query(currentPath(),
                  "SELECT ZACTIVE, ZCOLORINDEX, ZKEYQE, ZNAMEQE, ZMAINTEXTQE, ZLOCALTEXTQE, "
                  "ZPENDINGDELETION FROM ZSIGNATUREENTITYV2 ORDER BY Z_PK");
        EXPECT_EQ(
            signatures,
            (QStringList{"1|-1|k1|One|<p>one</p>||0", "1|-1||Two||<p>custom</p>|0",
                         "1|-1|k3|Three|<p>3</p>||0", "1|-1|k4|Four|<p>4</p>||0",
                         "1|-1|k5|Five|<p>5</p>||0", "1|-1|k6|Six|<p>6</p>||0",
                         "1|-1|k7|Seven|<p>7</p>||0", "1|-1|k8|Eight|<p>8</p>||0", "1|-1|||||0"}));
        const QStringList uuids =
            Query(currentPath(), "SELECT ZUUIDSTRING FROM ZSIGNATUREENTITYV2 ORDER BY Z_PK");
        ASSERT_EQ(uuids.size(), 9);
        EXPECT_EQ(uuids[0], kMailUuid);
        EXPECT_EQ(uuids[5], kSparkUuid);
        EXPECT_EQ(uuids[8], CanonicalUuidText(ParseUuid(uuids[8]).value_or(QUuid())));
        EXPECT_NE(uuids[8], CanonicalUuidText(QUuid()));
        EXPECT_EQ(QSet<QString>(uuids.begin(), uuids.end()).size(), 9);

        EXPECT_EQ(Query(currentPath(),
                        "SELECT ZSIGNATURE, ZCLIENT, ZACCOUNTEMAILQE, ZPENDINGREINSTALLATION FROM "
                        "ZSELECTEDINSTALLATIONENTITYV2 ORDER BY ZSIGNATURE"),
                  (QStringList{"1|AppleMail|john@example.com|0", "2|Outlook||0", "3|Thunderbird||0",
                               "4|Thunderbird|me@x.org|0", "5|Postbox||0", "6|Spark|team@x.org|0",
                               "8|AppleMail||0"}));
        EXPECT_EQ(Query(currentPath(),
                        "SELECT ZSIGNATURE, ZCLIENT, ZACCOUNTEMAILQE, ZIDSTRINGQE, ZTEXTQE FROM "
                        "ZPERFORMEDINSTALLATIONENTITYV2 ORDER BY ZSIGNATURE"),
                  (QStringList{"1|AppleMail|john@example.com|" + kMailUuid + "|<p>one</p>",
                               "2|Outlook||Two|<p>custom</p>", "4|Thunderbird|me@x.org||<p>4</p>",
                               "5|Postbox||" + uuids[4] + "|<p>5</p>",
                               "6|Spark|team@x.org|" + kSparkUuid + "|<p>6</p>"}));
    }

    QTemporaryDir _folder;
    int alerts = 0;
    LogTap log;
};

TEST_F(StoreMigrationTest, DataV1InTheDataFolderIsMigratedByEveryRuleAndRemoved) {
    WriteLegacyStore(previousPath(), EveryCase());
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->path(), currentPath());
    expectEveryCaseMigrated();
    expectNoFiles(previousPath());
    EXPECT_TRUE(
        log.contains("Info: OpenStoreChain(): Migrated 9 signature(s) from " + previousPath()));

    auto [ids, map] = store->LoadSignatures({ClientKind::appleMail});
    ASSERT_EQ(ids.size(), 9u);
    for (size_t i = 0; i < ids.size(); ++i) {
        EXPECT_TRUE(map.at(ids[i])->active);
        EXPECT_EQ(map.at(ids[i])->colorIndex, (12 + std::int64_t(i)) % 13);
    }
    // Selections of all accounts of a client that takes none are dropped when read.
    EXPECT_FALSE(
        map.at(ids[2])->clientKindToSelectedInstallationsInfoMap.count(ClientKind::thunderbird));
    EXPECT_TRUE(map.at(ids[1])
                    ->clientKindToSelectedInstallationsInfoMap.at(ClientKind::outlook)
                    .allAccountsSelected);
    EXPECT_EQ(alerts, 0);
}

TEST_F(StoreMigrationTest, TheDocumentsStoreIsCopiedWithItsWriteAheadLogAndLeftInPlace) {
    WriteLegacyStore(documentsPath(), EveryCase(), true);
    ASSERT_GT(QFileInfo(documentsPath() + "-wal").size(), 0);
    const QByteArray documentsBytes = [&] {
        QFile file(documentsPath());
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }();

    auto store = open();
    ASSERT_TRUE(store);
    expectEveryCaseMigrated();
    expectNoFiles(previousPath());
    EXPECT_TRUE(QFile::exists(documentsPath()));
    EXPECT_TRUE(QFile::exists(documentsPath() + "-wal"));
    QFile file(documentsPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), documentsBytes);
}

TEST_F(StoreMigrationTest, ASecondStartOpensTheMigratedStoreWithoutMigratingAgain) {
    WriteLegacyStore(documentsPath(), EveryCase(), true);
    {
        auto store = open();
        ASSERT_TRUE(store);
        store->LoadSignatures({});
    }
    log.clear();
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_FALSE(log.containsText("Migrated"));
    EXPECT_EQ(store->LoadSignatures({}).first.size(), 9u);
    EXPECT_EQ(Query(currentPath(), "SELECT COUNT(*) FROM ZSIGNATUREENTITYV2"), QStringList{"9"});
    expectNoFiles(previousPath());
}

TEST_F(StoreMigrationTest, AMigrationWhoseCommitFailsKeepsDataV1AndLeavesNoDataV2) {
    WriteLegacyStore(previousPath(), EveryCase());
    Store::FailNextMigrationCommitsForTesting(1);
    EXPECT_FALSE(open());
    EXPECT_TRUE(log.contains("Error: OpenStoreChain(): Could not migrate " + previousPath() +
                             " to " + currentPath() + ": disk I/O error"));
    expectNoFiles(currentPath());
    ASSERT_TRUE(QFile::exists(previousPath()));
    EXPECT_EQ(Query(previousPath(), "SELECT COUNT(*) FROM ZSIGNATUREMODEL"), QStringList{"9"});

    // The next start migrates again.
    auto store = open();
    ASSERT_TRUE(store);
    expectEveryCaseMigrated();
    expectNoFiles(previousPath());
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
    expectNoFiles(currentPath());
}

TEST(StoreMigrationRules, OldClientNamesGiveTheirClientByPrefix) {
    EXPECT_EQ(LegacyClientKind("Mac Mail"), ClientKind::appleMail);
    EXPECT_EQ(LegacyClientKind("Mac Mail (V10)"), ClientKind::appleMail);
    EXPECT_EQ(LegacyClientKind("Microsoft Outlook 2016"), ClientKind::outlook);
    EXPECT_EQ(LegacyClientKind("Postbox 7"), ClientKind::postbox);
    EXPECT_EQ(LegacyClientKind("Spark"), ClientKind::spark);
    EXPECT_EQ(LegacyClientKind("Thunderbird"), ClientKind::thunderbird);
    EXPECT_EQ(LegacyClientKind("mac mail"), std::nullopt);
    EXPECT_EQ(LegacyClientKind("Apple Mail"), std::nullopt);
    EXPECT_EQ(LegacyClientKind(""), std::nullopt);
}

TEST(StoreMigrationRules, OldAccountTextsGiveTheEmailAfterTheLastSeparator) {
    EXPECT_EQ(LegacyAccountEmail("All"), "");
    EXPECT_EQ(LegacyAccountEmail("Jane - jane@x.org"), "jane@x.org");
    EXPECT_EQ(LegacyAccountEmail("Jane - Work -  jane@x.org "), "jane@x.org");
    EXPECT_EQ(LegacyAccountEmail("jane@x.org"), "jane@x.org");
    EXPECT_EQ(LegacyAccountEmail("Jane - Work"), "");
    EXPECT_EQ(LegacyAccountEmail("a@b.c - "), "");
    EXPECT_EQ(LegacyAccountEmail(""), "");
}

}  // namespace
}  // namespace quillet
