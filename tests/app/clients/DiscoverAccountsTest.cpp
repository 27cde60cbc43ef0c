#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/base/AppleScript.h"
#include "app/clients/accounts/DiscoverAccounts.h"
#include "app/demo/FakeMacAccounts.h"
#include "common/Log.h"
#include "platform/EventLoop.h"
#include "platform/QtMainQueue.h"
#include "tests/support/TestPlatform.h"

namespace quillet {
namespace {

QStringList Emails(const Accounts& accounts) {
    QStringList emails;
    for (const auto& account : accounts)
        emails.append(account->email());
    return emails;
}

// Counts what the discovery posts, so that a case can stop it while a hand-over waits there.
struct CountingMainQueue : QtMainQueue {
    void post(std::function<void()> fn) override {
        ++posted;
        QtMainQueue::post(std::move(fn));
    }
    std::atomic<int> posted = 0;
};

class DiscoverAccountsTest : public testing::Test {
protected:
    ClientInfoPtr info(ClientKind kind) {
        auto result = std::make_shared<ClientInfo>(mac.installClient(kind, "16.0"), "16.0", "16.0");
        if (kind == ClientKind::outlook)
            result->outlookVersionKindQ = OutlookVersionKind::v16_80OrNewer;
        if (kind == ClientKind::thunderbird || kind == ClientKind::postbox)
            result->mozillaBasedClientProfilePathQ = mac.addMozillaProfile(kind);
        return result;
    }
    void start(const std::vector<std::pair<ClientKind, ClientInfoPtr>>& clients,
               SetDiscoveredAccountsFn extra = {}) {
        discovery = DiscoverAccounts(
            clients, runner, mac.paths(), mainQueue,
            [this, extra](ClientKind kind, const std::optional<Accounts>& accounts, bool partial) {
                // One hand-over as "Client[ partial]: emails" (or "absent"), marked when off the
                // main thread, with the number of scripts run before it.
                calls.append(
                    StoredText(kind) + (partial ? " partial: " : ": ") +
                    (accounts ? Emails(*accounts).join(",") : "absent") +
                    (QThread::currentThread() == mainThread ? "" : " (off the main thread)") +
                    " after " + QString::number(mac.osascriptRuns().size()));
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
    CountingMainQueue mainQueue;
    AppleScriptRunner runner{mac.paths(), *platform.bundle};
    LogTap log;
    QThread* mainThread = QThread::currentThread();
    QStringList calls;
    int finishedCount = 0;
    std::unique_ptr<AccountDiscovery> discovery;
};

TEST_F(DiscoverAccountsTest, ClientsAreListedOneAfterTheOtherAndHandedToTheMainThreadTillTheEnd) {
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

    // Apple Mail's result was taken before Outlook was asked.
    EXPECT_EQ(calls.join('\n').toStdString(),
              "AppleMail: m@x.org after 1\n"
              "Outlook partial: o@x.org after 2\n"
              "Outlook: o@x.org after 2\n"
              "Spark: s@x.org after 2\n"
              "Thunderbird: t@x.org after 2");
    EXPECT_EQ(mac.osascriptRuns(),
              (QStringList{"AppleMail-ListAccounts-1012Plus", "Outlook-ListAccounts-B"}));

    finishedCount = 0;
    start({});  // no clients: it still finishes
    ASSERT_TRUE(runUntilFinished());
    EXPECT_EQ(calls.size(), 5);

    // Destroying the handle stops every later hand-over: after one, then while one waits for
    // the main thread. The thread has been joined; whatever it had posted runs now.
    calls.clear();
    finishedCount = 0;
    start({{ClientKind::appleMail, info(ClientKind::appleMail)},
           {ClientKind::outlook, info(ClientKind::outlook)}},
          [this](ClientKind, const std::optional<Accounts>&, bool) { discovery.reset(); });
    ASSERT_TRUE(RunEventLoopUntil([this] { return !discovery; }, 30));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(calls.size(), 1);
    EXPECT_EQ(finishedCount, 0);
    EXPECT_EQ(mac.osascriptRuns().size(), 3);  // Outlook was not asked
    calls.clear();
    const int posted = mainQueue.posted;
    start({{ClientKind::appleMail, info(ClientKind::appleMail)}});
    for (int waited = 0; mainQueue.posted == posted && waited < 30'000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GT(mainQueue.posted, posted);
    discovery.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(calls.isEmpty());
    EXPECT_EQ(finishedCount, 0);
}

}  // namespace
}  // namespace quillet
