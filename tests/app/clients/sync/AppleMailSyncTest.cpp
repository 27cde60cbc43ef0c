#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QXmlStreamReader>

#include "app/clients/sync/AppleMailSync.h"
#include "app/demo/FakeMacAppleMail.h"
#include "app/demo/FakeMacMozilla.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

using Kind = SyncAppleMailSignaturesError::Kind;
constexpr auto kMail = ClientKind::appleMail;

// The person's own lists: accounts A and B that discovery reports, an account it does not, and
// one signature of the person's.
const QString kAccountsMap = R"(<dict>
  <key>ACC-A</key><dict><key>AccountURL</key><string>imap://a%40x.org</string>
    <key>Signatures</key><array><string>MINE</string></array></dict>
  <key>ACC-B</key><dict><key>AccountURL</key><string>imap://b%40x.org</string>
    <key>Signatures</key><array/></dict>
  <key>ACC-GONE</key><dict><key>AccountURL</key><string>pop://g%40x.org</string>
    <key>Signatures</key><array><string>MINE</string></array><key>Extra</key><integer>7</integer></dict>
</dict>)";
const QString kAllSignatures = R"(<array>
  <dict><key>SignatureUniqueId</key><string>MINE</string><key>SignatureName</key><string>Mine</string>
    <key>SignatureIsRich</key><false/></dict>
</array>)";
const QString kPreferences = R"(<dict>
  <key>SignaturesSelected</key><dict><key>ACC-B</key><string>MINE</string></dict>
  <key>SomethingElse</key><integer>5</integer>
</dict>)";

QByteArray ReadBytes(const QString& path) {
    return ReadFakeFile(path).value_or("");
}

class AppleMailSyncTest : public testing::Test {
protected:
    AppleMailSyncTest() {
        WriteFakePlist(files.accountsMap, kAccountsMap);
        WriteFakePlist(files.allSignatures, kAllSignatures);
        WriteFakePlist(files.preferences, kPreferences);
        QDir().mkpath(files.cacheFolder + "/Signatures");
        accounts.status = AccountsInfoStatus::discoverySucceeded;
        addAccount("a@x.org", "ACC-A");
        addAccount("b@x.org", "ACC-B");
    }

    void addAccount(const QString& email, const QString& uuid, const QString& type = "imap") {
        accounts.accounts.push_back(
            std::make_shared<AppleMailAccount>(email, uuid, type, std::nullopt));
    }

    std::optional<SyncAppleMailSignaturesError> sync() {
        ClientInfo info("/Applications/Mail.app", "16.0", "3774.300.61");
        info.appleMailDataPathQ = files.dataFolder;
        SyncInputs inputs{info, accounts, signatures.ids(), signatures.map(), saver, mac.paths()};
        return SyncAppleMailSignatures(inputs);
    }

    QStringList accountSignatures(const QString& accountUuid) {
        QStringList items;
        const auto map = ReadPlistFile(files.accountsMap);
        const auto array = map ? map->node().get(accountUuid) : std::nullopt;
        const auto list = array ? array->get("Signatures") : std::nullopt;
        for (int i = 0; list && i < list->size(); ++i)
            items.append(list->at(i)->asString().value_or("?"));
        return items;
    }

    static QStringList listIds(const QString& path) {
        QStringList ids;
        const auto list = ReadPlistFile(path);
        for (int i = 0; list && i < list->node().size(); ++i)
            ids.append(list->node().at(i)->dictionaryString("SignatureUniqueId").value_or("?"));
        return ids;
    }

    std::optional<QString> selected(const QString& accountUuid) {
        const auto preferences = ReadPlistFile(files.preferences);
        const auto map = preferences ? preferences->node().get("SignaturesSelected") : std::nullopt;
        return map ? map->dictionaryString(accountUuid) : std::nullopt;
    }

    // Signature N selected for those accounts.
    Signature& signature(int number, const QStringList& selectedFor) {
        while (static_cast<int>(signatures.ids().size()) < number)
            signatures.add("<p>text</p>");
        SelectAccounts(signatures[number], kMail, selectedFor);
        return signatures[number];
    }

