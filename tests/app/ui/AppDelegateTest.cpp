#include <gtest/gtest.h>

#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>

#include "app/demo/FakeMacMozilla.h"
#include "app/ui/AppDelegate.h"
#include "app/ui/LoginItem.h"
#include "app/ui/MainController.h"
#include "app/ui/MainWindow.h"
#include "app/ui/PlaceholderNewSignaturePanel.h"
#include "app/ui/RestoreMenu.h"
#include "app/ui/Updater.h"
#include "tests/support/DataTable.h"
#include "tests/support/ui/UiHarness.h"

namespace quillet {
namespace {

class AppDelegateTest : public testing::Test {
protected:
    AppDelegate& launch() {
        preferences = std::make_unique<QSettings>(
            ui.mac.homePath("Library/Preferences/app.quillet.Quillet.ini"), QSettings::IniFormat);
        app = std::make_unique<AppDelegate>(AppParts{ui.engine(), loginItem, updater, *preferences,
                                                     &ui, DefaultNewSignaturePanelFactory()});
        app->willFinishLaunching();
        app->didFinishLaunching();
        ui.finishWork();
        return *app;
    }
    // The restore menu's items as the person opens it.
    QStringList items() {
        emit app->restoreMenu()->aboutToShow();
        QStringList texts;
        for (QAction* action : app->restoreMenu()->actions())
            texts << action->text() + (action->isEnabled() ? "" : " (disabled)");
        return texts;
    }

    UiHarness ui;
    const QString prefs = ui.installThunderbird();
    XdgAutostartLoginItem loginItem{ui.mac.home(), "quillet", "Quillet", "/opt/My Apps/Quillet"};
    ReleasePageUpdater updater{ui.platform.workspace, ui.platform.prompter,
                               QUrl("https://quillet.app/releases")};
    std::unique_ptr<QSettings> preferences;
    std::unique_ptr<AppDelegate> app;
};

TEST_F(AppDelegateTest, LaunchEnablesTheLoginItemAndClosingOnlyHides) {
    AppDelegate& delegate = launch();
    EXPECT_TRUE(ReadFakeFile(loginItem.entryPath())
                    .value_or("")
                    .contains("Exec=\"/opt/My Apps/Quillet\"\n"));
    EXPECT_TRUE(delegate.mainController()->isEngaged());
    // The offscreen desktop has no tray: the window is shown, with the status item's restore menu.
    EXPECT_TRUE(delegate.mainWindow()->isVisible());
    EXPECT_EQ(Child<QPushButton>(app->mainController(), "restoreButton")->menu(),
              app->restoreMenu());
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

class RestoreChoiceTest : public AppDelegateTest,
                          public testing::WithParamInterface<QStringList> {};

TEST_P(RestoreChoiceTest, AsksThenPutsTheClientAndTheStoreBackOrChangesNothing) {
    const QStringList& row = GetParam();
    ASSERT_EQ(row.size(), 7) << row.join(" / ").toStdString();
    const QString answer = row[1], closingAnswer = row[2] == "-" ? QString() : row[2];
    const bool damaged = row[3] == "yes", personsEdit = row[4] == "yes", restored = row[6] == "yes";
    launch();
    EXPECT_EQ(items(), QStringList{"No restore points (disabled)"});
    const std::optional<QByteArray> before = ReadFakeFile(prefs);
    ui.engine().saveSignature(ui.addSignature({}), true, false);
    ui.finishWork();
    const std::optional<QByteArray> installed = ReadFakeFile(prefs);
    ASSERT_NE(installed, before);
    ASSERT_EQ(ui.engine().restorePoints().list().size(), 1u);
    const RestorePoint install = ui.engine().restorePoints().list().front();
    EXPECT_TRUE(RestoreMenu::PointTitle(install).endsWith(" – before install (Thunderbird)"));
    ASSERT_EQ(items(), QStringList{RestoreMenu::PointTitle(install) + "…"});
    ASSERT_TRUE(!damaged || QFile::remove(install.folder + "/unit-1.json"));
    if (personsEdit)
        ui.mac.writeFile(prefs, QByteArray(*installed).replace("<p>Jane</p>", "<p>Joan</p>"));
    ui.platform.prompter.answerWith(answer);
    if (!closingAnswer.isEmpty()) {
        ui.mac.setRunning({BundleIdentifier(ClientKind::thunderbird)});
        ui.platform.prompter.answerWith(closingAnswer);
    }
    QSignalSpy finished(app->restoreMenu(), &RestoreMenu::finished);
    app->restoreMenu()->actions().front()->trigger();
    UiHarness::settle();
    // The restore waits on the engine's clock for clients it closed.
    for (int step = 0; answer == "Restore" && finished.count() == 0 && step < 200; ++step) {
        ui.platform.mainQueue.advance(0.25);
        UiHarness::settle(10);
    }
    EXPECT_EQ(finished.count(), answer == "Restore" ? 1 : 0);
    ui.finishWork();

    EXPECT_EQ(ui.alertTitles().join(" | "), row[5]);
    const Alert& question = ui.platform.prompter.shown().front();
    EXPECT_EQ(question.buttons[question.defaultButtonIndex], "Cancel");
    EXPECT_TRUE(personsEdit || ReadFakeFile(prefs) == (restored ? before : installed));
    EXPECT_EQ(
        ui.mac.workspaceLog().contains("terminate " + BundleIdentifier(ClientKind::thunderbird)),
        restored && !closingAnswer.isEmpty());
    EXPECT_EQ(app->mainController()->signatureButtons().size(), restored ? 0u : 1u);
    EXPECT_EQ(ui.engine().visibleSignatureIds().size(), restored ? 0u : 1u);
    const QString notices = ui.delivered.join("\n");
    EXPECT_EQ(notices.count("Signatures Restored: Your email signatures are back as they were."),
              restored ? 1 : 0);
    EXPECT_EQ(notices.endsWith(" was changed since; it is kept as it is."), personsEdit);
}

INSTANTIATE_TEST_SUITE_P(Rows, RestoreChoiceTest,
                         testing::ValuesIn(ReadDataTable("ui/restore-choices.tsv")),
                         [](const auto& info) { return info.param.front().toStdString(); });

}  // namespace
}  // namespace quillet
