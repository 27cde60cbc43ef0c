// The quillet command on this Linux desktop, against Debian's real Thunderbird: Thunderbird
// makes its own profiles and accounts, Quillet writes the signature, and Thunderbird itself
// reads it back.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <nlohmann/json.hpp>

#include "tests/support/CommandBuild.h"
#include "tests/support/RealThunderbird.h"
#include "tests/support/TestService.h"

namespace quillet {
namespace {

const QString kSignature = "<p>Ann <b>\"Quillet\"</b> Example\\</p>";

// Creates two accounts through Thunderbird's own account manager.
const QString kCreateAccounts = R"(
const { MailServices } = ChromeUtils.importESModule("resource:///modules/MailServices.sys.mjs");
const add = (user, email) => {
  const server = MailServices.accounts.createIncomingServer(user, "mail.example.com", "pop3");
  const identity = MailServices.accounts.createIdentity();
  identity.email = email;
  identity.fullName = user;
  const account = MailServices.accounts.createAccount();
  account.incomingServer = server;
  account.addIdentity(identity);
};
add("ann", "ann@example.com");
add("bob", "bob@example.com");
Services.prefs.savePrefFile(null);
return MailServices.accounts.allIdentities.length;
)";

// What Thunderbird holds for each identity's signature.
const QString kReadSignatures = R"(
const { MailServices } = ChromeUtils.importESModule("resource:///modules/MailServices.sys.mjs");
const result = {};
for (const identity of MailServices.accounts.allIdentities) {
  result[identity.email] = { html: identity.htmlSigText, htmlFormat: identity.htmlSigFormat,
                             replies: identity.sigOnReply, forwards: identity.sigOnForward };
}
return result;
)";

QByteArray FileContents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class RealThunderbirdTest : public testing::Test {
protected:
    void SetUp() override {
        if (!RealThunderbird::isInstalled())
            GTEST_SKIP() << "Thunderbird is not installed (tools/install-deps.sh installs it)";
        ASSERT_TRUE(home.isValid());
        QFile signature(home.filePath("signature.html"));
        ASSERT_TRUE(signature.open(QIODevice::WriteOnly));
        signature.write(kSignature.toUtf8());
    }

    // quillet with this home and no root: the Linux desktop.
    CommandRun quillet(const QStringList& arguments) const {
        return RunQuillet(
            QStringList{"--home", home.path(), "--service", service.url().toString()} + arguments,
            WithoutFakeMacVariables(QProcessEnvironment::systemEnvironment()));
    }

    // Thunderbird's first start and its two accounts, then it quits.
    void makeThunderbirdWithTwoAccounts(RealThunderbird& thunderbird) {
        ASSERT_TRUE(thunderbird.createProfiles()) << thunderbird.lastError().toStdString();
        ASSERT_TRUE(thunderbird.start()) << thunderbird.lastError().toStdString();
        const auto count = thunderbird.marionette().executeScript(kCreateAccounts);
        ASSERT_TRUE(count) << thunderbird.marionette().lastError().toStdString();
        ASSERT_EQ(*count, 2);
    }

    nlohmann::json signaturesInThunderbird(RealThunderbird& thunderbird) {
        const auto signatures = thunderbird.marionette().executeScript(kReadSignatures);
        EXPECT_TRUE(signatures) << thunderbird.marionette().lastError().toStdString();
        return signatures.value_or(nlohmann::json());
    }

    QString prefsPath(const RealThunderbird& thunderbird) const {
        return thunderbird.installProfile() + "/prefs.js";
    }

    QTemporaryDir home;
    TestService service;
};

