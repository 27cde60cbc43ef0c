// What every client sync owes the person's own signatures, client by client through the files
// the client keeps: Quillet's signature goes in over the person's default and out again, and the
// person has theirs back; text reaches every client without what the client cannot carry.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

#include "app/base/AppleScript.h"
#include "app/clients/PrefsFile.h"
#include "app/clients/accounts/OutlookAccounts.h"
#include "app/clients/sync/AppleMailSync.h"
#include "app/clients/sync/OutlookSync.h"
#include "app/clients/sync/PostboxSync.h"
#include "app/clients/sync/SparkSync.h"
#include "app/clients/sync/ThunderbirdSync.h"
#include "app/demo/FakeMacAccounts.h"
#include "app/demo/FakeMacAppleMail.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/demo/FakeMacOutlook.h"
#include "app/demo/FakeMacSpark.h"
#include "common/Log.h"
#include "tests/support/SyncTestSupport.h"
#include "tests/support/TestPlatform.h"

namespace quillet {
namespace {

using Json = nlohmann::json;

const QString kA = "a@x.org";
const QString kB = "b@x.org";
const QString kQuilletText = "<p>Quillet</p>";

// The person's view of an account's default: their "Mine" or "Other", "Quillet", or "" (none).
QString Seen(const std::optional<QString>& value, const QString& mine, const QString& other,
             const QString& quillet) {
    if (!value)
        return "";
    if (*value == mine)
        return "Mine";
    if (*value == other)
        return "Other";
    if (*value == quillet)
        return "Quillet";
    return "?" + *value;
}

// One client with the person's own signatures "Mine" and "Other", and accounts a@x.org, whose
// default is "Mine", and b@x.org. Signature 1 is Quillet's, selected for a@x.org.
class Client {
public:
    explicit Client(ClientKind kind) : kind(kind) {
        world.signatures.add(kQuilletText, "Quillet");
        SelectAccounts(world.signatures[1], kind, {kA});
    }
    virtual ~Client() = default;

    // Nothing, or the path of the sync's error.
    virtual std::optional<QString> sync() = 0;
    // Every setting of a@x.org's signature, exactly as the client's files hold it.
    virtual QString accountSettings() = 0;
    virtual QString accountDefault() = 0;
    virtual void personPicksOther() = 0;
    // The person deletes "Mine" in the client; false where a default is a text of its own.
    virtual bool personDeletesMine() = 0;
    // The text of Quillet's signature as the client holds it.
    virtual QString quilletText() = 0;

    const ClientKind kind;
    SyncWorld world;
};

// Thunderbird and Postbox: each identity's signature settings in prefs.js.
class MozillaClient : public Client {
public:
    MozillaClient(ClientKind kind, QString setting, QString quilletValue)
        : Client(kind), setting(std::move(setting)), quilletValue(std::move(quilletValue)) {
        world.clientInfo.mozillaBasedClientProfilePathQ = profile;
        world.accounts = MozillaAccountsInfo({kA, kB});
    }
    std::optional<QString> sync() override {
        if (kind == ClientKind::thunderbird) {
            const auto error = SyncThunderbirdSignatures(world.inputs());
            return error ? std::optional(error->pathX) : std::nullopt;
        }
        const auto error = SyncPostboxSignatures(world.inputs());
        return error ? std::optional(error->pathX) : std::nullopt;
    }
    QString accountSettings() override { return lines().filter("mail.identity.id1.").join('\n'); }
    QString accountDefault() override {
        return Seen(signatureOf("1"), ownValue("Mine"), ownValue("Other"), quilletValue);
    }
    void personPicksOther() override {
        WriteFakePrefsFile(profile,
                           SetPrefsLine(lines(), key("1"), PrefsStringRawValue(ownValue("Other")),
                                        "mail.identity.id1."));
    }
    // The setting that carries an identity's signature.
    QString key(const QString& identity) const {
        return "mail.identity.id" + identity + "." + setting;
    }
    std::optional<QString> signatureOf(const QString& identity) const {
        return GetPrefsStringValue(lines(), key(identity));
    }
    // The value of the person's own signature of that name.
    virtual QString ownValue(const QString& name) const = 0;
    // Identities 1 and 2 with addresses, their settings lines, and one more preference.
    void writePrefs(const QString& email1, const QStringList& settings1,
                    const QStringList& more = {}) {
        QStringList prefs = FakeIdentityPrefsLines("1", email1);
        for (const QString& line : settings1)
            prefs.append("user_pref(\"mail.identity.id1." + line);
        WriteFakePrefsFile(profile, prefs + FakeIdentityPrefsLines("2", kB) + more +
                                        QStringList{"user_pref(\"mail.smtp.defaultserver\", "
                                                    "\"smtp1\");"});
    }
    QStringList lines() const {
        return ReadPrefsFileLines(profile + "/prefs.js").value_or(QStringList());
    }

