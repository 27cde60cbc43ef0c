#include <gtest/gtest.h>

#include "tests/support/PreviewCheck.h"

namespace quillet {
namespace {

class QuilletDryRunCommandTest : public testing::Test, public SampleMacCommand {};

// Each command in each client; an uninstall changes more than the signature's own file (a
// client's lists of signatures and each account's default), and its preview must name them all.
TEST_F(QuilletDryRunCommandTest, ThePreviewOfEachCommandIsWhatTheCommandThenDoes) {
    setSignature("k-team", "<p>Team</p>");
    const std::vector<QStringList> steps = {
        {"install", "--key", "k-team", "--client", "applemail", "--account", "ann@example.com"},
        {"install", "--key", "k-team", "--client", "outlook"},
        {"install", "--key", "k-team", "--client", "postbox"},
        {"install", "--key", "k-team", "--client", "spark"},
        {"install", "--key", "k-team", "--client", "thunderbird", "--account", "tom@example.com"},
        {"update", "Signature Name 2"},
        {"rename", "Signature Name 3", "The Team"},
        {"refresh"},
        {"uninstall", "Signature Name 1"},
        {"uninstall", "Signature Name 2"},
        {"uninstall", "The Team"},
        {"uninstall", "Signature Name 4"},
        {"uninstall", "Signature Name 5"},
    };
    for (const QStringList& step : steps) {
        if (step.first() == "refresh")
            setSignature("k-team", "<p>Team, changed</p>");
        const PreviewCheck check = CheckPreview(*this, step);
        EXPECT_EQ(check.preview.exitCode, 0) << check.preview.err.toStdString();
        EXPECT_EQ(check.real.exitCode, 0) << check.real.err.toStdString();
        EXPECT_EQ(check.mismatches.join('\n').toStdString(), "") << step.join(' ').toStdString();
    }
}

TEST_F(QuilletDryRunCommandTest, ADryRunPrintsDiffsAndChangesNothing) {
    setSignature("k-tom", "<p>Tom</p>");
    const CommandRun text = quillet({"--yes", "--dry-run", "install", "--key", "k-tom", "--client",
                                     "thunderbird", "--account", "tom@example.com"});
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_TRUE(text.out.contains("--- " + sample.thunderbirdPrefs + "\n+++ " +
                                  sample.thunderbirdPrefs + "\n@@ "))
        << text.out.toStdString();
    EXPECT_TRUE(text.out.contains("+user_pref(\"mail.identity.id1.htmlSigText\", \"<p>Tom</p>\");"))
        << text.out.toStdString();
    EXPECT_EQ(json({"list"}), nlohmann::json::array());
}

}  // namespace
}  // namespace quillet
