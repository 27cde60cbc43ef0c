// The quillet command on this Linux desktop, against Debian's real Thunderbird: Thunderbird
// makes its own profiles and accounts, Quillet closes it, writes the signature and starts it
// again, and Thunderbird itself reads the signature back.
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

// What Thunderbird holds for each identity's signature, and a preference set in Thunderbird.
const QString kReadSignatures = R"(
const { MailServices } = ChromeUtils.importESModule("resource:///modules/MailServices.sys.mjs");
const result = { saved: Services.prefs.getCharPref("quillet.test.saved", "") };
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

TEST(RealThunderbirdTest, RunningThunderbirdIsClosedWrittenStartedAgainAndGivenBackOnUninstall) {
    if (!RealThunderbird::isInstalled())
        GTEST_SKIP() << "Thunderbird is not installed (tools/install-deps.sh installs it)";
    QTemporaryDir home;
    TestService service;
    QFile signatureFile(home.filePath("signature.html"));
    ASSERT_TRUE(signatureFile.open(QIODevice::WriteOnly));
    signatureFile.write(kSignature.toUtf8());
    signatureFile.close();
    // quillet with this home and no root: the Linux desktop.
    const auto quillet = [&](const QStringList& arguments) {
        return RunQuillet(
            QStringList{"--home", home.path(), "--service", service.url().toString()} + arguments,
            WithoutFakeMacVariables(QProcessEnvironment::systemEnvironment()));
    };
    RealThunderbird thunderbird(home.path());
    const auto signaturesInThunderbird = [&] {
        const auto signatures = thunderbird.marionette().executeScript(kReadSignatures);
        EXPECT_TRUE(signatures) << thunderbird.marionette().lastError().toStdString();
        return signatures.value_or(nlohmann::json());
    };

    ASSERT_TRUE(thunderbird.createProfiles()) << thunderbird.lastError().toStdString();
    ASSERT_TRUE(thunderbird.start()) << thunderbird.lastError().toStdString();
    const auto count = thunderbird.marionette().executeScript(kCreateAccounts);
    ASSERT_TRUE(count) << thunderbird.marionette().lastError().toStdString();
    ASSERT_EQ(*count, 2);
    // Beside the install profile Thunderbird keeps an empty legacy ".default" one, the one that
    // profiles.ini marks "Default=1".
    ASSERT_TRUE(FileContents(home.filePath(".thunderbird/profiles.ini")).contains("Default=1"));
    ASSERT_TRUE(thunderbird.installProfile().endsWith(".default-default"));
    const QString prefsPath = thunderbird.installProfile() + "/prefs.js";
    // A setting made in Thunderbird just now. Thunderbird writes a changed preference to
    // prefs.js within a moment (it does not on SIGTERM); once it has, Quillet, writing the file
    // while Thunderbird is closed, must keep it.
    ASSERT_TRUE(thunderbird.marionette().executeScript(
        R"(Services.prefs.setCharPref("quillet.test.saved", "kept");)"));
    const QDeadlineTimer deadline(60000);
    while (!FileContents(prefsPath).contains("quillet.test.saved") && !deadline.hasExpired())
        QThread::msleep(100);
    ASSERT_FALSE(deadline.hasExpired()) << "Thunderbird did not save its preference";
    const auto firstPid = thunderbird.startedProcessId();
    ASSERT_TRUE(firstPid);

    const CommandRun clients = quillet({"clients"});
    EXPECT_TRUE(clients.out.startsWith("Thunderbird\tThunderbird ")) << clients.out.toStdString();
    EXPECT_TRUE(clients.out.contains("\t/usr/lib/thunderbird\n")) << clients.out.toStdString();

    const CommandRun install = quillet({"--json", "--yes", "--reopen", "install", "--file",
                                        home.filePath("signature.html"), "--client", "Thunderbird",
                                        "--account", "ann@example.com", "--forwards", "off"});
    ASSERT_EQ(install.exitCode, 0) << install.err.toStdString();
    EXPECT_TRUE(install.err.contains("Some email clients need to be closed."))
        << install.err.toStdString();
    EXPECT_TRUE(RealThunderbird::waitForExit(*firstPid, 1000));
    const QByteArray prefs = FileContents(prefsPath);
    EXPECT_TRUE(prefs.contains("user_pref(\"quillet.test.saved\", \"kept\");"));
    EXPECT_TRUE(prefs.contains("htmlSigText"));

    // Started again as it was: headless, on this home, listening for Marionette.
    ASSERT_TRUE(thunderbird.attach()) << thunderbird.lastError().toStdString();
    EXPECT_NE(thunderbird.marionette().processId(), *firstPid);
    nlohmann::json signatures = signaturesInThunderbird();
    EXPECT_EQ(signatures["saved"], "kept");
    EXPECT_EQ(signatures["ann@example.com"],
              nlohmann::json({{"html", kSignature.toStdString()},
                              {"htmlFormat", true},
                              {"replies", true},
                              {"forwards", false}}));
    EXPECT_EQ(signatures["bob@example.com"]["html"], "");
    // Thunderbird writes its prefs.js again on the way out, in its own order and form.
    ASSERT_TRUE(thunderbird.marionette().executeScript(
        R"(const { MailServices } = ChromeUtils.importESModule(
             "resource:///modules/MailServices.sys.mjs");
           MailServices.accounts.allIdentities.find(i => i.email == "bob@example.com")
             .fullName = "Bob Example";)"));
    ASSERT_TRUE(thunderbird.quit());
    ASSERT_TRUE(FileContents(prefsPath).contains("Bob Example"));

    const std::string id = nlohmann::json::parse(install.out.toStdString())["id"];
    const CommandRun uninstall = quillet({"--yes", "uninstall", QString::fromStdString(id)});
    ASSERT_EQ(uninstall.exitCode, 0) << uninstall.err.toStdString();
    EXPECT_FALSE(FileContents(prefsPath).contains("htmlSigText"));
    ASSERT_TRUE(thunderbird.start()) << thunderbird.lastError().toStdString();
    signatures = signaturesInThunderbird();
    EXPECT_EQ(signatures["ann@example.com"]["html"], "");
    EXPECT_EQ(signatures["bob@example.com"]["html"], "");
    EXPECT_EQ(signatures["bob@example.com"]["htmlFormat"], false);
    EXPECT_TRUE(thunderbird.quit());
}

}  // namespace
}  // namespace quillet
