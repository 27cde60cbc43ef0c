// The signature store over real SQLite files: round trips, the rules applied when signatures are
// loaded, saves that write only what changed, and saves that fail. (Identifiers, and stores
// sharing a file: StoreSharedFileTest.)
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>

#include "common/Text.h"
#include "tests/support/DataTable.h"
#include "tests/support/StoreHarness.h"
#include "tests/support/SyncTestSupport.h"
#include "tests/support/TestHelpers.h"

namespace quillet {
namespace {

class StoreTest : public testing::Test, protected StoreHarness {
protected:
    // The store holds the signatures and where they are installed: its files are its owner's.
    void expectFiles(bool exist) {
        for (const char* suffix : kStoreFileSuffixes) {
            EXPECT_EQ(QFile::exists(storePath() + suffix), exist) << suffix;
            if (exist) {
                EXPECT_EQ(QFile::permissions(storePath() + suffix),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser)
                    << suffix;
            }
        }
    }
    // Each row of the file: a query over the store and its result rows, joined by " ; ".
    void expectRows(const QString& file) {
        for (const QStringList& row : ReadDataTable(file))
            EXPECT_EQ(sql(row[0]).join(" ; "), row[1]) << row[0].toStdString();
    }
};

// A new store has Core Data's layout and a write-ahead log until it is destroyed; whatever
// another version left in the metadata and the files' permissions, the records are read the same
// and the files are made their owner's alone.
TEST_F(StoreTest, EveryFieldAndInstallationSurvivesAReopen) {
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->path(), storePath());
    EXPECT_TRUE(store->LoadSignatures().first.empty());
    Signature original = NamedSignature("Full");
    original.colorIndex = 4;
    original.keyQe = "key-Full";
    original.fileNameQe = "sig.html";
    original.filePathQe = "/Users/me/sig.html";
    original.insertForRepliesForwards = original.insertForForwards = true;
    original.lastUpdateUnixTimeQz = 1700000000;
    original.localTextQe = "<i>local</i>";
    SelectAllAccounts(original, ClientKind::outlook, /*pendingReinstallation=*/true);
    SelectAccounts(original, ClientKind::appleMail, {"a@b.c"});
    original.clientKindToSelectedInstallationsInfoMap[ClientKind::appleMail]
        .accountEmailToPayloadMap["d@e.f"] = {true};
    RecordInstalled(original, ClientKind::appleMail, "a@b.c", "ID-1", "<p>Full</p>");
    RecordInstalled(original, ClientKind::spark, "", "S-1", "text");
    const SignatureId id = store->AddSignatureRecord(original);
    expectFiles(true);
    // An earlier version made the files as open as the umask let it.
    for (const char* suffix : kStoreFileSuffixes)
        QFile::setPermissions(storePath() + suffix,
                              QFile::permissions(storePath()) | QFile::ReadOther);
    sql("UPDATE Z_METADATA SET Z_UUID = 'elsewhere', Z_PLIST = x'deadbeef'");
    auto [ids, map] = open()->LoadSignatures();
    expectFiles(true);
    ASSERT_EQ(ids, SignatureIds{id});
    EXPECT_EQ(Describe(*map.at(id)), Describe(original));
    expectRows("store/new-store-rows.tsv");
    EXPECT_TRUE(alerts.empty());
    store->DestroyStore();
    expectFiles(false);
}

// Rows another writer put into an existing store, loaded by the rules, and what the rules gave
// stored. Colour -1 becomes (P - 1 + i) mod 13; NULL columns read as empty, and a uuid that is
// missing or does not parse is replaced. A pending-deletion signature that no client holds any
// more goes with its installations; one that a client still holds stays, whether that client is
// detected now or not (it may be away); an all-accounts selection stays only for a client that
// takes one.
TEST_F(StoreTest, LoadAppliesItsRulesToRowsAnotherWriterPutAndStoresWhatTheyGave) {
    for (const QString name : {"colours-and-uuids-missing", "finished-signatures"}) {
        SCOPED_TRACE(name.toStdString());
        RemoveStoreFiles(storePath());
        open();
        sql(ReadDataText("store/" + name + ".sql"));
        auto [ids, map] = open()->LoadSignatures();
        QStringList loaded;
        for (const SignatureId& id : ids) {
            Signature signature = *map.at(id);
            EXPECT_EQ(
                sql("SELECT ZUUIDSTRING FROM ZSIGNATUREENTITYV2 WHERE Z_PK = " + id.toString()),
                QStringList{CanonicalUuidText(signature.uuidX.value_or(QUuid()))});
            signature.uuidX.reset();
            loaded << id.toString() + ": " + Describe(signature);
        }
        EXPECT_EQ(loaded.join("\n") + "\n", ReadDataText("store/" + name + "-loaded.txt"));
        expectRows("store/" + name + "-rows.tsv");
    }
}

// Another connection holds the write lock: the save alerts, keeps its changes and a later save
// writes them. (Commits that fail: the walk of stores sharing a file.)
TEST_F(StoreTest, FailedSavesAlertAndALaterSaveWritesTheirChanges) {
    auto store = open({0, {}});
    const SignatureId id = store->AddSignatureRecord(NamedSignature("Before"));
    IdToSignatureMap map{{id, std::make_shared<Signature>(NamedSignature("After"))}};
    sqlite3* locker = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(storePath()).constData(), &locker), SQLITE_OK);
    QuerySqliteRows(locker, "BEGIN IMMEDIATE");
    store->SaveSignatures({id}, map);
    EXPECT_EQ(alerts, QStringList{"Could not save signatures / database is locked"});
    EXPECT_TRUE(store->hasChanges());
    QuerySqliteRows(locker, "ROLLBACK");
    EXPECT_EQ(QuerySqliteRows(locker, "SELECT ZNAMEQE FROM ZSIGNATUREENTITYV2"),
              QStringList{"Before"});
    sqlite3_close(locker);
    store->SaveSignatures({}, map);  // an empty save still writes what the failed one left
    EXPECT_FALSE(store->hasChanges());
    EXPECT_EQ(sql("SELECT ZNAMEQE FROM ZSIGNATUREENTITYV2"), QStringList{"After"});
}

