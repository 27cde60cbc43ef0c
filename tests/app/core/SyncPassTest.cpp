#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <optional>
#include "app/core/Core.h"
#include "app/core/SyncClients.h"
#include "app/core/SyncPass.h"
#include "app/core/SyncReport.h"
#include "common/Log.h"

#include "app/demo/FakeMacAccounts.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/demo/FakeMacOutlook.h"
#include "tests/support/EngineHarness.h"

namespace quillet {
namespace {

const QString kProblemsTitle = "There were problems updating some signatures.";
const QString kMainB = "Outlook-SetDefaultSignatures16-Main-B";
const QString kThunderbirdId = "org.mozilla.thunderbird";
const QString kPostboxId = "com.postbox-inc.postbox";
const QString kCloseTitle = "Some email clients need to be closed.";

// A prompter that lets the test act while a question is on screen, as the person could.
class ActingPrompter : public ScriptedPrompter {
public:
    std::function<void(const Alert&)> whileShown;
    Answer ask(const Alert& alert) override {
        if (whileShown)
            whileShown(alert);
        return ScriptedPrompter::ask(alert);
    }
};

// A workspace whose applications of one bundle identifier ignore being terminated, or take a
// while (on the test's clock) to quit, and which says how long its applications may take.
class StubbornWorkspace : public FileWorkspace {
public:
    StubbornWorkspace(const Paths& paths, const MainQueue& clock)
        : FileWorkspace(paths), _clock(clock) {}
    QString stubborn;
    double quitSeconds = 0;  // how long the stubborn one takes to quit; 0: it never does
    double exitLimit = kDefaultExitWaitLimit;

    bool forceTerminate(const QString& identifier) override {
        if (identifier != stubborn)
            return FileWorkspace::forceTerminate(identifier);
        if (quitSeconds > 0)
            _quitsAt = _clock.now() + quitSeconds;
        return true;
    }
    QStringList runningBundleIdentifiers() const override {
        QStringList running = FileWorkspace::runningBundleIdentifiers();
        if (_quitsAt && _clock.now() >= *_quitsAt)
            running.removeAll(stubborn);
        return running;
    }
    double exitWaitLimit() const override { return exitLimit; }
    void reset() {
        stubborn.clear();
        quitSeconds = 0;
        exitLimit = kDefaultExitWaitLimit;
        _quitsAt.reset();
    }

private:
    const MainQueue& _clock;
    std::optional<double> _quitsAt;
};

// The engine over a fake Mac with real client syncs; the passes run as the engine runs them,
// with the manual clock moved on through their waits.
class SyncPassTest : public testing::Test, protected EngineHarness {
protected:
    SyncPassTest() {
        mac.installClient(ClientKind::outlook, "16.80", "16.80.23121017");
        mac.setDefaults("com.microsoft.Outlook", "IsRunningNewOutlook", "0");
        SetFakeOutlookAccounts(mac, {{"jane@x.org", "Jane", "jane"}});
        SetFakeOutlookSignatures(mac, {{"Mine", "<p>mine</p>"}});
        mac.setAccessibilityTrusted(true);
        mac.installClient(ClientKind::thunderbird, "128.5.0", "12824.11.27");
        thunderbirdPrefs = WriteFakePrefsFile(mac.addMozillaProfile(ClientKind::thunderbird),
                                              FakeIdentityPrefsLines("1", "tom@x.org"));
        mac.installClient(ClientKind::postbox, "7.0.60");
        postboxPrefs =
            WriteFakePrefsFile(mac.addMozillaProfile(ClientKind::postbox, "m1x2.default"),
                               FakeIdentityPrefsLines("1", "pat@x.org"));
        prompter = &acting;
        workspace = &stubborn;
        // As Outlook 16.80's listing reports the account: its address is its user name.
        accounts = {
            {ClientKind::outlook,
             {std::make_shared<OutlookAccount>("jane@x.org", "Jane", "jane@x.org")}},
            {ClientKind::thunderbird,
             {std::make_shared<MozillaBasedClientAccount>("tom@x.org", "1", std::nullopt)}},
            {ClientKind::postbox,
             {std::make_shared<MozillaBasedClientAccount>("pat@x.org", "1", std::nullopt)}}};
        platform.notificationCenter.addObserver(
            kSignaturesUpdatedInClientsNotification, [this](const QString&, const UserInfo& info) {
                updatedInClients.push_back(std::any_cast<bool>(info.at(kSyncHadProblemsKey)));
            });
    }

