#include <gtest/gtest.h>

#include "app/core/Core.h"
#include "app/store/Store.h"
#include "app/store/StoreCopy.h"
#include "common/Log.h"
#include "platform/EventLoop.h"
#include "tests/support/TestPlatform.h"
#include "tests/support/TestService.h"

namespace quillet {
namespace {

// An engine over a fake Mac with Apple Mail, talking to a test service, with the sync passes it
// asks for recorded instead of run.
class CoreRefreshTest : public testing::Test {
protected:
    CoreRefreshTest() {
        mac.installApplication("/System/Applications", "Mail.app", "com.apple.mail", "16.0",
                               "3774");
        mac.addAppleMailData();
        platform.notificationCenter.addObserver(
            kSignaturesUpdatedFromServerNotification, [this](const QString&, const UserInfo& info) {
                notifications.push_back(
                    {std::any_cast<SignatureIds>(info.at(kUpdatedSignatureIdsKey)),
                     std::any_cast<SignatureIds>(info.at(kModifiedOnlySignatureIdsKey))});
            });
    }

    // The engine, asking the test service or else the service at `serviceUrl`.
    Core& createCore(const QUrl& serviceUrl = {}) {
        core.reset();
        Core::Options options;
        options.serviceUrl = serviceUrl.isEmpty() ? service.url() : serviceUrl;
        options.console = [](const QString&) {};
        options.mainWindowIsVisibleAndKey = [this] { return windowIsKey; };
        QString error;
        core = Core::create(platform.platform(), options, &error);
        EXPECT_TRUE(core) << error.toStdString();
        core->setSyncPassRunner(
            [this](const SignatureIds& ids, std::function<void(WorkOutcome)> done) {
                syncPasses.push_back(ids);
                done({});
            });
        return *core;
    }

    // A stored service signature, written through an engine that is then closed, as if a
    // previous run had left it.
    SignatureId storeSignature(const QString& key, const QString& text, std::int64_t time,
                               bool active = true) {
        service.failUpdates(503);  // the seeding engine's own refreshes change nothing
        Core& seeding = createCore();
        waitUntilIdle();
        const SignatureId id = seeding.addSignature();
        waitUntilIdle();
        Signature& signature = *seeding.signature(id);
        signature.keyQe = key;
        signature.mainTextQe = text;
        signature.lastUpdateUnixTimeQz = time;
        signature.active = active;
        seeding.saveSignature(id, false, false);
        waitUntilIdle();
        core.reset();
        service.failUpdates(0);
        service.resetCounts();
        syncPasses.clear();
        notifications.clear();
        platform.prompter.clear();
        log.clear();
        return id;
    }

    void waitUntilIdle() {
        ASSERT_TRUE(RunEventLoopUntil([this] { return core->isIdle(); }, 30));
    }

