#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
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

TEST_F(AppDelegateTest, LaunchEnablesTheLoginItemAndEngagesTheMainController) {
    AppDelegate& delegate = launch();
    QFile entry(loginItem.entryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    EXPECT_TRUE(text.contains("Exec=\"/opt/My Apps/Quillet\"\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("Type=Application\n"));
    EXPECT_TRUE(delegate.mainController()->isEngaged());
    EXPECT_EQ(delegate.statusItem()->toolTip(), "Quillet " + ui.engine().brand().shortVersion());
    // The offscreen desktop has no tray: the window is shown so the person can reach it.
    EXPECT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    EXPECT_TRUE(delegate.mainWindow()->isVisible());
    // Check for Updates opens the release page when no updater is built in.
    delegate.checkForUpdates();
    EXPECT_EQ(ui.mac.workspaceLog(), QStringList{"open https://quillet.app/releases"});
}

TEST_F(AppDelegateTest, ClosingHidesTheWindowAndTheStatusItemBringsItBackInPlace) {
    AppDelegate& delegate = launch();
    MainWindow* window = delegate.mainWindow();
    window->setGeometry(40, 30, 1100, 760);
    UiHarness::settle();
    const QRect frame = window->geometry();
    EXPECT_TRUE(window->close() == false || !window->isVisible());
    UiHarness::settle();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(delegate.mainController()->isEngaged());
    emit delegate.statusItem()->activated(QSystemTrayIcon::Trigger);
    UiHarness::settle();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->geometry(), frame);
    // A second launch asks for the same thing.
    window->close();
    delegate.reopen();
    EXPECT_TRUE(window->isVisible());
}

TEST_F(AppDelegateTest, ASavedFrameBelowTheMinimumGrowsCentred) {
    QSettings(preferencesPath(), QSettings::IniFormat)
        .setValue("NSWindow Frame Main", QRect(10, 20, 800, 600));
    const QRect frame = launch().mainWindow()->geometry();
    EXPECT_EQ(frame.size(), QSize(1000, 700));
    // Within the offscreen platform's window frame of 2 points.
    EXPECT_LE((frame.center() - QGuiApplication::primaryScreen()->availableGeometry().center())
                  .manhattanLength(),
              4);
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
    // Chooses the menu's item for the point, answers the confirmation (and the question to close
    // the clients) and waits for the restore.
    void choose(const RestorePoint& point, const QString& answer,
                const QString& closingAnswer = {}) {
        ui.platform.prompter.answerWith(answer);
        if (!closingAnswer.isEmpty())
            ui.platform.prompter.answerWith(closingAnswer);
        QSignalSpy finished(app->restoreMenu(), &RestoreMenu::finished);
        (void)items();
        for (QAction* action : app->restoreMenu()->actions()) {
            if (action->text() == RestoreMenu::PointTitle(point) + "…")
                action->trigger();
        }
        UiHarness::settle();
        // The restore waits on the engine's clock for clients it closed.
        for (int step = 0; answer == "Restore" && finished.count() == 0 && step < 200; ++step) {
            ui.platform.mainQueue.advance(0.25);
            UiHarness::settle(10);
        }
        EXPECT_EQ(finished.count(), answer == "Restore" ? 1 : 0);
        ui.finishWork();
    }
    void installJane() {
        const SignatureId id = ui.addSignature(TestSignature("Jane"));
        ui.engine().saveSignature(id, true, false);
        ui.finishWork();
    }
    std::vector<RestorePoint> points() { return ui.engine().restorePoints().list(); }

    void restoreWhileThunderbirdRuns(const QString& answer, bool restored) {
        launch();
        ui.finishWork();
        const QByteArray before = prefsBytes();
        installJane();
        const QByteArray installed = prefsBytes();
        ui.mac.setRunning({BundleIdentifier(ClientKind::thunderbird)});
        choose(points().front(), "Restore", answer);
        const std::vector<Alert>& shown = ui.platform.prompter.shown();
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown[1].title, "Some email clients need to be closed.");
        EXPECT_EQ(prefsBytes(), restored ? before : installed);
        EXPECT_EQ(ui.mac.workspaceLog().contains("terminate " +
                                                 BundleIdentifier(ClientKind::thunderbird)),
                  restored);
        EXPECT_EQ(points().size(), restored ? 2u : 1u);
        EXPECT_EQ(app->mainController()->signatureButtons().size(), restored ? 0u : 1u);
    }
};

TEST_F(RestoreMenuTest, TheStatusMenuListsTheRestorePointsNewestFirst) {
    launch();
    ui.finishWork();
    const QList<QAction*> entries = app->statusMenu()->actions();
    ASSERT_EQ(entries.size(), 5);
    EXPECT_EQ(entries[0]->text(), "Open Quillet");
    EXPECT_EQ(entries[2]->text(), "Restore…");
    EXPECT_EQ(entries[2]->menu(), app->restoreMenu());
    EXPECT_EQ(entries[4]->text(), "Quit Quillet");
    // Without a tray the window reaches the same menu.
    EXPECT_EQ(app->mainController()->findChild<QPushButton*>("restoreButton")->menu(),
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
    EXPECT_TRUE(RestoreMenu::PointTitle(kept[0]).endsWith(" – before uninstall (Thunderbird)"))
        << RestoreMenu::PointTitle(kept[0]).toStdString();
    EXPECT_TRUE(RestoreMenu::PointTitle(kept[1]).endsWith(" – before install (Thunderbird)"))
        << RestoreMenu::PointTitle(kept[1]).toStdString();
}

TEST_F(RestoreMenuTest, ChoosingAPointAsksThenPutsTheClientAndTheStoreBack) {
    launch();
    ui.finishWork();
    const QByteArray before = prefsBytes();
    installJane();
    const QByteArray installed = prefsBytes();
    ASSERT_NE(installed, before);
    ASSERT_EQ(points().size(), 1u);
    const RestorePoint install = points().front();

    // Cancelled: nothing changes.
    choose(install, "Cancel");
    ASSERT_EQ(ui.platform.prompter.shown().size(), 1u);
    const Alert& question = ui.platform.prompter.shown().front();
    EXPECT_EQ(question.title, "Restore Signatures");
    EXPECT_EQ(question.buttons, (QStringList{"Restore", "Cancel"}));
    EXPECT_EQ(question.buttons[question.defaultButtonIndex], "Cancel");
    EXPECT_EQ(prefsBytes(), installed);
    EXPECT_EQ(points().size(), 1u);

    choose(install, "Restore");
    EXPECT_EQ(prefsBytes(), before);
    EXPECT_TRUE(ui.engine().visibleSignatureIds().empty());
    EXPECT_TRUE(app->mainController()->signatureButtons().empty());
    EXPECT_EQ(app->mainController()->state(), MainController::State::intro);
    EXPECT_EQ(ui.notifier.delivered.back(),
              "Signatures Restored: Your email signatures are back as they were.");
    // What the restore replaced is a point of its own (the command's tests restore those).
    EXPECT_EQ(points().front().reason, "restore");
}

// What the person changed since in Thunderbird stays (the command's tests show what a restore
// keeps), and the notification names it.
TEST_F(RestoreMenuTest, ARestoreKeepsWhatThePersonChangedSinceAndSaysSo) {
    launch();
    ui.finishWork();
    installJane();
    const QList<QByteArray> lines = prefsBytes().split('\n');
    const auto signature = std::find_if(lines.begin(), lines.end(), [](const QByteArray& line) {
        return line.contains(".htmlSigText\"");
    });
    ASSERT_NE(signature, lines.end()) << prefsBytes().toStdString();
    const QByteArray key = signature->mid(signature->indexOf("\"") + 1).split('"').front();
    const QByteArray persons = "user_pref(\"" + key + "\", \"<p>Jane's own</p>\");";
    const QByteArray changed = prefsBytes().replace(*signature, persons);
    QFile file(prefs());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(changed);
    file.close();

    choose(points().front(), "Restore");
    ASSERT_FALSE(ui.notifier.delivered.empty());
    EXPECT_EQ(ui.notifier.delivered.back().toStdString(),
              ("Signatures Restored: Your email signatures are back as they were.\nThunderbird: "
               "the preference " +
               key + " in " + prefs() + " was changed since; it is kept as it is.")
                  .toStdString());
}

// A restore closes running clients as a sync pass does: after asking, and not at all when the
// person answers "Later", which leaves everything as it is without a further alert.
TEST_F(RestoreMenuTest, ARunningClientIsClosedWhenThePersonAgrees) {
    restoreWhileThunderbirdRuns("OK", true);
}

TEST_F(RestoreMenuTest, ARestorePostponedWithLaterChangesNothing) {
    restoreWhileThunderbirdRuns("Later", false);
}

TEST_F(RestoreMenuTest, ADamagedPointIsRefusedAndNothingChanges) {
    launch();
    ui.finishWork();
    installJane();
    const QByteArray installed = prefsBytes();
    const RestorePoint install = points().front();
    ASSERT_TRUE(QFile::remove(install.folder + "/units/1.json"));
    choose(install, "Restore");
    ASSERT_EQ(ui.platform.prompter.shown().size(), 2u);
    const Alert& refusal = ui.platform.prompter.shown().back();
    EXPECT_EQ(refusal.title, "Could not restore signatures.");
    EXPECT_TRUE(refusal.informativeText.startsWith("Restore point " + install.id +
                                                   " is damaged or incomplete"))
        << refusal.informativeText.toStdString();
    EXPECT_EQ(prefsBytes(), installed);
    EXPECT_EQ(app->mainController()->signatureButtons().size(), 1u);
    EXPECT_EQ(points().size(), 1u);
}

}  // namespace
}  // namespace quillet
