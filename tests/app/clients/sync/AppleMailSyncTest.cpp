#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include "app/clients/sync/AppleMailSync.h"
#include "app/demo/FakeMacAppleMail.h"
#include "common/Log.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

using Kind = SyncAppleMailSignaturesError::Kind;
constexpr auto kMail = ClientKind::appleMail;
const QString kPrefix = "SyncAppleMailSignatures(_:_:_:_:_:)(): ";

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
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The XML of one element of a list, to compare entries whole.
QByteArray ElementXml(const QString& path, const QString& key, int index = -1) {
    const auto plist = ReadPlistFile(path);
    if (!plist)
        return {};
    const auto node = index < 0 ? plist->node().get(key) : plist->node().at(index);
    return node ? Plist::copyOf(*node).toXml() : QByteArray();
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

    // Signature N selected for those accounts (and, when `installedFor` is given, recorded as
    // installed for those).
    Signature& signature(int number, const QStringList& selectedFor,
                         const QStringList& installedFor = {}) {
        while (static_cast<int>(signatures.ids().size()) < number)
            signatures.add("<p>text</p>");
        Signature& s = signatures[number];
        SelectAccounts(s, kMail, selectedFor);
        for (const QString& email : installedFor)
            RecordInstalled(s, kMail, email, TestUuidText(number), "<p>text</p>");
        return s;
    }

    FakeMac mac;
    FakeAppleMailFiles files{mac};
    TestSignatures signatures;
    RecordingSignatureSaver saver;
    AccountsInfo accounts;
    LogTap log;
};

TEST_F(AppleMailSyncTest, ASignatureForOneAccountIsWrittenListedAndMadeItsDefault) {
    const QString s1 = TestUuidText(1);
    signatures.add("<p>Jane</p>", "Jane");
    SelectAccounts(signatures[1], kMail, {"a@x.org"});
    const QByteArray otherEntries[] = {ElementXml(files.accountsMap, "ACC-B"),
                                       ElementXml(files.accountsMap, "ACC-GONE"),
                                       ElementXml(files.allSignatures, {}, 0)};

    EXPECT_FALSE(sync());

    EXPECT_EQ(ReadBytes(files.signatureFile(s1)),
              "Content-Transfer-Encoding: 7bit\nContent-Type: text/html;\ncharset=us-ascii\n"
              "Message-Id: <" +
                  s1.toUtf8() +
                  "@localdomain>\nMime-Version: 1.0 (Mac OS X Mail 16.0 \\(3774.300.61\\))\n\n"
                  "<p>Jane</p>");
    EXPECT_EQ(accountSignatures("ACC-A"), (QStringList{"MINE", s1}));
    EXPECT_EQ(listIds(files.allSignatures), (QStringList{"MINE", s1}));
    const auto list = ReadPlistFile(files.allSignatures);
    const auto entry = list->node().at(1);
    EXPECT_EQ(entry->dictionaryString("SignatureName"), "Jane");
    EXPECT_EQ(entry->get("SignatureIsRich")->asBool(), true);
    EXPECT_EQ(selected("ACC-A"), s1);
    EXPECT_EQ(selected("ACC-B"), "MINE");
    const auto preferences = ReadPlistFile(files.preferences);
    EXPECT_EQ(preferences->node().get("SignaturePlacedAboveQuotedText")->asBool(), true);
    EXPECT_EQ(preferences->node().get("SomethingElse")->asInteger(), 5);
    EXPECT_EQ(ElementXml(files.accountsMap, "ACC-B"), otherEntries[0]);
    EXPECT_EQ(ElementXml(files.accountsMap, "ACC-GONE"), otherEntries[1]);
    EXPECT_EQ(ElementXml(files.allSignatures, {}, 0), otherEntries[2]);
    EXPECT_FALSE(QFileInfo::exists(files.cloudFolder));
    EXPECT_FALSE(QFileInfo::exists(files.cacheFolder));
    EXPECT_TRUE(signatures[1]
                    .clientKindToPerformedInstallationsInfoMap.at(kMail)
                    .accountEmailToPayloadMap.count("a@x.org"));
    EXPECT_EQ(saver.savedIds, std::vector<SignatureIds>{signatures.ids()});
    EXPECT_TRUE(
        log.contains("Info: " + kPrefix + "Writing out " + files.signatureFile(s1) + "..."));
    EXPECT_TRUE(
        log.contains("Info: " + kPrefix + "Deleting cache file " + files.cacheFolder + "..."));
}