    // A file signature selected for the clients' accounts (empty: all accounts).
    SignatureId addSignature(const QString& name,
                             const std::map<ClientKind, QStringList>& selections) {
        return engine().addSignature([&](Signature& signature) {
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
        });
    }

    // Saves with sync and runs everything to the end, the clock moving through the waits.
    WorkOutcome sync(SignatureId id) {
        Core& core = engine();
        const size_t before = core.syncOutcomes().size();
        core.saveSignature(id, true, false);
        finish();
        EXPECT_EQ(core.syncOutcomes().size(), before + 1);
        return core.syncOutcomes().back();
    }

    ActingPrompter acting;
    StubbornWorkspace stubborn{mac.paths(), platform.mainQueue};
    QString thunderbirdPrefs, postboxPrefs;
    std::vector<bool> updatedInClients;
    LogTap log;
};

TEST_F(SyncPassTest, OutlookIsUpdatedWhileItRunsWithoutAnyQuestion) {
    mac.setRunning({"com.microsoft.Outlook"});
    const SignatureId id = addSignature("Work", {{ClientKind::outlook, {"jane@x.org"}}});
    const WorkOutcome outcome = sync(id);
    EXPECT_TRUE(outcome.success);
    EXPECT_TRUE(acting.shown().empty()) << alertTitles().join(", ").toStdString();
    EXPECT_EQ(FakeOutlookSignatures(mac), (std::vector<FakeOutlookSignature>{
                                              {"Mine", "<p>mine</p>"}, {"Work", "<p>Work</p>"}}));
    EXPECT_TRUE(engine().signature(id)->clientKindToPerformedInstallationsInfoMap.count(
        ClientKind::outlook));
    EXPECT_EQ(updatedInClients, std::vector<bool>{false});
    EXPECT_TRUE(mac.workspaceLog().isEmpty());
}

TEST_F(SyncPassTest, ASignatureWithoutTextTouchesNoClientThroughItsSelection) {
    const SignatureId id = addSignature("Work", {{ClientKind::outlook, {"jane@x.org"}}});
    engine().signature(id)->localTextQe.clear();
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
        startAfresh();
        updatedInClients.clear();
        acting.clear();
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

// What the signature needs in a client that is gone is not done: the pass names the client,
// syncs the others, and does not count as a success (nor tells of one).
TEST_F(SyncPassTest, ClientsNoLongerInstalledAreNamedAndTheOthersStillSynced) {
    const SignatureId id =
        addSignature("Work", {{ClientKind::outlook, {"jane@x.org"}}, {ClientKind::spark, {}}});
    const WorkOutcome outcome = sync(id);
    const Alert& unavailable = alert("Some email clients are unavailable");
    EXPECT_EQ(unavailable.style, AlertStyle::warning);
    EXPECT_EQ(unavailable.informativeText,
              "The following email client is no longer available: Spark.");
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.title, unavailable.title);
    EXPECT_EQ(FakeOutlookSignatures(mac).size(), 2u);
    EXPECT_EQ(updatedInClients, std::vector<bool>{true});

    acting.clear();
    Signature& signature = *engine().signature(id);
    signature.clientKindToPerformedInstallationsInfoMap[ClientKind::appleMail]
        .allAccountsInstalled = true;
    sync(id);
    EXPECT_EQ(alert("Some email clients are unavailable").informativeText,
              "The following email clients are no longer available: Apple Mail, Spark.");
}

TEST_F(SyncPassTest, LaterOnTheCloseQuestionWritesNothingAndPostsNothing) {
    mac.setRunning({kThunderbirdId, "com.example.other"});
    const SignatureId id = addSignature("Work", {{ClientKind::thunderbird, {"tom@x.org"}}});
    const QByteArray prefs = *ReadFakeFile(thunderbirdPrefs);
    acting.answerWith("Later", true);
    const WorkOutcome outcome = sync(id);
    EXPECT_TRUE(outcome.success);
    EXPECT_TRUE(outcome.postponed);
    const Alert& question = alert(kCloseTitle);
    EXPECT_EQ(question.style, AlertStyle::warning);
    EXPECT_EQ(question.informativeText,
              "The following email clients need to be closed in order to update "
              "signatures:\nThunderbird\n");
    EXPECT_EQ(question.buttons, (QStringList{"OK", "Later"}));
    EXPECT_TRUE(question.checkboxTitle);
    EXPECT_EQ(*ReadFakeFile(thunderbirdPrefs), prefs);
    EXPECT_TRUE(mac.workspaceLog().isEmpty());
    EXPECT_TRUE(updatedInClients.empty());
    EXPECT_TRUE(engine().signature(id)->clientKindToPerformedInstallationsInfoMap.empty());
}

TEST_F(SyncPassTest, ClosedClientsAreSyncedAfterTheyQuitAndReopenedWhenAsked) {
    mac.setRunning({kThunderbirdId, kPostboxId, "com.microsoft.Outlook"});
    const SignatureId id = addSignature("Work", {{ClientKind::thunderbird, {"tom@x.org"}},
                                                 {ClientKind::postbox, {}},
                                                 {ClientKind::outlook, {}}});
    acting.answerWith("OK", true);
    EXPECT_TRUE(sync(id).success);
    // Outlook is updated while it runs; it is neither asked about nor closed.
    EXPECT_EQ(alert(kCloseTitle).informativeText,
              "The following email clients need to be closed in order to update "
              "signatures:\nPostbox\nThunderbird\n");
    EXPECT_EQ(mac.workspaceLog(),
              (QStringList{"terminate " + kPostboxId, "terminate " + kThunderbirdId,
                           "launch " + mac.rootPath("/Applications/Postbox.app"),
                           "launch " + mac.rootPath("/Applications/Thunderbird.app")}));
    for (const char* line :
         {"Info: Closing client: Postbox...", "Info: Closing client: Thunderbird...",
          "Info: Re-opening client: Postbox...", "Info: Re-opening client: Thunderbird..."}) {
        EXPECT_TRUE(log.contains(line)) << line;
    }
    EXPECT_TRUE(ReadFakeFile(thunderbirdPrefs)->contains("<p>Work</p>"));
    const auto list = ReadFakeFile(FakePostboxSignaturesPath(QFileInfo(postboxPrefs).path()));
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->contains("<p>Work</p>"));
    const auto& performed = engine().signature(id)->clientKindToPerformedInstallationsInfoMap;
    EXPECT_EQ(performed.size(), 3u);
    EXPECT_EQ(updatedInClients, std::vector<bool>{false});
}

// A client must not be written while it runs: it would write its own files over ours on exit.
TEST_F(SyncPassTest, AClientRunningWhenItsTurnComesIsNotWrittenAndReported) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
    };
    const std::vector<Case> cases = {
        {"opened by the person while the question is on screen",
         [&] {
             acting.whileShown = [&](const Alert& shown) {
                 if (shown.title == kCloseTitle)
                     mac.setRunning({kPostboxId, kThunderbirdId});
             };
         }},
        {"still running after the wait for it to quit",
         [&] {
             mac.setRunning({kPostboxId, kThunderbirdId});
             stubborn.stubborn = kThunderbirdId;
         }},
        {"slower to quit than its workspace allows",
         [&] {
             mac.setRunning({kPostboxId, kThunderbirdId});
             stubborn.stubborn = kThunderbirdId;
             stubborn.quitSeconds = 20;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startAfresh();
        acting.clear();
        acting.whileShown = nullptr;
        stubborn.reset();
        updatedInClients.clear();
        log.clear();
        mac.setRunning({kPostboxId});
        c.arrange();
        const SignatureId id = addSignature(
            "Work", {{ClientKind::thunderbird, {"tom@x.org"}}, {ClientKind::postbox, {}}});
        const QByteArray prefs = *ReadFakeFile(thunderbirdPrefs);
        const WorkOutcome outcome = sync(id);
        EXPECT_FALSE(outcome.success);
        EXPECT_EQ(alert(kProblemsTitle).informativeText,
                  "Thunderbird: Not updated because it was running. Please quit it and update "
                  "the signature again.");
        EXPECT_EQ(*ReadFakeFile(thunderbirdPrefs), prefs);
        const Signature& signature = *engine().signature(id);
        EXPECT_FALSE(
            signature.clientKindToPerformedInstallationsInfoMap.count(ClientKind::thunderbird));
        EXPECT_TRUE(signature.clientKindToPerformedInstallationsInfoMap.count(ClientKind::postbox));
        EXPECT_TRUE(log.contains("Warning: Not updating client Thunderbird: it is running"));
        EXPECT_EQ(updatedInClients, std::vector<bool>{true});  // Postbox was updated
    }
}

// On Linux a mail client asked to quit saves its profile on the way out, which takes longer than
// a Mac's force-quit: the pass waits as long as the workspace says, on the main loop.
TEST_F(SyncPassTest, AClientSlowToQuitIsWaitedForAsLongAsItsWorkspaceAllows) {
    mac.setRunning({kThunderbirdId});
    stubborn.stubborn = kThunderbirdId;
    stubborn.quitSeconds = 20;
    stubborn.exitLimit = 30;
    const SignatureId id = addSignature("Work", {{ClientKind::thunderbird, {"tom@x.org"}}});
    acting.answerWith("OK", false);
    EXPECT_TRUE(sync(id).success);
    EXPECT_TRUE(ReadFakeFile(thunderbirdPrefs)->contains("<p>Work</p>"));
    EXPECT_TRUE(engine().signature(id)->clientKindToPerformedInstallationsInfoMap.count(
        ClientKind::thunderbird));
    EXPECT_FALSE(log.contains("Warning: Not updating client Thunderbird: it is running"));
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

// Full Disk Access cannot help a full or read-only disk: the person is told what happened.
TEST_F(SyncPassTest, AFullOrReadOnlyDiskIsSaidAsItIsAndOnlyAPermissionAsksForFullDiskAccess) {
    EXPECT_EQ(FileFailureReport(FileFailureCause::other, "/p/prefs.js"),
              ClientSyncReport::Failed(std::nullopt, {SyncHint::fullDiskAccess}));
    const ClientSyncReports reports = {
        {ClientKind::appleMail, FileFailureReport(FileFailureCause::readOnlyDisk, "/m/A.sig")},
        {ClientKind::postbox, FileFailureReport(FileFailureCause::quotaExceeded, "/p/list")},
        {ClientKind::spark, FileFailureReport(FileFailureCause::noSpace, "/s.sqlite")},
        {ClientKind::thunderbird, FileFailureReport(FileFailureCause::noSpace, "/t/prefs.js")},
    };
    EXPECT_EQ(SyncProblemsText(reports, "Quillet"),
              "The disk is full. Please make some room on it, then update the signatures "
              "again.\n\n"
              "Your disk quota is used up. Please make some room, then update the signatures "
              "again.\n\n"
              "The email app's files are on a read-only disk: Quillet cannot change them.\n\n"
              "Apple Mail: Could not write /m/A.sig.\n\n"
              "Postbox: Could not write /p/list.\n\n"
              "Spark: Could not write /s.sqlite.\n\n"
              "Thunderbird: Could not write /t/prefs.js.");
    // Spark's database that SQLite found full is no damaged database.
    EXPECT_EQ(ReportOf(SyncSparkSignaturesError{SyncSparkSignaturesError::Kind::database,
                                                "/s.sqlite", FileFailureCause::noSpace}),
              FileFailureReport(FileFailureCause::noSpace, "/s.sqlite"));
    // A Linux client's file on a full disk too; any other failure keeps its plain line.
    using LinuxError = SyncLinuxClientSignaturesError;
    EXPECT_EQ(ReportOf(LinuxError{LinuxError::Kind::fileSystem, "/g/geary.ini", "no room",
                                  FileFailureCause::noSpace}),
              FileFailureReport(FileFailureCause::noSpace, "/g/geary.ini"));
    EXPECT_EQ(ReportOf(LinuxError{LinuxError::Kind::fileSystem, "/g/geary.ini", "denied"}),
              ClientSyncReport::Failed("Could not write file /g/geary.ini."));
}

}  // namespace
}  // namespace quillet
