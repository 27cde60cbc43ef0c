#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>

#include "tests/support/FakeMacAccounts.h"
#include "tests/support/FakeMacMozilla.h"
#include "tests/support/FakeMacOutlook.h"
#include "tools/signature-service/SignatureService.h"

namespace quillet {
namespace {

const QString kSuccess = "Signatures were updated successfully";
const QString kTimOwnLine = R"(user_pref("mail.identity.id2.htmlSigText", "<b>Tim's own</b>");)";

// The real quillet executable over a fake Mac with Outlook, Postbox and Thunderbird (and Apple
// Mail's bundle), the reference signature service serving a folder on loopback.
class QuilletSyncCommandTest : public testing::Test {
protected:
    struct CommandRun {
        int exitCode;
        QString out, err;
    };

    QuilletSyncCommandTest() {
        mac.setAccessibilityTrusted(true);
        mac.installApplication("/System/Applications", "Mail.app", "com.apple.mail", "16.0",
                               "3774");
        mac.addAppleMailData();
        SetFakeAppleMailAccounts(mac, {{"U-1", "ann@x.org", "Ann"}});
        mac.installClient(ClientKind::outlook, "16.80", "16.80.23121017");
        mac.setDefaults("com.microsoft.Outlook", "IsRunningNewOutlook", "0");
        SetFakeOutlookAccounts(mac, {{"jane@x.org", "Jane", "jane"}});
        SetFakeOutlookSignatures(mac, {{"Mine", "<p>mine</p>"}});
        mac.installClient(ClientKind::postbox, "7.0.60");
        postboxProfile = mac.addMozillaProfile(ClientKind::postbox, "m1x2.default");
        postboxPrefs =
            WriteFakePrefsFile(postboxProfile, FakeIdentityPrefsLines("1", "pat@x.org") +
                                                   FakeIdentityPrefsLines("2", "pam@x.org"));
        mac.installClient(ClientKind::thunderbird, "128.5.0", "12824.11.27");
        thunderbirdPrefs = WriteFakePrefsFile(mac.addMozillaProfile(ClientKind::thunderbird),
                                              FakeIdentityPrefsLines("1", "tom@x.org") +
                                                  FakeIdentityPrefsLines("2", "tim@x.org") +
                                                  QStringList{kTimOwnLine});
        service = std::make_unique<SignatureService>(SignatureServiceOptions{
            serviceFolder.path().toStdString(), "127.0.0.1", 0, [](const std::string&) {}});
        EXPECT_TRUE(service->start()) << service->error();
    }

    void setSignature(const QString& key, const QString& html) const {
        QFile file(serviceFolder.path() + "/" + key + ".html");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(html.toUtf8());
    }