TEST_F(AppleMailSyncTest, ASignatureLeavesAnAccountThenApplMailAsAWholeAndTheCloudFollows) {
    const QString s1 = TestUuidText(1);
    signature(1, {"a@x.org", "b@x.org"});
    QDir().mkpath(files.cloudFolder);
    WriteFakePlist(files.cloudAllSignatures, kAllSignatures);
    EXPECT_FALSE(sync());
    EXPECT_EQ(listIds(files.cloudAllSignatures), (QStringList{"MINE", s1}));
    EXPECT_EQ(ReadBytes(files.cloudSignatureFile(s1)), ReadBytes(files.signatureFile(s1)));
    EXPECT_EQ(selected("ACC-B"), s1);  // installing a signature for an account makes it default

    // Deselected from A, still selected for B: A loses it, nothing else does.
    SelectAccounts(signatures[1], kMail, {"b@x.org"});
    EXPECT_FALSE(sync());
    EXPECT_EQ(accountSignatures("ACC-A"), QStringList{"MINE"});
    EXPECT_EQ(accountSignatures("ACC-B"), QStringList{s1});
    EXPECT_TRUE(QFileInfo::exists(files.signatureFile(s1)));
    EXPECT_TRUE(QFileInfo::exists(files.cloudSignatureFile(s1)));
    EXPECT_EQ(listIds(files.allSignatures), (QStringList{"MINE", s1}));
    EXPECT_EQ(selected("ACC-A"), std::nullopt);

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
    EXPECT_TRUE(log.contains("Info: " + kPrefix + "Deleting " + files.signatureFile(s1) + "..."));
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

TEST_F(AppleMailSyncTest, ListsThatExistButCannotBeUnderstoodStopTheSyncBeforeAnyWrite) {
    signature(1, {"a@x.org"});
    const QByteArray accountsMap = ReadBytes(files.accountsMap);
    const struct {
        const char* situation;
        std::function<void()> prepare;
        Kind kind;
        QString path;
    } cases[] = {
        {"an entry without an id",
         [&] {
             WriteFakePlist(files.allSignatures,
                            "<array><dict><key>SignatureName</key>"
                            "<string>X</string></dict></array>");
         },
         Kind::badData, files.allSignatures},
        {"a damaged list", [&] { mac.writeFile(files.allSignatures, "<plist><array><dict>"); },
         Kind::badData, files.allSignatures},
        {"a list of the wrong kind", [&] { WriteFakePlist(files.allSignatures, "<dict/>"); },
         Kind::badData, files.allSignatures},
        {"a folder in the list's place",
         [&] {
             QFile::remove(files.allSignatures);
             QDir().mkpath(files.allSignatures);
         },
         Kind::fileSystem, files.allSignatures},
        {"a damaged accounts map", [&] { mac.writeFile(files.accountsMap, "garbage"); },
         Kind::badData, files.accountsMap},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        WriteFakePlist(files.accountsMap, kAccountsMap);
        QDir(files.allSignatures).removeRecursively();
        WriteFakePlist(files.allSignatures, kAllSignatures);
        c.prepare();
        const QByteArray allSignatures = ReadBytes(files.allSignatures);
        const QByteArray map = ReadBytes(files.accountsMap);
        const QByteArray preferences = ReadBytes(files.preferences);
        const auto error = sync();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind, c.kind);
        EXPECT_EQ(error->pathX, c.path);
        EXPECT_FALSE(QFileInfo::exists(files.signatureFile(TestUuidText(1))));
        EXPECT_EQ(ReadBytes(files.accountsMap), map);
        EXPECT_EQ(ReadBytes(files.allSignatures), allSignatures);
        EXPECT_EQ(ReadBytes(files.preferences), preferences);
        EXPECT_TRUE(QFileInfo::exists(files.cacheFolder));
        EXPECT_FALSE(signatures[1].clientKindToPerformedInstallationsInfoMap.count(kMail));
    }
    EXPECT_TRUE(log.contains("Info: " + kPrefix + "No value for key \"SignatureUniqueId\" in " +
                             files.allSignatures));
    EXPECT_NE(ReadBytes(files.accountsMap), accountsMap);
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
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limit = previous;
    limit.rlim_cur = static_cast<rlim_t>(cloudList.size() / 2);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto error = sync();
    setrlimit(RLIMIT_FSIZE, &previous);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, Kind::fileSystemCloud);
    EXPECT_EQ(error->pathX, files.cloudAllSignatures);
    EXPECT_EQ(ReadBytes(files.cloudAllSignatures), cloudList);
    EXPECT_EQ(QDir(files.cloudFolder).entryList(QDir::Files), QStringList{"AllSignatures.plist"});
    EXPECT_TRUE(QFileInfo::exists(files.signatureFile(TestUuidText(1))));
    EXPECT_FALSE(signatures[1].clientKindToPerformedInstallationsInfoMap.count(kMail));
    EXPECT_TRUE(
        log.contains("Error: " + kPrefix + "Could not overwrite " + files.cloudAllSignatures));
}

