#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include "app/base/AppleScript.h"
#include "app/clients/accounts/AccountsCache.h"
#include "app/clients/accounts/DiscoverAccounts.h"
#include "app/clients/accounts/DiscoveredAccounts.h"
#include "common/Log.h"
#include "platform/EventLoop.h"
#include "tests/support/FakeMacAccounts.h"
#include "tests/support/TestPlatform.h"

namespace quillet {
namespace {

QStringList Emails(const Accounts& accounts) {
    QStringList emails;
    for (const auto& account : accounts)
        emails.append(account->email());
    return emails;
}

struct Call {
    ClientKind kind;
    std::optional<QStringList> emails;
    bool partial;
    bool onMainThread;
    QStringList scriptsRunBefore;
};

class DiscoverAccountsTest : public testing::Test {
protected:
    ClientInfoPtr info(ClientKind kind) {
        auto result = std::make_shared<ClientInfo>(mac.installClient(kind, "16.0"), "16.0", "16.0");
        if (kind == ClientKind::outlook)
            result->outlookVersionKindQ = OutlookVersionKind::v16_80OrNewer;
        if (kind == ClientKind::thunderbird || kind == ClientKind::postbox) {
            result->mozillaBasedClientProfilePathQ = mac.addMozillaProfile(kind);
        }
        return result;
    }
    void start(const std::vector<std::pair<ClientKind, ClientInfoPtr>>& clients,
               SetDiscoveredAccountsFn extra = {}) {
        discovery = DiscoverAccounts(
            clients, runner, mac.paths(), platform.mainQueue,
            [this, extra](ClientKind kind, const std::optional<Accounts>& accounts, bool partial) {
                calls.push_back(Call{
                    kind, accounts ? std::optional<QStringList>(Emails(*accounts)) : std::nullopt,
                    partial, QThread::currentThread() == mainThread, mac.osascriptRuns()});
                if (extra)
                    extra(kind, accounts, partial);
            },
            [this] { ++finishedCount; });
    }
    bool runUntilFinished() {
        return RunEventLoopUntil([this] { return finishedCount > 0; }, 30);
    }

    FakeMac mac;
    TestPlatform platform{mac};
    AppleScriptRunner runner{mac.paths(), *platform.bundle};
    LogTap log;
    QThread* mainThread = QThread::currentThread();
    std::vector<Call> calls;
    int finishedCount = 0;
    std::unique_ptr<AccountDiscovery> discovery;
};

TEST_F(DiscoverAccountsTest, ClientsAreListedOneAfterTheOtherAndHandedToTheMainThread) {
    SetFakeAppleMailAccounts(mac, {{"U-1", "m@x.org", "", "imap"}});
    SetFakeOutlookAccounts(mac, {{"o@x.org", "Jane", "", "exchange"}});
    CreateFakeSparkMessagesDatabase(mac, {{"Work", "", SparkAdditionalInfo("s@x.org")}});
    const auto thunderbird = info(ClientKind::thunderbird);
    WriteFakePrefsFile(*thunderbird->mozillaBasedClientProfilePathQ,
                       FakeIdentityPrefsLines("1", "t@x.org"));
    start({{ClientKind::appleMail, info(ClientKind::appleMail)},
           {ClientKind::outlook, info(ClientKind::outlook)},
           {ClientKind::spark, info(ClientKind::spark)},
           {ClientKind::thunderbird, thunderbird}});
    EXPECT_EQ(finishedCount, 0);  // started in the background
    ASSERT_TRUE(runUntilFinished());
    EXPECT_TRUE(discovery->isFinished());

    ASSERT_EQ(calls.size(), 5u);
    const std::vector<std::pair<ClientKind, bool>> expected{{ClientKind::appleMail, false},
                                                            {ClientKind::outlook, true},
                                                            {ClientKind::outlook, false},
                                                            {ClientKind::spark, false},
                                                            {ClientKind::thunderbird, false}};
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].kind, expected[i].first) << i;
        EXPECT_EQ(calls[i].partial, expected[i].second) << i;
        EXPECT_TRUE(calls[i].onMainThread) << i;
    }
    EXPECT_EQ(calls[0].emails, QStringList{"m@x.org"});
    EXPECT_EQ(calls[2].emails, QStringList{"o@x.org"});
    EXPECT_EQ(calls[3].emails, QStringList{"s@x.org"});
    EXPECT_EQ(calls[4].emails, QStringList{"t@x.org"});
    // Apple Mail's result was taken before Outlook was asked.
    EXPECT_EQ(calls[0].scriptsRunBefore, QStringList{"AppleMail-ListAccounts-1012Plus"});
    EXPECT_EQ(calls[1].scriptsRunBefore.size(), 2);
}

TEST_F(DiscoverAccountsTest, FailedClientIsReportedAbsentAndTheOthersGoOn) {
    SetFakeOutlookAccounts(mac, {{"o@x.org", "", "", "exchange"}});
    auto outlook = info(ClientKind::outlook);
    outlook->outlookVersionKindQ = OutlookVersionKind::v14OrOlder;
    start({{ClientKind::appleMail, info(ClientKind::appleMail)}, {ClientKind::outlook, outlook}});
    ASSERT_TRUE(runUntilFinished());
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].emails, std::nullopt);
    EXPECT_FALSE(calls[0].partial);
    EXPECT_EQ(calls[2].emails, QStringList{"o@x.org"});
    EXPECT_EQ(mac.osascriptRuns(),
              (QStringList{"AppleMail-ListAccounts-1012Plus", "Outlook-ListAccounts-A-Main"}));
}

