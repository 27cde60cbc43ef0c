#include <gtest/gtest.h>

#include "app/core/Core.h"
#include "app/core/SyncPass.h"
#include "common/Log.h"
#include "platform/EventLoop.h"
#include "tests/support/FakeMacAccounts.h"
#include "tests/support/FakeMacOutlook.h"
#include "tests/support/TestPlatform.h"
#include "tests/support/TestService.h"

namespace quillet {
namespace {

const QString kProblemsTitle = "There were problems updating some signatures.";
const QString kMainB = "Outlook-SetDefaultSignatures16-Main-B";

// The engine over a fake Mac with real client syncs; the passes run as the engine runs them,
// with the manual clock moved on through their waits.
class SyncPassTest : public testing::Test {
protected:
    SyncPassTest() {
        mac.installClient(ClientKind::outlook, "16.80", "16.80.23121017");
        mac.setDefaults("com.microsoft.Outlook", "IsRunningNewOutlook", "0");
        SetFakeOutlookAccounts(mac, {{"jane@x.org", "Jane", "jane"}});
        SetFakeOutlookSignatures(mac, {{"Mine", "<p>mine</p>"}});
        mac.setAccessibilityTrusted(true);
        platform.notificationCenter.addObserver(
            kSignaturesUpdatedInClientsNotification, [this](const QString&, const UserInfo& info) {
                updatedInClients.push_back(std::any_cast<bool>(info.at(kSyncHadProblemsKey)));
            });
    }

    Core& engine() {
        if (!core) {
            Core::Options options;
            options.serviceUrl = service.url();
            options.console = [](const QString&) {};
            QString error;
            core = Core::create(platform.platform(), options, &error);
            EXPECT_TRUE(core) << error.toStdString();
            for (ClientKind kind : core->clientKinds()) {
                core->SetDiscoveredAccounts(kind, accounts[kind], false);
            }
        }
        return *core;
    }

    // A file signature selected for the clients' accounts (empty: all accounts).
    SignatureId addSignature(const QString& name,
                             const std::map<ClientKind, QStringList>& selections) {
        Core& c = engine();
        const SignatureId id = c.addSignature();
        Signature& signature = *c.signature(id);
        signature.nameQe = name;
        signature.localTextQe = "<p>" + name + "</p>";
        signature.filePathQe = "/Users/jane/" + name + ".html";
        for (const auto& [kind, emails] : selections) {
            auto& selection = signature.clientKindToSelectedInstallationsInfoMap[kind];
            if (emails.isEmpty()) {
                selection.allAccountsSelected = true;
                selection.allAccountsPayloadX = SelectedInstallationPayload{};
            }
            for (const QString& email : emails)
                selection.accountEmailToPayloadMap[email] = {};
        }
        return id;
    }

    // Saves with sync and runs everything to the end, the clock moving through the waits.
    WorkOutcome sync(SignatureId id) {
        const size_t before = core->syncOutcomes().size();
        core->saveSignature(id, true, false);
        finish();
        EXPECT_EQ(core->syncOutcomes().size(), before + 1);
        return core->syncOutcomes().back();
    }

    void finish() {
        for (int step = 0; step < 200 && !core->isIdle(); ++step) {
            RunEventLoopUntil([this] { return core->isIdle(); }, 0.05);
            if (!core->isIdle())
                platform.mainQueue.advance(0.25);
        }
        ASSERT_TRUE(core->isIdle());
    }

    QStringList alertTitles() const {
        QStringList titles;
        for (const Alert& alert : platform.prompter.shown())
            titles << alert.title;
        return titles;
    }

    const Alert& alert(const QString& title) const {
        for (const Alert& shown : platform.prompter.shown()) {
            if (shown.title == title)
                return shown;
        }
        ADD_FAILURE() << "no alert " << title.toStdString();
        static const Alert none;
        return none;
    }