    FakeMac mac;
    FakeAppleMailFiles files{mac};
    TestSignatures signatures;
    RecordingSignatureSaver saver;
    AccountsInfo accounts;
};

TEST_F(AppleMailSyncTest, ADeselectedSignatureLeavesMailAndTheCloudButThePersonsEntriesStay) {
    const QString s1 = TestUuidText(1);
    signature(1, {"a@x.org", "b@x.org"});
    QDir().mkpath(files.cloudFolder);
    WriteFakePlist(files.cloudAllSignatures, kAllSignatures);
    EXPECT_FALSE(sync());
    EXPECT_EQ(listIds(files.cloudAllSignatures), (QStringList{"MINE", s1}));
    EXPECT_EQ(ReadBytes(files.cloudSignatureFile(s1)), ReadBytes(files.signatureFile(s1)));
    EXPECT_EQ(selected("ACC-B"), s1);  // installing a signature for an account makes it default

    // Deselected everywhere: every trace goes, the person's own entries stay.
    signatures[1].clientKindToSelectedInstallationsInfoMap.clear();
    EXPECT_FALSE(sync());
    EXPECT_FALSE(QFileInfo::exists(files.signatureFile(s1)));
    EXPECT_FALSE(QFileInfo::exists(files.cloudSignatureFile(s1)));
    EXPECT_EQ(listIds(files.allSignatures), QStringList{"MINE"});
    EXPECT_EQ(listIds(files.cloudAllSignatures), QStringList{"MINE"});
    EXPECT_EQ(accountSignatures("ACC-A"), QStringList{"MINE"});
    EXPECT_EQ(accountSignatures("ACC-B"), QStringList{});
    EXPECT_EQ(accountSignatures("ACC-GONE"), QStringList{"MINE"});
    EXPECT_EQ(selected("ACC-B"), std::nullopt);
    EXPECT_FALSE(signatures[1].clientKindToPerformedInstallationsInfoMap.count(kMail));
}

TEST_F(AppleMailSyncTest, AnAccountNewToTheMapGetsItsUrlAndICloudIsFiledAsImap) {
    addAccount("c@icloud.com", "ACC-C", "iCloud");
    addAccount("d@x.org", "ACC-D", "pop");
    signature(1, {"c@icloud.com", "d@x.org"});
    EXPECT_FALSE(sync());
    const auto map = ReadPlistFile(files.accountsMap);
    EXPECT_EQ(map->node().get("ACC-C")->dictionaryString("AccountURL"), "imap://c%40icloud.com");
    EXPECT_EQ(map->node().get("ACC-D")->dictionaryString("AccountURL"), "pop://d%40x.org");
    EXPECT_EQ(accountSignatures("ACC-C"), QStringList{TestUuidText(1)});
}

TEST_F(AppleMailSyncTest, AFailedCloudCopyLeavesThePreviousCloudFile) {
    signature(1, {"a@x.org"});
    QDir().mkpath(files.cloudFolder);
    QString otherMacs;
    for (int i = 0; i < 100; ++i) {
        otherMacs += "<dict><key>SignatureUniqueId</key><string>OTHER-MAC-" + QString::number(i) +
                     "</string><key>SignatureName</key><string>Another Mac's</string></dict>";
    }
    WriteFakePlist(files.cloudAllSignatures, "<array>" + otherMacs + "</array>");
    const QByteArray cloudList = ReadBytes(files.cloudAllSignatures);
    // A disk that takes the small local files but not the large cloud list: the write fails
    // after the old copy could have been deleted.
    const auto error = [&] {
        FileSizeLimit limit(static_cast<rlim_t>(cloudList.size() / 2));
        return sync();
    }();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, Kind::fileSystemCloud);
    EXPECT_EQ(error->pathX, files.cloudAllSignatures);
    EXPECT_EQ(ReadBytes(files.cloudAllSignatures), cloudList);
    EXPECT_EQ(QDir(files.cloudFolder).entryList(QDir::Files), QStringList{"AllSignatures.plist"});
    EXPECT_TRUE(QFileInfo::exists(files.signatureFile(TestUuidText(1))));
    EXPECT_FALSE(signatures[1].clientKindToPerformedInstallationsInfoMap.count(kMail));
}

