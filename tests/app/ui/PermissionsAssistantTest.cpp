#include "app/ui/PermissionsAssistant.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

#include "app/ui/PermissionsAssistantIcon.h"
#include "app/ui/PermissionsAssistantPresenter.h"
#include "platform/EventLoop.h"
#include "tests/support/DataTable.h"
#include "tests/support/FakeMacScripts.h"
#include "tests/support/ui/UiHarness.h"

namespace quillet {
namespace {

using Requirement = AccessibilityRequirementType;
using Kind = AccessibilityHelper::ValidationKind;

const QString kCheck = "Accessibility-CheckAutomation";
const QString kOutlookCheck = "Accessibility-CheckAutomationOutlook";
const QString kMailCheck = "Accessibility-CheckAutomationAppleMail";
const QString kSettings =
    "open x-apple.systempreferences:com.apple.settings.PrivacySecurity.extension?";

// The assistant over a fake Mac, whose trust file, Mail data folder and stand-in osascript are the
// permissions, beside a main window and a tray icon's window. The poll runs on the manual clock.
class PermissionsAssistantTest : public testing::Test {
protected:
    PermissionsAssistantTest() {
        mainWindow.show();
        trayIcon.show();
    }
    // A check still hanging is ended, so that no script outlives its fake Mac.
    ~PermissionsAssistantTest() override { endCheck(); }
    PermissionContext context() {
        return PermissionContext{kinds,          mailData,          runner,
                                 *accessibility, platform.prompter, "Quillet"};
    }
    void show(const QStringList& missing) {
        std::vector<Requirement> requirements;
        for (const QString& name : missing)
            requirements.push_back(*AccessibilityRequirementTypeFromRawValue(name));
        assistant = std::make_unique<PermissionsAssistant>(
            context(), requirements, platform.workspace, platform.mainQueue, "/Applications/Q.app");
        assistant->start();
        assistant->show();
    }
    void tick(int ticks) {
        for (int i = 0; i < ticks; ++i)
            platform.mainQueue.advance(PermissionsAssistant::kPollInterval);
        QTest::qWait(10);
    }
    // Ends the hanging check as an unanswered prompt ends it, and lets its answer arrive.
    void endCheck() {
        if (const auto pid = FakeScriptProcessId(mac, kOutlookCheck))
            ::kill(static_cast<pid_t>(*pid), SIGKILL);
        QThreadPool::globalInstance()->waitForDone();
        QTest::qWait(20);
    }
    // Each requirement's status; whether the main window, the tray icon's window and the assistant
    // show; the checks run; the assistant's last button.
    QString seen() {
        QStringList texts;
        for (const QLabel* status :
             assistant->findChildren<QLabel*>(QRegularExpression("^status-")))
            texts << status->objectName().mid(7) + " " + status->text();
        for (const QWidget* window :
             {&mainWindow, &trayIcon, static_cast<QWidget*>(assistant.get())})
            texts << (window->isVisible() ? "shown" : "hidden");
        // Mail's checks are left out: the poll's checks of a row already done run as often as
        // they end between ticks, which only the machine's speed decides.
        return (texts + QStringList{QString::number(mac.osascriptRuns().count(kOutlookCheck)),
                                    Child<QPushButton>(assistant.get(), "done")->text()})
            .join(" | ");
    }

