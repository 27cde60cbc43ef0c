#include "app/permissions/AccessibilityHelper.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <algorithm>

#include "app/demo/FakeMac.h"
#include "tests/support/DataTable.h"
#include "tests/support/TestPlatform.h"

namespace quillet {
namespace {

using Requirement = AccessibilityRequirementType;
using Kind = AccessibilityHelper::ValidationKind;

const QString kCheck = "Accessibility-CheckAutomation";

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

// A fake Mac whose detected clients a case sets; Apple Mail comes with its data folder.
struct PermissionMac {
    void detect(ClientKind kind) {
        if (kind == ClientKind::appleMail)
            appleMailDataPath = mac.addAppleMailData("V10");
        kinds.push_back(kind);
        std::sort(kinds.begin(), kinds.end());
    }
    PermissionContext context() {
        return {kinds, appleMailDataPath, runner, test.accessibility, test.prompter};
    }

    FakeMac mac;
    TestPlatform test{mac};
    AppleScriptRunner runner{mac.paths(), *test.bundle};
    std::vector<ClientKind> kinds;
    std::optional<QString> appleMailDataPath;
};

class AccessibilityHelperTest : public testing::Test, protected PermissionMac {};

// The rows of tests/data/permissions/probes.tsv, each on a Mac of its own.
TEST(AccessibilityProbesTest, ProbesAndShowsWhatTheDetectedClientsMiss) {
    const std::vector<QStringList> rows = ReadDataTable("permissions/probes.tsv");
    ASSERT_EQ(rows.size(), 8u);
    const auto list = [](const QString& column) {
        return column == "-" ? QStringList() : column.split(',');
    };
    for (const QStringList& row : rows) {
        ASSERT_EQ(row.size(), 8) << row.join(" / ").toStdString();
        SCOPED_TRACE(row[0].toStdString());
        PermissionMac m;
        for (const QString& kind : list(row[1]))
            m.detect(*ClientKindFromStoredText(kind));
        for (const QString& refusal : list(row[2])) {
            const QString script = kCheck + refusal.section(':', 0, 0);
            const QString how = refusal.section(':', 1);
            if (how == "silent")
                m.mac.setScriptResult(script, "");
            else if (how == "crashes")
                m.mac.setScriptCrash(script);
            else if (how == "missing")
                QFile::remove(m.test.bundle->resourcePath(script, "applescript"));
            else
                m.mac.setScriptResult(script, "", "execution error: Not authorized. (-1743)\n", 1);
        }
        m.mac.setAccessibilityTrusted(row[3] == "yes");
        std::set<ClientKind> asked;
        for (const QString& kind : list(row[5]))
            asked.insert(*ClientKindFromStoredText(kind));
        QStringList outcome;
        if (row[4] == "missing") {
            for (const Requirement r :
                 AccessibilityHelper::missingRequirements(m.context(), *asked.begin()))
                outcome << RawValue(r);
        } else {
            AccessibilityHelper::validate(
                m.context(), row[4] == "sync" ? Kind::signatureSync : Kind::accountDiscovery,
                asked);
            ASSERT_LE(m.test.prompter.shown().size(), 1u);
            for (const Alert& alert : m.test.prompter.shown()) {
                EXPECT_EQ(alert.title, "Quillet needs your permission");
                EXPECT_EQ(alert.buttons, QStringList{"OK"});
                outcome << QString(alert.informativeText).replace("\n", "\\n");
            }
        }
        EXPECT_EQ(m.mac.osascriptRuns().replaceInStrings(kCheck, "").join(',').toStdString(),
                  list(row[6]).join(',').toStdString());
        EXPECT_EQ(outcome.join(',').toStdString(), list(row[7]).join(',').toStdString());
    }
}

// Only a readable file is Full Disk Access: a folder of that name is none.
TEST_F(AccessibilityHelperTest, FullDiskAccessIsAReadableVipList) {
    detect(ClientKind::appleMail);
    EXPECT_FALSE(AccessibilityHelper::hasFullDiskAccess(context()));
    QDir().mkpath(*appleMailDataPath + "/VIPMailboxes.plist");
    EXPECT_FALSE(AccessibilityHelper::hasFullDiskAccess(context()));
    QDir(*appleMailDataPath + "/VIPMailboxes.plist").removeRecursively();
    mac.writeFile(*appleMailDataPath + "/VIPMailboxes.plist", "x");
    EXPECT_TRUE(AccessibilityHelper::hasFullDiskAccess(context()));
    AccessibilityHelper::validate(context(), Kind::signatureSync, {ClientKind::appleMail});
    EXPECT_TRUE(test.prompter.shown().empty());
}

TEST_F(AccessibilityHelperTest, PermissionGrantedBetweenTheTwoRoundsGetsNoRow) {
    detect(ClientKind::outlook);
    GrantingAccessibility grantedOnSecondAsk(1);
    const PermissionContext c{kinds, appleMailDataPath, runner, grantedOnSecondAsk, test.prompter};
    AccessibilityHelper::validate(c, Kind::accountDiscovery, {ClientKind::outlook});
    EXPECT_EQ(grantedOnSecondAsk.asks, 2);
    EXPECT_TRUE(test.prompter.shown().empty());
}

}  // namespace
}  // namespace quillet