    FakeMac mac;
    TestPlatform platform{mac};
    TestService service;
    std::unique_ptr<Core> core;
    bool windowIsKey = false;
    std::vector<SignatureIds> syncPasses;
    std::vector<std::pair<SignatureIds, SignatureIds>> notifications;
    LogTap log;
};

TEST_F(CoreRefreshTest, StartWithoutSignaturesAsksNothingAndWaitsTwoHours) {
    Core& engine = createCore();
    engine.start();
    waitUntilIdle();
    EXPECT_TRUE(log.contains("Info: Core: refreshFromServer (ID: 1)"));
    EXPECT_TRUE(
        log.contains("Info: RequestUpdatedSignatures(): No signatures to update from server"));
    EXPECT_EQ(service.updateRequests(), 0);
    EXPECT_TRUE(notifications.empty());
    EXPECT_TRUE(syncPasses.empty());
    platform.mainQueue.advance(7199);
    EXPECT_FALSE(log.contains("Info: Core: refreshFromServer (ID: 2)"));
    platform.mainQueue.advance(1);
    EXPECT_TRUE(log.contains("Info: Core: refreshFromServer (ID: 2)"));
}

TEST_F(CoreRefreshTest, SecondRefreshWhileOneIsInFlightIsRefused) {
    storeSignature("k1", "<p>old</p>", 100);
    service.setSignature("k1", "<p>old</p>");
    Core& engine = createCore();
    engine.refreshFromServer();
    engine.refreshFromServerIfPossible();  // waking and activation together
    waitUntilIdle();
    EXPECT_EQ(service.updateRequests(), 1);
    EXPECT_TRUE(log.contains(
        "Warning: Core: refreshFromServerIfPossible: refresh requested while requesting updated "
        "signatures, ignored"));
}

TEST_F(CoreRefreshTest, RefreshCausedByAnAddedSignatureRestartsTheTwoHourWait) {
    storeSignature("k1", "<p>same</p>", 100);
    service.setSignature("k1", "<p>same</p>");
    Core& engine = createCore();
    engine.start();  // refresh 1, next one due in 7200 s with ticket 2
    waitUntilIdle();
    platform.mainQueue.advance(100);
    engine.addSignature();  // refresh 2, next due 7200 s from now with ticket 3
    waitUntilIdle();
    log.clear();
    platform.mainQueue.advance(7100);  // the first schedule comes due: a no-op
    EXPECT_FALSE(log.containsText("Core: refreshFromServer"));
    platform.mainQueue.advance(100);
    EXPECT_TRUE(log.contains("Info: Core: refreshFromServer (ID: 3)"));
}

TEST_F(CoreRefreshTest, FillingOnlyTheMissingTimeIsNotSynced) {
    const SignatureId id = storeSignature("k1", "<p>same</p>", 0);
    service.setSignature("k1", "  <p>same</p>\n");  // differs only by white space: unchanged
    Core& engine = createCore();
    engine.refreshFromServer();
    waitUntilIdle();
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_TRUE(notifications[0].first.empty());
    EXPECT_EQ(notifications[0].second, SignatureIds{id});
    EXPECT_TRUE(syncPasses.empty());
    EXPECT_EQ(engine.signature(id)->lastUpdateUnixTimeQz,
              static_cast<std::int64_t>(platform.mainQueue.now()));
    EXPECT_TRUE(log.contains("Info: Updating 0 signature(s) via RequestUpdatedSignatures()..."));
}

TEST_F(CoreRefreshTest, ChangedTextAndTurnedOffSignaturesAreUpdatedSavedAndSynced) {
    const SignatureId changed = storeSignature("k1", "<p>old</p>", 100);
    const SignatureId disabled = storeSignature("k2", "<p>gone</p>", 100);
    service.setSignature("k1", "<p>new</p>");
    Core& engine = createCore();
    engine.refreshFromServer();
    waitUntilIdle();
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].first, SignatureIds({changed, disabled}));
    ASSERT_EQ(syncPasses.size(), 1u);
    EXPECT_EQ(syncPasses[0], SignatureIds({changed, disabled}));
    EXPECT_FALSE(engine.signature(disabled)->active);
    // Saved: a new engine reads the same.
    Core& reopened = createCore();
    EXPECT_EQ(reopened.signature(changed)->mainTextQe, "<p>new</p>");
    EXPECT_FALSE(reopened.signature(disabled)->active);
}

// A failed refresh changes nothing, alerts only while the window is key, and is retried in five
// minutes.
TEST_F(CoreRefreshTest, FailedRefreshAlertsOnlyWithTheWindowKeyAndRetriesInFiveMinutes) {
    for (const bool key : {false, true}) {
        SCOPED_TRACE(key ? "window key" : "window hidden");
        storeSignature("k1", "<p>old</p>", 100);
        service.failUpdates(503, R"({"error": "maintenance"})");
        windowIsKey = key;
        Core& engine = createCore();
        engine.refreshFromServer();
        waitUntilIdle();
        ASSERT_EQ(engine.refreshOutcomes().size(), 1u);
        EXPECT_FALSE(engine.refreshOutcomes()[0].success);
        EXPECT_EQ(engine.refreshOutcomes()[0].title, "Could not update signatures from server");
        ASSERT_EQ(platform.prompter.shown().size(), key ? 1u : 0u);
        if (key) {
            EXPECT_EQ(platform.prompter.shown()[0].title,
                      "Could not update signatures from server");
            EXPECT_EQ(platform.prompter.shown()[0].style, AlertStyle::critical);
        }
        EXPECT_TRUE(engine.signature(engine.signatureIds().back())->active);  // nothing changed
        service.failUpdates(0);
        platform.mainQueue.advance(299);
        EXPECT_EQ(service.updateRequests(), 1);
        platform.mainQueue.advance(1);
        waitUntilIdle();
        EXPECT_EQ(service.updateRequests(), 2);
    }
}

