#include "app/permissions/AccessibilityHelper.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <algorithm>

#include "app/demo/FakeMac.h"
#include "tests/support/TestPlatform.h"

namespace quillet {
namespace {

using Requirement = AccessibilityRequirementType;
using Kind = AccessibilityHelper::ValidationKind;

const QString kMailCheck = "Accessibility-CheckAutomationAppleMail";
const QString kOutlookCheck = "Accessibility-CheckAutomationOutlook";
const QString kSystemEventsCheck = "Accessibility-CheckAutomationSystemEvents";
const QString kNotAuthorized =
    "execution error: Not authorized to send Apple events to %1. (-1743)\n";

// A trust test that changes its answer after a number of asks, as when the person switches
// Accessibility on in System Settings while the checks run.
class GrantingAccessibility : public Accessibility {
public:
    explicit GrantingAccessibility(int untrustedAnswers) : _untrustedAnswers(untrustedAnswers) {}
    bool isProcessTrusted() const override { return asks++ >= _untrustedAnswers; }
    mutable int asks = 0;

private:
    int _untrustedAnswers;
};

class AccessibilityHelperTest : public testing::Test {
protected:
    AccessibilityHelperTest() : test(mac), runner(mac.paths(), *test.bundle) {}

    void detect(ClientKind kind) {
        if (kind == ClientKind::appleMail)
            appleMailDataPath = mac.addAppleMailData("V10");
        kinds.push_back(kind);
        std::sort(kinds.begin(), kinds.end());
    }

    void refuse(const QString& script, const QString& target) {
        mac.setScriptResult(script, "", kNotAuthorized.arg(target), 1);
    }

    PermissionContext context() {
        return {kinds, appleMailDataPath, runner, test.accessibility, test.prompter};
    }

    QStringList shownRows() const {
        if (test.prompter.shown().empty())
            return {};
        QStringList titles;
        for (const QString& paragraph :
             test.prompter.shown().back().informativeText.split("\n\n")) {
            titles.append(paragraph.section('\n', 0, 0));
        }
        return titles;
    }

