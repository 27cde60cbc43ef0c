// The signature store over real SQLite files: round trips, identifiers, the rules applied when
// signatures are loaded, saves that write only what changed, and saves that fail.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/core/Store.h"
#include "common/Log.h"
#include "common/Text.h"

namespace quillet {
namespace {

// A second, independent connection to the store's file, as another process would have.
class RawDatabase {
public:
    explicit RawDatabase(const QString& path) {
        EXPECT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &_database), SQLITE_OK);
    }
    ~RawDatabase() { sqlite3_close(_database); }

    bool exec(const QString& sql) {
        char* message = nullptr;
        const int result =
            sqlite3_exec(_database, sql.toUtf8().constData(), nullptr, nullptr, &message);
        if (message)
            ADD_FAILURE() << message << " in " << sql.toStdString();
        sqlite3_free(message);
        return result == SQLITE_OK;
    }
    std::int64_t integer(const QString& sql) {
        const QStringList values = texts(sql);
        return values.isEmpty() ? -999 : values.front().toLongLong();
    }
    // The first column of every row; NULL as "NULL".
    QStringList texts(const QString& sql) {
        QStringList values;
        sqlite3_stmt* statement = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(_database, sql.toUtf8().constData(), -1, &statement, nullptr),
                  SQLITE_OK)
            << sqlite3_errmsg(_database);
        while (statement && sqlite3_step(statement) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
            values << (text ? QString::fromUtf8(text) : QString("NULL"));
        }
        sqlite3_finalize(statement);
        return values;
    }

private:
    sqlite3* _database = nullptr;
};

struct Alerts {
    std::vector<std::pair<QString, QString>> shown;
    CriticalAlert callback() {
        return [this](const QString& title, const QString& details) {
            shown.emplace_back(title, details);
        };
    }
};

Signature MakeSignature(const QString& name) {
    Signature signature;
    signature.active = true;
    signature.colorIndex = 4;
    signature.nameQe = name;
    signature.keyQe = "key-" + name;
    signature.mainTextQe = "<p>" + name + "</p>";
    signature.uuidX = QUuid::createUuid();
    return signature;
}

Signature FullSignature() {
    Signature signature = MakeSignature("Full");
    signature.fileNameQe = "sig.html";
    signature.filePathQe = "/Users/me/sig.html";
    signature.insertForRepliesForwards = true;
    signature.insertForForwards = true;
    signature.lastUpdateUnixTimeQz = 1700000000;
    signature.localTextQe = "<i>local</i>";
    SelectedInstallationsInfo outlook;
    outlook.allAccountsSelected = true;
    outlook.allAccountsPayloadX = SelectedInstallationPayload{true};
    signature.clientKindToSelectedInstallationsInfoMap[ClientKind::outlook] = outlook;
    SelectedInstallationsInfo mail;
    mail.accountEmailToPayloadMap["a@b.c"] = {false};
    mail.accountEmailToPayloadMap["d@e.f"] = {true};
    signature.clientKindToSelectedInstallationsInfoMap[ClientKind::appleMail] = mail;
    PerformedInstallationsInfo performedMail;
    performedMail.accountEmailToPayloadMap["a@b.c"] = {"ID-1", "<p>Full</p>"};
    signature.clientKindToPerformedInstallationsInfoMap[ClientKind::appleMail] = performedMail;
    PerformedInstallationsInfo performedSpark;
    performedSpark.allAccountsInstalled = true;
    performedSpark.allAccountsPayloadX = PerformedInstallationPayload{"S-1", "text"};
    signature.clientKindToPerformedInstallationsInfoMap[ClientKind::spark] = performedSpark;
    return signature;
}

class StoreTest : public testing::Test {
protected:
    QString dataFolder() const { return _folder.path() + "/data"; }
    QString documentsFolder() const { return _folder.path() + "/Documents"; }
    QString storePath() const { return dataFolder() + "/DataV2.sqlite"; }