TEST_F(CoreRefreshTest, SignatureAddedWhileARefreshIsInFlightStaysActive) {
    const SignatureId first = storeSignature("k1", "<p>one</p>", 100);
    service.setSignature("k1", "<p>one</p>");
    service.setSignature("k2", "<p>two</p>");
    service.holdUpdates();
    Core& engine = createCore();
    engine.refreshFromServer();  // asks for k1 only
    ASSERT_TRUE(RunEventLoopUntil([this] { return service.updateRequests() == 1; }, 10));
    const SignatureId second = engine.addSignature();  // its refresh is refused: one is in flight
    Signature& added = *engine.signature(second);
    added.keyQe = "k2";
    added.mainTextQe = "<p>two</p>";
    engine.saveSignature(second, true, false);
    service.release();
    waitUntilIdle();
    EXPECT_TRUE(engine.signature(second)->active);
    EXPECT_TRUE(engine.signature(first)->active);
    for (const SignatureIds& pass : syncPasses) {
        EXPECT_EQ(pass, SignatureIds{second}) << "only the save's own pass";
    }
}

TEST_F(CoreRefreshTest, ReinstallFetchesTheKeyAndReinstallsWhateverItGets) {
    const SignatureId id = storeSignature("k1", "<p>stored</p>", 100);
    service.setSignature("k1", "<p>newer</p>");
    Core& engine = createCore();
    Signature& signature = *engine.signature(id);
    signature.clientKindToSelectedInstallationsInfoMap[ClientKind::appleMail]
        .accountEmailToPayloadMap["a@b.c"] = {};
    engine.reinstallSignature(id);
    waitUntilIdle();
    EXPECT_TRUE(log.contains("Info: Core: fetching signature k1 before reinstalling it"));
    EXPECT_TRUE(log.contains("Info: Core: signature k1 changed on the server"));
    EXPECT_EQ(signature.mainTextQe, "<p>newer</p>");
    EXPECT_EQ(signature.lastUpdateUnixTimeQz, static_cast<std::int64_t>(platform.mainQueue.now()));
    EXPECT_TRUE(signature.clientKindToSelectedInstallationsInfoMap[ClientKind::appleMail]
                    .accountEmailToPayloadMap["a@b.c"]
                    .pendingReinstallation);
    ASSERT_FALSE(syncPasses.empty());
    EXPECT_EQ(syncPasses.back(), SignatureIds{id});

    service.removeSignature("k1");
    syncPasses.clear();
    engine.reinstallSignature(id);
    waitUntilIdle();
    EXPECT_TRUE(log.contains(
        "Warning: Core: signature k1 not found on the server; reinstalling the stored copy"));
    EXPECT_EQ(signature.mainTextQe, "<p>newer</p>");
    ASSERT_FALSE(syncPasses.empty());
    EXPECT_EQ(syncPasses.front(), SignatureIds{id});
    // The save's refresh then finds the key gone from the service and turns the signature off.
    EXPECT_FALSE(signature.active);
}

TEST_F(CoreRefreshTest, ReinstallAfterAFetchErrorShowsItAndReinstallsTheStoredCopy) {
    const SignatureId id = storeSignature("k1", "<p>stored</p>", 100);
    Core& engine = createCore(QUrl("http://127.0.0.1:1"));  // nothing listens there
    engine.reinstallSignature(id);
    waitUntilIdle();
    ASSERT_EQ(platform.prompter.shown().size(), 1u);
    EXPECT_EQ(platform.prompter.shown()[0].title, "Could not fetch the signature by key");
    EXPECT_EQ(syncPasses, std::vector<SignatureIds>{SignatureIds{id}});
    EXPECT_EQ(engine.signature(id)->mainTextQe, "<p>stored</p>");
}

TEST_F(CoreRefreshTest, FileSignatureReinstallMarksAllAccountsPayloads) {
    Core& engine = createCore();
    const SignatureId id = engine.addSignature();
    waitUntilIdle();
    Signature& signature = *engine.signature(id);
    signature.filePathQe = mac.homePath("sig.html");
    mac.writeFile(signature.filePathQe, "<p>file</p>");
    signature.localTextQe = "<p>file</p>";
    auto& spark = signature.clientKindToSelectedInstallationsInfoMap[ClientKind::spark];
    spark.allAccountsSelected = true;
    spark.allAccountsPayloadX = SelectedInstallationPayload{};
    syncPasses.clear();
    engine.reinstallSignature(id);
    waitUntilIdle();
    EXPECT_TRUE(spark.allAccountsPayloadX->pendingReinstallation);
    EXPECT_EQ(syncPasses, std::vector<SignatureIds>{SignatureIds{id}});
    EXPECT_EQ(service.keyRequests(), 0);
}

