// The signature store over real SQLite files: round trips, the rules applied when signatures are
// loaded, and stores that cannot be opened. (Identifiers, saves that fail, and stores sharing a
// file: StoreSharedFileTest.)
#include <gtest/gtest.h>

#include <QFile>

#include "common/Text.h"
#include "tests/support/DataTable.h"
#include "tests/support/StoreHarness.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

class StoreTest : public testing::Test, protected StoreHarness {};

// A new store has Core Data's layout and a write-ahead log until it is destroyed; whatever
// another version left in the metadata and the files' permissions, the records are read the same
// and the files are made their owner's alone.
TEST_F(StoreTest, EveryFieldAndInstallationSurvivesAReopen) {
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->path(), storePath());
    EXPECT_TRUE(LoadedSignatures(*store).first.empty());
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
    expectStoreFiles(storePath(), true);
    // An earlier version made the files as open as the umask let it.
    for (const char* suffix : kStoreFileSuffixes)
        QFile::setPermissions(storePath() + suffix,
                              QFile::permissions(storePath()) | QFile::ReadOther);
    sql("UPDATE Z_METADATA SET Z_UUID = 'elsewhere', Z_PLIST = x'deadbeef'");
    auto [ids, map] = LoadedSignatures(*open());
    expectStoreFiles(storePath(), true);
    ASSERT_EQ(ids, SignatureIds{id});
    EXPECT_EQ(Describe(*map.at(id)), Describe(original));
    expectRows("store/new-store-rows.tsv");
    EXPECT_TRUE(alerts.empty());
    store->DestroyStore();
    expectStoreFiles(storePath(), false);
}

// Rows another writer put into an existing store, or an older version into a table without the
// newer columns (they are added in place), loaded by the rules, and what the rules gave stored.
// Colour -1 becomes (P - 1 + i) mod 13; NULL columns read as empty, and a uuid that is missing or
// does not parse is replaced. A pending-deletion signature that no client holds any more goes with
// its installations; one that a client still holds stays, whether that client is detected now or
// not (it may be away); an all-accounts selection stays only for a client that takes one.
TEST_F(StoreTest, LoadAppliesItsRulesToRowsAnotherWriterPutAndStoresWhatTheyGave) {
    for (const QString name :
         {"colours-and-uuids-missing", "finished-signatures", "older-columns"}) {
        SCOPED_TRACE(name.toStdString());
        RemoveStoreFiles(storePath());
        if (name != "older-columns")
            open();
        sql(ReadDataText("store/" + name + ".sql"));
        auto [ids, map] = LoadedSignatures(*open());
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

// A signature asked for by its uuid is what the file holds now, whatever this store read, however
// another writer stored the uuid (text in any case and braces, or Core Data's 16 raw bytes).
TEST_F(StoreTest, WhatTheFileHoldsOfAUuidIsAskedOfTheFileAsItIsNow) {
    const auto store = open();
    LoadedSignatures(*store);
    const QUuid text = QUuid::createUuid(), raw = QUuid::createUuid();
    sql("INSERT INTO ZSIGNATUREENTITYV2 (Z_PK, ZUUIDSTRING, ZPENDINGDELETION) VALUES (41, '" +
        text.toString().toUpper() + "', NULL), (42, X'" +
        QString::fromLatin1(raw.toRfc4122().toHex()) + "', 1)");
    EXPECT_EQ(*store->storedPresence(text), StoredPresence::current);
    EXPECT_EQ(*store->storedPresence(raw), StoredPresence::pendingDeletion);
    EXPECT_EQ(*store->storedPresence(QUuid::createUuid()), StoredPresence::absent);
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
    expectStoreFiles(storePath(),
                     false);  // no new store beside the earlier one that cannot be read
}

}  // namespace
}  // namespace quillet