// Mail's cache is removed so that Mail reads its signatures again; a cache folder that is a
// link goes as the link, and what it points to stays.
TEST_F(AppleMailSyncTest, ACacheFolderThatIsALinkIsRemovedAndNotWhatItPointsTo) {
    const QString elsewhere = mac.homePath("Documents/Kept");
    QDir().mkpath(elsewhere + "/Inner");
    mac.writeFile(elsewhere + "/Inner/letter.txt", "mine");
    QDir(files.cacheFolder).removeRecursively();
    ASSERT_TRUE(QFile::link(elsewhere, files.cacheFolder));
    signatures.add("<p>Jane</p>", "Jane");
    SelectAccounts(signatures[1], kMail, {"a@x.org"});

    EXPECT_FALSE(sync());
    EXPECT_FALSE(QFileInfo(files.cacheFolder).isSymLink());
    EXPECT_EQ(ReadBytes(elsewhere + "/Inner/letter.txt"), "mine");
}

TEST_F(AppleMailSyncTest, TheCloudListKeepsWhatAnotherMacAdded) {
    signature(1, {"a@x.org"});
    QDir().mkpath(files.cloudFolder);
    WriteFakePlist(files.cloudAllSignatures,
                   "<array><dict><key>SignatureUniqueId</key><string>OTHER-MAC</string></dict>"
                   "<dict><key>SignatureUniqueId</key><string>MINE</string></dict></array>");
    EXPECT_FALSE(sync());
    EXPECT_EQ(listIds(files.cloudAllSignatures),
              (QStringList{"OTHER-MAC", "MINE", TestUuidText(1)}));
    EXPECT_EQ(listIds(files.allSignatures), (QStringList{"MINE", TestUuidText(1)}));

    // A cloud list that cannot be understood is not written over, nor is anything else.
    mac.writeFile(files.cloudAllSignatures, "damaged");
    signature(2, {"a@x.org"});
    const auto error = sync();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, Kind::fileSystemCloud);
    EXPECT_EQ(error->pathX, files.cloudAllSignatures);
    EXPECT_EQ(ReadBytes(files.cloudAllSignatures), "damaged");
    EXPECT_FALSE(QFileInfo::exists(files.signatureFile(TestUuidText(2))));
}

TEST_F(AppleMailSyncTest, ABinaryPreferencesFileWithoutSelectionsStaysBinaryAndGetsTheDefault) {
    WriteFakePlist(files.preferences, "<dict><key>SomethingElse</key><integer>5</integer></dict>",
                   true);
    signature(1, {"a@x.org"});
    EXPECT_FALSE(sync());
    EXPECT_TRUE(IsBinaryPlistData(ReadBytes(files.preferences)));
    EXPECT_EQ(selected("ACC-A"), TestUuidText(1));

    // A selection of the wrong kind is left alone; the rest is still written.
    WriteFakePlist(files.preferences,
                   "<dict><key>SignaturesSelected</key><string>x</string></dict>");
    EXPECT_FALSE(sync());
    const auto preferences = ReadPlistFile(files.preferences);
    EXPECT_EQ(preferences->node().dictionaryString("SignaturesSelected"), "x");
    EXPECT_EQ(preferences->node().get("SignaturePlacedAboveQuotedText")->asBool(), true);
}

