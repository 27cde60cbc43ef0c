#include <gtest/gtest.h>

#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include "app/ui/AppDelegate.h"
#include "app/ui/LoginItem.h"
#include "app/ui/MainController.h"
#include "app/ui/MainWindow.h"
#include "app/ui/PlaceholderNewSignaturePanel.h"
#include "app/ui/RestoreMenu.h"
#include "app/ui/Updater.h"
#include "tests/support/ui/UiHarness.h"

namespace quillet {
namespace {

// The application as it launches, over a fake Mac: its preferences file in the fake home.
class AppDelegateTest : public testing::Test {
protected:
    QString preferencesPath() const {
        return ui.mac.homePath("Library/Preferences/app.quillet.Quillet.ini");
    }
    AppDelegate& launch() {
        preferences = std::make_unique<QSettings>(preferencesPath(), QSettings::IniFormat);
        app = std::make_unique<AppDelegate>(AppParts{ui.engine(), loginItem, updater, *preferences,
                                                     &ui.notifier,
                                                     DefaultNewSignaturePanelFactory()});
        app->willFinishLaunching();
        app->didFinishLaunching();
        UiHarness::settle();
        return *app;
    }

    UiHarness ui;
    XdgAutostartLoginItem loginItem{ui.mac.home(), "quillet", "Quillet", "/opt/My Apps/Quillet"};
    ReleasePageUpdater updater{ui.platform.workspace, ui.platform.prompter,
                               QUrl("https://quillet.app/releases")};
    std::unique_ptr<QSettings> preferences;
    std::unique_ptr<AppDelegate> app;
};

TEST_F(AppDelegateTest, LaunchEnablesTheLoginItemAndClosingOnlyHidesTheWindow) {
    AppDelegate& delegate = launch();
    QFile entry(loginItem.entryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.contains("Exec=\"/opt/My Apps/Quillet\"\n")) << text.toStdString();
    EXPECT_TRUE(delegate.mainController()->isEngaged());
    // The offscreen desktop has no tray: the window is shown so the person can reach it.
    EXPECT_TRUE(delegate.mainWindow()->isVisible());
    // Check for Updates opens the release page when no updater is built in.
    delegate.checkForUpdates();
    EXPECT_EQ(ui.mac.workspaceLog(), QStringList{"open https://quillet.app/releases"});

    // Closing hides the window, and the status item (or a second launch) brings it back in place.
    MainWindow* window = delegate.mainWindow();
    window->setGeometry(40, 30, 1100, 760);
    UiHarness::settle();
    const QRect frame = window->geometry();
    window->close();
    UiHarness::settle();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(delegate.mainController()->isEngaged());
    emit delegate.statusItem()->activated(QSystemTrayIcon::Trigger);
    UiHarness::settle();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry(), frame);
    window->close();
    delegate.reopen();
    EXPECT_TRUE(window->isVisible());
}

// Restore points through the status item's menu, over a fake Mac with Thunderbird.
class RestoreMenuTest : public AppDelegateTest {
protected:
    RestoreMenuTest() { ui.installThunderbird(); }
    QString prefs() const {
        return ui.mac.paths().userLibrary() + "/" +
               FakeMac::MozillaProfilesFolder(ClientKind::thunderbird) + "/qlt1.default/prefs.js";
    }
    QByteArray prefsBytes() const {
        QFile file(prefs());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // The menu as the person opens it: its items' texts.
    QStringList items() {
        RestoreMenu* menu = app->restoreMenu();
        menu->popup(QPoint(0, 0));
        UiHarness::settle();
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << action->text() + (action->isEnabled() ? "" : " (disabled)");
        menu->hide();
        return texts;
    }
    void installJane() {
        const SignatureId id = ui.addSignature({});
        ui.engine().saveSignature(id, true, false);
        ui.finishWork();
    }
    std::vector<RestorePoint> points() { return ui.engine().restorePoints().list(); }
};

TEST_F(RestoreMenuTest, TheStatusMenuListsTheRestorePointsNewestFirst) {
    launch();
    ui.finishWork();
    // Without a tray the window reaches the same menu.
    EXPECT_EQ(Child<QPushButton>(app->mainController(), "restoreButton")->menu(),
              app->restoreMenu());
    EXPECT_EQ(items(), QStringList{"No restore points (disabled)"});

    installJane();
    ui.engine().signature(ui.engine().signatureIds().front())->pendingDeletion = true;
    ui.engine().saveSignature(ui.engine().signatureIds().front(), true, false);
    ui.finishWork();
    const std::vector<RestorePoint> kept = points();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(items(), (QStringList{RestoreMenu::PointTitle(kept[0]) + "…",
                                    RestoreMenu::PointTitle(kept[1]) + "…"}));
    // Named by what the pass did.
    EXPECT_TRUE(RestoreMenu::PointTitle(kept[0]).endsWith(" – before uninstall (Thunderbird)"));
}

// Choosing the install's point, after what happened since: the alerts the person sees, and
// whether Thunderbird's file and the store are back as before the install.
struct RestoreCase {
    const char* name;
    QString answer;         // to the confirmation, whose default is "Cancel"
    QString closingAnswer;  // to closing the running Thunderbird; empty: it does not run
    bool damaged = false;   // a file of the point went missing
    QStringList alerts;
    bool restored;
    bool personsEdit = false;  // the person changed the installed signature in Thunderbird since
};

class RestoreChoiceTest : public RestoreMenuTest,
                          public testing::WithParamInterface<RestoreCase> {};

const QString kRestored = "Signatures Restored: Your email signatures are back as they were.";

TEST_P(RestoreChoiceTest, AsksThenPutsTheClientAndTheStoreBackOrChangesNothing) {
    const RestoreCase& c = GetParam();
    launch();
    ui.finishWork();
    const QByteArray before = prefsBytes();
    installJane();
    const QByteArray installed = prefsBytes();
    ASSERT_NE(installed, before);
    ASSERT_EQ(points().size(), 1u);
    const RestorePoint install = points().front();
    ASSERT_TRUE(!c.damaged || QFile::remove(install.folder + "/units/1.json"));
    if (c.personsEdit) {
        const QByteArray edited = QByteArray(installed).replace("<p>Jane</p>", "<p>Joan</p>");
        ASSERT_NE(edited, installed);
        QFile file(prefs());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    file.write(edited) == edited.size());
    }
    if (!c.closingAnswer.isEmpty())
        ui.mac.setRunning({BundleIdentifier(ClientKind::thunderbird)});

