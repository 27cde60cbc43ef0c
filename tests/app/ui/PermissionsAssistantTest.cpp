#include "app/ui/PermissionsAssistant.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

#include "app/ui/PermissionsAssistantIcon.h"
#include "app/ui/PermissionsAssistantPresenter.h"
#include "platform/EventLoop.h"
#include "tests/support/FakeMacScripts.h"
#include "tests/support/ui/UiHarness.h"

namespace quillet {
namespace {

using Requirement = AccessibilityRequirementType;

const QString kOutlookCheck = "Accessibility-CheckAutomationOutlook";
const QString kMailCheck = "Accessibility-CheckAutomationAppleMail";
const QString kSettings =
    "open x-apple.systempreferences:com.apple.settings.PrivacySecurity.extension?";

// The assistant over a fake Mac, whose trust file, Mail data folder and stand-in osascript are the
// permissions. The poll runs on the manual clock.
class PermissionsAssistantTest : public testing::Test {
protected:
    ~PermissionsAssistantTest() override {
        // A check still hanging is ended, so that no script outlives its fake Mac.
        for (const QString& script : {kOutlookCheck, kMailCheck})
            endCheck(script);
    }
    PermissionContext context() {
        return PermissionContext{
            kinds, mailData, runner, platform.accessibility, platform.prompter, "Quillet"};
    }

    std::unique_ptr<PermissionsAssistant> show(const std::vector<Requirement>& missing) {
        auto assistant = std::make_unique<PermissionsAssistant>(
            context(), missing, platform.workspace, platform.mainQueue, "/Applications/Q.app");
        assistant->start();
        assistant->show();
        _shown = assistant.get();
        return assistant;
    }
    void tick(int ticks = 1) {
        for (int i = 0; i < ticks; ++i)
            platform.mainQueue.advance(PermissionsAssistant::kPollInterval);
        QTest::qWait(10);
    }
    QString status(Requirement r) { return Child<QLabel>(_shown, "status-" + RawValue(r))->text(); }
    QPushButton* action(Requirement r) {
        return Child<QPushButton>(_shown, "action-" + RawValue(r));
    }
    // Ends the hanging check as an unanswered prompt ends it, and lets its answer arrive.
    void endCheck(const QString& script = kOutlookCheck) {
        if (const auto pid = FakeScriptProcessId(mac, script))
            ::kill(static_cast<pid_t>(*pid), SIGKILL);
        QThreadPool::globalInstance()->waitForDone();
        QTest::qWait(20);
    }
    int runs(const QString& script) const { return mac.osascriptRuns().count(script); }
    QStringList opened() const { return mac.workspaceLog().replaceInStrings(kSettings, ""); }