    void SetUp() override {
        QDir().mkpath(dataFolder());
        QDir().mkpath(documentsFolder());
    }
    std::unique_ptr<Store> open() {
        return Store::OpenStoreChain(dataFolder(), documentsFolder(), alerts.callback());
    }
    // Inserts a raw signature row as the earlier application would have written it.
    void insertRow(RawDatabase& raw, int primaryKey, const QString& name, int colorIndex,
                   bool pendingDeletion = false) {
        raw.exec(
            QString("INSERT INTO ZSIGNATUREENTITYV2 (Z_PK, Z_ENT, Z_OPT, ZACTIVE, ZCOLORINDEX, "
                    "ZNAMEQE, ZPENDINGDELETION, ZUUIDSTRING) VALUES (%1, 3, 1, 1, %2, '%3', "
                    "%4, '%5')")
                .arg(primaryKey)
                .arg(colorIndex)
                .arg(name)
                .arg(pendingDeletion ? 1 : 0)
                .arg(CanonicalUuidText(QUuid::createUuid())));
    }

    QTemporaryDir _folder;
    Alerts alerts;
    LogTap log;
};

TEST_F(StoreTest, FirstStartCreatesAnEmptyStoreInCoreDataLayoutWithWriteAheadLog) {
    auto store = open();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->path(), storePath());
    EXPECT_TRUE(store->LoadSignatures({}).first.empty());
    store->AddSignatureRecord(MakeSignature("One"));
    EXPECT_TRUE(QFile::exists(storePath() + "-wal"));
    EXPECT_TRUE(QFile::exists(storePath() + "-shm"));

    RawDatabase raw(storePath());
    EXPECT_EQ(raw.texts("PRAGMA journal_mode"), QStringList{"wal"});
    EXPECT_EQ(raw.texts("SELECT Z_NAME FROM Z_PRIMARYKEY ORDER BY Z_ENT"),
              (QStringList{"PerformedInstallationEntityV2", "SelectedInstallationEntityV2",
                           "SignatureEntityV2"}));
    EXPECT_EQ(raw.texts("SELECT ZNAMEQE FROM ZSIGNATUREENTITYV2 WHERE Z_ENT = 3 AND Z_OPT = 1"),
              QStringList{"One"});
    EXPECT_EQ(raw.integer("SELECT Z_MAX FROM Z_PRIMARYKEY WHERE Z_NAME = 'SignatureEntityV2'"), 1);
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM Z_METADATA"), 1);
}

TEST_F(StoreTest, EveryFieldAndInstallationSurvivesAReopen) {
    const Signature original = FullSignature();
    SignatureId id;
    {
        auto store = open();
        ASSERT_TRUE(store);
        store->LoadSignatures({});
        id = store->AddSignatureRecord(original);
        EXPECT_GT(id.value, 0);
    }
    {
        // Whatever another version left in the metadata, the records are read the same.
        RawDatabase raw(storePath());
        raw.exec("UPDATE Z_METADATA SET Z_UUID = 'elsewhere', Z_PLIST = x'deadbeef'");
    }
    auto store = open();
    ASSERT_TRUE(store);
    auto [ids, map] = store->LoadSignatures({ClientKind::appleMail});
    ASSERT_EQ(ids, SignatureIds{id});
    EXPECT_EQ(Describe(*map.at(id)), Describe(original));
    EXPECT_TRUE(alerts.shown.empty());

    RawDatabase raw(storePath());
    EXPECT_EQ(raw.texts("SELECT ZCLIENT || '/' || ZACCOUNTEMAILQE || '/' || ZPENDINGREINSTALLATION "
                        "FROM ZSELECTEDINSTALLATIONENTITYV2 ORDER BY 1"),
              (QStringList{"AppleMail/a@b.c/0", "AppleMail/d@e.f/1", "Outlook//1"}));
    EXPECT_EQ(raw.texts("SELECT ZCLIENT || '/' || ZACCOUNTEMAILQE || '/' || ZIDSTRINGQE FROM "
                        "ZPERFORMEDINSTALLATIONENTITYV2 WHERE ZSIGNATURE = " +
                        id.toString() + " ORDER BY 1"),
              (QStringList{"AppleMail/a@b.c/ID-1", "Spark//S-1"}));
}

