#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "app/base/AppleScript.h"
#include "common/Log.h"
#include "common/Text.h"
#include "tests/support/FakeMacScripts.h"
#include "tests/support/TestPlatform.h"

namespace quillet {
namespace {

class AppleScriptTest : public testing::Test {
protected:
    AppleScriptTest() {
        mac.addScriptResource("Test-Script", "return \"**SIGNATURE_NAME**\"\n");
        platform.reloadBundle();
    }
    QStringList temporaryFiles() const {
        return QDir(mac.rootPath("/tmp")).entryList(QDir::Files | QDir::NoDotAndDotDot);
    }
    std::optional<QString> run(const Replacements& replacements = {}, bool emptyIsError = false) {
        return runner.runAppleScript("Test-Script", replacements, emptyIsError);
    }

    FakeMac mac;
    TestPlatform platform{mac};
    AppleScriptRunner runner{mac.paths(), *platform.bundle};
    LogTap log;
};

TEST_F(AppleScriptTest, RunWithoutReplacementsRunsTheResourceAndLosesOneTrailingNewline) {
    mac.setScriptResult("Test-Script", "true\n");
    ASSERT_EQ(run(), "true");
    EXPECT_TRUE(log.contains("Info: Running AppleScript \"Test-Script\"..."));
    EXPECT_EQ(mac.lastScriptText("Test-Script"), "-- Test-Script\nreturn \"**SIGNATURE_NAME**\"\n");
    EXPECT_TRUE(temporaryFiles().isEmpty());
    mac.setScriptResult("Test-Script", "a\n\n");
    EXPECT_EQ(run(), "a\n");
    EXPECT_TRUE(log.contains(
        "Info: Raw output from AppleScript \"Test-Script\":\na\n\n--- end of raw output ---"));
}

TEST_F(AppleScriptTest, ReplacementsGoThroughATemporaryFileThatIsRemovedOnEveryPath) {
    const Replacements replacements{{"**SIGNATURE_CONTENT**", "c"}, {"**SIGNATURE_NAME**", "n"}};
    mac.setScriptResult("Test-Script", "ok\n");
    ASSERT_EQ(run(replacements), "ok");
    EXPECT_TRUE(log.contains("Info: Running AppleScript \"Test-Script\" with 2 replacement(s)..."));
    EXPECT_EQ(mac.lastScriptText("Test-Script"), "-- Test-Script\nreturn \"n\"\n");
    EXPECT_TRUE(temporaryFiles().isEmpty());

    mac.setScriptResult("Test-Script", "", "boom", 1);
    EXPECT_FALSE(run(replacements));
    EXPECT_TRUE(temporaryFiles().isEmpty());
    mac.setScriptCrash("Test-Script");
    EXPECT_FALSE(run(replacements));
    EXPECT_TRUE(temporaryFiles().isEmpty());
}

TEST_F(AppleScriptTest, ScriptWithReplacementsIsWrittenForTheUserAloneInTheirTemporaryFolder) {
    // TMPDIR, as on a Mac, where the folder is the user's own.
    QTemporaryDir userTemporary;
    const Paths paths(mac.home(), mac.root(), userTemporary.path());
    const AppleScriptRunner privateRunner(paths, *platform.bundle);
    mac.setScriptResult("Test-Script", "ok\n");
    ASSERT_EQ(privateRunner.runAppleScript("Test-Script", {{"**SIGNATURE_NAME**", "Ann"}}), "ok");
    const QString scriptPath = FakeScriptLastPath(mac, "Test-Script");
    EXPECT_TRUE(scriptPath.startsWith(userTemporary.path() + "/")) << scriptPath.toStdString();
    EXPECT_TRUE(ParseUuid(QFileInfo(scriptPath).fileName()));
    EXPECT_EQ(FakeScriptLastMode(mac, "Test-Script"), "600");
    EXPECT_FALSE(QFile::exists(scriptPath));
    EXPECT_TRUE(temporaryFiles().isEmpty());  // nothing in the shared folder
}

TEST_F(AppleScriptTest, MissingScriptResourceIsAFailureWithOrWithoutReplacements) {
    QFile::remove(platform.bundle->resourcePath("Test-Script", "applescript"));
    EXPECT_FALSE(runner.appleScriptText("Test-Script", {{"**SIGNATURE_NAME**", "n"}}));
    EXPECT_TRUE(log.containsText("Error: Could not read AppleScript \"Test-Script\" at "));
    for (const Replacements& replacements : {Replacements{}, {{"**SIGNATURE_NAME**", "n"}}}) {
        log.clear();
        mac.setScriptResult("Test-Script", "");  // an empty script would print nothing
        EXPECT_FALSE(run(replacements)) << replacements.size();
        EXPECT_TRUE(log.contains("Error: Could not execute AppleScript from \"Test-Script\":\n"))
            << replacements.size();
    }
    EXPECT_TRUE(mac.osascriptRuns().isEmpty());
    EXPECT_TRUE(temporaryFiles().isEmpty());
}

TEST_F(AppleScriptTest, ValuesPutInAreNeverSearchedForPlaceholders) {
    mac.addScriptResource("Test-Script", "**SIGNATURE_CONTENT**|**SIGNATURE_NAME**|**ACCOUNTS**");
    const auto text = runner.appleScriptText(
        "Test-Script", {{"**ACCOUNTS**", "**SIGNATURE_CONTENT**"},
                        {"**SIGNATURE_CONTENT**", "<p>**SIGNATURE_NAME**</p>"},
                        {"**SIGNATURE_NAME**", "**ACCOUNTS**"}});
    EXPECT_EQ(text, "-- Test-Script\n<p>**SIGNATURE_NAME**</p>|**ACCOUNTS**|**SIGNATURE_CONTENT**");
}

TEST_F(AppleScriptTest, NotAuthorizedMakesTheResultAbsentEvenWithOutput) {
    mac.setScriptResult(
        "Test-Script", "true\n",
        "x.scpt: execution error: Not authorized to send Apple events to Mail. (-1743)\n", 1);
    EXPECT_FALSE(run());
    EXPECT_TRUE(
        log.contains("Info: Could not execute AppleScript \"Test-Script\": not authorized to send "
                     "Apple events"));
}

TEST_F(AppleScriptTest, ToolThatFailsWithoutOutputIsAFailedRunNotAnEmptyAnswer) {
    mac.setScriptResult("Test-Script", "", "first\n  last error  \n\n", 1);
    EXPECT_FALSE(run());
    EXPECT_TRUE(log.containsText(
        "Error: Could not execute AppleScript from \"Test-Script\":\n-- Test-Script"));
    EXPECT_TRUE(log.contains("Error: Last error line: \"last error\""));

    log.clear();
    mac.setScriptCrash("Test-Script");
    EXPECT_FALSE(run());
    EXPECT_TRUE(log.contains("Error: No last error line"));

    log.clear();
    QFile::remove(mac.rootPath("/usr/bin/osascript"));  // the tool cannot start at all
    EXPECT_FALSE(run());
    EXPECT_TRUE(log.containsText("Error: Could not execute AppleScript from \"Test-Script\""));
}

TEST_F(AppleScriptTest, EmptyOutputIsAnAnswerUnlessTheCallerSaysOtherwise) {
    mac.setScriptResult("Test-Script", "");
    EXPECT_EQ(run(), "");
    EXPECT_EQ(log.lines().size(), 2u);  // the start line and the raw-output line
    EXPECT_FALSE(run({}, true));
    EXPECT_TRUE(log.contains("Error: Treating empty AppleScript \"Test-Script\" output as error"));
    EXPECT_TRUE(log.contains("Error: No last error line"));
}

TEST_F(AppleScriptTest, OutputThatIsNotUtf8FailsTheRun) {
    mac.writeFile("/var/fake-mac/osascript/Test-Script/stdout", QByteArray("\xff\xfe ok", 5));
    EXPECT_FALSE(run());
}

TEST_F(AppleScriptTest, UnwritableTemporaryFolderIsReported) {
    QDir(mac.rootPath("/tmp")).removeRecursively();
    mac.writeFile("/tmp", "a file where the folder should be");
    EXPECT_FALSE(run({{"**SIGNATURE_NAME**", "n"}}));
    EXPECT_TRUE(log.containsText(
        "Error: Could not write AppleScript with replacements into temporary file at " +
        mac.rootPath("/tmp/")));
    EXPECT_TRUE(mac.osascriptRuns().isEmpty());
}

TEST(AppleScriptEscaping, EscapesBackslashesThenQuotes) {
    EXPECT_EQ(EscapeForAppleScript("a\"\\"), "a\\\"\\\\");
    auto* random = QRandomGenerator::global();
    const QString alphabet = "ab\\\"\n\u00e9";
    for (int round = 0; round < 2000; ++round) {
        QString text;
        const int length = random->bounded(12);
        for (int i = 0; i < length; ++i)
            text += alphabet.at(random->bounded(alphabet.size()));
        ASSERT_EQ(UnescapeFromAppleScript(EscapeForAppleScript(text)), text) << text.toStdString();
    }
}

TEST(ApplicationRunning, MatchesTheWholeBundleIdentifier) {
    FakeMac mac;
    FileWorkspace workspace(mac.paths());
    mac.setRunning({"com.apple.mail", "org.mozilla.thunderbird"});
    EXPECT_TRUE(IsApplicationRunning(workspace, "com.apple.mail"));
    EXPECT_FALSE(IsApplicationRunning(workspace, "com.apple"));
}

}  // namespace
}  // namespace quillet