TEST_F(AppleMailSyncTest, ElementsOfAnUnexpectedShapeAndControlCharactersDoNotBreakTheLists) {
    WriteFakePlist(files.accountsMap, R"(<dict>
      <key>ACC-A</key><dict><key>Signatures</key><string>odd</string></dict>
      <key>ACC-X</key><string>odd</string></dict>)");
    WriteFakePlist(files.allSignatures, "<array><string>odd</string></array>");
    signatures.add("<p>x</p>", QString("Work") + QChar(0x01) + "Sig");
    SelectAccounts(signatures[1], kMail, {"a@x.org", "b@x.org"});
    EXPECT_FALSE(sync());
    const auto map = ReadPlistFile(files.accountsMap);
    EXPECT_EQ(map->node().get("ACC-A")->dictionaryString("Signatures"), "odd");
    EXPECT_EQ(map->node().dictionaryString("ACC-X"), "odd");
    EXPECT_EQ(accountSignatures("ACC-B"), QStringList{TestUuidText(1)});
    const auto list = ReadPlistFile(files.allSignatures);
    EXPECT_EQ(list->node().at(0)->asString(), "odd");
    EXPECT_EQ(list->node().at(1)->dictionaryString("SignatureName"), "WorkSig");
    QXmlStreamReader reader(ReadBytes(files.allSignatures));
    while (!reader.atEnd())
        reader.readNext();
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
}

// A signature waits in Mail's lists for its address while discovery fails; once discovery
// succeeds and the account carries another person's address, it leaves that account, its
// default and the lists, as the store (which records no installation of it) says.
TEST_F(AppleMailSyncTest, ASignatureWaitingForItsAddressStaysListedOnlyWhileDiscoveryFails) {
    signature(1, {"a@x.org"});
    EXPECT_FALSE(sync());
    // Discovery now reports no account (an unreadable cache, an email in another case).
    accounts.accounts.clear();
    accounts.status = AccountsInfoStatus::discoveryFailed;
    EXPECT_FALSE(sync());
    EXPECT_EQ(listIds(files.allSignatures), (QStringList{"MINE", TestUuidText(1)}));
    EXPECT_EQ(accountSignatures("ACC-A"), (QStringList{"MINE", TestUuidText(1)}));
    EXPECT_EQ(selected("ACC-A"), TestUuidText(1));
    EXPECT_TRUE(QFileInfo::exists(files.signatureFile(TestUuidText(1))));

    // The person gave account A to someone else.
    accounts.status = AccountsInfoStatus::discoverySucceeded;
    addAccount("c@x.org", "ACC-A");
    EXPECT_FALSE(sync());
    EXPECT_EQ(listIds(files.allSignatures), QStringList{"MINE"});
    EXPECT_EQ(accountSignatures("ACC-A"), QStringList{"MINE"});
    EXPECT_EQ(selected("ACC-A"), std::nullopt);
    EXPECT_FALSE(signatures[1].clientKindToPerformedInstallationsInfoMap.count(kMail));
}

// A signature of Quillet's that Mail still lists although the store has no record of its
// installation (a store restored from a backup) leaves Mail's lists once it is selected nowhere;
// it must not stay as an account's default, naming a signature Mail no longer lists.
TEST_F(AppleMailSyncTest, ADefaultNamingASignatureThatLeavesTheListsIsRemoved) {
    const QString s1 = TestUuidText(1);
    signatures.add("<p>old</p>", "Old");
    WriteFakePlist(files.accountsMap,
                   "<dict><key>ACC-A</key><dict><key>Signatures</key><array>"
                   "<string>" +
                       s1 + "</string></array></dict></dict>");
    WriteFakePlist(files.allSignatures,
                   "<array><dict><key>SignatureUniqueId</key><string>MINE</string></dict>"
                   "<dict><key>SignatureUniqueId</key><string>" +
                       s1 + "</string></dict></array>");
    WriteFakePlist(files.preferences,
                   "<dict><key>SignaturesSelected</key><dict><key>ACC-A</key><string>" + s1 +
                       "</string><key>ACC-B</key><string>MINE</string></dict></dict>");
    EXPECT_FALSE(sync());
    EXPECT_EQ(listIds(files.allSignatures), QStringList{"MINE"});
    EXPECT_EQ(accountSignatures("ACC-A"), QStringList{});
    EXPECT_EQ(selected("ACC-A"), std::nullopt);
    EXPECT_EQ(selected("ACC-B"), "MINE");
}

}  // namespace
}  // namespace quillet
