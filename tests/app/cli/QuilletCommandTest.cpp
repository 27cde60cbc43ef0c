#include <gtest/gtest.h>

#include <QProcess>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <QDirIterator>
#include <QTemporaryDir>
#include <csignal>

#include "app/demo/FakeMacMozilla.h"
#include "platform/EventLoop.h"
#include "platform/ProcessTable.h"
#include "tests/support/CommandBuild.h"
#include "tests/support/FakeMacClient.h"
#include "tests/support/FakeMacScripts.h"
#include "tests/support/SampleMacCommand.h"

namespace quillet {
namespace {

class QuilletCommandTest : public testing::Test, public SampleMacCommand {
protected:
    // Installs the key's signature for the Thunderbird account; its id.
    QString install(const QString& key, const QString& text,
                    const QString& account = "tom@example.com") {
        setSignature(key, text);
        return QString::fromStdString(
            SampleMacCommand::install(
                {"--key", key, "--client", "thunderbird", "--account", account})
                .value("id", ""));
    }
};

// A refresh applies what the service serves, and fails when the service fails; list and show
// print what the store holds, a signature reached by its printed id, or else by its exact name.
TEST_F(QuilletCommandTest, RefreshAppliesTheServiceAndListAndShowPrintWhatTheStoreHolds) {
    const QString id = install("k1", "<p>old</p>");
    setSignature("k1", "<p>Ann</p>");
    const CommandRun refresh = quillet({"refresh"});
    EXPECT_EQ(refresh.exitCode, 0) << refresh.err.toStdString();
    ASSERT_EQ(quillet({"rename", id, "Work"}).exitCode, 0);
    const CommandRun list = quillet({"--json", "list"});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    const auto json = nlohmann::json::parse(list.out.toStdString());
    ASSERT_EQ(json.size(), 1u);
    EXPECT_EQ(json[0]["id"], id.toStdString());
    ExpectJsonFields(json, "cli/json-fields.tsv", "list");

    const QString second = install("k2", "<p>2</p>");
    ASSERT_EQ(quillet({"rename", second, "01"}).exitCode, 0);
    const auto shownId = [&](const QString& sig) -> std::string {
        const CommandRun show = quillet({"--json", "show", sig});
        if (show.exitCode != 0)
            return "exit " + std::to_string(show.exitCode);
        return nlohmann::json::parse(show.out.toStdString())["id"];
    };
    EXPECT_EQ(shownId(id), id.toStdString());
    EXPECT_EQ(shownId("Work"), id.toStdString());
    EXPECT_EQ(shownId("01"), second.toStdString());  // a name, not id 1

    // An answer that, read as updates, would switch every signature off.
    failUpdates(500, "{}");
    const CommandRun failed = quillet({"refresh"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.err.contains("Could not update signatures from server"))
        << failed.err.toStdString();
    EXPECT_EQ(this->list()[0]["active"], true);
}

TEST_F(QuilletCommandTest, AccountsDiscoversWhenAskedPrintsTheCacheOtherwiseAndFailsWithIt) {
    const CommandRun cached = quillet({"--json", "accounts"});
    ASSERT_EQ(cached.exitCode, 0) << cached.err.toStdString();
    EXPECT_EQ(nlohmann::json::parse(cached.out.toStdString())["AppleMail"]["status"],
              "loadedFromCacheOrEmpty");

    const CommandRun discovered = quillet({"--json", "accounts", "--discover", "applemail"});
    ASSERT_EQ(discovered.exitCode, 0) << discovered.err.toStdString();
    ExpectJsonFields(nlohmann::json::parse(discovered.out.toStdString()), "cli/json-fields.tsv",
                     "accounts discovered");

    // The next command has Apple Mail's accounts from the cache.
    const auto next =
        nlohmann::json::parse(quillet({"--json", "accounts", "AppleMail"}).out.toStdString());
    EXPECT_EQ(next["AppleMail"]["accounts"][0]["uuid"], "ACC-ANN");
    MakeFakeMacClient(mac, ClientKind::outlook)->setInstalled(false);
    EXPECT_EQ(quillet({"accounts", "Outlook"}).exitCode, 1);  // not detected

    // A discovery that fails ends the command with status 1, the cache kept.
    mac.setScriptResult("AppleMail-ListAccounts-1012Plus", "", "Mail got an error", 1);
    const CommandRun failed = quillet({"--json", "accounts", "--discover"});
    EXPECT_EQ(failed.exitCode, 1);
    ExpectJsonFields(nlohmann::json::parse(failed.out.toStdString()), "cli/json-fields.tsv",
                     "accounts failed");
    // A client that was not asked for does not count.
    EXPECT_EQ(quillet({"accounts", "--discover", "Thunderbird"}).exitCode, 0);
}

TEST_F(QuilletCommandTest, RunEndsOnTermOrIntWhileAScriptHangsAndLeavesNoScriptBehind) {
    const QString listing = "AppleMail-ListAccounts-1012Plus";
    const QString data = mac.homePath("Library/Application Support/Quillet/");
    // Apple Mail runs and was used with us before, so run discovers it at start.
    mac.setRunning({"com.apple.mail"});
    install("k1", "<p>one</p>");
    ASSERT_EQ(quillet({"accounts", "--discover", "AppleMail"}).exitCode, 0);
    const QByteArray cacheBefore = ReadFakeFile(data + "CachedAccounts.plist").value_or("");
    const QByteArray storeBefore = ReadFakeFile(data + "DataV2.sqlite").value_or("");
    ASSERT_FALSE(cacheBefore.isEmpty());
    // Its listing now hangs, as behind a modal dialog or an unanswered Automation prompt.
    SetFakeScriptHang(mac, listing, 600);
    failUpdates(503);

    for (const int signal : {SIGTERM, SIGINT}) {
        QFile::remove(mac.rootPath("/var/fake-mac/osascript/" + listing + "/pid"));
        const auto started = start({"run"});
        QProcess& process = *started;
        ASSERT_TRUE(process.waitForStarted());
        ASSERT_TRUE(
            RunEventLoopUntil([&] { return FakeScriptProcessId(mac, listing).has_value(); }, 30));
        const qint64 scriptPid = *FakeScriptProcessId(mac, listing);
        ::kill(static_cast<pid_t>(process.processId()), signal);
        // Far sooner than the ten minutes the script would hang.
        const bool ended = process.waitForFinished(20000);
        EXPECT_TRUE(ended) << signal;
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_FALSE(ProcessIsAlive(scriptPid)) << signal;
        if (!ended || ProcessIsAlive(scriptPid)) {
            ::kill(static_cast<pid_t>(scriptPid), SIGKILL);  // leave no stand-in hanging
            return;
        }
        // An interrupted discovery is a failed one: the cache keeps the last good list.
        EXPECT_EQ(ReadFakeFile(data + "CachedAccounts.plist"), cacheBefore);
        EXPECT_EQ(ReadFakeFile(data + "DataV2.sqlite"), storeBefore);
    }
}

// The store, the accounts cache, the activity record, the person's replaced signatures and their
// folder hold signatures and account addresses: their owner's alone, whatever the umask; and a
// store that cannot be opened ends the command with a clear message.
TEST_F(QuilletCommandTest, QuilletsOwnFilesAreItsOwnersAloneAndOneThatCannotBeOpenedIsSaid) {
    const QString prefs = sample.thunderbirdPrefs;
    ASSERT_EQ(::chmod(QFile::encodeName(prefs).constData(), 0640), 0);
    const mode_t previous = ::umask(0);
    // Over Tim's own signature, which Quillet replaces and keeps to give back.
    install("k1", "<p>old</p>", "tim@example.com");
    setSignature("k1", "<p>new</p>");
    const CommandRun accounts = quillet({"accounts", "--discover", "Thunderbird"});
    const CommandRun refresh = quillet({"refresh"});
    QTemporaryDir linuxHome;  // a Linux desktop with no ~/Library yet
    const CommandRun linux =
        RunQuillet({"--platform", "linux", "--home", linuxHome.path(), "--bundle", mac.bundlePath(),
                    "--service", url().toString(), "list"});
    ::umask(previous);
    ASSERT_EQ(refresh.exitCode, 0) << refresh.err.toStdString();
    ASSERT_EQ(accounts.exitCode, 0) << accounts.err.toStdString();

    const auto mode = [](const QString& path) {
        struct stat info {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777
                                                                       : 01000000;
    };
    const QString data = mac.homePath("Library/Application Support/Quillet");
    EXPECT_EQ(mode(data), 0700u);
    QStringList files;
    for (const QString& name : QDir(data).entryList(QDir::Files | QDir::Hidden)) {
        files << name;
        EXPECT_EQ(mode(data + "/" + name), 0600u) << name.toStdString();
    }
    for (const char* name : {"DataV2.sqlite", "CachedAccounts.plist", "Activity.json",
                             "ReplacedSignatureSettings.json"})
        EXPECT_TRUE(files.contains(name)) << files.join(", ").toStdString();
    // The restore point the refresh made keeps the store and the 0640 prefs.js: 0600 copies.
    EXPECT_EQ(mode(data + "/Restore Points"), 0700u);
    int kept = 0;
    for (QDirIterator entry(data + "/Restore Points", QDir::AllEntries | QDir::NoDotAndDotDot,
                            QDirIterator::Subdirectories);
         entry.hasNext(); ++kept) {
        const QString path = entry.next();
        EXPECT_EQ(mode(path), entry.fileInfo().isDir() ? 0700u : 0600u) << path.toStdString();
    }
    EXPECT_GE(kept, 4);  // the point's folder, its manifest, the store's and prefs.js's copies
    // Another program's file keeps its own permissions.
    EXPECT_TRUE(read(prefs).contains("<p>new</p>")) << read(prefs).toStdString();
    EXPECT_EQ(mode(prefs), 0640u);
    EXPECT_EQ(linux.exitCode, 0) << linux.err.toStdString();
    for (const char* folder :
         {"/Library", "/Library/Application Support", "/Library/Application Support/Quillet"}) {
        EXPECT_EQ(mode(linuxHome.path() + folder), 0700u) << folder;
    }

    // A regular file where the data folder should be.
    ASSERT_TRUE(QDir(data).removeRecursively());
    mac.writeFile(data, "not a folder");
    const CommandRun unopened = quillet({"list"});
    EXPECT_EQ(unopened.exitCode, 1);
    EXPECT_TRUE(unopened.err.contains("Could not open the signature store"))
        << unopened.err.toStdString();
}

}  // namespace
}  // namespace quillet