// Another process (the command beside the application) removed a signature while this one
// still shows it: the person's change here is not written back over the removal. They are told;
// an uninstall needs no telling, its end is reached.
TEST_F(CoreRefreshTest, AChangeToASignatureRemovedByAnotherProcessIsReportedAndNotKept) {
    Core& engine = createCore();
    const SignatureId renamed = engine.addSignature([](Signature& s) { s.nameQe = "Work"; });
    const SignatureId uninstalled = engine.addSignature([](Signature& s) { s.nameQe = "Old"; });
    waitUntilIdle();
    const auto other =
        Store::openStore("DataV2", engine.dataFolder() + "/" + kStoreFileName, nullptr);
    ASSERT_TRUE(other);
    ASSERT_EQ(other->LoadRecords().size(), 2u);
    ASSERT_TRUE(other->RemoveRecord(renamed) && other->RemoveRecord(uninstalled));

    engine.signature(uninstalled)->pendingDeletion = true;
    engine.saveSignature(uninstalled, true, false);
    EXPECT_TRUE(platform.prompter.shown().empty());
    engine.signature(renamed)->nameQe = "Renamed";
    engine.saveSignature(renamed, true, false);
    waitUntilIdle();
    ASSERT_EQ(platform.prompter.shown().size(), 1u);
    EXPECT_EQ(platform.prompter.shown()[0].title, "The signature was removed");
    EXPECT_FALSE(engine.syncOutcomes().back().success);
    EXPECT_EQ(engine.signatureIds(), SignatureIds{});
    EXPECT_TRUE(syncPasses.empty());
    EXPECT_TRUE(other->LoadRecords().empty());
}

TEST_F(CoreRefreshTest, NewSignaturesAreNamedAfterTheirCountAndHiddenWhenPendingDeletion) {
    Core& engine = createCore();
    const SignatureId first = engine.addSignature();
    const SignatureId second = engine.addSignature();
    waitUntilIdle();
    EXPECT_EQ(engine.signature(first)->nameQe, "Signature Name 1");
    EXPECT_EQ(engine.signature(second)->nameQe, "Signature Name 2");
    EXPECT_TRUE(engine.signature(first)->active);
    engine.signature(first)->pendingDeletion = true;
    engine.saveSignature(first, true, true);  // deferred to the next turn
    EXPECT_TRUE(syncPasses.empty());
    EXPECT_EQ(engine.visibleSignatureIds(), SignatureIds{second});
    waitUntilIdle();
    EXPECT_EQ(syncPasses, std::vector<SignatureIds>{SignatureIds{first}});
}

TEST_F(CoreRefreshTest, SyncPassAskedForWhileAnotherRunsWaitsItsTurn) {
    Core& engine = createCore();
    std::vector<SignatureIds> started;
    std::function<void(WorkOutcome)> finishFirst;
    engine.setSyncPassRunner([&](const SignatureIds& ids, std::function<void(WorkOutcome)> done) {
        started.push_back(ids);
        if (!finishFirst) {
            finishFirst = done;  // the first pass goes on (say, waiting for its 1-second delay)
        } else {
            done({false, "There were problems updating some signatures.", "details"});
        }
    });
    engine.syncSignatures({SignatureId{1}});
    engine.syncSignatures({SignatureId{2}});
    EXPECT_EQ(started, std::vector<SignatureIds>{SignatureIds{SignatureId{1}}});
    EXPECT_FALSE(engine.isIdle());
    finishFirst({});
    waitUntilIdle();
    EXPECT_EQ(started, std::vector<SignatureIds>(
                           {SignatureIds{SignatureId{1}}, SignatureIds{SignatureId{2}}}));
    ASSERT_EQ(engine.syncOutcomes().size(), 2u);
    EXPECT_TRUE(engine.syncOutcomes()[0].success);
    EXPECT_FALSE(engine.syncOutcomes()[1].success);
}

}  // namespace
}  // namespace quillet