    FakeMac mac;
    TestPlatform platform{mac};
    TestService service;
    std::map<ClientKind, Accounts> accounts = {
        {ClientKind::outlook, {std::make_shared<OutlookAccount>("jane@x.org", "Jane", "jane")}}};
    std::unique_ptr<Core> core;
    std::vector<bool> updatedInClients;
    LogTap log;
};

TEST_F(SyncPassTest, OutlookIsUpdatedWhileItRunsWithoutAnyQuestion) {
    mac.setRunning({"com.microsoft.Outlook"});
    const SignatureId id = addSignature("Work", {{ClientKind::outlook, {"jane@x.org"}}});
    const WorkOutcome outcome = sync(id);
    EXPECT_TRUE(outcome.success);
    EXPECT_TRUE(platform.prompter.shown().empty()) << alertTitles().join(", ").toStdString();
    EXPECT_EQ(FakeOutlookSignatures(mac), (std::vector<FakeOutlookSignature>{
                                              {"Mine", "<p>mine</p>"}, {"Work", "<p>Work</p>"}}));
    EXPECT_TRUE(
        core->signature(id)->clientKindToPerformedInstallationsInfoMap.count(ClientKind::outlook));
    EXPECT_EQ(updatedInClients, std::vector<bool>{false});
    EXPECT_TRUE(mac.workspaceLog().isEmpty());
}

TEST_F(SyncPassTest, ASignatureWithoutTextTouchesNoClientThroughItsSelection) {
    const SignatureId id = addSignature("Work", {{ClientKind::outlook, {"jane@x.org"}}});
    core->signature(id)->localTextQe.clear();
    EXPECT_TRUE(sync(id).success);
    EXPECT_TRUE(mac.osascriptRuns().filter("Outlook-GetSignatures").isEmpty());
    EXPECT_TRUE(updatedInClients.empty());
}

// The problems alert: hints once each, in their order, then one line per client.
TEST_F(SyncPassTest, OutlookErrorsBecomeTheirLinesAndHints) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        QString text;
        std::vector<bool> notifications;
    };
    const std::vector<Case> cases = {
        {"defaults fail: the line, and the clients still count as updated",
         [&] { FailFakeOutlookScript(mac, kMainB); },
         "Microsoft Outlook: Could not set default signatures.",
         {true}},
        {"Outlook refuses Apple events: the Automation hint only",
         [&] { SetFakeAutomationDenied(mac, "Outlook", true); },
         "Please allow Quillet to control your email app in System Settings › Privacy & Security "
         "› Automation.",
         {}},
        {"a signature of the person has the name: the duplicate line",
         [&] {
             SetFakeOutlookSignatures(mac, {{"Work", "<p>the person's own</p>"}});
         },
         "Microsoft Outlook: Duplicate signature: \"Work\".",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        core.reset();
        updatedInClients.clear();
        platform.prompter.clear();
        SetFakeAutomationDenied(mac, "Outlook", false);
        SetFakeOutlookSignatures(mac, {{"Mine", "<p>mine</p>"}});
        c.arrange();
        const SignatureId id = addSignature("Work", {{ClientKind::outlook, {"jane@x.org"}}});
        const WorkOutcome outcome = sync(id);
        EXPECT_FALSE(outcome.success);
        EXPECT_EQ(outcome.title, kProblemsTitle);
        EXPECT_EQ(alert(kProblemsTitle).informativeText, c.text);
        EXPECT_EQ(alert(kProblemsTitle).style, AlertStyle::critical);
        EXPECT_EQ(updatedInClients, c.notifications);
    }
}

TEST_F(SyncPassTest, ClientsNoLongerInstalledAreNamedAndTheOthersStillSynced) {
    const SignatureId id =
        addSignature("Work", {{ClientKind::outlook, {"jane@x.org"}}, {ClientKind::postbox, {}}});
    EXPECT_TRUE(sync(id).success);
    const Alert& unavailable = alert("Some email clients are unavailable");
    EXPECT_EQ(unavailable.style, AlertStyle::warning);
    EXPECT_EQ(unavailable.informativeText,
              "The following email client is no longer available: Postbox.");
    EXPECT_EQ(FakeOutlookSignatures(mac).size(), 2u);
    EXPECT_EQ(updatedInClients, std::vector<bool>{false});

    platform.prompter.clear();
    Signature& signature = *core->signature(id);
    signature.clientKindToSelectedInstallationsInfoMap[ClientKind::spark].allAccountsSelected =
        true;
    signature.clientKindToPerformedInstallationsInfoMap[ClientKind::appleMail]
        .allAccountsInstalled = true;
    sync(id);
    EXPECT_EQ(alert("Some email clients are unavailable").informativeText,
              "The following email clients are no longer available: Apple Mail, Postbox, Spark.");
}

TEST_F(SyncPassTest, ProblemsTextShowsEachHintOnceBeforeTheClientLines) {
    const ClientSyncReports reports = {
        {ClientKind::appleMail, ClientSyncReport::Failed(std::nullopt, {SyncHint::fullDiskAccess})},
        {ClientKind::outlook, ClientSyncReport::Failed("Duplicate signature: \"A\".", {})},
        {ClientKind::postbox, ClientSyncReport::Failed(std::nullopt, {SyncHint::fullDiskAccess})},
        {ClientKind::spark, ClientSyncReport::Failed("Could not read database file: /s.sqlite.",
                                                     {SyncHint::database})},
    };
    EXPECT_EQ(SyncProblemsText(reports, "Quillet"),
              "Please switch on Full Disk Access for Quillet in System Settings › Privacy & "
              "Security › Full Disk Access, then quit and reopen the app.\n\n"
              "Could not read database.\n\n"
              "Microsoft Outlook: Duplicate signature: \"A\".\n\n"
              "Spark: Could not read database file: /s.sqlite.");
}

}  // namespace
}  // namespace quillet