// A store that cannot be read ends the start with the file kept: the current one, or the earlier
// one that would be migrated. The earlier model is only ever read, never created.
TEST_F(StoreTest, AStoreThatCannotBeOpenedIsAbsentKeptAndNamedInTheLog) {
    const QString line = "Error: openStore(): Could not add persistent store for model ";
    const QString missing = dataFolder() + "/missing/DataV2.sqlite";
    EXPECT_FALSE(Store::openStore("DataV2", missing, {}));
    EXPECT_TRUE(log.containsText(line + "\"DataV2\" at " + missing + ": "));
    const QString legacy = dataFolder() + "/DataV1.sqlite";
    EXPECT_FALSE(Store::openStore("DataV1", legacy, {}));
    EXPECT_FALSE(QFile::exists(legacy));
    for (const QString model : {"DataV2", "DataV1"}) {
        const QString path = dataFolder() + "/" + model + ".sqlite";
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QByteArray(4096, 'x')));
        file.close();
        EXPECT_FALSE(open());
        EXPECT_TRUE(
            log.contains(line + "\"" + model + "\" at " + path + ": file is not a database"));
        EXPECT_TRUE(QFile::exists(path));
        if (model == "DataV2")
            RemoveStoreFiles(storePath());
    }
    expectFiles(false);  // no new store beside the earlier one that cannot be read
}

TEST_F(StoreTest, AnOlderFileWithoutTheNewerColumnsIsUpgradedInPlace) {
    sql(ReadDataText("store/older-columns.sql"));
    auto store = open();
    ASSERT_TRUE(store);
    auto [ids, map] = store->LoadSignatures();
    ASSERT_EQ(ids.size(), 1u);
    map.at(ids[0])->filePathQe = "/tmp/old.html";
    store->SaveSignatures(ids, map);
    EXPECT_TRUE(alerts.empty());
    EXPECT_EQ(sql("SELECT ZNAMEQE, ZFILEPATHQE FROM ZSIGNATUREENTITYV2"),
              QStringList{"Old|/tmp/old.html"});
}

}  // namespace
}  // namespace quillet