TEST_F(StoreTest, IdentifiersAreNeverGivenTwiceEvenAfterTheirRecordIsDeleted) {
    SignatureId deleted;
    {
        auto store = open();
        store->AddSignatureRecord(MakeSignature("A"));
        Signature finished = MakeSignature("B");
        finished.pendingDeletion = true;
        deleted = store->AddSignatureRecord(finished);
    }
    {
        auto store = open();
        EXPECT_EQ(store->LoadSignatures({}).first.size(), 1u);  // B is finished and deleted
        EXPECT_GT(store->AddSignatureRecord(MakeSignature("C")).value, deleted.value);
    }
    RawDatabase raw(storePath());
    raw.exec("DELETE FROM ZSIGNATUREENTITYV2 WHERE ZNAMEQE = 'C'");
    auto store = open();
    EXPECT_EQ(store->AddSignatureRecord(MakeSignature("D")).value, deleted.value + 2);
}

TEST_F(StoreTest, KeysStayUniqueWhenPrimaryKeyTableLagsBehindTheRows) {
    { open(); }
    {
        RawDatabase raw(storePath());
        insertRow(raw, 7, "Seven", 1);
        raw.exec("UPDATE Z_PRIMARYKEY SET Z_MAX = 2");
    }
    auto store = open();
    EXPECT_EQ(store->AddSignatureRecord(MakeSignature("New")).value, 8);
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(StoreTest, LoadAssignsMissingColoursByPositionAndStoresThem) {
    { open(); }
    {
        RawDatabase raw(storePath());
        insertRow(raw, 1, "First", -1);
        insertRow(raw, 2, "Second", -1);
        insertRow(raw, 3, "Third", 5);
        insertRow(raw, 4, "Fourth", -1);
    }
    auto store = open();
    auto [ids, map] = store->LoadSignatures({});
    ASSERT_EQ(ids.size(), 4u);
    EXPECT_EQ(map.at(ids[0])->colorIndex, 12);
    EXPECT_EQ(map.at(ids[1])->colorIndex, 0);
    EXPECT_EQ(map.at(ids[2])->colorIndex, 5);
    EXPECT_EQ(map.at(ids[3])->colorIndex, 2);
    RawDatabase raw(storePath());
    EXPECT_EQ(raw.texts("SELECT ZCOLORINDEX FROM ZSIGNATUREENTITYV2 ORDER BY Z_PK"),
              (QStringList{"12", "0", "5", "2"}));
}

TEST_F(StoreTest, LoadKeepsAllAccountsSelectionsOnlyForClientsThatTakeThem) {
    { open(); }
    {
        RawDatabase raw(storePath());
        insertRow(raw, 1, "Sig", 1);
        raw.exec(
            "INSERT INTO ZSELECTEDINSTALLATIONENTITYV2 (Z_PK, Z_ENT, Z_OPT, ZSIGNATURE, "
            "ZCLIENT, ZACCOUNTEMAILQE, ZPENDINGREINSTALLATION) VALUES "
            "(1, 2, 1, 1, 'AppleMail', '', 0), (2, 2, 1, 1, 'Outlook', '', 1), "
            "(3, 2, 1, 1, 'Thunderbird', NULL, 0), (4, 2, 1, 1, 'applemail', 'x@y.z', 0), "
            "(5, 2, 1, 1, 'Postbox', 'p@q.r', 0)");
    }
    auto store = open();
    auto [ids, map] = store->LoadSignatures({});
    ASSERT_EQ(ids.size(), 1u);
    const auto& selected = map.at(ids[0])->clientKindToSelectedInstallationsInfoMap;
    EXPECT_FALSE(selected.count(ClientKind::appleMail));
    EXPECT_FALSE(selected.count(ClientKind::thunderbird));
    ASSERT_TRUE(selected.count(ClientKind::outlook));
    EXPECT_TRUE(selected.at(ClientKind::outlook).allAccountsSelected);
    EXPECT_TRUE(selected.at(ClientKind::outlook).allAccountsPayloadX->pendingReinstallation);
    ASSERT_TRUE(selected.count(ClientKind::postbox));
    EXPECT_TRUE(selected.at(ClientKind::postbox).accountEmailToPayloadMap.count("p@q.r"));
    EXPECT_EQ(selected.size(), 2u);
}

TEST_F(StoreTest, LoadDeletesFinishedPendingDeletionSignaturesWithTheirInstallations) {
    { open(); }
    {
        RawDatabase raw(storePath());
        insertRow(raw, 1, "OnlyInThunderbird", 1, true);
        insertRow(raw, 2, "StillInMail", 1, true);
        insertRow(raw, 3, "Nowhere", 1, true);
        insertRow(raw, 4, "Live", 1, false);
        raw.exec(
            "INSERT INTO ZPERFORMEDINSTALLATIONENTITYV2 (Z_PK, Z_ENT, Z_OPT, ZSIGNATURE, "
            "ZCLIENT, ZACCOUNTEMAILQE, ZIDSTRINGQE, ZTEXTQE) VALUES "
            "(1, 1, 1, 1, 'Thunderbird', 'a@b.c', '', 't'), "
            "(2, 1, 1, 2, 'AppleMail', 'a@b.c', 'U', 't')");
        raw.exec(
            "INSERT INTO ZSELECTEDINSTALLATIONENTITYV2 (Z_PK, Z_ENT, Z_OPT, ZSIGNATURE, "
            "ZCLIENT, ZACCOUNTEMAILQE, ZPENDINGREINSTALLATION) VALUES "
            "(1, 2, 1, 1, 'Thunderbird', 'a@b.c', 0)");
    }
    auto store = open();
    auto [ids, map] = store->LoadSignatures({ClientKind::appleMail, ClientKind::outlook});
    ASSERT_EQ(ids, (SignatureIds{SignatureId{2}, SignatureId{4}}));
    EXPECT_TRUE(map.at(SignatureId{2})->pendingDeletion);

    RawDatabase raw(storePath());
    EXPECT_EQ(raw.texts("SELECT Z_PK FROM ZSIGNATUREENTITYV2 ORDER BY Z_PK"),
              (QStringList{"2", "4"}));
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM ZSELECTEDINSTALLATIONENTITYV2"), 0);
    EXPECT_EQ(raw.texts("SELECT ZSIGNATURE FROM ZPERFORMEDINSTALLATIONENTITYV2"), QStringList{"2"});
}

TEST_F(StoreTest, NullColumnsReadAsEmptyAndAMissingUuidIsReplaced) {
    { open(); }
    {
        RawDatabase raw(storePath());
        raw.exec("INSERT INTO ZSIGNATUREENTITYV2 (Z_PK, Z_ENT, Z_OPT) VALUES (1, 3, 1)");
        raw.exec(
            "INSERT INTO ZSIGNATUREENTITYV2 (Z_PK, Z_ENT, Z_OPT, ZCOLORINDEX, ZUUIDSTRING) "
            "VALUES (2, 3, 1, 3, 'not-a-uuid')");
    }
    QString firstUuid;
    {
        auto store = open();
        auto [ids, map] = store->LoadSignatures({});
        ASSERT_EQ(ids.size(), 2u);
        const Signature& empty = *map.at(ids[0]);
        EXPECT_FALSE(empty.active);
        EXPECT_EQ(empty.colorIndex, 0);
        EXPECT_TRUE(empty.nameQe.isEmpty() && empty.keyQe.isEmpty() && empty.mainTextQe.isEmpty());
        ASSERT_TRUE(empty.uuidX && map.at(ids[1])->uuidX);
        firstUuid = CanonicalUuidText(*empty.uuidX);
    }
    RawDatabase raw(storePath());
    const QStringList stored =
        raw.texts("SELECT ZUUIDSTRING FROM ZSIGNATUREENTITYV2 ORDER BY Z_PK");
    ASSERT_EQ(stored.size(), 2);
    EXPECT_EQ(stored[0], firstUuid);
    EXPECT_TRUE(ParseUuid(stored[1]).has_value());
}

TEST_F(StoreTest, SaveWritesOnlyTheSignaturesThatChanged) {
    auto store = open();
    store->LoadSignatures({});
    SignatureIds ids;
    IdToSignatureMap map;
    for (const char* name : {"A", "B", "C"}) {
        Signature signature = FullSignature();
        signature.nameQe = name;
        ids.push_back(store->AddSignatureRecord(signature));
        map[ids.back()] = std::make_shared<Signature>(signature);
    }
    RawDatabase raw(storePath());
    const QStringList installationKeys =
        raw.texts("SELECT Z_PK FROM ZSELECTEDINSTALLATIONENTITYV2 ORDER BY Z_PK");

    map[ids[1]]->mainTextQe = "<p>changed</p>";
    log.clear();
    store->SaveSignatures(ids, map);
    EXPECT_TRUE(log.contains("Info: Updating signature \"A\"..."));
    EXPECT_TRUE(log.contains("Info: Updating signature \"B\"..."));
    EXPECT_TRUE(log.contains("Info: Updating signature \"C\"..."));
    EXPECT_EQ(raw.texts("SELECT Z_OPT FROM ZSIGNATUREENTITYV2 ORDER BY Z_PK"),
              (QStringList{"1", "2", "1"}));
    EXPECT_EQ(
        raw.texts("SELECT ZMAINTEXTQE FROM ZSIGNATUREENTITYV2 WHERE Z_PK = " + ids[1].toString()),
        QStringList{"<p>changed</p>"});
    // The installations did not change, so none of their rows was rewritten.
    EXPECT_EQ(raw.texts("SELECT Z_PK FROM ZSELECTEDINSTALLATIONENTITYV2 ORDER BY Z_PK"),
              installationKeys);

    map[ids[2]]->clientKindToSelectedInstallationsInfoMap.erase(ClientKind::appleMail);
    store->SaveSignatures({ids[2]}, map);
    EXPECT_EQ(raw.texts("SELECT ZCLIENT FROM ZSELECTEDINSTALLATIONENTITYV2 WHERE ZSIGNATURE = " +
                        ids[2].toString()),
              QStringList{"Outlook"});
    EXPECT_EQ(raw.integer("SELECT COUNT(*) FROM ZSELECTEDINSTALLATIONENTITYV2"), 7);
    EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(StoreTest, ASaveBlockedByAnotherWriterAlertsAndTheNextSaveWritesIt) {
    auto store = open();
    store->setBusyTimeout(0);
    store->LoadSignatures({});
    const SignatureId id = store->AddSignatureRecord(MakeSignature("Before"));
    IdToSignatureMap map{{id, std::make_shared<Signature>(MakeSignature("After"))}};

    {
        RawDatabase other(storePath());
        ASSERT_TRUE(other.exec("BEGIN IMMEDIATE"));
        store->SaveSignatures({id}, map);
        ASSERT_EQ(alerts.shown.size(), 1u);
        EXPECT_EQ(alerts.shown[0].first, "Could not save signatures");
        EXPECT_EQ(alerts.shown[0].second, "database is locked");
        EXPECT_TRUE(log.contains("Error: SaveManagedObjectContext(): database is locked"));
        EXPECT_TRUE(store->hasChanges());
        other.exec("ROLLBACK");
        EXPECT_EQ(other.texts("SELECT ZNAMEQE FROM ZSIGNATUREENTITYV2"), QStringList{"Before"});
    }
    // An empty save still writes what the failed one left.
    store->SaveSignatures({}, map);
    EXPECT_EQ(alerts.shown.size(), 1u);
    EXPECT_FALSE(store->hasChanges());
    store.reset();
    auto reopened = open();
    auto [ids, loaded] = reopened->LoadSignatures({});
    ASSERT_EQ(ids, SignatureIds{id});
    EXPECT_EQ(loaded.at(id)->nameQe, "After");
}

TEST_F(StoreTest, AnAddWhoseCommitFailsKeepsItsIdAndIsWrittenLater) {
    auto store = open();
    store->LoadSignatures({});
    const SignatureId kept = store->AddSignatureRecord(MakeSignature("Kept"));
    store->failNextCommitsForTesting(2);
    const SignatureId first = store->AddSignatureRecord(MakeSignature("First"));
    const SignatureId second = store->AddSignatureRecord(MakeSignature("Second"));
    EXPECT_EQ(alerts.shown.size(), 2u);
    EXPECT_TRUE(log.contains("Error: SaveManagedObjectContext(): disk I/O error"));
    EXPECT_NE(first, second);
    {
        RawDatabase raw(storePath());
        EXPECT_EQ(raw.texts("SELECT ZNAMEQE FROM ZSIGNATUREENTITYV2"), QStringList{"Kept"});
    }
    // A load in between keeps what is still pending.
    EXPECT_EQ(store->LoadSignatures({}).first, (SignatureIds{kept, first, second}));
    EXPECT_TRUE(store->SaveManagedObjectContext());
    RawDatabase raw(storePath());
    EXPECT_EQ(raw.texts("SELECT ZNAMEQE FROM ZSIGNATUREENTITYV2 ORDER BY Z_PK"),
              (QStringList{"Kept", "First", "Second"}));
}

TEST_F(StoreTest, DestroyStoreDeletesAllThreeFiles) {
    auto store = open();
    store->AddSignatureRecord(MakeSignature("A"));
    ASSERT_TRUE(QFile::exists(storePath() + "-wal"));
    store->DestroyStore();
    for (const char* suffix : kStoreFileSuffixes) {
        EXPECT_FALSE(QFile::exists(storePath() + suffix)) << suffix;
    }
}

TEST_F(StoreTest, AFileThatIsNoDatabaseCannotBeOpened) {
    QFile file(storePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    EXPECT_FALSE(open());
    EXPECT_TRUE(
        log.contains("Error: openStore(): Could not add persistent store for model "
                     "\"DataV2\" at " +
                     storePath() + ": file is not a database"));
}

TEST_F(StoreTest, AStoreInAMissingFolderCannotBeOpened) {
    const QString path = _folder.path() + "/missing/DataV2.sqlite";
    EXPECT_FALSE(Store::openStore("DataV2", path, alerts.callback()));
    EXPECT_TRUE(
        log.containsText("openStore(): Could not add persistent store for model "
                         "\"DataV2\" at " +
                         path + ": "));
    EXPECT_FALSE(Store::openStore("DataV1", storePath(), alerts.callback()));
    EXPECT_FALSE(QFile::exists(storePath()));
}

TEST_F(StoreTest, AnOlderFileWithoutTheNewerColumnsIsUpgradedInPlace) {
    {
        RawDatabase raw(storePath());
        raw.exec(
            "CREATE TABLE ZSIGNATUREENTITYV2 (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT "
            "INTEGER, ZACTIVE INTEGER, ZCOLORINDEX INTEGER, ZNAMEQE VARCHAR, ZUUIDSTRING "
            "VARCHAR)");
        raw.exec(
            "INSERT INTO ZSIGNATUREENTITYV2 VALUES (1, 3, 1, 1, 2, 'Old', "
            "'0D5E7B52-8A51-4C3F-9A0B-2C7B6E0F1A11')");
    }
    auto store = open();
    ASSERT_TRUE(store);
    auto [ids, map] = store->LoadSignatures({});
    ASSERT_EQ(ids.size(), 1u);
    map.at(ids[0])->filePathQe = "/tmp/old.html";
    store->SaveSignatures(ids, map);
    EXPECT_TRUE(alerts.shown.empty());
    RawDatabase raw(storePath());
    EXPECT_EQ(raw.texts("SELECT ZFILEPATHQE FROM ZSIGNATUREENTITYV2"),
              QStringList{"/tmp/old.html"});
}

}  // namespace
}  // namespace quillet