    FakeMac mac;
    TestPlatform platform{mac};
    AppleScriptRunner runner{mac.paths(), *platform.bundle};
    std::vector<ClientKind> kinds{ClientKind::appleMail, ClientKind::outlook};
    std::optional<QString> mailData = mac.addAppleMailData();
    Accessibility* accessibility = &platform.accessibility;
    QWidget mainWindow;
    // Frameless, as the tray icon's is.
    QWidget trayIcon{nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint};
    std::unique_ptr<PermissionsAssistant> assistant;
    const std::map<QString, StoryStep> steps = {
        {"show", [this](auto& a) { show(a); }},
        {"click",
         [this](auto& a) {
             QTest::mouseClick(Child<QPushButton>(assistant.get(), a[0]), Qt::LeftButton);
         }},
        {"tick", [this](auto& a) { tick(a[0].toInt()); }},
        {"hang", [this](auto&) { SetFakeScriptHang(mac, kOutlookCheck, 60); }},
        {"end check", [this](auto&) { endCheck(); }},
        {"allow automation",
         [this](auto&) {
             QDir(mac.rootPath("/var/fake-mac/osascript/" + kOutlookCheck)).removeRecursively();
         }},
        {"allow all files",
         [this](auto&) { mac.writeFile(*mailData + "/VIPMailboxes.plist", ""); }},
        {"trust", [this](auto&) { mac.setAccessibilityTrusted(true); }},
        {"finish", [this](auto&) {
             assistant->finish();
             assistant.reset();
         }}};
    const std::map<QString, StoryView> views = {
        {"assistant", [this] { return seen(); }},
        {"opened",
         [this] { return mac.workspaceLog().replaceInStrings(kSettings, "").join(" ; "); }},
        {"checking", [this] { return FakeScriptProcessId(mac, kOutlookCheck) ? "yes" : "no"; }},
        {"mail checks", [this] { return QString::number(mac.osascriptRuns().count(kMailCheck)); }},
        {"dragged",
         [this] {
             auto* icon = assistant->findChild<DraggableAppIconView*>("icon-accessibility");
             return std::unique_ptr<QMimeData>(icon->createMimeData())->urls().front().toString();
         }},
        {"checks and polls", [this] {
             return QString("%1 checks, %2 waits")
                 .arg(mac.osascriptRuns().count(kOutlookCheck))
                 .arg(platform.mainQueue.pendingDelays().size());
         }}};
};

// An automation row's first Allow only asks, by running its check; a check waiting on the person
// never runs twice at once. Opening Settings hides the windows a person arranges, not the tray
// icon's (frameless), or the application could not be brought back. An answer arriving after the
// session ended is dropped, and the poll stops.
TEST_F(PermissionsAssistantTest,
       AllowAsksThenOpensSettingsAndNoCheckRunsTwiceOrOutlivesItsSession) {
    PlayStory("ui/permissions-assistant.tsv", steps, views);
}

TEST_F(PermissionsAssistantTest, ValidateShowsOneAssistantAtATime) {
    PermissionsAssistantPresenter presenter(platform.workspace, platform.mainQueue,
                                            "/Applications/Q.app");
    PermissionContext c = context();
    c.presenter = &presenter;
    int assistantsSeen = -1;
    QTimer::singleShot(50, [&] {
        AccessibilityHelper::validate(c, Kind::signatureSync, {ClientKind::appleMail});
        assistantsSeen = 0;
        for (QWidget* window : QApplication::topLevelWidgets())
            assistantsSeen += window->objectName() == "permissionsAssistant" && window->isVisible();
        QTest::mouseClick(QApplication::activeModalWidget()->findChild<QPushButton*>("done"),
                          Qt::LeftButton);
    });
    AccessibilityHelper::validate(c, Kind::signatureSync, {ClientKind::appleMail});
    EXPECT_EQ(assistantsSeen, 1);
    EXPECT_FALSE(presenter.isShowing());
    EXPECT_TRUE(platform.prompter.shown().empty());  // the assistant, not the interim alert
}

// A trust test that answers yes from a number of asks on, as when the person switches
// Accessibility on in System Settings while the checks run.
class GrantingAccessibility : public Accessibility {
public:
    bool isProcessTrusted() const override { return asks++ >= untrustedAnswers; }
    int untrustedAnswers = 0;
    mutable int asks = 0;
};

// The checks alone, for the detected clients (tests/data/permissions/probes.tsv).
class AccessibilityProbesTest : public PermissionsAssistantTest,
                                public testing::WithParamInterface<QStringList> {};

TEST_P(AccessibilityProbesTest, ProbesAndShowsWhatTheDetectedClientsMiss) {
    const QStringList& row = GetParam();
    ASSERT_EQ(row.size(), 9) << row.join(" / ").toStdString();
    const auto list = [](const QString& column) {
        return column == "-" ? QStringList() : column.split(',');
    };
    kinds.clear();
    for (const QString& kind : list(row[1]))  // in the order of the kinds
        kinds.push_back(*ClientKindFromStoredText(kind));
    if (!row[1].contains("AppleMail"))
        mailData.reset();
    for (const QString& refusal : list(row[2])) {
        const QString script = kCheck + refusal.section(':', 0, 0);
        const QString how = refusal.section(':', 1);
        if (how == "silent")
            mac.setScriptResult(script, "");
        else if (how == "crashes")
            mac.setScriptCrash(script);
        else if (how == "missing")
            QFile::remove(platform.bundle->resourcePath(script, "applescript"));
        else
            mac.setScriptResult(script, "", "execution error: Not authorized. (-1743)\n", 1);
    }
    GrantingAccessibility granting;
    granting.untrustedAnswers = row[3] == "yes" ? 0 : row[3] == "no" ? 99 : 1;
    accessibility = &granting;
    if (row[8] == "file")
        mac.writeFile(*mailData + "/VIPMailboxes.plist", "x");
    else if (row[8] == "folder")
        QDir().mkpath(*mailData + "/VIPMailboxes.plist");
    std::set<ClientKind> asked;
    for (const QString& kind : list(row[5]))
        asked.insert(*ClientKindFromStoredText(kind));
    QStringList outcome;
    if (row[4] == "missing") {
        for (const Requirement r :
             AccessibilityHelper::missingRequirements(context(), *asked.begin()))
            outcome << RawValue(r);
    } else {
        AccessibilityHelper::validate(
            context(), row[4] == "sync" ? Kind::signatureSync : Kind::accountDiscovery, asked);
        ASSERT_LE(platform.prompter.shown().size(), 1u);
        for (const Alert& alert : platform.prompter.shown()) {
            EXPECT_EQ(alert.title, "Quillet needs your permission");
            EXPECT_EQ(alert.buttons, QStringList{"OK"});
            outcome << QString(alert.informativeText).replace("\n", "\\n");
        }
    }
    EXPECT_EQ(mac.osascriptRuns().replaceInStrings(kCheck, ""), list(row[6]));
    EXPECT_EQ(outcome.join(',').toStdString(), list(row[7]).join(',').toStdString());
}

INSTANTIATE_TEST_SUITE_P(Rows, AccessibilityProbesTest,
                         testing::ValuesIn(ReadDataTable("permissions/probes.tsv")));

}  // namespace
}  // namespace quillet