    const QString setting;
    const QString quilletValue;
    const QString profile = world.mac.addMozillaProfile(kind);
};

// Thunderbird: the signature is the identity's own htmlSigText, with the keys beside it.
class Thunderbird : public MozillaClient {
public:
    Thunderbird() : MozillaClient(ClientKind::thunderbird, "htmlSigText", kQuilletText) {
        writePrefs(kA, {"htmlSigText\", \"<p>Mine</p>\");", "htmlSigFormat\", true);",
                        "sig_on_reply\", false);"});
    }
    QString ownValue(const QString& name) const override { return "<p>" + name + "</p>"; }
    bool personDeletesMine() override { return false; }
    QString quilletText() override { return signatureOf("1").value_or("(none)"); }
};

// Postbox: the identity points at an entry of Postbox's own list.
class Postbox : public MozillaClient {
public:
    Postbox() : MozillaClient(ClientKind::postbox, "pbSignatureKey", TestUuidText(1)) {
        writeList(R"([{"key":"Mine","name":"Mine","body":"<p>Mine</p>"},)"
                  R"({"key":"Other","name":"Other","body":"<p>Other</p>"}])");
        writePrefs(kA, {"pbSignatureKey\", \"Mine\");", "sig_on_fwd\", false);"});
    }
    QString ownValue(const QString& name) const override { return name; }
    bool personDeletesMine() override {
        Json list = Json::parse(ReadFakeFile(FakePostboxSignaturesPath(profile))->toStdString());
        list.erase(list.begin());
        writeList(QByteArray::fromStdString(list.dump()));
        return true;
    }
    QString quilletText() override {
        for (const Json& entry :
             Json::parse(ReadFakeFile(FakePostboxSignaturesPath(profile))->toStdString())) {
            if (entry["key"] == TestUuidText(1).toStdString())
                return QString::fromStdString(entry["body"].get<std::string>());
        }
        return "(none)";
    }

private:
    void writeList(const QByteArray& json) { WriteFakePostboxSignatures(profile, json); }
};

// Apple Mail: the account's default is its entry in "SignaturesSelected".
class AppleMail : public Client {
public:
    AppleMail() : Client(ClientKind::appleMail) {
        world.clientInfo.appleMailDataPathQ = files.dataFolder;
        world.accounts.status = AccountsInfoStatus::discoverySucceeded;
        for (const auto& [email, uuid] : {std::pair{kA, "ACC-A"}, {kB, "ACC-B"}}) {
            world.accounts.accounts.push_back(
                std::make_shared<AppleMailAccount>(email, uuid, "imap", std::nullopt));
        }
        WriteFakePlist(files.accountsMap, R"(<dict>
  <key>ACC-A</key><dict><key>AccountURL</key><string>imap://a%40x.org</string>
    <key>Signatures</key><array><string>MINE</string><string>OTHER</string></array></dict>
</dict>)");
        writeAllSignatures({"MINE", "OTHER"});
        setDefault("MINE");
    }
    std::optional<QString> sync() override {
        const auto error = SyncAppleMailSignatures(world.inputs());
        return error ? error->pathX.value_or("?") : std::optional<QString>();
    }
    QString accountSettings() override { return selected().value_or("(none)"); }
    QString accountDefault() override { return Seen(selected(), "MINE", "OTHER", TestUuidText(1)); }
    void personPicksOther() override { setDefault("OTHER"); }
    bool personDeletesMine() override {
        writeAllSignatures({"OTHER"});
        return true;
    }
    QString quilletText() override {
        QFile file(files.signatureFile(TestUuidText(1)));
        if (!file.open(QIODevice::ReadOnly))
            return "(none)";
        const QByteArray bytes = file.readAll();
        return QString::fromUtf8(bytes.mid(bytes.indexOf("\n\n") + 2));
    }

private:
    void writeAllSignatures(const QStringList& uuids) {
        QString entries;
        for (const QString& uuid : uuids) {
            entries += "<dict><key>SignatureUniqueId</key><string>" + uuid +
                       "</string><key>SignatureName</key><string>" + uuid + "</string></dict>";
        }
        WriteFakePlist(files.allSignatures, "<array>" + entries + "</array>");
    }
    void setDefault(const QString& uuid) {
        WriteFakePlist(files.preferences,
                       "<dict><key>SignaturesSelected</key><dict>"
                       "<key>ACC-A</key><string>" +
                           uuid + "</string></dict></dict>");
    }
    std::optional<QString> selected() const {
        const auto preferences = ReadPlistFile(files.preferences);
        const auto map = preferences ? preferences->node().get("SignaturesSelected") : std::nullopt;
        return map ? map->dictionaryString("ACC-A") : std::nullopt;
    }
    FakeAppleMailFiles files{world.mac};
};

// Spark: the account's default is its member of the binding row.
class Spark : public Client {
public:
    Spark() : Client(ClientKind::spark) {
        world.accounts = SparkAccountsInfo({kA, kB});
        path = CreateFakeSparkSettingsDatabase(
            world.mac, {FakeSparkSignatureRow(kMine, signatureJson(kMine)),
                        FakeSparkSignatureRow(kOther, signatureJson(kOther)),
                        FakeSparkOrderingRow("[\"" + kMine + "\",\"" + kOther + "\"]"),
                        FakeSparkBindingRow("{\"" + kA + "\":\"" + kMine + "\"}")});
    }
    std::optional<QString> sync() override {
        const auto error = SyncSparkSignatures(world.inputs());
        return error ? std::optional(error->pathX) : std::nullopt;
    }
    QString accountSettings() override { return binding().value_or("(none)"); }
    QString accountDefault() override { return Seen(binding(), kMine, kOther, TestUuidText(1)); }
    void personPicksOther() override {
        EXPECT_TRUE(ExecuteFakeSparkSql(
            path,
            "INSERT INTO settings (itemGroup, itemKey, itemValue, syncDate, syncStatus) "
            "VALUES ('MetaSettingsItemsGroup', 'MetaBindingSettingsKey', '{\"" +
                kA + "\":\"" + kOther + "\"}', 0, 1)"));
    }
    bool personDeletesMine() override {
        EXPECT_TRUE(
            ExecuteFakeSparkSql(path, "DELETE FROM settings WHERE itemKey = '" + kMine + "'"));
        return true;
    }
    QString quilletText() override {
        const Json object = row(kFakeSparkSignaturesGroup, TestUuidText(1));
        return object.is_object() ? QString::fromStdString(object.value("htmlContent", "(none)"))
                                  : "(none)";
    }

private:
    static inline const QString kMine = "AAAAAAAA-0000-0000-0000-00000000000A";
    static inline const QString kOther = "AAAAAAAA-0000-0000-0000-00000000000B";
    static QString signatureJson(const QString& identifier) {
        return "{\"identifier\":\"" + identifier + "\",\"htmlContent\":\"<p>own</p>\"}";
    }
    // The newest row's object of that group and key; null when none.
    Json row(const QString& group, const QString& key) const {
        Json found;
        for (const QString& line : FakeSparkSettingsRows(path)) {
            const QStringList columns = line.split('|');
            if (columns[0] == group && columns[1] == key)
                found = Json::parse(columns[2].toStdString());
        }
        return found;
    }
    std::optional<QString> binding() const {
        const Json object = row(kFakeSparkMetaGroup, kFakeSparkBindingKey);
        if (!object.is_object() || !object.contains(kA.toStdString()))
            return std::nullopt;
        return QString::fromStdString(object[kA.toStdString()].get<std::string>());
    }
    QString path;
};

// Outlook: the account's defaults are what its pop-ups show, reached only through scripts.
class Outlook : public Client {
public:
    Outlook() : Client(ClientKind::outlook) {
        world.clientInfo.outlookVersionKindQ = OutlookVersionKind::v16_80OrNewer;
        SetFakeOutlookAccounts(world.mac, {{kA, "", kA}, {kB, "", kB}});
        world.accounts.status = AccountsInfoStatus::discoverySucceeded;
        world.accounts.accounts = *DiscoverOutlookAccountsB(runner, {});
        SetFakeOutlookSignatures(world.mac, {{"Mine", "<p>Mine</p>"}, {"Other", "<p>Other</p>"}});
        SetFakeOutlookDefaultSignatures(world.mac, {{kA, {"Mine", "Mine"}}});
    }
    std::optional<QString> sync() override {
        const auto error = SyncOutlookSignatures(world.inputs(), environment);
        return error ? std::optional(QString::number(static_cast<int>(error->kind))) : std::nullopt;
    }
    QString accountSettings() override {
        const auto defaults = FakeOutlookDefaultSignatures(world.mac);
        const auto found = defaults.find(kA);
        return found == defaults.end()
                   ? "(none)"
                   : found->second.newMessages + "|" + found->second.repliesForwards;
    }
    QString accountDefault() override {
        const auto defaults = FakeOutlookDefaultSignatures(world.mac);
        const auto found = defaults.find(kA);
        if (found == defaults.end() || found->second.newMessages == "None")
            return "";
        return Seen(found->second.newMessages, "Mine", "Other", "Quillet");
    }
    void personPicksOther() override {
        SetFakeOutlookDefaultSignatures(world.mac, {{kA, {"Other", "Other"}}});
    }
    bool personDeletesMine() override {
        auto signatures = FakeOutlookSignatures(world.mac);
        signatures.erase(signatures.begin());
        SetFakeOutlookSignatures(world.mac, signatures);
        return true;
    }
    QString quilletText() override {
        for (const auto& signature : FakeOutlookSignatures(world.mac)) {
            if (signature.name == "Quillet")
                return signature.content;
        }
        return "(none)";
    }

private:
    TestPlatform platform{world.mac};
    AppleScriptRunner runner{world.mac.paths(), *platform.bundle};
    OutlookSyncEnvironment environment{runner, *platform.bundle, std::chrono::milliseconds(0)};
};

using ClientFactory = std::function<std::unique_ptr<Client>()>;

template <typename T>
ClientFactory Make() {
    return [] { return std::make_unique<T>(); };
}

class PersonsOwnSignaturesTest
    : public testing::TestWithParam<std::pair<const char*, ClientFactory>> {
protected:
    std::unique_ptr<Client> client = GetParam().second();
    Signature& quillet = client->world.signatures[1];
    LogTap log;
};

TEST_P(PersonsOwnSignaturesTest, UninstallGivesBackThePersonsPreviousSignature) {
    const QString before = client->accountSettings();
    ASSERT_FALSE(client->sync());
    ASSERT_EQ(client->accountDefault(), "Quillet");
    // A second pass finds Quillet's own signature there: what it keeps stays the person's.
    quillet.mainTextQe = "<p>Quillet, updated</p>";
    ASSERT_FALSE(client->sync());

    quillet.pendingDeletion = true;
    EXPECT_FALSE(client->sync());
    EXPECT_EQ(client->accountDefault(), "Mine");
    EXPECT_EQ(client->accountSettings(), before);

    // Once given back, nothing of it is kept.
    EXPECT_FALSE(client->sync());
    EXPECT_EQ(client->accountSettings(), before);
    QFile kept(ReplacedSettingsPath(client->world.supportFolder));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(Json::parse(kept.readAll().toStdString()), Json::array());
}

// Quillet's signature leaves an account not only on uninstall: deselected for it, or switched off
// on the service, it leaves the same way and the person has theirs back.
TEST_P(PersonsOwnSignaturesTest, ThePersonsSignatureComesBackWheneverQuilletsLeaves) {
    const std::vector<std::pair<const char*, std::function<void(Signature&, ClientKind)>>> ways{
        {"deselected",
         [](Signature& signature, ClientKind kind) { SelectAccounts(signature, kind, {kB}); }},
        {"switched off", [](Signature& signature, ClientKind) { signature.active = false; }}};
    for (const auto& [way, leave] : ways) {
        SCOPED_TRACE(way);
        const auto fresh = GetParam().second();
        const QString before = fresh->accountSettings();
        ASSERT_FALSE(fresh->sync());
        ASSERT_EQ(fresh->accountDefault(), "Quillet");
        leave(fresh->world.signatures[1], fresh->kind);
        EXPECT_FALSE(fresh->sync());
        EXPECT_EQ(fresh->accountDefault(), "Mine");
        EXPECT_EQ(fresh->accountSettings(), before);
    }
}

TEST_P(PersonsOwnSignaturesTest, APersonsChoiceMadeSinceTheInstallStays) {
    ASSERT_FALSE(client->sync());
    client->personPicksOther();
    quillet.pendingDeletion = true;
    EXPECT_FALSE(client->sync());
    EXPECT_EQ(client->accountDefault(), "Other");
}

TEST_P(PersonsOwnSignaturesTest, ASignatureThePersonDeletedMeanwhileIsNotPutBack) {
    ASSERT_FALSE(client->sync());
    if (!client->personDeletesMine())
        GTEST_SKIP() << "the client's default is a text of its own";
    quillet.pendingDeletion = true;
    EXPECT_FALSE(client->sync());
    EXPECT_EQ(client->accountDefault(), "");
}

TEST_P(PersonsOwnSignaturesTest, ADefaultThatCannotBeKeptIsNotReplaced) {
    // A file where the support folder should be: the person's default cannot be kept.
    QDir().mkpath(QFileInfo(client->world.supportFolder).path());
    QFile(client->world.supportFolder).open(QIODevice::WriteOnly);
    const QString before = client->accountSettings();
    const QStringList records = client->world.descriptions();

    EXPECT_TRUE(client->sync());
    EXPECT_EQ(client->accountSettings(), before);
    EXPECT_EQ(client->world.descriptions(), records);
    EXPECT_TRUE(log.containsText(": Could not keep the replaced signature settings: "));
}

TEST_P(PersonsOwnSignaturesTest, TextReachesTheClientWithoutCharactersNoClientCanCarry) {
    quillet.mainTextQe = QString("<p>a") + QChar(0) + "b\x01\x0b" + QChar(0xFFFF) + QChar(0xD800) +
                         "c\t\r\n" + QString::fromUtf8("\xF0\x9F\x98\x80") + "</p>";
    ASSERT_FALSE(client->sync());
    const QString carried =
        QString("<p>abc\t\r\n") + QString::fromUtf8("\xF0\x9F\x98\x80") + "</p>";
    // Apple Mail's signature file is seven-bit: what is beyond ASCII is a character reference.
    EXPECT_EQ(client->quilletText(),
              client->kind == ClientKind::appleMail ? "<p>abc\t\r\n&#128512;</p>" : carried);
    // What was written is what is recorded, so the next pass finds it in place.
    const auto& performed = quillet.clientKindToPerformedInstallationsInfoMap.at(client->kind);
    EXPECT_EQ(performed.accountEmailToPayloadMap.at(kA).textQe, carried);
}

// Thunderbird and Postbox tie an account to the identity number discovery found; the file may
// have moved on since (the person replaced the account), and the identity with that number may
// now be someone else's.
class MozillaIdentitiesTest
    : public testing::TestWithParam<
          std::pair<const char*, std::function<std::unique_ptr<MozillaClient>()>>> {
protected:
    std::unique_ptr<MozillaClient> client = GetParam().second();
    Signature& quillet = client->world.signatures[1];
    LogTap log;
};

TEST_P(MozillaIdentitiesTest, ARefreshNeverWritesIntoAnIdentityThatNowBelongsToSomeoneElse) {
    ASSERT_FALSE(client->sync());
    ASSERT_EQ(client->accountDefault(), "Quillet");
    // The person replaced account a@x.org: identity 1 is now new@x.org's, with its own signature.
    const QStringList newcomer{client->setting + "\", " +
                               PrefsStringRawValue(client->ownValue("Other")) + ");"};
    client->writePrefs("new@x.org", newcomer);
    const QString newcomers = client->accountSettings();
    quillet.mainTextQe = "<p>Quillet, updated</p>";
    SelectAccounts(quillet, client->kind, {kA}, true);

    EXPECT_FALSE(client->sync());
    EXPECT_EQ(client->accountSettings(), newcomers);
    EXPECT_TRUE(log.contains(
        "Warning: " +
        SyncName(client->kind == ClientKind::thunderbird ? "SyncThunderbirdSignatures"
                                                         : "SyncPostboxSignatures") +
        ": Not writing a@x.org: no identity of " + client->profile + "/prefs.js carries it"));
    // Not written, so still waiting to be.
    EXPECT_TRUE(quillet.clientKindToSelectedInstallationsInfoMap.at(client->kind)
                    .accountEmailToPayloadMap.at(kA)
                    .pendingReinstallation);
    EXPECT_FALSE(quillet.clientKindToPerformedInstallationsInfoMap.count(client->kind));

    // Account a@x.org is back as identity 3: the next pass writes it there, and only there.
    client->writePrefs("new@x.org", newcomer, FakeIdentityPrefsLines("3", kA));
    EXPECT_FALSE(client->sync());
    EXPECT_EQ(client->signatureOf("3"), client->kind == ClientKind::thunderbird
                                            ? "<p>Quillet, updated</p>"
                                            : client->quilletValue);
    EXPECT_EQ(client->accountSettings(), newcomers);
    EXPECT_FALSE(quillet.clientKindToSelectedInstallationsInfoMap.at(client->kind)
                     .accountEmailToPayloadMap.at(kA)
                     .pendingReinstallation);
}

INSTANTIATE_TEST_SUITE_P(Clients, MozillaIdentitiesTest,
                         testing::Values(std::pair{"Postbox", std::function([] {
                                                       return std::unique_ptr<MozillaClient>(
                                                           std::make_unique<Postbox>());
                                                   })},
                                         std::pair{"Thunderbird", std::function([] {
                                                       return std::unique_ptr<MozillaClient>(
                                                           std::make_unique<Thunderbird>());
                                                   })}),
                         [](const auto& info) { return std::string(info.param.first); });

INSTANTIATE_TEST_SUITE_P(Clients, PersonsOwnSignaturesTest,
                         testing::Values(std::pair{"AppleMail", Make<AppleMail>()},
                                         std::pair{"Outlook", Make<Outlook>()},
                                         std::pair{"Postbox", Make<Postbox>()},
                                         std::pair{"Spark", Make<Spark>()},
                                         std::pair{"Thunderbird", Make<Thunderbird>()}),
                         [](const auto& info) { return std::string(info.param.first); });

}  // namespace
}  // namespace quillet