    FakeMac mac;
    TestPlatform platform{mac};
    AppleScriptRunner runner{mac.paths(), *platform.bundle};
    std::vector<ClientKind> kinds{ClientKind::appleMail, ClientKind::outlook};
    std::optional<QString> mailData = mac.addAppleMailData();
    QWidget* _shown = nullptr;
};

// An automation row's first Allow only asks, by running its check; a check waiting on the person
// never runs twice at once. Opening Settings hides the windows a person arranges, not the tray
// icon's (frameless), or the application could not be brought back. An answer arriving after the
// session ended is dropped, and the poll stops.
TEST_F(PermissionsAssistantTest,
       AllowAsksThenOpensSettingsAndNoCheckRunsTwiceOrOutlivesItsSession) {
    QWidget mainWindow;
    mainWindow.show();
    QWidget trayIcon(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    trayIcon.show();
    SetFakeScriptHang(mac, kOutlookCheck, 60);
    auto assistant = show({Requirement::fullDiskAccess, Requirement::accessibility,
                           Requirement::automationAppleMail, Requirement::automationOutlook});
    QTest::mouseClick(action(Requirement::automationAppleMail), Qt::LeftButton);
    EXPECT_TRUE(opened().isEmpty());
    ASSERT_TRUE(RunEventLoopUntil(
        [&] { return status(Requirement::automationAppleMail) == "✓ Done"; }, 10));
    EXPECT_EQ(runs(kMailCheck), 1);
    QTest::mouseClick(action(Requirement::automationOutlook), Qt::LeftButton);
    ASSERT_TRUE(RunEventLoopUntil(
        [this] { return FakeScriptProcessId(mac, kOutlookCheck).has_value(); }, 10));
    tick(9);  // the poll checks automation every third tick
    QTest::mouseClick(action(Requirement::automationOutlook), Qt::LeftButton);
    QTest::qWait(300);
    EXPECT_EQ(runs(kOutlookCheck), 1);
    EXPECT_EQ(status(Requirement::automationOutlook), "Needed");
    EXPECT_FALSE(mainWindow.isVisible());
    EXPECT_TRUE(trayIcon.isVisible());
    EXPECT_TRUE(assistant->isVisible());
    // The prompt went unanswered; the next third tick checks again.
    endCheck();
    QDir(mac.rootPath("/var/fake-mac/osascript/" + kOutlookCheck)).removeRecursively();
    tick(3);
    ASSERT_TRUE(
        RunEventLoopUntil([&] { return status(Requirement::automationOutlook) == "✓ Done"; }, 10));
    EXPECT_EQ(runs(kOutlookCheck), 2);
    QTest::mouseClick(action(Requirement::fullDiskAccess), Qt::LeftButton);
    QTest::mouseClick(action(Requirement::accessibility), Qt::LeftButton);
    EXPECT_EQ(opened(),
              (QStringList{"Privacy_Automation", "Privacy_AllFiles", "Privacy_Accessibility"}));

    mac.writeFile(*mailData + "/VIPMailboxes.plist", "");
    tick();
    EXPECT_EQ(status(Requirement::fullDiskAccess), "✓ Done");
    EXPECT_EQ(Child<QPushButton>(_shown, "done")->text(), "Later");  // one is still missing
    auto* icon = assistant->findChild<DraggableAppIconView*>("icon-accessibility");
    EXPECT_EQ(std::unique_ptr<QMimeData>(icon->createMimeData())->urls(),
              QList<QUrl>{QUrl::fromLocalFile("/Applications/Q.app")});
    mac.setAccessibilityTrusted(true);
    tick();
    EXPECT_EQ(status(Requirement::accessibility), "✓ Done");
    EXPECT_EQ(Child<QPushButton>(_shown, "done")->text(), "All set, continue");
    QTest::mouseClick(assistant->findChild<QPushButton*>("done"), Qt::LeftButton);
    EXPECT_TRUE(mainWindow.isVisible());

    SetFakeScriptHang(mac, kOutlookCheck, 60);
    assistant = show({Requirement::automationOutlook});
    QTest::mouseClick(action(Requirement::automationOutlook), Qt::LeftButton);
    ASSERT_TRUE(RunEventLoopUntil(
        [this] { return FakeScriptProcessId(mac, kOutlookCheck).has_value(); }, 10));
    assistant->finish();
    assistant.reset();
    endCheck();
    tick(9);
    QTest::qWait(200);
    EXPECT_EQ(runs(kOutlookCheck), 3);
    EXPECT_TRUE(platform.mainQueue.pendingDelays().empty());
}

TEST_F(PermissionsAssistantTest, ValidateShowsOneAssistantAtATime) {
    PermissionsAssistantPresenter presenter(platform.workspace, platform.mainQueue,
                                            "/Applications/Q.app");
    PermissionContext c = context();
    c.presenter = &presenter;
    int assistantsSeen = -1;
    QTimer::singleShot(50, [&] {
        AccessibilityHelper::validate(c, AccessibilityHelper::ValidationKind::signatureSync,
                                      {ClientKind::appleMail});
        assistantsSeen = 0;
        for (QWidget* window : QApplication::topLevelWidgets())
            assistantsSeen += window->objectName() == "permissionsAssistant" && window->isVisible();
        QTest::mouseClick(QApplication::activeModalWidget()->findChild<QPushButton*>("done"),
                          Qt::LeftButton);
    });
    AccessibilityHelper::validate(c, AccessibilityHelper::ValidationKind::signatureSync,
                                  {ClientKind::appleMail});
    EXPECT_EQ(assistantsSeen, 1);
    EXPECT_FALSE(presenter.isShowing());
    EXPECT_TRUE(platform.prompter.shown().empty());  // the assistant, not the interim alert
}

}  // namespace
}  // namespace quillet
