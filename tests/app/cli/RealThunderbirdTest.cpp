// The quillet command on this Linux desktop, against Debian's real Thunderbird: Thunderbird
// makes its own profiles and accounts, Quillet closes it, writes the signature and starts it
// again, and Thunderbird itself reads the signature back. Mozilla's preference parser takes a NUL
// for the end of prefs.js, so one raw NUL in Ann's signature would cost it and any preference
// after it (Bob's identity, the setting made in Thunderbird).
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <nlohmann/json.hpp>

#include "app/demo/FakeMacMozilla.h"
#include "platform/EventLoop.h"
#include "tests/support/CommandBuild.h"
#include "tests/support/DataTable.h"
#include "tests/support/RealThunderbird.h"
#include "tests/support/TestService.h"

namespace quillet {
namespace {

TEST(RealThunderbirdTest, RunningThunderbirdIsClosedWrittenStartedAgainAndGivenBackOnUninstall) {
    if (!RealThunderbird::isInstalled())
        GTEST_SKIP() << "Thunderbird is not installed (tools/install-deps.sh installs it)";
    QTemporaryDir home;
    TestService service;
    // What Thunderbird holds with Quillet's signature installed, and once it is uninstalled. The
    // served text has a NUL, what prefs.js must escape and what Mozilla leaves as it is (tabs,
    // apostrophes, line separators).
    const auto expected =
        nlohmann::json::parse(ReadDataText("thunderbird/signatures.json").toStdString());
    service.setSignature("ann-key", QString::fromStdString(expected["served"]));
    // quillet with this home and no root: the Linux desktop.
    const auto quillet = [&](const QStringList& arguments) {
        return RunQuillet(
            QStringList{"--home", home.path(), "--service", service.url().toString()} + arguments,
            WithoutFakeMacVariables(QProcessEnvironment::systemEnvironment()));
    };
    RealThunderbird thunderbird(home.path());
    // A script of tests/data/thunderbird run in Thunderbird; its result.
    const auto run = [&](const QString& script) {
        const auto result =
            thunderbird.marionette().executeScript(ReadDataText("thunderbird/" + script + ".txt"));
        EXPECT_TRUE(result) << thunderbird.marionette().lastError().toStdString();
        return result.value_or(nlohmann::json());
    };
    const auto contents = [](const QString& path) {
        return ReadFakeFile(path).value_or(QByteArray());
    };

    ASSERT_TRUE(thunderbird.createProfiles()) << thunderbird.lastError().toStdString();
    ASSERT_TRUE(thunderbird.start()) << thunderbird.lastError().toStdString();
    ASSERT_EQ(run("create-accounts"), 2);
    // Beside the install profile Thunderbird keeps an empty legacy ".default" one, the one that
    // profiles.ini marks "Default=1".
    ASSERT_TRUE(contents(home.filePath(".thunderbird/profiles.ini")).contains("Default=1"));
    ASSERT_TRUE(thunderbird.installProfile().endsWith(".default-default"));
    const QString prefsPath = thunderbird.installProfile() + "/prefs.js";
    // A setting made in Thunderbird just now. Thunderbird writes a changed preference to
    // prefs.js within a moment (it does not on SIGTERM); once it has, Quillet, writing the file
    // while Thunderbird is closed, must keep it.
    run("save-preference");
    ASSERT_TRUE(
        RunEventLoopUntil([&] { return contents(prefsPath).contains("quillet.test.saved"); }, 60))
        << "Thunderbird did not save its preference";
    const qint64 firstPid = thunderbird.marionette().processId();
    ASSERT_GT(firstPid, 0);

    const CommandRun install =
        quillet({"--json", "--yes", "--reopen", "install", "--key", "ann-key", "--client",
                 "Thunderbird", "--account", "ann@example.com", "--forwards", "off"});
    ASSERT_EQ(install.exitCode, 0) << install.err.toStdString();
    EXPECT_TRUE(install.err.contains("Some email clients need to be closed."))
        << install.err.toStdString();
    EXPECT_TRUE(RealThunderbird::waitForExit(firstPid, 1000));

    // Started again as it was: headless, on this home, listening for Marionette.
    ASSERT_TRUE(thunderbird.attach()) << thunderbird.lastError().toStdString();
    EXPECT_NE(thunderbird.marionette().processId(), firstPid);
    EXPECT_EQ(run("read-signatures"), expected["installed"]);
    // Thunderbird writes its prefs.js again on the way out, in its own order and form.
    run("rename-bob");
    ASSERT_TRUE(thunderbird.quit());
    ASSERT_TRUE(contents(prefsPath).contains("Bob Example"));

    const std::string id = nlohmann::json::parse(install.out.toStdString())["id"];
    const CommandRun uninstall = quillet({"--yes", "uninstall", QString::fromStdString(id)});
    ASSERT_EQ(uninstall.exitCode, 0) << uninstall.err.toStdString();
    EXPECT_FALSE(contents(prefsPath).contains("htmlSigText"));
    ASSERT_TRUE(thunderbird.start()) << thunderbird.lastError().toStdString();
    EXPECT_EQ(run("read-signatures"), expected["uninstalled"]);
    EXPECT_TRUE(thunderbird.quit());
}

}  // namespace
}  // namespace quillet
