#include "app/permissions/AccessibilityHelper.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/demo/FakeMac.h"
#include "tests/support/DataTable.h"
#include "tests/support/TestPlatform.h"

namespace quillet {
namespace {

using Requirement = AccessibilityRequirementType;
using Kind = AccessibilityHelper::ValidationKind;

const QString kCheck = "Accessibility-CheckAutomation";

// A trust test that answers yes from a number of asks on, as when the person switches
// Accessibility on in System Settings while the checks run.
class GrantingAccessibility : public Accessibility {
public:
    bool isProcessTrusted() const override { return asks++ >= untrustedAnswers; }
    int untrustedAnswers = 0;
    mutable int asks = 0;
};

struct PermissionMac {
    PermissionContext context() {
        return {kinds, appleMailDataPath, runner, accessibility, test.prompter};
    }

    FakeMac mac;
    TestPlatform test{mac};
    AppleScriptRunner runner{mac.paths(), *test.bundle};
    std::vector<ClientKind> kinds;
    std::optional<QString> appleMailDataPath;
    GrantingAccessibility accessibility;
};

TEST(AccessibilityProbesTest, ProbesAndShowsWhatTheDetectedClientsMiss) {
    const std::vector<QStringList> rows = ReadDataTable("permissions/probes.tsv");
    ASSERT_EQ(rows.size(), 11u);
    const auto list = [](const QString& column) {
        return column == "-" ? QStringList() : column.split(',');
    };
    for (const QStringList& row : rows) {
        ASSERT_EQ(row.size(), 9) << row.join(" / ").toStdString();
        SCOPED_TRACE(row[0].toStdString());
        PermissionMac m;
        for (const QString& kind : list(row[1]))  // in the order of the kinds
            m.kinds.push_back(*ClientKindFromStoredText(kind));
        if (row[1].contains("AppleMail"))
            m.appleMailDataPath = m.mac.addAppleMailData();
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
        m.accessibility.untrustedAnswers = row[3] == "yes" ? 0 : row[3] == "no" ? 99 : 1;
        if (row[8] == "file")
            m.mac.writeFile(*m.appleMailDataPath + "/VIPMailboxes.plist", "x");
        else if (row[8] == "folder")
            QDir().mkpath(*m.appleMailDataPath + "/VIPMailboxes.plist");
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

}  // namespace
}  // namespace quillet
