#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <nlohmann/json.hpp>

#include <csignal>

#include "app/demo/FakeMacDatabase.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/managed/ManagedLinks.h"
#include "platform/EventLoop.h"
#include "platform/FileLock.h"
#include "tests/support/FakeMacClient.h"
#include "tests/support/FakeMacManaged.h"
#include "tests/support/SampleMacCommand.h"

namespace quillet {
namespace {

const QString kWaitingLine =
    "Info: Sync pass: waiting for the sync pass of another process to finish...";

// Several real quillet processes at once over the sample Mac.
class QuilletConcurrencyTest : public testing::Test, public SampleMacCommand {
protected:
    // The organisation's configuration, with one entry for all the client's accounts.
    void writeManagedEntry(const QString& key, const QString& client) {
        Plist entries = Plist::array();
        entries.node().append(ManagedEntryPlist(key, client));
        Plist configuration = Plist::dictionary();
        configuration.node().set("ManagedSignatures", std::move(entries));
        WriteManagedConfiguration(mac, configuration);
    }
};

// A sync pass waits while another process holds the sync lock, and then writes what the store
// holds: what the other process saved meanwhile (here a name, changed in the store's file), never
// the state it read before.
TEST_F(QuilletConcurrencyTest, ASyncPassWaitsForTheLockThenWritesWhatTheStoreHolds) {
    const auto signature =
        install({"--file", setSignature("first", "<p>First</p>"), "--client", "postbox"});
    const QByteArray postboxBefore = ReadFakeFile(sample.postboxSignatures).value_or("");

    auto other = std::make_unique<FileLock>(dataPath("SyncPass.lock"), [] {});
    ASSERT_TRUE(other->isHeld());
    auto second = start({"--yes", "--json", "install", "--file",
                         setSignature("second", "<p>Second</p>"), "--client", "postbox"});
    // The line comes before the wait; the process then blocks until the lock is free.
    ASSERT_TRUE(RunEventLoopUntil([&] { return log().contains(kWaitingLine); }, 60))
        << log().toStdString() << second->readAllStandardError().toStdString();
    EXPECT_EQ(second->state(), QProcess::Running);
    EXPECT_EQ(ReadFakeFile(sample.postboxSignatures).value_or(""), postboxBefore);
    ASSERT_TRUE(ExecuteFakeDatabaseSql(
        dataPath("DataV2.sqlite"),
        "UPDATE ZSIGNATUREENTITYV2 SET ZNAMEQE = 'Renamed elsewhere' WHERE Z_PK = " +
            QString::fromStdString(signature["id"])));
    other.reset();

    const CommandRun run = finish(*second);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    std::map<QString, QByteArray> held;  // by name
    for (const FakeClientSignature& one :
         MakeFakeMacClient(mac, ClientKind::postbox)->read().signatures)
        held[one.name] = one.body;
    EXPECT_EQ(held["Renamed elsewhere"], "<p>First</p>");
    EXPECT_EQ(SignaturesHolding(mac, ClientKind::postbox, "<p>Second</p>"), 1);
}

// The person uninstalls a signature while `quillet run` (as the application, or the web-mail
// host) runs; the record goes once no client holds it. A refresh of the running process that
// then finds the signature changed on the service must not bring it back, neither into the store
// nor into the client, while the one beside it, changed too, reaches its client: the running
// process, which lets its signatures go while it waits, reads them again for the refresh.
TEST_F(QuilletConcurrencyTest, AnUninstalledSignatureStaysGoneWhenABackgroundRefreshUpdatesIt) {
    setSignature("k-tom", "<p>Tom</p>");
    install({"--key", "k-tom", "--client", "thunderbird", "--account", "tom@example.com"});
    setSignature("k-tim", "<p>Tim</p>");
    install({"--key", "k-tim", "--client", "thunderbird", "--account", "tim@example.com"});
    const auto refreshes = [this] {
        return log().count("signature(s) via RequestUpdatedSignatures");
    };
    const auto idle = [this] {
        return log().count("Debug: Core: idle; the signatures are read again at the next refresh");
    };
    const auto before = refreshes();
    auto background = start({"--yes", "run"});
    // Refreshed, and waiting with no signature held.
    ASSERT_TRUE(RunEventLoopUntil([&] { return refreshes() > before && idle() > 0; }, 60))
        << log().toStdString();

    const CommandRun uninstalled = quillet({"--yes", "uninstall", "1"});
    ASSERT_EQ(uninstalled.exitCode, 0) << uninstalled.err.toStdString();
    ASSERT_EQ(nlohmann::json::parse(quillet({"--json", "list", "--all"}).out.toStdString()).size(),
              1u);
    ASSERT_FALSE(ReadFakeFile(sample.thunderbirdPrefs).value_or("").contains("<p>Tom"));

    setSignature("k-tom", "<p>Tom 2</p>");
    setSignature("k-tim", "<p>Tim 2</p>");
    const auto beforeWake = refreshes();
    ::kill(static_cast<pid_t>(background->processId()), SIGHUP);
    ASSERT_TRUE(RunEventLoopUntil([&] { return refreshes() > beforeWake; }, 60))
        << log().toStdString();
    // `run` waits for the refresh's pass before it ends.
    ::kill(static_cast<pid_t>(background->processId()), SIGTERM);
    EXPECT_EQ(finish(*background).exitCode, 0);

    const auto listed =
        nlohmann::json::parse(quillet({"--json", "list", "--all"}).out.toStdString());
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0]["key"], "k-tim");
    const QByteArray prefs = ReadFakeFile(sample.thunderbirdPrefs).value_or("");
    EXPECT_FALSE(prefs.contains("<p>Tom"));
    EXPECT_TRUE(prefs.contains("<p>Tim 2</p>")) << prefs.toStdString();
}

