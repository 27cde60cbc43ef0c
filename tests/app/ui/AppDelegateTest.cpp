#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTest>

#include "app/ui/AppDelegate.h"
#include "app/ui/LoginItem.h"
#include "app/ui/MainController.h"
#include "app/ui/MainWindow.h"
#include "app/ui/PlaceholderNewSignaturePanel.h"
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
        app = std::make_unique<AppDelegate>(AppParts{ui.core(), loginItem, updater, *preferences,
                                                     &ui.notifier,
                                                     DefaultNewSignaturePanelFactory()});
        app->willFinishLaunching();
        app->didFinishLaunching();
        UiHarness::settle();
        return *app;
    }

    UiHarness ui;
    XdgAutostartLoginItem loginItem{ui.mac.home(), "quillet", "Quillet", "/opt/My Apps/Quillet"};
    ReleasePageUpdater updater{ui.platform.workspace, QUrl("https://quillet.app/releases")};
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
    EXPECT_EQ(delegate.statusItem()->toolTip(), "Quillet " + ui.core().brand().shortVersion());
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

TEST_F(AppDelegateTest, ASavedFrameBelowTheMinimumGrowsCentredAndABigOneStays) {
    struct Case {
        QRect saved;
        QSize size;
        bool centred;
    };
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const Case& c : {Case{QRect(10, 20, 800, 600), QSize(1000, 700), true},
                          Case{QRect(10, 20, 1200, 800), QSize(1200, 800), false}}) {
        {
            QSettings saved(preferencesPath(), QSettings::IniFormat);
            saved.setValue("NSWindow Frame Main", c.saved);
        }
        app.reset();
        AppDelegate& delegate = launch();
        const QRect frame = delegate.mainWindow()->geometry();
        EXPECT_EQ(frame.size(), c.size);
        if (c.centred)
            // Within the offscreen platform's window frame of 2 points.
            EXPECT_LE((frame.center() - screen.center()).manhattanLength(), 4);
        else
            EXPECT_EQ(frame.topLeft(), c.saved.topLeft());
    }
}

}  // namespace
}  // namespace quillet
