#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <limits>

#include "app/core/SyncClients.h"
#include "app/core/SyncPass.h"
#include "app/core/SyncReport.h"
#include "app/demo/FakeMacAccounts.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/demo/FakeMacOutlook.h"
#include "app/restore/RestorePoints.h"
#include "tests/support/DataTable.h"
#include "tests/support/EngineHarness.h"
#include "tests/support/FakeMacManaged.h"
#include "tests/support/StoreHarness.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

const QString kProblemsTitle = "There were problems updating some signatures.";
const QString kThunderbirdId = "org.mozilla.thunderbird";
const QString kPostboxId = "com.postbox-inc.postbox";
const QString kOutlookId = "com.microsoft.Outlook";
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

// A workspace whose Thunderbird, told to quit, takes that many seconds of the test's clock
// (infinity: it ignores being told), and which says how long its applications may take.
class SlowWorkspace : public FileWorkspace {
public:
    SlowWorkspace(const Paths& paths, const MainQueue& clock)
        : FileWorkspace(paths), _clock(clock) {}
    bool forceTerminate(const QString& identifier) override {
        if (_quitSeconds == 0 || identifier != kThunderbirdId)
            return FileWorkspace::forceTerminate(identifier);
        _quitsAt = _clock.now() + _quitSeconds;
        return true;
    }
    QStringList runningBundleIdentifiers() const override {
        QStringList running = FileWorkspace::runningBundleIdentifiers();
        if (_clock.now() >= _quitsAt)
            running.removeAll(kThunderbirdId);
        return running;
    }
    double exitWaitLimit() const override { return _exitLimit; }
    void set(double quitSeconds = 0, double exitLimit = kDefaultExitWaitLimit) {
        _quitSeconds = quitSeconds;
        _exitLimit = exitLimit;
        _quitsAt = kNever;
    }

private:
    static constexpr double kNever = std::numeric_limits<double>::infinity();
    const MainQueue& _clock;
    double _quitSeconds = 0, _exitLimit = kDefaultExitWaitLimit, _quitsAt = kNever;
};