TEST_F(DiscoverAccountsTest, NoClientsStillFinishes) {
    start({});
    ASSERT_TRUE(runUntilFinished());
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(finishedCount, 1);
}

// What the engine does with each result: the cache file after a failure and after a partial and
// a complete publication.
TEST_F(DiscoverAccountsTest, PublicationsChangeTheAccountsInfoAndTheCacheAsTheEngineDoes) {
    const QString folder = mac.paths().applicationSupport() + "/Quillet";
    AccountPtr cachedMail =
        std::make_shared<AppleMailAccount>("old@x.org", "U-0", "imap", std::nullopt);
    AccountPtr cachedOutlook =
        std::make_shared<OutlookAccount>("kept@x.org", std::nullopt, std::nullopt);
    std::map<ClientKind, AccountsInfo> infos{
        {ClientKind::appleMail, {AccountsInfoStatus::discovering, {cachedMail}, {cachedMail}}},
        {ClientKind::outlook, {AccountsInfoStatus::discovering, {cachedOutlook}, {cachedOutlook}}}};
    SaveCachedAccounts(folder, infos);
    mac.setScriptResult("AppleMail-ListAccounts-1012Plus", "", "execution error: gone (-1)", 1);
    SetFakeOutlookAccounts(mac, {{"a@x.org", "", "", "exchange"},
                                 {"kept@x.org", "", "", "imap"},
                                 {"g@gmail.com", "", "", "google"}});
    auto outlook = info(ClientKind::outlook);
    outlook->outlookVersionKindQ = OutlookVersionKind::v15;

    std::vector<AccountsInfo> afterEachCall;
    std::vector<std::map<ClientKind, Accounts>> cacheAfterEachCall;
    start({{ClientKind::appleMail, info(ClientKind::appleMail)}, {ClientKind::outlook, outlook}},
          [&](ClientKind kind, const std::optional<Accounts>& accounts, bool partial) {
              ApplyDiscoveredAccounts(infos[kind], accounts, partial);
              SaveCachedAccounts(folder, infos);
              afterEachCall.push_back(infos[kind]);
              cacheAfterEachCall.push_back(LoadCachedAccounts(folder));
          });
    ASSERT_TRUE(runUntilFinished());
    ASSERT_EQ(afterEachCall.size(), 3u);

    EXPECT_EQ(afterEachCall[0].status, AccountsInfoStatus::discoveryFailed);
    EXPECT_EQ(Emails(afterEachCall[0].accounts), QStringList{"old@x.org"});
    EXPECT_EQ(Emails(cacheAfterEachCall[0][ClientKind::appleMail]), QStringList{"old@x.org"});

    // Partial: new emails appended, the status and the cache file unchanged.
    EXPECT_EQ(afterEachCall[1].status, AccountsInfoStatus::discovering);
    EXPECT_EQ(Emails(afterEachCall[1].accounts), (QStringList{"kept@x.org", "a@x.org"}));
    EXPECT_EQ(Emails(afterEachCall[1].cachedAccounts), QStringList{"kept@x.org"});
    EXPECT_EQ(Emails(cacheAfterEachCall[1][ClientKind::outlook]), QStringList{"kept@x.org"});

    // Complete: both lists replaced, in the listing's order, and written.
    EXPECT_EQ(afterEachCall[2].status, AccountsInfoStatus::discoverySucceeded);
    const QStringList all{"a@x.org", "kept@x.org", "g@gmail.com"};
    EXPECT_EQ(Emails(afterEachCall[2].accounts), all);
    EXPECT_EQ(Emails(afterEachCall[2].cachedAccounts), all);
    EXPECT_EQ(Emails(cacheAfterEachCall[2][ClientKind::outlook]), all);
    EXPECT_EQ(Emails(cacheAfterEachCall[2][ClientKind::appleMail]), QStringList{"old@x.org"});
}

TEST_F(DiscoverAccountsTest, DestroyingTheHandleStopsEveryLaterHandOver) {
    SetFakeAppleMailAccounts(mac, {{"U-1", "m@x.org", "", "imap"}});
    SetFakeOutlookAccounts(mac, {{"o@x.org", "", "", "exchange"}});
    start({{ClientKind::appleMail, info(ClientKind::appleMail)},
           {ClientKind::outlook, info(ClientKind::outlook)}},
          [this](ClientKind, const std::optional<Accounts>&, bool) { discovery.reset(); });
    ASSERT_TRUE(RunEventLoopUntil([this] { return !discovery; }, 30));
    // The thread has been joined; whatever it had posted runs now and must do nothing.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(finishedCount, 0);
    EXPECT_EQ(mac.osascriptRuns(), QStringList{"AppleMail-ListAccounts-1012Plus"});
}

TEST_F(DiscoverAccountsTest, DestroyingTheHandleWhileAResultWaitsForTheMainThreadReturns) {
    SetFakeAppleMailAccounts(mac, {{"U-1", "m@x.org", "", "imap"}});
    start({{ClientKind::appleMail, info(ClientKind::appleMail)}});
    // Wait until the listing has run; its hand-over then waits for this thread.
    ASSERT_TRUE(RunEventLoopUntil([this] { return !mac.osascriptRuns().isEmpty(); }, 30));
    discovery.reset();
    QCoreApplication::processEvents();
    EXPECT_LE(calls.size(), 1u);
    EXPECT_EQ(finishedCount, 0);
}

}  // namespace
}  // namespace quillet