// Another process holds the organisation's links for longer than installing takes (its save
// failed, and its alert waits for the person): a refresh leaves the entry to the next refresh
// rather than wait with no end. The next refresh, with the links free, installs it.
TEST_F(QuilletConcurrencyTest, ARefreshDoesNotWaitWithNoEndForAnotherProcessLinking) {
    setSignature("k-org", "<p>Organisation</p>");
    writeManagedEntry("k-org", "Postbox");
    ASSERT_TRUE(QDir().mkpath(dataPath("")));
    auto other = std::make_unique<FileLock>(dataPath("ManagedSignatures.plist.lock"), [] {});
    ASSERT_TRUE(other->isHeld());
    const CommandRun waited = quillet({"--yes", "refresh"});
    EXPECT_EQ(waited.exitCode, 0) << waited.err.toStdString();
    EXPECT_TRUE(
        log().contains("Warning: Managed signatures: not reconciled: Another process held " +
                       dataPath("ManagedSignatures.plist.lock") +
                       " for longer than 5 s; tried again at the next refresh"))
        << log().toStdString();
    EXPECT_EQ(SignaturesHolding(mac, ClientKind::postbox, "<p>Organisation</p>"), 0);

    other.reset();
    const CommandRun linked = quillet({"--yes", "refresh"});
    EXPECT_EQ(linked.exitCode, 0) << linked.err.toStdString();
    EXPECT_EQ(SignaturesHolding(mac, ClientKind::postbox, "<p>Organisation</p>"), 1);
}

// Two processes reconcile the organisation's entry at once (the application's refresh beside
// `quillet refresh`), both having asked the service for its key before either installed it: one
// installs it, and the other finds it linked and leaves it. Before, both installed it and one
// link was lost, so that one of the two copies passed for the person's own signature, never
// updated nor removed by the organisation.
TEST_F(QuilletConcurrencyTest, AnEntryThatTwoProcessesReconcileAtOnceIsInstalledOnce) {
    setSignature("k-org", "<p>Organisation</p>");
    writeManagedEntry("k-org", "Postbox");
    holdKey("k-org");
    auto first = start({"--yes", "refresh"});
    auto second = start({"--yes", "refresh"});
    ASSERT_TRUE(RunEventLoopUntil(
        [&] {
            const auto keys = requestedKeys();
            return std::count(keys.begin(), keys.end(), "k-org") == 2;
        },
        60))
        << log().toStdString();
    releaseKey("k-org");
    for (QProcess* process : {first.get(), second.get()}) {
        const CommandRun run = finish(*process);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    }

    int installed = 0;
    for (const auto& signature : json({"--json", "list"}))
        installed += signature["key"] == "k-org";
    EXPECT_EQ(installed, 1);
    EXPECT_EQ(LoadManagedLinks(dataPath("")).size(), 1u);
    EXPECT_EQ(SignaturesHolding(mac, ClientKind::postbox, "<p>Organisation</p>"), 1);
    EXPECT_EQ(log().count("Info: Managed signatures: ManagedSignatures[0] (k-org) was installed by "
                          "another process meanwhile"),
              1);
}

}  // namespace
}  // namespace quillet