TEST_F(RealThunderbirdTest, InstallGoesWhereThunderbirdReadsItAndUninstallTakesItAway) {
    RealThunderbird thunderbird(home.path());
    makeThunderbirdWithTwoAccounts(thunderbird);
    ASSERT_TRUE(thunderbird.quit());
    // Beside the install profile Thunderbird keeps an empty legacy ".default" one, the one that
    // profiles.ini marks "Default=1".
    const QString profiles = FileContents(home.filePath(".thunderbird/profiles.ini"));
    ASSERT_TRUE(profiles.contains("Default=1")) << profiles.toStdString();
    ASSERT_TRUE(thunderbird.installProfile().endsWith(".default-default"));

    const CommandRun clients = quillet({"clients"});
    ASSERT_EQ(clients.exitCode, 0) << clients.err.toStdString();
    EXPECT_TRUE(clients.out.startsWith("Thunderbird\tThunderbird 153") ||
                clients.out.startsWith("Thunderbird\tThunderbird "))
        << clients.out.toStdString();
    EXPECT_TRUE(clients.out.contains("\t/usr/lib/thunderbird\n")) << clients.out.toStdString();

    const CommandRun install =
        quillet({"--json", "install", "--file", home.filePath("signature.html"), "--client",
                 "Thunderbird", "--account", "ann@example.com", "--forwards", "off"});
    ASSERT_EQ(install.exitCode, 0) << install.err.toStdString();
    const auto installed = nlohmann::json::parse(install.out.toStdString());
    const QString id = QString::fromStdString(installed["id"].get<std::string>());

    ASSERT_TRUE(thunderbird.start()) << thunderbird.lastError().toStdString();
    nlohmann::json signatures = signaturesInThunderbird(thunderbird);
    EXPECT_EQ(signatures["ann@example.com"]["html"], kSignature.toStdString());
    EXPECT_EQ(signatures["ann@example.com"]["htmlFormat"], true);
    EXPECT_EQ(signatures["ann@example.com"]["replies"], true);
    EXPECT_EQ(signatures["ann@example.com"]["forwards"], false);
    EXPECT_EQ(signatures["bob@example.com"]["html"], "");
    // Thunderbird writes its prefs.js again on the way out, in its own order and form.
    ASSERT_TRUE(thunderbird.marionette().executeScript(
        R"(const { MailServices } = ChromeUtils.importESModule(
             "resource:///modules/MailServices.sys.mjs");
           MailServices.accounts.allIdentities.find(i => i.email == "bob@example.com")
             .fullName = "Bob Example";)"));
    ASSERT_TRUE(thunderbird.quit());
    ASSERT_TRUE(FileContents(prefsPath(thunderbird)).contains("Bob Example"));

    const CommandRun uninstall = quillet({"--yes", "uninstall", id});
    ASSERT_EQ(uninstall.exitCode, 0) << uninstall.err.toStdString();
    EXPECT_FALSE(FileContents(prefsPath(thunderbird)).contains("htmlSigText"));
    ASSERT_TRUE(thunderbird.start()) << thunderbird.lastError().toStdString();
    signatures = signaturesInThunderbird(thunderbird);
    EXPECT_EQ(signatures["ann@example.com"]["html"], "");
    EXPECT_EQ(signatures["bob@example.com"]["html"], "");
    EXPECT_EQ(signatures["bob@example.com"]["htmlFormat"], false);
    EXPECT_TRUE(thunderbird.quit());
}

TEST_F(RealThunderbirdTest, RunningThunderbirdIsClosedWhatItSavedIsKeptAndItIsStartedAgain) {
    RealThunderbird thunderbird(home.path());
    makeThunderbirdWithTwoAccounts(thunderbird);
    // A setting made in Thunderbird just now. Thunderbird writes a changed preference to
    // prefs.js within a moment (it does not on SIGTERM); once it has, Quillet, writing the file
    // while Thunderbird is closed, must keep it.
    ASSERT_TRUE(thunderbird.marionette().executeScript(
        R"(Services.prefs.setCharPref("quillet.test.saved", "kept");)"));
    const QDeadlineTimer deadline(60000);
    while (!FileContents(prefsPath(thunderbird)).contains("quillet.test.saved") &&
           !deadline.hasExpired())
        QThread::msleep(100);
    ASSERT_FALSE(deadline.hasExpired()) << "Thunderbird did not save its preference";
    const auto firstPid = thunderbird.startedProcessId();
    ASSERT_TRUE(firstPid);

    const CommandRun install =
        quillet({"--yes", "--reopen", "install", "--file", home.filePath("signature.html"),
                 "--client", "Thunderbird", "--account", "ann@example.com"});
    ASSERT_EQ(install.exitCode, 0) << install.err.toStdString();
    EXPECT_TRUE(install.err.contains("Some email clients need to be closed."))
        << install.err.toStdString();
    EXPECT_TRUE(RealThunderbird::waitForExit(*firstPid, 1000));
    // What Thunderbird saved is kept, and the signature is beside it.
    const QByteArray prefs = FileContents(prefsPath(thunderbird));
    EXPECT_TRUE(prefs.contains("user_pref(\"quillet.test.saved\", \"kept\");"));
    EXPECT_TRUE(prefs.contains("htmlSigText"));

    // Started again as it was: headless, on this home, listening for Marionette.
    ASSERT_TRUE(thunderbird.attach()) << thunderbird.lastError().toStdString();
    EXPECT_NE(thunderbird.marionette().processId(), *firstPid);
    const nlohmann::json signatures = signaturesInThunderbird(thunderbird);
    EXPECT_EQ(signatures["ann@example.com"]["html"], kSignature.toStdString());
    EXPECT_EQ(signatures["bob@example.com"]["html"], "");
    const auto kept = thunderbird.marionette().executeScript(
        R"(return Services.prefs.getCharPref("quillet.test.saved");)");
    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept, "kept");
    EXPECT_TRUE(thunderbird.quit());
}

}  // namespace
}  // namespace quillet