    FakeMac mac;
    TestPlatform test;
    AppleScriptRunner runner;
    std::vector<ClientKind> kinds;
    std::optional<QString> appleMailDataPath;
};

// Clients asked for but not detected (Apple Mail and Outlook here) are ignored, for account
// discovery and for a signature sync alike: nothing is probed and nothing shown.
TEST_F(AccessibilityHelperTest, UndetectedClientsAreNeitherProbedNorShown) {
    detect(ClientKind::spark);
    detect(ClientKind::thunderbird);
    refuse(kMailCheck, "Mail");
    for (const Kind kind : {Kind::accountDiscovery, Kind::signatureSync}) {
        AccessibilityHelper::validate(context(), kind,
                                      {ClientKind::appleMail, ClientKind::outlook,
                                       ClientKind::spark, ClientKind::thunderbird});
    }
    EXPECT_TRUE(mac.osascriptRuns().isEmpty());
    EXPECT_TRUE(test.prompter.shown().empty());
}

TEST_F(AccessibilityHelperTest, AppleMailWithoutReadableVipMailboxesShowsOneFullDiskAccessRow) {
    detect(ClientKind::appleMail);
    EXPECT_FALSE(AccessibilityHelper::hasFullDiskAccess(context()));
    AccessibilityHelper::validate(context(), Kind::signatureSync, {ClientKind::appleMail});
    ASSERT_EQ(test.prompter.shown().size(), 1u);
    const Alert alert = test.prompter.shown().front();
    EXPECT_EQ(alert.title, "Quillet needs your permission");
    EXPECT_EQ(
        alert.informativeText,
        "Full Disk Access (for Apple Mail)\nLets Quillet write your signature into Apple Mail.");
    EXPECT_EQ(alert.buttons, QStringList{"OK"});
    EXPECT_TRUE(mac.osascriptRuns().isEmpty());

    // A folder of that name is no readable file either.
    QDir().mkpath(*appleMailDataPath + "/VIPMailboxes.plist");
    EXPECT_FALSE(AccessibilityHelper::hasFullDiskAccess(context()));
    QDir(*appleMailDataPath + "/VIPMailboxes.plist").removeRecursively();

    test.prompter.clear();
    mac.writeFile(*appleMailDataPath + "/VIPMailboxes.plist", "x");
    EXPECT_TRUE(AccessibilityHelper::hasFullDiskAccess(context()));
    AccessibilityHelper::validate(context(), Kind::signatureSync, {ClientKind::appleMail});
    EXPECT_TRUE(test.prompter.shown().empty());
}

TEST_F(AccessibilityHelperTest, NothingGrantedShowsEveryRowInSortOrder) {
    detect(ClientKind::appleMail);
    detect(ClientKind::outlook);
    refuse(kMailCheck, "Mail");
    refuse(kOutlookCheck, "Microsoft Outlook");
    refuse(kSystemEventsCheck, "System Events");
    mac.setAccessibilityTrusted(false);

    AccessibilityHelper::validate(context(), Kind::accountDiscovery,
                                  {ClientKind::appleMail, ClientKind::outlook});

    EXPECT_EQ(shownRows(), (QStringList{"Accessibility (for Outlook)", "Control Mail",
                                        "Control Microsoft Outlook", "Control System Events"}));
    EXPECT_TRUE(test.prompter.shown().front().informativeText.contains(
        "Click Allow, then choose OK when macOS asks whether Quillet may control Microsoft "
        "Outlook."));
    // Outlook's first check fails, so its others wait for the second round.
    EXPECT_EQ(mac.osascriptRuns(), (QStringList{kMailCheck, kSystemEventsCheck, kMailCheck,
                                                kOutlookCheck, kSystemEventsCheck}));
}

TEST_F(AccessibilityHelperTest, OnlyAccessibilityMissingProbesEverythingTwice) {
    detect(ClientKind::outlook);
    mac.setAccessibilityTrusted(false);

    AccessibilityHelper::validate(context(), Kind::signatureSync, {ClientKind::outlook});

    EXPECT_EQ(mac.osascriptRuns(),
              (QStringList{kSystemEventsCheck, kOutlookCheck, kOutlookCheck, kSystemEventsCheck}));
    EXPECT_EQ(test.prompter.shown().front().informativeText,
              "Accessibility (for Outlook)\nLets Quillet set your default signature in Outlook.");
}

// What status reports: the permissions both kinds of work need, each probed once.
TEST_F(AccessibilityHelperTest, MissingRequirementsProbesEachPermissionOnce) {
    detect(ClientKind::appleMail);
    detect(ClientKind::outlook);
    refuse(kOutlookCheck, "Microsoft Outlook");
    mac.setAccessibilityTrusted(false);

    EXPECT_EQ(AccessibilityHelper::missingRequirements(context(), ClientKind::outlook),
              (std::vector{Requirement::accessibility, Requirement::automationOutlook}));
    EXPECT_EQ(mac.osascriptRuns(), (QStringList{kSystemEventsCheck, kOutlookCheck}));
    // Apple Mail: automation to list its accounts, Full Disk Access to write its files.
    EXPECT_EQ(AccessibilityHelper::missingRequirements(context(), ClientKind::appleMail),
              (std::vector{Requirement::fullDiskAccess}));
    EXPECT_EQ(mac.osascriptRuns(), (QStringList{kSystemEventsCheck, kOutlookCheck, kMailCheck}));
}

TEST_F(AccessibilityHelperTest, PermissionGrantedBetweenTheTwoRoundsGetsNoRow) {
    detect(ClientKind::outlook);
    GrantingAccessibility grantedOnSecondAsk(1);
    const PermissionContext c{kinds, appleMailDataPath, runner, grantedOnSecondAsk, test.prompter};

    AccessibilityHelper::validate(c, Kind::accountDiscovery, {ClientKind::outlook});

    EXPECT_EQ(grantedOnSecondAsk.asks, 2);
    EXPECT_TRUE(test.prompter.shown().empty());
}

TEST_F(AccessibilityHelperTest, CheckScriptsCountAsGrantedWhenTheyRunAtAll) {
    const PermissionContext c = context();
    mac.setScriptResult(kMailCheck, "");
    EXPECT_TRUE(AccessibilityHelper::checkAutomation(c, Requirement::automationAppleMail));
    mac.setScriptResult(kOutlookCheck, "0\n");
    EXPECT_TRUE(AccessibilityHelper::checkAutomation(c, Requirement::automationOutlook));
    mac.setScriptCrash(kSystemEventsCheck);
    EXPECT_FALSE(AccessibilityHelper::checkAutomation(c, Requirement::automationSystemEvents));
    // A broken installation without the check script.
    QFile::remove(test.bundle->resourcePath(kMailCheck, "applescript"));
    EXPECT_FALSE(AccessibilityHelper::checkAutomation(c, Requirement::automationAppleMail));

    const QStringList runsBefore = mac.osascriptRuns();
    EXPECT_TRUE(AccessibilityHelper::checkAutomation(c, Requirement::fullDiskAccess));
    EXPECT_TRUE(AccessibilityHelper::checkAutomation(c, Requirement::accessibility));
    EXPECT_EQ(mac.osascriptRuns(), runsBefore);
}

}  // namespace
}  // namespace quillet