    CommandRun quillet(const QStringList& arguments) const {
        QProcess process;
        const QStringList all = {
            "--root",   mac.root(),       "--home",    mac.home(),
            "--bundle", mac.bundlePath(), "--service", QString::fromStdString(service->baseUrl())};
        process.start(QUILLET_QUILLET_PATH, all + arguments);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(120000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    nlohmann::json list() const {
        return nlohmann::json::parse(quillet({"--json", "list"}).out.toStdString());
    }

    static QByteArray read(const QString& path) { return ReadFakeFile(path).value_or("(none)"); }
    QByteArray postboxList() const { return read(FakePostboxSignaturesPath(postboxProfile)); }

    FakeMac mac;
    QString postboxProfile, postboxPrefs, thunderbirdPrefs;
    QTemporaryDir serviceFolder;
    std::unique_ptr<SignatureService> service;
};

TEST_F(QuilletSyncCommandTest, InstallRefreshAndUninstallAcrossTheClients) {
    const QByteArray thunderbirdBefore = read(thunderbirdPrefs);
    setSignature("k-tom", "<p>Tom</p>");
    setSignature("k-team", "<p>Team</p>");

    const CommandRun tom = quillet({"--yes", "--json", "install", "--key", "k-tom", "--client",
                                    "thunderbird", "--account", "tom@x.org"});
    ASSERT_EQ(tom.exitCode, 0) << tom.err.toStdString();
    EXPECT_TRUE(tom.err.contains(kSuccess)) << tom.err.toStdString();
    const auto tomJson = nlohmann::json::parse(tom.out.toStdString());
    EXPECT_EQ(tomJson["performed"]["Thunderbird"]["accounts"]["tom@x.org"]["text"], "<p>Tom</p>");
    EXPECT_TRUE(read(thunderbirdPrefs).contains("<p>Tom</p>"));
    EXPECT_TRUE(read(thunderbirdPrefs).contains(kTimOwnLine.toUtf8()));

    for (const char* client : {"postbox", "outlook"}) {
        const CommandRun team =
            quillet({"--yes", "install", "--key", "k-team", "--client", client});
        ASSERT_EQ(team.exitCode, 0) << client << team.err.toStdString();
        EXPECT_TRUE(team.err.contains(kSuccess)) << client;
    }
    EXPECT_TRUE(postboxList().contains("<p>Team</p>"));
    EXPECT_EQ(FakeOutlookSignatures(mac),
              (std::vector<FakeOutlookSignature>{{"Mine", "<p>mine</p>"},
                                                 {"Signature Name 3", "<p>Team</p>"}}));

    // Changed on the service: one refresh writes every client that carries it.
    setSignature("k-tom", "<p>Tom, now CTO</p>");
    setSignature("k-team", "<p>Team 2</p>");
    const CommandRun refresh = quillet({"--yes", "refresh"});
    ASSERT_EQ(refresh.exitCode, 0) << refresh.err.toStdString();
    EXPECT_TRUE(read(thunderbirdPrefs).contains("<p>Tom, now CTO</p>"));
    EXPECT_FALSE(read(thunderbirdPrefs).contains("<p>Tom</p>"));
    EXPECT_TRUE(postboxList().contains("<p>Team 2</p>"));
    EXPECT_EQ(FakeOutlookSignatures(mac).back(),
              (FakeOutlookSignature{"Signature Name 3", "<p>Team 2</p>"}));

    for (const auto& signature : list()) {
        const CommandRun uninstall =
            quillet({"--yes", "uninstall", QString::fromStdString(signature["id"])});
        ASSERT_EQ(uninstall.exitCode, 0) << uninstall.err.toStdString();
        EXPECT_TRUE(
            uninstall.err.contains("Uninstall Signature\nAre you sure you want to "
                                   "uninstall signature \"" +
                                   QString::fromStdString(signature["name"]) + "\"?"));
    }
    EXPECT_EQ(list(), nlohmann::json::array());
    // The person's own signatures are as they were.
    EXPECT_EQ(read(thunderbirdPrefs), thunderbirdBefore);
    EXPECT_EQ(FakeOutlookSignatures(mac),
              (std::vector<FakeOutlookSignature>{{"Mine", "<p>mine</p>"}}));
    EXPECT_FALSE(postboxList().contains("Team"));
    EXPECT_FALSE(read(postboxPrefs).contains("Team"));
}

TEST_F(QuilletSyncCommandTest, InstallRefusesWithTheFormsTextsAndStoresNothing) {
    setSignature("k-tom", "<p>Tom</p>");
    QFile legacy(mac.home() + "/legacy.html");
    ASSERT_TRUE(legacy.open(QIODevice::WriteOnly));
    legacy.write("<p>Caf\xe9 Sch\xf6n</p>");  // Latin-1, not UTF-8
    legacy.close();
    struct Case {
        QStringList arguments;
        QString alert;
    };
    const std::vector<Case> cases = {
        {{"--key", "k-tom"},
         "No email client selected.\nPlease select an email client for which to install the "
         "signature."},
        {{"--key", "k-tom", "--client", "spark"},
         "Email client unavailable (Spark)\nPlease select an email client for which to install "
         "the signature."},
        {{"--key", "k-tom", "--client", "applemail"},
         "No email account selected.\nPlease select an email account for which to install the "
         "signature."},
        {{"--key", "k-tom", "--client", "thunderbird", "--account", "nobody@x.org"},
         "Unknown email account nobody@x.org\nThe known email accounts of Thunderbird: tom@x.org, "
         "tim@x.org."},
        {{"--file", "", "--client", "outlook"},
         "No HTML file selected.\nPlease select an HTML file with a signature, or use a signature "
         "key."},
        {{"--file", legacy.fileName(), "--client", "outlook"},
         "Could not load the HTML file.\nPlease check that you can access the file and that it is "
         "encoded using UTF-8."},
        {{"--key", " \t", "--client", "outlook"},
         "No signature key provided.\nPlease enter a signature key, or select an HTML file with a "
         "signature.\n\nYou can find your signature keys in the Dashboard of your account."},
        {{"--key", "k-nobody", "--client", "outlook"},
         "Signature key not found.\nPlease check that the key you've entered is correct and try "
         "again.\n\nYou can find your signature keys in the Dashboard of your account."},
    };
    for (const Case& c : cases) {
        const CommandRun run = quillet(QStringList{"--yes", "install"} + c.arguments);
        EXPECT_EQ(run.exitCode, 1) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(c.alert + "\n-> OK\n"))
            << c.arguments.join(' ').toStdString() << "\n"
            << run.err.toStdString();
    }
    EXPECT_EQ(list(), nlohmann::json::array());
    EXPECT_EQ(quillet({"install", "--key", "a", "--file", "b"}).exitCode, 2);
    EXPECT_EQ(quillet({"install", "--key", "a", "--client", "eudora"}).exitCode, 2);
}

TEST_F(QuilletSyncCommandTest, ARunningClientIsClosedOnlyWhenTheAnswerIsYes) {
    setSignature("k-tom", "<p>Tom</p>");
    mac.setRunning({"org.mozilla.thunderbird"});
    const QByteArray before = read(thunderbirdPrefs);
    const CommandRun later = quillet({"--later", "install", "--key", "k-tom", "--client",
                                      "thunderbird", "--account", "tom@x.org"});
    EXPECT_EQ(later.exitCode, 0) << later.err.toStdString();
    EXPECT_TRUE(
        later.err.contains("Some email clients need to be closed.\nThe following email "
                           "clients need to be closed in order to update "
                           "signatures:\nThunderbird\n\n-> Later"))
        << later.err.toStdString();
    EXPECT_TRUE(later.err.contains("not updated now (Later)"));
    EXPECT_FALSE(later.err.contains(kSuccess));
    EXPECT_EQ(read(thunderbirdPrefs), before);
    EXPECT_TRUE(mac.workspaceLog().isEmpty());
    EXPECT_EQ(list()[0]["performed"], nlohmann::json::object());

    const CommandRun yes = quillet({"--yes", "--reopen", "update", "Signature Name 1"});
    EXPECT_EQ(yes.exitCode, 0) << yes.err.toStdString();
    EXPECT_TRUE(yes.err.contains(kSuccess));
    EXPECT_TRUE(read(thunderbirdPrefs).contains("<p>Tom</p>"));
    EXPECT_EQ(mac.workspaceLog(),
              (QStringList{"terminate org.mozilla.thunderbird",
                           "launch " + mac.rootPath("/Applications/Thunderbird.app")}));
    EXPECT_EQ(list()[0]["performed"]["Thunderbird"]["accounts"]["tom@x.org"]["text"], "<p>Tom</p>");
}

TEST_F(QuilletSyncCommandTest, AClientNoLongerInstalledIsNamedAndTheOthersStillUpdated) {
    setSignature("k-tom", "<p>Tom</p>");
    setSignature("k-team", "<p>Team</p>");
    ASSERT_EQ(quillet({"--yes", "install", "--key", "k-team", "--client", "postbox"}).exitCode, 0);
    ASSERT_EQ(quillet({"--yes", "install", "--key", "k-tom", "--client", "thunderbird", "--account",
                       "tom@x.org"})
                  .exitCode,
              0);
    QDir(mac.rootPath("/Applications/Postbox.app")).removeRecursively();
    setSignature("k-tom", "<p>Tom 2</p>");
    setSignature("k-team", "<p>Team 2</p>");
    const CommandRun refresh = quillet({"--yes", "refresh"});
    EXPECT_EQ(refresh.exitCode, 0) << refresh.err.toStdString();
    EXPECT_TRUE(
        refresh.err.contains("Some email clients are unavailable\nThe following email "
                             "client is no longer available: Postbox.\n-> OK"))
        << refresh.err.toStdString();
    EXPECT_TRUE(read(thunderbirdPrefs).contains("<p>Tom 2</p>"));
    EXPECT_FALSE(postboxList().contains("Team 2"));
}

TEST_F(QuilletSyncCommandTest, SyncProblemsAreOneAlertAndExitStatusOne) {
    setSignature("k-team", "<p>Team</p>");
    // Outlook takes the signature but not its defaults: it still counts as updated.
    FailFakeOutlookScript(mac, "Outlook-SetDefaultSignatures16-Main-B");
    const CommandRun outlook = quillet({"--yes", "--json", "install", "--key", "k-team", "--client",
                                        "outlook", "--account", "jane@x.org"});
    EXPECT_EQ(outlook.exitCode, 1);
    EXPECT_TRUE(
        outlook.err.contains("There were problems updating some signatures.\nMicrosoft "
                             "Outlook: Could not set default signatures.\n-> OK"))
        << outlook.err.toStdString();
    EXPECT_FALSE(outlook.err.contains(kSuccess));
    const auto json = nlohmann::json::parse(outlook.out.toStdString());
    EXPECT_EQ(json["performed"]["Outlook"]["accounts"]["jane@x.org"]["id"], "Signature Name 1");

    // A folder where Postbox's prefs.js should be: the Full Disk Access hint alone.
    QFile::remove(postboxPrefs);
    QDir().mkpath(postboxPrefs);
    const CommandRun postbox =
        quillet({"--yes", "install", "--key", "k-team", "--client", "postbox"});
    EXPECT_EQ(postbox.exitCode, 1);
    EXPECT_TRUE(postbox.err.contains(
        "There were problems updating some signatures.\nPlease switch on Full Disk Access for "
        "Quillet in System Settings › Privacy & Security › Full Disk Access, then quit and reopen "
        "the app.\n-> OK"))
        << postbox.err.toStdString();
}

}  // namespace
}  // namespace quillet
