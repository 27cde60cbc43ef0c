#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/base/AppleScript.h"
#include "common/Text.h"
#include "tests/support/DataTable.h"
#include "tests/support/FakeMacScripts.h"
#include "tests/support/TestPlatform.h"

namespace quillet {
namespace {

const QString kScript = "Test-Script";
const Replacements kName{{"**SIGNATURE_NAME**", "n"}};

// Whatever the tool does, only its output, less one trailing newline, from a run that ended
// well and said it was allowed, is an answer. The script file written for replacements holds
// what the person typed: it is written for them alone, in their own temporary folder (TMPDIR,
// as on a Mac) rather than the shared one, and is gone after every run.
TEST(AppleScriptTest, OnlyAWholeRunsOutputIsAnAnswerAndNoScriptFileIsLeft) {
    for (const QStringList& row : ReadDataTable("base/apple-script-runs.tsv")) {
        SCOPED_TRACE(row.join(" | ").toStdString());
        ASSERT_EQ(row.size(), 8);
        FakeMac mac;
        mac.addScriptResource(kScript, "return \"**SIGNATURE_NAME**\"\n");
        TestPlatform platform(mac);
        QTemporaryDir userTemporary;
        const Paths paths(mac.home(), mac.root(), userTemporary.path());
        const AppleScriptRunner runner(paths, *platform.bundle);
        mac.setScriptResult(kScript, "", QString(row[2]).replace("\\n", "\n"), row[3].toInt());
        mac.writeFile("/var/fake-mac/osascript/" + kScript + "/stdout",
                      QByteArray::fromPercentEncoding(row[1].toUtf8()));
        if (row[0] == "crash")
            mac.setScriptCrash(kScript);
        if (row[0] == "no-tool")
            QFile::remove(mac.rootPath("/usr/bin/osascript"));
        if (row[0] == "no-resource")
            QFile::remove(platform.bundle->resourcePath(kScript, "applescript"));
        if (row[0] == "no-tmp") {  // a file where the folder should be
            ASSERT_TRUE(QDir(userTemporary.path()).removeRecursively());
            ASSERT_TRUE(QFile(userTemporary.path()).open(QIODevice::WriteOnly));
        }
        const bool replace = row[4] == "yes";
        const auto answer =
            runner.runAppleScript(kScript, replace ? kName : Replacements{}, row[5] == "yes");
        EXPECT_EQ(answer.value_or("-"),
                  QString::fromUtf8(QByteArray::fromPercentEncoding(row[6].toUtf8())));
        EXPECT_EQ(!mac.osascriptRuns().isEmpty(), row[7] == "yes");
        if (row[7] == "yes") {
            EXPECT_EQ(mac.lastScriptText(kScript), QString("-- Test-Script\nreturn \"%1\"\n")
                                                       .arg(replace ? "n" : "**SIGNATURE_NAME**"));
        }
        if (row[7] == "yes" && replace) {
            const QString scriptPath = FakeScriptLastPath(mac, kScript);
            EXPECT_TRUE(scriptPath.startsWith(userTemporary.path() + "/"))
                << scriptPath.toStdString();
            EXPECT_TRUE(ParseUuid(QFileInfo(scriptPath).fileName()));
            EXPECT_EQ(FakeScriptLastMode(mac, kScript), "600");
        }
        if (row[0] != "no-tmp") {
            EXPECT_TRUE(QDir(userTemporary.path()).isEmpty());
        }
    }
}

// Values put in are never searched for placeholders, and only the whole bundle identifier
// names a running application.
TEST(AppleScriptTest, ValuesPutInAreNeverSearchedAndOnlyAWholeIdentifierIsRunning) {
    FakeMac mac;
    mac.addScriptResource(kScript, "**SIGNATURE_CONTENT**|**SIGNATURE_NAME**|**ACCOUNTS**");
    TestPlatform platform(mac);
    const AppleScriptRunner runner(mac.paths(), *platform.bundle);
    EXPECT_EQ(
        runner.appleScriptText(kScript, {{"**ACCOUNTS**", "**SIGNATURE_CONTENT**"},
                                         {"**SIGNATURE_CONTENT**", "<p>**SIGNATURE_NAME**</p>"},
                                         {"**SIGNATURE_NAME**", "**ACCOUNTS**"}}),
        "-- Test-Script\n<p>**SIGNATURE_NAME**</p>|**ACCOUNTS**|**SIGNATURE_CONTENT**");
    mac.setRunning({"com.apple.mail", "org.mozilla.thunderbird"});
    EXPECT_TRUE(IsApplicationRunning(platform.workspace, "com.apple.mail"));
    EXPECT_FALSE(IsApplicationRunning(platform.workspace, "com.apple"));
}

}  // namespace
}  // namespace quillet
