#include <gtest/gtest.h>

#include "app/core/NewSignature.h"
#include "app/demo/FakeMacAccounts.h"
#include "platform/EventLoop.h"
#include "tests/support/EngineHarness.h"
#include "tests/support/LinuxClientAdapters.h"
#include "tests/support/StoreHarness.h"

namespace quillet {
namespace {

// An engine over a fake Mac with Apple Mail and Thunderbird, talking to a test service, with the
// sync passes it asks for recorded instead of run.
class CoreTest : public testing::Test, protected EngineHarness {
protected:
    CoreTest() {
        mac.installApplication("/System/Applications", "Mail.app", "com.apple.mail", "16.0",
                               "3774");
        mac.addAppleMailData();
        SetFakeAppleMailAccounts(mac, {{"U-1", "ann@example.com", "Ann"}});
        mac.setAccessibilityTrusted(true);
        mac.installClient(ClientKind::thunderbird, "128.5.0");
        WriteFakePrefsFile(mac.addMozillaProfile(ClientKind::thunderbird),
                           FakeIdentityPrefsLines("1", "tom@example.com", "Tom"));
        options.mainWindowIsVisibleAndKey = [this] { return windowIsKey; };
        recordSyncPasses();
        platform.notificationCenter.addObserver(
            kSignaturesUpdatedFromServerNotification, [this](const QString&, const UserInfo& info) {
                notifications.push_back(
                    {std::any_cast<SignatureIds>(info.at(kUpdatedSignatureIdsKey)),
                     std::any_cast<SignatureIds>(info.at(kModifiedOnlySignatureIdsKey))});
            });
        platform.notificationCenter.addObserver(
            kAccountsInfoUpdatedNotification,
            [this](const QString&, const UserInfo&) { ++accountNotifications; });
    }

    // A stored service signature, as if a previous run had left it.
    SignatureId storeSignature(const QString& key, const QString& text, std::int64_t time) {
        Signature signature = StoreHarness::NamedSignature(key);
        signature.keyQe = key;
        signature.mainTextQe = text;
        signature.lastUpdateUnixTimeQz = time;
        const QString store = reopen().dataFolder() + "/" + kStoreFileName;
        closeEngine();
        return Store::openStore("DataV2", store, nullptr)->AddSignatureRecord(signature);
    }
    // The client's discovery state, then its accounts' addresses.
    QStringList accountsOf(ClientKind kind) {
        const AccountsInfo& info = engine().clientKindToAccountsInfoMap().at(kind);
        QStringList result{CaseName(info.status)};
        for (const auto& account : info.accounts)
            result << account->email();
        return result;
    }