// The engine over a fake Mac with real client syncs; the passes run as the engine runs them,
// with the manual clock moved on through their waits.
class SyncPassTest : public testing::Test, protected EngineHarness {
protected:
    SyncPassTest() {
        mac.installClient(ClientKind::outlook, "16.80", "16.80.23121017");
        mac.setDefaults(kOutlookId, "IsRunningNewOutlook", "0");
        SetFakeOutlookAccounts(mac, {{"jane@x.org", "Jane", "jane"}});
        mac.setAccessibilityTrusted(true);
        mac.installClient(ClientKind::thunderbird, "128.5.0", "12824.11.27");
        thunderbirdPrefs = WriteFakePrefsFile(mac.addMozillaProfile(ClientKind::thunderbird),
                                              FakeIdentityPrefsLines("1", "tom@x.org"));
        mac.installClient(ClientKind::postbox, "7.0.60");
        postboxPrefs =
            WriteFakePrefsFile(mac.addMozillaProfile(ClientKind::postbox, "m1x2.default"),
                               FakeIdentityPrefsLines("1", "pat@x.org"));
        prompter = &acting;
        workspace = &slow;
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

    // A signature "Work" selected for the clients' accounts (empty: all accounts): of the service's
    // key when one is given, else of a file.
    SignatureId addWork(const std::map<ClientKind, QStringList>& selections,
                        const QString& key = {}) {
        return engine().addSignature([&](Signature& signature) {
            signature.nameQe = "Work";
            signature.keyQe = key;
            (key.isEmpty() ? signature.localTextQe : signature.mainTextQe) = "<p>Work</p>";
            if (key.isEmpty())
                signature.filePathQe = "/Users/jane/Work.html";
            for (const auto& [kind, emails] : selections) {
                if (emails.isEmpty())
                    SelectAllAccounts(signature, kind);
                else
                    SelectAccounts(signature, kind, emails);
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
    bool performed(SignatureId id, ClientKind kind) {
        return engine().signature(id)->clientKindToPerformedInstallationsInfoMap.count(kind) > 0;
    }

    ActingPrompter acting;
    SlowWorkspace slow{mac.paths(), platform.mainQueue};
    QString thunderbirdPrefs, postboxPrefs;
    std::vector<bool> updatedInClients;
};

// Each pass of tests/data/core/sync-passes.tsv. Outlook is updated while it runs, never asked
// about nor closed. The others are closed when the person says OK and synced after they quit (and
// reopened when asked: the command's tests). A client must not be written while it runs: it would
// write its own files over ours on exit. One slow to quit (on Linux a client saves its profile on
// the way out) is waited for as long as its workspace allows, on the main loop. A client that
// refuses the script, or holds a signature of the person's by the same name, is not updated: the
// pass tells why. One that takes the signature but not its defaults is told of too, yet counts as
// updated. A selection without any text has nothing to write: no client is touched.
TEST_F(SyncPassTest, ClientsAreWrittenOnlyWhenTheyCanBeAndTheirProblemsAreTold) {
    const std::map<QString, std::vector<bool>> notices = {
        {"none", {}}, {"clean", {false}}, {"problems", {true}}};
    const QByteArray prefs = *ReadFakeFile(thunderbirdPrefs);
    for (const QStringList& row : ReadDataTable("core/sync-passes.tsv")) {
        SCOPED_TRACE(row[0].toStdString());
        // Each case starts from a store and a prompter of its own.
        startAfresh();
        acting.clear();
        acting.whileShown = nullptr;
        updatedInClients.clear();
        mac.writeFile(thunderbirdPrefs, prefs);
        mac.setRunning({kPostboxId, kThunderbirdId, kOutlookId, "com.example.other"});
        acting.answerWith("OK", true);
        const QString &thunderbird = row[2], &outlook = row[4];
        slow.set(thunderbird == "never" ? std::numeric_limits<double>::infinity()
                                        : thunderbird.toDouble(),
                 row[3].isEmpty() ? Workspace::kDefaultExitWaitLimit : row[3].toDouble());
        if (thunderbird == "opens") {
            mac.setRunning({kPostboxId, kOutlookId});
            acting.whileShown = [&](const Alert& shown) {
                if (shown.title == kCloseTitle)
                    mac.setRunning({kPostboxId, kThunderbirdId, kOutlookId});
            };
        }
        SetFakeAutomationDenied(mac, "Outlook", outlook == "denied");
        SetFakeOutlookSignatures(mac, {{outlook == "own" ? "Work" : "Mine", "<p>mine</p>"}});
        if (outlook.startsWith("fails "))
            FailFakeOutlookScript(mac, outlook.mid(6));
        const bool all = row[1] == "all", written = row[5] == "yes";
        const SignatureId id = addWork(
            all ? std::map<ClientKind, QStringList>{{ClientKind::thunderbird, {"tom@x.org"}},
                                                    {ClientKind::postbox, {}},
                                                    {ClientKind::outlook, {}}}
                : std::map<ClientKind, QStringList>{{ClientKind::outlook, {"jane@x.org"}}});
        if (outlook == "no text")
            engine().signature(id)->localTextQe.clear();
        const WorkOutcome outcome = sync(id);
        EXPECT_EQ(outcome.success, row.value(7).isEmpty());
        EXPECT_EQ(updatedInClients, notices.at(row[6]));
        if (!outcome.success) {
            EXPECT_EQ(outcome.title, kProblemsTitle);
            EXPECT_EQ(alert(kProblemsTitle).informativeText, row[7]);
            EXPECT_EQ(alert(kProblemsTitle).style, AlertStyle::critical);
        }
        if (!all)
            continue;
        EXPECT_EQ(*ReadFakeFile(thunderbirdPrefs) == prefs, !written);
        EXPECT_EQ(performed(id, ClientKind::thunderbird), written);
        EXPECT_TRUE(performed(id, ClientKind::postbox));
        EXPECT_TRUE(performed(id, ClientKind::outlook));
        EXPECT_EQ(FakeOutlookSignatures(mac).size(), 2u);
        EXPECT_FALSE(mac.workspaceLog().contains("terminate " + kOutlookId));
        // The question names only the clients still running when it is asked.
        const Alert& question = alert(kCloseTitle);
        EXPECT_EQ(question.style, AlertStyle::warning);
        EXPECT_EQ(question.buttons, (QStringList{"OK", "Later"}));
        EXPECT_TRUE(question.checkboxTitle);
        EXPECT_TRUE(question.informativeText.endsWith(
            thunderbird == "opens" ? ":\nPostbox\n" : ":\nPostbox\nThunderbird\n"));
        const auto list = ReadFakeFile(FakePostboxSignaturesPath(QFileInfo(postboxPrefs).path()));
        EXPECT_TRUE(list && list->contains("<p>Work</p>"));
    }
}

// Another process changes the store while the pass waits for Thunderbird to close: the pass reads
// the signatures again before it writes, and when it cannot (the other process took their table
// away), it writes nothing and says why. The next pass, with the table back, writes them.
TEST_F(SyncPassTest, APassThatCannotReadTheSignaturesAgainWritesNothingAndSaysWhy) {
    const QByteArray prefs = *ReadFakeFile(thunderbirdPrefs);
    const SignatureId id = addWork({{ClientKind::thunderbird, {"tom@x.org"}}});
    mac.setRunning({kThunderbirdId});
    acting.answerWith("OK", true);
    acting.whileShown = [&](const Alert& shown) {
        if (shown.title == kCloseTitle)
            TakeSignaturesTableAway(engine().dataFolder());
    };
    const WorkOutcome unread = sync(id);
    EXPECT_FALSE(unread.success);
    EXPECT_EQ(unread.title, kProblemsTitle);
    EXPECT_TRUE(alert(kProblemsTitle).informativeText.startsWith("Could not read the signatures"))
        << alert(kProblemsTitle).informativeText.toStdString();
    EXPECT_EQ(*ReadFakeFile(thunderbirdPrefs), prefs);

    acting.whileShown = nullptr;
    TakeSignaturesTableAway(engine().dataFolder(), false);
    EXPECT_TRUE(sync(id).success);
    EXPECT_TRUE(ReadFakeFile(thunderbirdPrefs)->contains("<p>Work</p>"));
    EXPECT_TRUE(performed(id, ClientKind::thunderbird));
}

// The save of a rename fails (another process held the store's write lock longer than a save
// waits); the rename and its pass wait. Another process then uninstalls "Work": it leaves
// Thunderbird and the store. The pass saves the rename first, which the removal drops, reads the
// signatures again, and does not write "Work" back into Thunderbird, where nothing would ever
// remove it.
TEST_F(SyncPassTest, APassAfterAFailedSaveDoesNotPutBackWhatAnotherProcessRemoved) {
    const QByteArray prefs = *ReadFakeFile(thunderbirdPrefs);
    const SignatureId id = addWork({{ClientKind::thunderbird, {"tom@x.org"}}});
    ASSERT_TRUE(sync(id).success);
    {
        const StoreWriteLock held(engine().dataFolder());
        engine().signature(id)->nameQe = "Renamed";
        engine().saveSignature(id, true, true);
    }
    ASSERT_EQ(engine().failedSaves().size(), 1u);
    {
        auto other = Store::OpenStoreChain(engine().dataFolder(), {}, {});
        ASSERT_TRUE(other);
        other->LoadRecords();
        ASSERT_TRUE(other->RemoveRecord(id));
    }
    QFile file(thunderbirdPrefs);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(prefs) == prefs.size());
    file.close();

    finish();
    EXPECT_EQ(QString::fromUtf8(*ReadFakeFile(thunderbirdPrefs)), QString::fromUtf8(prefs));
    EXPECT_EQ(engine().signature(id), nullptr);
    EXPECT_EQ(engine().failedSaves().size(), 1u);
}

// The problems alert: the hints once each, in their order, then one line per client. Full Disk
// Access cannot help a full or read-only disk: the person is told what happened.
TEST_F(SyncPassTest, ProblemsTextShowsEachHintOnceBeforeTheClientLines) {
    using LinuxError = SyncLinuxClientSignaturesError;
    using SparkError = SyncSparkSignaturesError;
    const ClientSyncReports reports = {
        {ClientKind::appleMail, ClientSyncReport::Failed(std::nullopt, {SyncHint::fullDiskAccess})},
        {ClientKind::appleMail, FileFailureReport(FileFailureCause::readOnlyDisk, "/m/A.sig")},
        {ClientKind::outlook, ClientSyncReport::Failed("Duplicate signature: \"A\".", {})},
        {ClientKind::postbox, FileFailureReport(FileFailureCause::other, "/p/prefs.js")},
        {ClientKind::postbox, FileFailureReport(FileFailureCause::quotaExceeded, "/p/list")},
        {ClientKind::spark, ReportOf(SparkError{SparkError::Kind::database, "/s.sqlite"})},
        {ClientKind::spark,
         ReportOf(SparkError{SparkError::Kind::database, "/s.sqlite", FileFailureCause::noSpace})},
        {ClientKind::geary, ReportOf(LinuxError{LinuxError::Kind::fileSystem, "/g/geary.ini",
                                                "no room", FileFailureCause::noSpace})},
        {ClientKind::geary,
         ReportOf(LinuxError{LinuxError::Kind::fileSystem, "/g/geary.ini", "denied"})},
    };
    EXPECT_EQ(SyncProblemParts(reports, "Quillet").join("\n\n") + "\n",
              ReadDataText("sync/problems.txt"));
}

// The application has no command to name its passes: each restore point is named by what the
// pass did (tests/data/core/restore-reasons.tsv), and a pass that changes nothing makes none.
TEST_F(SyncPassTest, EachPassIsNamedByWhatItsCommandDidAndOneThatChangesNothingMakesNone) {
    service.setSignature("k-team", "<p>Team</p>");
    SignatureId work;
    for (const QStringList& row : ReadDataTable("core/restore-reasons.tsv")) {
        SCOPED_TRACE(row.join(' ').toStdString());
        service.setSignature("k-work", row[1]);
        const std::size_t before = engine().restorePoints().list().size();
        const QString& step = row[0];
        if (step == "install")
            work = addWork(
                {{ClientKind::thunderbird, {"tom@x.org"}}, {ClientKind::postbox, {"pat@x.org"}}},
                "k-work");
        if (step == "rename")
            engine().signature(work)->nameQe = "Team work";
        if (step == "uninstall")
            engine().signature(work)->pendingDeletion = true;
        if (step == "reinstall") {
            engine().reinstallSignature(work);
        } else if (step == "refresh") {
            engine().refreshFromServer();
        } else if (step == "managed") {
            WriteManagedConfiguration(mac, *Plist::parse(ReadDataBytes("core/managed-team.plist")));
            closeEngine();
            engine().start();
        } else {
            engine().saveSignature(work, true, false);
        }
        finish();
        const auto points = engine().restorePoints().list();
        EXPECT_EQ(points.size() > before ? points.front().reason : QString(), row.value(2));
    }
}

}  // namespace
}  // namespace quillet
