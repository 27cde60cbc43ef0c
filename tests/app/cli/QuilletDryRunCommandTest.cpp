#include <gtest/gtest.h>

#include "tests/support/PreviewCheck.h"

namespace quillet {
namespace {

class QuilletDryRunCommandTest : public testing::Test, public SampleMacCommand {};

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
        {"uninstall", "Signature Name 4"},
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

// An uninstall changes more than the signature's own file (a client's lists of signatures and
// each account's default): its preview names every file the uninstall then changes.
class UninstallPreviewTest : public QuilletDryRunCommandTest,
                             public testing::WithParamInterface<QStringList> {};

TEST_P(UninstallPreviewTest, ThePreviewOfAnUninstallIsEveryChangeItMakes) {
    setSignature("k-team", "<p>Team</p>");
    const CommandRun install =
        quillet(QStringList{"--yes", "install", "--key", "k-team", "--client"} + GetParam());
    ASSERT_EQ(install.exitCode, 0) << install.err.toStdString();
    const PreviewCheck check = CheckPreview(*this, {"uninstall", "1"});
    EXPECT_EQ(check.preview.exitCode, check.real.exitCode) << check.preview.err.toStdString();
    EXPECT_EQ(check.mismatches.join('\n').toStdString(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Clients, UninstallPreviewTest,
    testing::Values(QStringList{"applemail", "--account", "ann@example.com"},
                    QStringList{"outlook"}, QStringList{"postbox"}, QStringList{"spark"},
                    QStringList{"thunderbird", "--account", "tom@example.com"}),
    [](const auto& info) { return info.param.first().toStdString(); });

TEST_F(QuilletDryRunCommandTest, ADryRunPrintsDiffsAndRefusesWhatItCannotPreview) {
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
    EXPECT_EQ(quillet({"--dry-run", "list"}).exitCode, 2);
    const CommandRun refused =
        quillet({"--yes", "--dry-run", "install", "--key", "k-nobody", "--client", "outlook"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("Signature key not found.")) << refused.err.toStdString();
}

}  // namespace
}  // namespace quillet
