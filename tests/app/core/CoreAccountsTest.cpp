#include <gtest/gtest.h>

#include "app/core/Core.h"
#include "app/demo/FakeMacAccounts.h"
#include "tests/support/EngineHarness.h"
#include "tests/support/LinuxClientAdapters.h"

namespace quillet {
namespace {

// Which clients the engine discovers at start and on request, and what it keeps of the results.
class CoreAccountsTest : public testing::Test, protected EngineHarness {
protected:
    CoreAccountsTest() {
        mac.installApplication("/System/Applications", "Mail.app", "com.apple.mail", "16.0",
                               "3774");
        mac.addAppleMailData();
        mac.installClient(ClientKind::thunderbird, "128.5.0");
        const QString profile = mac.addMozillaProfile(ClientKind::thunderbird);
        WriteFakePrefsFile(profile, FakeIdentityPrefsLines("1", "tom@example.com", "Tom"));
        SetFakeAppleMailAccounts(mac, {{"U-1", "ann@example.com", "Ann"}});
        mac.setAccessibilityTrusted(true);
        platform.notificationCenter.addObserver(
            kAccountsInfoUpdatedNotification,
            [this](const QString&, const UserInfo&) { ++accountNotifications; });
    }

    QStringList emails(ClientKind kind) {
        QStringList result;
        for (const auto& account : engine().clientKindToAccountsInfoMap().at(kind).accounts) {
            result << account->email();
        }
        return result;
    }

    int accountNotifications = 0;
};

// KMail's and Geary's identities are in their files: the application reads them at start
// though the clients are closed, or a lost accounts cache would leave their identities unknown
// and a sync could neither write nor give back theirs.
TEST_F(CoreAccountsTest, StartReadsTheIdentitiesOfClosedLinuxClientsFromTheirFiles) {
    layout = SystemLayout::linuxDesktop;
    LayOutLinuxClients(mac);
    Core& core = reopen();
    core.start();
    waitUntilIdle();
    for (ClientKind kind : {ClientKind::kmail, ClientKind::geary}) {
        EXPECT_EQ(core.clientKindToAccountsInfoMap().at(kind).status,
                  AccountsInfoStatus::discoverySucceeded)
            << StoredText(kind).toStdString();
        EXPECT_EQ(emails(kind), (QStringList{"tim@example.com", "tim.work@example.com"}));
    }
}

TEST_F(CoreAccountsTest, StartScriptsAPermissionClientOnlyWhenItRunsAndHasCachedAccounts) {
    const QString listing = "AppleMail-ListAccounts-1012Plus";
    mac.setRunning({"com.apple.mail"});
    Core& core = reopen();  // running, but never used with us: no prompt at login
    core.start();
    waitUntilIdle();
    EXPECT_EQ(mac.osascriptRuns().count(listing), 0);
    EXPECT_EQ(core.clientKindToAccountsInfoMap().at(ClientKind::appleMail).status,
              AccountsInfoStatus::loadedFromCacheOrEmpty);
    EXPECT_EQ(core.clientKindToAccountsInfoMap().at(ClientKind::thunderbird).status,
              AccountsInfoStatus::discoverySucceeded);

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
    EXPECT_EQ(engine().clientKindToAccountsInfoMap().at(ClientKind::appleMail).status,
              AccountsInfoStatus::discoverySucceeded);
    EXPECT_EQ(emails(ClientKind::appleMail), (QStringList{"ann@example.com", "bo@example.com"}));
    EXPECT_GE(accountNotifications - notificationsBefore, 3);  // discovering, then each result
    reopen();
    EXPECT_EQ(engine().clientKindToAccountsInfoMap().at(ClientKind::appleMail).status,
              AccountsInfoStatus::loadedFromCacheOrEmpty);
    EXPECT_EQ(emails(ClientKind::appleMail), (QStringList{"ann@example.com", "bo@example.com"}));

    // Without the Automation permission, discovery asks for it first, once however often asked.
    SetFakeAutomationDenied(mac, "AppleMail", true);
    platform.prompter.clear();
    engine().rediscoverAccounts({ClientKind::appleMail, ClientKind::appleMail});
    waitUntilIdle();
    ASSERT_EQ(platform.prompter.shown().size(), 1u);
    EXPECT_TRUE(platform.prompter.shown()[0].informativeText.contains("Mail"))
        << platform.prompter.shown()[0].informativeText.toStdString();
    EXPECT_EQ(engine().clientKindToAccountsInfoMap().at(ClientKind::appleMail).status,
              AccountsInfoStatus::discoveryFailed);
}

}  // namespace
}  // namespace quillet