TEST_F(AppleMailSyncTest, ASignaturesFolderThatCannotBeMadeFailsTheSync) {
    QDir(files.signaturesFolder).removeRecursively();
    mac.writeFile(files.signaturesFolder, "a file");
    signature(1, {"a@x.org"});
    const auto error = sync();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, Kind::fileSystem);
    EXPECT_EQ(error->pathX, files.signaturesFolder);
    EXPECT_TRUE(log.contains("Error: " + kPrefix + "Could not create Signatures directory at " +
                             files.signaturesFolder));
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

TEST_F(AppleMailSyncTest, TextOutsideAsciiIsWrittenAsCharacterReferences) {
    const QString html = "<p>Jos\u00e9 \U0001F600 &amp; Z\u00fcrich</p>";
    signatures.add(html);
    SelectAccounts(signatures[1], kMail, {"a@x.org"});
    EXPECT_FALSE(sync());
    const QByteArray file = ReadBytes(files.signatureFile(TestUuidText(1)));
    const QByteArray body = file.mid(file.indexOf("\n\n") + 2);
    EXPECT_EQ(body, "<p>Jos&#233; &#128512; &amp; Z&#252;rich</p>");
    for (const char byte : file)
        ASSERT_LT(static_cast<unsigned char>(byte), 0x80);
    QString decoded = QString::fromLatin1(body);
    static const QRegularExpression reference("&#([0-9]+);");
    for (auto match = reference.match(decoded); match.hasMatch();
         match = reference.match(decoded)) {
        const char32_t codePoint = match.captured(1).toUInt();
        decoded.replace(match.capturedStart(), match.capturedLength(),
                        QString::fromUcs4(&codePoint, 1));
    }
    EXPECT_EQ(decoded, html);
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
    EXPECT_TRUE(log.contains("Error: " + kPrefix + "Could not read \"SignaturesSelected\" from " +
                             files.preferences));
}

TEST_F(AppleMailSyncTest, ADefaultFollowsTheAccountsNewSignature) {
    signature(1, {"a@x.org", "b@x.org"});
    EXPECT_FALSE(sync());
    EXPECT_EQ(selected("ACC-A"), TestUuidText(1));
    // A switches from S1 to S2; B keeps S1.
    SelectAccounts(signatures[1], kMail, {"b@x.org"});
    signature(2, {"a@x.org"});
    EXPECT_FALSE(sync());
    EXPECT_EQ(selected("ACC-A"), TestUuidText(2));
    EXPECT_EQ(selected("ACC-B"), TestUuidText(1));
    EXPECT_EQ(accountSignatures("ACC-A"), (QStringList{"MINE", TestUuidText(2)}));
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

TEST_F(AppleMailSyncTest, ASignatureStillSelectedForAnUnreportedAccountStaysListed) {
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