    bool windowIsKey = false;
    std::vector<std::pair<SignatureIds, SignatureIds>> notifications;
    int accountNotifications = 0;
    LogTap log;
};

// A start without signatures asks the service nothing and refreshes again in two hours; a
// refresh that adding a signature causes restarts the wait. New signatures are named after their
// count; one on its way out is no longer shown, and its pass runs on the next turn.
TEST_F(CoreTest, RefreshesComeTwoHoursAfterTheLastOneAndNewSignaturesAreNamedByCount) {
    Core& core = reopen();
    core.start();
    waitUntilIdle();
    EXPECT_TRUE(log.contains("Info: Core: refreshFromServer (ID: 1)"));
    EXPECT_EQ(service.updateRequests(), 0);
    EXPECT_TRUE(notifications.empty());
    EXPECT_TRUE(syncPasses.empty());
    platform.mainQueue.advance(7199);
    EXPECT_FALSE(log.contains("Info: Core: refreshFromServer (ID: 2)"));
    platform.mainQueue.advance(1);
    EXPECT_TRUE(log.contains("Info: Core: refreshFromServer (ID: 2)"));
    platform.mainQueue.advance(100);
    // Refresh 3, next due 7200 s from now with ticket 4.
    const SignatureId first = core.addSignature();
    waitUntilIdle();
    log.clear();
    platform.mainQueue.advance(7100);  // the second refresh's schedule comes due: a no-op
    EXPECT_FALSE(log.containsText("Core: refreshFromServer"));
    platform.mainQueue.advance(100);
    EXPECT_TRUE(log.contains("Info: Core: refreshFromServer (ID: 4)"));

    const SignatureId second = core.addSignature();
    waitUntilIdle();
    EXPECT_EQ(core.signature(first)->nameQe, "Signature Name 1");
    EXPECT_EQ(core.signature(second)->nameQe, "Signature Name 2");
    EXPECT_TRUE(core.signature(first)->active);
    core.signature(first)->pendingDeletion = true;
    core.saveSignature(first, true, true);  // deferred to the next turn
    EXPECT_TRUE(syncPasses.empty());
    EXPECT_EQ(core.visibleSignatureIds(), SignatureIds{second});
    waitUntilIdle();
    EXPECT_EQ(syncPasses, std::vector<SignatureIds>{SignatureIds{first}});
}

// A text that differs only by white space is no change: filling only the missing time of its
// signature is saved but not synced. A signature added while the refresh is in flight was not
// asked about: the answer does not turn it off, and only its save's own pass writes it.
TEST_F(CoreTest, ChangedTextAndTurnedOffSignaturesAreUpdatedSavedAndSynced) {
    const SignatureId timeOnly = storeSignature("k0", "<p>same</p>", 0);
    const SignatureId changed = storeSignature("k1", "<p>old</p>", 100);
    const SignatureId disabled = storeSignature("k2", "<p>gone</p>", 100);
    service.setSignature("k0", "  <p>same</p>\n");
    service.setSignature("k1", "<p>new</p>");
    service.setSignature("k3", "<p>three</p>");
    service.holdUpdates();
    Core& core = reopen();
    core.refreshFromServer();
    core.refreshFromServerIfPossible();  // waking and activation together: refused
    ASSERT_TRUE(RunEventLoopUntil([this] { return service.updateRequests() == 1; }, 10));
    const SignatureId added = core.addSignature();  // its refresh is refused: one is in flight
    core.signature(added)->keyQe = "k3";
    core.signature(added)->mainTextQe = "<p>three</p>";
    core.saveSignature(added, true, false);
    service.release();
    waitUntilIdle();
    EXPECT_EQ(service.updateRequests(), 1);
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(notifications[0].first, SignatureIds({changed, disabled}));
    EXPECT_EQ(notifications[0].second, SignatureIds{timeOnly});
    EXPECT_EQ(syncPasses,
              std::vector<SignatureIds>({SignatureIds{added}, SignatureIds({changed, disabled})}));
    EXPECT_FALSE(core.signature(disabled)->active);
    EXPECT_TRUE(core.signature(added)->active);
    // Saved: a new engine reads the same.
    Core& reopened = reopen();
    EXPECT_EQ(reopened.signature(timeOnly)->lastUpdateUnixTimeQz,
              static_cast<std::int64_t>(platform.mainQueue.now()));
    EXPECT_EQ(reopened.signature(changed)->mainTextQe, "<p>new</p>");
    EXPECT_FALSE(reopened.signature(disabled)->active);
}

// A failed refresh changes nothing, alerts only while the window is key, and is retried in five
// minutes.
TEST_F(CoreTest, FailedRefreshAlertsOnlyWithTheWindowKeyAndRetriesInFiveMinutes) {
    for (const bool key : {false, true}) {
        SCOPED_TRACE(key ? "window key" : "window hidden");
        storeSignature("k1", "<p>old</p>", 100);
        service.resetCounts();
        service.failUpdates(503, R"({"error": "maintenance"})");
        windowIsKey = key;
        Core& core = reopen();
        core.refreshFromServer();
        waitUntilIdle();
        const QString title = "Could not update signatures from server";
        ASSERT_EQ(core.refreshOutcomes().size(), 1u);
        EXPECT_FALSE(core.refreshOutcomes()[0].success);
        EXPECT_EQ(core.refreshOutcomes()[0].title, title);
        EXPECT_EQ(alertTitles(), key ? QStringList{title} : QStringList{});
        for (const Alert& shown : platform.prompter.shown())
            EXPECT_EQ(shown.style, AlertStyle::critical);
        EXPECT_TRUE(core.signature(core.signatureIds().back())->active);  // nothing changed
        service.failUpdates(0);
        platform.mainQueue.advance(299);
        EXPECT_EQ(service.updateRequests(), 1);
        platform.mainQueue.advance(1);
        waitUntilIdle();
        EXPECT_EQ(service.updateRequests(), 2);
    }
}

// A reinstall marks every selection, of one account or of all, to be written again, whatever the
// fetch of its key gives.
TEST_F(CoreTest, ReinstallFetchesTheKeyAndReinstallsWhateverItGets) {
    const SignatureId id = storeSignature("k1", "<p>stored</p>", 100);
    service.setSignature("k1", "<p>newer</p>");
    Core& core = reopen();
    Signature& signature = *core.signature(id);
    auto& selected = signature.clientKindToSelectedInstallationsInfoMap;
    selected[ClientKind::appleMail].accountEmailToPayloadMap["a@b.c"] = {};
    selected[ClientKind::spark] = {true, SelectedInstallationPayload{}, {}};
    core.reinstallSignature(id);
    waitUntilIdle();
    EXPECT_EQ(signature.mainTextQe, "<p>newer</p>");
    EXPECT_EQ(signature.lastUpdateUnixTimeQz, static_cast<std::int64_t>(platform.mainQueue.now()));
    EXPECT_TRUE(
        selected[ClientKind::appleMail].accountEmailToPayloadMap["a@b.c"].pendingReinstallation);
    EXPECT_TRUE(selected[ClientKind::spark].allAccountsPayloadX->pendingReinstallation);
    ASSERT_FALSE(syncPasses.empty());
    EXPECT_EQ(syncPasses.back(), SignatureIds{id});

    service.removeSignature("k1");
    syncPasses.clear();
    core.reinstallSignature(id);
    waitUntilIdle();
    EXPECT_EQ(signature.mainTextQe, "<p>newer</p>");
    ASSERT_FALSE(syncPasses.empty());
    EXPECT_EQ(syncPasses.front(), SignatureIds{id});
    // The save's refresh then finds the key gone from the service and turns the signature off.
    EXPECT_FALSE(signature.active);

    // A fetch that fails is shown, and the stored copy is still reinstalled.
    options.serviceUrl = QUrl("http://127.0.0.1:1");  // nothing listens there
    Core& offline = reopen();
    syncPasses.clear();
    offline.reinstallSignature(id);
    waitUntilIdle();
    EXPECT_EQ(alertTitles(), QStringList{"Could not fetch the signature by key"});
    EXPECT_EQ(syncPasses, std::vector<SignatureIds>{SignatureIds{id}});
    EXPECT_EQ(offline.signature(id)->mainTextQe, "<p>newer</p>");
}

// Another process (the command beside the application) removed a signature while this one
// still shows it: the person's change here is not written back over the removal. They are told;
// an uninstall needs no telling, its end is reached.
TEST_F(CoreTest, AChangeToASignatureRemovedByAnotherProcessIsReportedAndNotKept) {
    Core& core = reopen();
    const SignatureId renamed = core.addSignature();
    const SignatureId uninstalled = core.addSignature();
    waitUntilIdle();
    const auto other =
        Store::openStore("DataV2", core.dataFolder() + "/" + kStoreFileName, nullptr);
    ASSERT_TRUE(other);
    ASSERT_EQ(other->LoadRecords().size(), 2u);
    ASSERT_TRUE(other->RemoveRecord(renamed) && other->RemoveRecord(uninstalled));

    core.signature(uninstalled)->pendingDeletion = true;
    core.saveSignature(uninstalled, true, false);
    EXPECT_TRUE(platform.prompter.shown().empty());
    core.signature(renamed)->nameQe = "Renamed";
    core.saveSignature(renamed, true, false);
    waitUntilIdle();
    EXPECT_EQ(alertTitles(), QStringList{"The signature was removed"});
    EXPECT_FALSE(core.syncOutcomes().back().success);
    EXPECT_EQ(core.signatureIds(), SignatureIds{});
    EXPECT_TRUE(syncPasses.empty());
    EXPECT_TRUE(other->LoadRecords().empty());
}

TEST_F(CoreTest, SyncPassAskedForWhileAnotherRunsWaitsItsTurn) {
    Core& core = reopen();
    std::vector<SignatureIds> started;
    std::function<void(WorkOutcome)> finishFirst;
    core.setSyncPassRunner([&](const SignatureIds& ids, std::function<void(WorkOutcome)> done) {
        started.push_back(ids);
        if (!finishFirst) {
            finishFirst = done;  // the first pass goes on (say, waiting for its 1-second delay)
        } else {
            done({false, "There were problems updating some signatures.", "details"});
        }
    });
    core.syncSignatures({SignatureId{1}});
    core.syncSignatures({SignatureId{2}});
    EXPECT_EQ(started, std::vector<SignatureIds>{SignatureIds{SignatureId{1}}});
    EXPECT_FALSE(core.isIdle());
    finishFirst({});
    waitUntilIdle();
    EXPECT_EQ(started, std::vector<SignatureIds>(
                           {SignatureIds{SignatureId{1}}, SignatureIds{SignatureId{2}}}));
    ASSERT_EQ(core.syncOutcomes().size(), 2u);
    EXPECT_TRUE(core.syncOutcomes()[0].success);
    EXPECT_FALSE(core.syncOutcomes()[1].success);
}

// KMail's and Geary's identities are in their files: the application reads them at start
// though the clients are closed, or a lost accounts cache would leave their identities unknown
// and a sync could neither write nor give back theirs.
TEST_F(CoreTest, StartReadsTheIdentitiesOfClosedLinuxClientsFromTheirFiles) {
    layout = SystemLayout::linuxDesktop;
    LayOutLinuxClients(mac);
    Core& core = reopen();
    core.start();
    waitUntilIdle();
    for (ClientKind kind : {ClientKind::kmail, ClientKind::geary})
        EXPECT_EQ(accountsOf(kind),
                  (QStringList{"discoverySucceeded", "tim@example.com", "tim.work@example.com"}));
}

TEST_F(CoreTest, StartScriptsAPermissionClientOnlyWhenItRunsAndHasCachedAccounts) {
    const QString listing = "AppleMail-ListAccounts-1012Plus";
    const QStringList both{"ann@example.com", "bo@example.com"};
    mac.setRunning({"com.apple.mail"});
    reopen().start();  // running, but never used with us: no prompt at login
    waitUntilIdle();
    EXPECT_EQ(mac.osascriptRuns().count(listing), 0);
    EXPECT_EQ(accountsOf(ClientKind::appleMail), QStringList{"loadedFromCacheOrEmpty"});
    EXPECT_EQ(accountsOf(ClientKind::thunderbird)[0], "discoverySucceeded");

    // Asked for, it is discovered whether or not it runs, and its accounts are cached.
    mac.setRunning({});
    engine().rediscoverAccounts({ClientKind::appleMail});
    waitUntilIdle();
    EXPECT_EQ(mac.osascriptRuns().count(listing), 1);
    // Cached but not running: not scripted.
    reopen().start();
    waitUntilIdle();
    EXPECT_EQ(mac.osascriptRuns().count(listing), 1);
    // Cached and running: the list is refreshed at start, and cached for the next start.
    mac.setRunning({"com.apple.mail"});
    SetFakeAppleMailAccounts(mac,
                             {{"U-1", "ann@example.com", "Ann"}, {"U-2", "bo@example.com", "Bo"}});
    const int notificationsBefore = accountNotifications;
    reopen().start();
    waitUntilIdle();
    EXPECT_EQ(mac.osascriptRuns().count(listing), 2);
    EXPECT_EQ(accountsOf(ClientKind::appleMail), QStringList{"discoverySucceeded"} + both);
    EXPECT_GE(accountNotifications - notificationsBefore, 3);  // discovering, then each result
    reopen();
    EXPECT_EQ(accountsOf(ClientKind::appleMail), QStringList{"loadedFromCacheOrEmpty"} + both);

    // Without the Automation permission, discovery asks for it first, once however often asked.
    SetFakeAutomationDenied(mac, "AppleMail", true);
    platform.prompter.clear();
    engine().rediscoverAccounts({ClientKind::appleMail, ClientKind::appleMail});
    waitUntilIdle();
    ASSERT_EQ(platform.prompter.shown().size(), 1u);
    EXPECT_TRUE(platform.prompter.shown()[0].informativeText.contains("Mail"))
        << platform.prompter.shown()[0].informativeText.toStdString();
    EXPECT_EQ(accountsOf(ClientKind::appleMail)[0], "discoveryFailed");
}

// Outlook's one switch sets both insertions; Spark offers none, so both are on whatever the
// switches said.
TEST(NewSignatureTest, TheSwitchesAClientOffersSetItsInsertions) {
    Signature outlook;
    FillNewSignature(outlook, {ClientKind::outlook, "", false, true, 7}, {false, "k", "t", 1});
    EXPECT_FALSE(outlook.insertForRepliesForwards);
    EXPECT_FALSE(outlook.insertForForwards);
    Signature spark;
    FillNewSignature(spark, {ClientKind::spark, "", false, false, 0}, {false, "k", "t", 1});
    EXPECT_TRUE(spark.insertForRepliesForwards);
    EXPECT_TRUE(spark.insertForForwards);
}

}  // namespace
}  // namespace quillet
