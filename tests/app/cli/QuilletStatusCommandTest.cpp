#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/demo/FakeMacMozilla.h"
#include "tests/support/SampleMacCommand.h"

namespace quillet {
namespace {

class QuilletStatusCommandTest : public testing::Test, public SampleMacCommand {};

// "Later" keeps the installation pending: status names it and fails, and the next refresh
// answered Yes closes the client and writes it, after which status is clean.
TEST_F(QuilletStatusCommandTest, APostponedInstallationStaysPendingUntilARefreshAnsweredYes) {
    setSignature("k-ann", "<p>Ann</p>");
    setSignature("k-team", "<p>Team</p>");
    ASSERT_EQ(quillet({"--yes", "install", "--key", "k-team", "--client", "outlook"}).exitCode, 0);
    mac.setRunning({"com.apple.mail"});
    const CommandRun later = quillet({"--later", "--json", "install", "--key", "k-ann", "--client",
                                      "applemail", "--account", "ann@example.com"});
    ASSERT_EQ(later.exitCode, 0) << later.err.toStdString();
    const auto ann = nlohmann::json::parse(later.out.toStdString());
    // Asked once (the refresh that adding the signature started does not ask again), answered
    // Later: nothing closed, nothing written.
    EXPECT_EQ(later.err.count("Some email clients need to be closed."), 1)
        << later.err.toStdString();
    EXPECT_TRUE(
        later.err.contains("The following email clients need to be closed in order to "
                           "update signatures:\nApple Mail\n\n-> Later"));
    EXPECT_FALSE(later.err.contains("Signatures were updated successfully"));
    EXPECT_TRUE(mac.workspaceLog().isEmpty());

    const CommandRun pending = quillet({"--json", "status"});
    EXPECT_EQ(pending.exitCode, 1) << pending.err.toStdString();
    const auto status = nlohmann::json::parse(pending.out.toStdString());
    ASSERT_EQ(status["signatures"].size(), 2u);
    EXPECT_EQ(status["signatures"][1]["name"], ann["name"]);
    ExpectJsonFields(status, "cli/json-fields.tsv", "status pending");
    EXPECT_EQ(quillet({"status"}).out.count("pending: AppleMail"), 1);

    // Still running at the next refresh: asked again, still pending.
    const CommandRun stillLater = quillet({"--later", "refresh"});
    EXPECT_EQ(stillLater.exitCode, 0) << stillLater.err.toStdString();
    EXPECT_TRUE(stillLater.err.contains("not updated now (Later)")) << stillLater.err.toStdString();
    EXPECT_EQ(appleMailFile(ann), "(none)");
    EXPECT_EQ(quillet({"status"}).exitCode, 1);

    // Yes closes it, and --reopen opens it again.
    const CommandRun refresh = quillet({"--yes", "--reopen", "refresh"});
    EXPECT_EQ(refresh.exitCode, 0) << refresh.err.toStdString();
    EXPECT_TRUE(appleMailFile(ann).endsWith("<p>Ann</p>"));
    EXPECT_EQ(mac.workspaceLog(),
              (QStringList{"terminate com.apple.mail",
                           "launch " + mac.rootPath("/System/Applications/Mail.app")}));
    const CommandRun clean = quillet({"--json", "status"});
    EXPECT_EQ(clean.exitCode, 0) << clean.out.toStdString();
    ExpectJsonFields(nlohmann::json::parse(clean.out.toStdString()), "cli/json-fields.tsv",
                     "status written");
}

// A pass that fails leaves its installations pending and its problems on record; a failed
// refresh fails the status too.
TEST_F(QuilletStatusCommandTest, FailedPassesAndRefreshesShowInTheStatus) {
    setSignature("k-team", "<p>Team</p>");
    // A folder where Postbox's signatures file should be: it cannot be read or written.
    const QByteArray postboxSignatures = ReadFakeFile(sample.postboxSignatures).value();
    QFile::remove(sample.postboxSignatures);
    QDir().mkpath(sample.postboxSignatures);
    const CommandRun failed =
        quillet({"--yes", "install", "--key", "k-team", "--client", "postbox"});
    EXPECT_EQ(failed.exitCode, 1) << failed.err.toStdString();
    auto status = json({"status"});
    EXPECT_EQ(status["signatures"][0]["pending"], nlohmann::json({"Postbox"}));
    EXPECT_EQ(status["problems"].size(), 1u) << status.dump();

    QDir(sample.postboxSignatures).removeRecursively();
    mac.writeFile(sample.postboxSignatures, postboxSignatures);
    ASSERT_EQ(quillet({"--yes", "refresh"}).exitCode, 0);
    status = json({"status"});
    EXPECT_EQ(status["signatures"][0]["pending"], nlohmann::json::array());
    EXPECT_EQ(status["problems"], nlohmann::json::array());
    EXPECT_EQ(quillet({"status"}).exitCode, 0);

    service->stop();
    EXPECT_EQ(quillet({"refresh"}).exitCode, 1);
    const CommandRun afterFailure = quillet({"--json", "status"});
    EXPECT_EQ(afterFailure.exitCode, 1);
    EXPECT_EQ(nlohmann::json::parse(afterFailure.out.toStdString())["lastRefresh"]["success"],
              false);
}

}  // namespace
}  // namespace quillet