    ui.platform.prompter.answerWith(c.answer);
    if (!c.closingAnswer.isEmpty())
        ui.platform.prompter.answerWith(c.closingAnswer);
    QSignalSpy finished(app->restoreMenu(), &RestoreMenu::finished);
    (void)items();
    for (QAction* action : app->restoreMenu()->actions()) {
        if (action->text() == RestoreMenu::PointTitle(install) + "…")
            action->trigger();
    }
    UiHarness::settle();
    // The restore waits on the engine's clock for clients it closed.
    for (int step = 0; c.answer == "Restore" && finished.count() == 0 && step < 200; ++step) {
        ui.platform.mainQueue.advance(0.25);
        UiHarness::settle(10);
    }
    EXPECT_EQ(finished.count(), c.answer == "Restore" ? 1 : 0);
    ui.finishWork();

    EXPECT_EQ(ui.alertTitles(), c.alerts);
    const Alert& question = ui.platform.prompter.shown().front();
    EXPECT_EQ(question.buttons[question.defaultButtonIndex], "Cancel");
    // What a restore keeps of the person's, the command's tests show.
    EXPECT_TRUE(c.personsEdit || prefsBytes() == (c.restored ? before : installed));
    EXPECT_EQ(
        ui.mac.workspaceLog().contains("terminate " + BundleIdentifier(ClientKind::thunderbird)),
        c.restored && !c.closingAnswer.isEmpty());
    EXPECT_EQ(app->mainController()->signatureButtons().size(), c.restored ? 0u : 1u);
    EXPECT_EQ(ui.engine().visibleSignatureIds().size(), c.restored ? 0u : 1u);
    const auto notices =
        std::count_if(ui.notifier.delivered.begin(), ui.notifier.delivered.end(),
                      [](const QString& notice) { return notice.startsWith(kRestored); });
    EXPECT_EQ(notices, c.restored ? 1 : 0);
    // The person is told which of their changes stayed.
    EXPECT_EQ(!ui.notifier.delivered.empty() &&
                  ui.notifier.delivered.back().endsWith(" was changed since; it is kept as it is."),
              c.personsEdit);
}

const QStringList kAsked{"Restore Signatures"};
const QStringList kAskedToClose{"Restore Signatures", "Some email clients need to be closed."};

INSTANTIATE_TEST_SUITE_P(
    Cases, RestoreChoiceTest,
    testing::Values(RestoreCase{"Cancelled", "Cancel", {}, false, kAsked, false},
                    RestoreCase{"Restored", "Restore", {}, false, kAsked, true},
                    RestoreCase{"PersonsEditKeptAndSaid", "Restore", {}, false, kAsked, true, true},
                    // A restore closes running clients as a sync pass does: after asking, and
                    // not at all when the person answers "Later".
                    RestoreCase{"ClientClosed", "Restore", "OK", false, kAskedToClose, true},
                    RestoreCase{"PostponedWithLater", "Restore", "Later", false, kAskedToClose,
                                false},
                    RestoreCase{"DamagedPointRefused",
                                "Restore",
                                {},
                                true,
                                {"Restore Signatures", "Could not restore signatures."},
                                false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillet
