#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/clients/accounts/DiscoverAccounts.h"
#include "app/demo/FakeMacDatabase.h"
#include "app/demo/FakeMacMozilla.h"
#include "tests/support/FakeMacClient.h"
#include "tests/support/SampleMacCommand.h"

namespace quillet {
namespace {

const QString kSuccess = "Signatures were updated successfully";

// The signature installed for the first account of the client in the sample Mac (all of
// Outlook's: the stand-in Outlook does not take the sample's per-account defaults yet).
class QuilletPendingWorkTest : public testing::Test,
                               public SampleMacCommand,
                               public testing::WithParamInterface<ClientKind> {
protected:
    QString client() const { return StoredText(GetParam()); }
    QString account() const {
        const auto accounts = MakeFakeMacClient(mac, GetParam())->read().accounts;
        return GetParam() == ClientKind::outlook ? QString() : accounts.begin()->second;
    }

    // Installs the key's signature; its JSON.
    nlohmann::json install(const QString& key) const {
        const QStringList account{"--account", this->account()};
        return SampleMacCommand::install(QStringList{"--key", key, "--client", client()} +
                                         (this->account().isEmpty() ? QStringList() : account));
    }

    // The status's pending clients of the signature, and its exit status.
    std::pair<nlohmann::json, int> pending(const QString& id) const {
        const CommandRun run = quillet({"--json", "status"});
        const auto status = nlohmann::json::parse(run.out.toStdString(), nullptr, false);
        for (const auto& signature : status.value("signatures", nlohmann::json::array())) {
            if (signature["id"] == id.toStdString())
                return {signature["pending"], run.exitCode};
        }
        return {nullptr, run.exitCode};
    }
};

// One walk per client through what leaves work pending, each checked in status and finished by
// the next refresh that can:
// - a process killed between storing a change and writing the clients (the new text stored
//   without its reinstallation marks, or a signature selected and written nowhere): pending by
//   what the client holds, not by marks alone;
// - a lost accounts cache: a client whose own files list its accounts has them read again; one
//   whose accounts a script lists cannot be written for the account (the refresh says so and
//   fails) until its accounts are discovered again;
// - an uninstall while the client is away (its application moved): the command says so and
//   fails, and the signature stays, on its way out and pending, until the client is back.
TEST_P(QuilletPendingWorkTest, StaleClientsLostFileAccountsAndAwayClientsStayPendingUntilWritten) {
    const bool scripted = !AccountsAreReadFromFiles(GetParam()) && !account().isEmpty();
    setSignature("k-work", "<p>Old</p>");
    const QString id = QString::fromStdString(install("k-work")["id"]);
    ASSERT_TRUE(clientHolds(GetParam(), "<p>Old</p>"));
    setSignature("k-work", "<p>New</p>");
    ASSERT_TRUE(ExecuteFakeDatabaseSql(
        dataPath("DataV2.sqlite"),
        "UPDATE ZSIGNATUREENTITYV2 SET ZMAINTEXTQE = '<p>New</p>';"
        "UPDATE ZSELECTEDINSTALLATIONENTITYV2 SET ZPENDINGREINSTALLATION = 0"));
    const std::pair pendingHere(nlohmann::json({client().toStdString()}), 1);
    EXPECT_EQ(pending(id), pendingHere);
    ASSERT_EQ(quillet({"--yes", "refresh"}).exitCode, 0);
    EXPECT_TRUE(clientHolds(GetParam(), "<p>New</p>"));
    EXPECT_FALSE(clientHolds(GetParam(), "<p>Old</p>"));
    EXPECT_EQ(pending(id), std::pair(nlohmann::json::array(), 0));

    ASSERT_TRUE(QFile::remove(dataPath("CachedAccounts.plist")));
    setSignature("k-work", "<p>Newer</p>");
    if (scripted) {
        const CommandRun refresh = quillet({"--yes", "refresh"});
        EXPECT_EQ(refresh.exitCode, 1) << refresh.err.toStdString();
        EXPECT_TRUE(refresh.err.contains(DisplayName(GetParam()) + ": Not updated for " +
                                         account() + ": the email account was not found."))
            << refresh.err.toStdString();
        EXPECT_FALSE(refresh.err.contains(kSuccess));
        EXPECT_EQ(pending(id), pendingHere);
        EXPECT_TRUE(
            quillet({"status"})
                .out.contains("pending: " + client() + " (accounts not found: " + account() + ")"));
        ASSERT_EQ(quillet({"accounts", "--discover", client()}).exitCode, 0);
    }
    const CommandRun refresh = quillet({"--yes", "refresh"});
    EXPECT_EQ(refresh.exitCode, 0) << refresh.err.toStdString();
    EXPECT_TRUE(refresh.err.contains(kSuccess));
    EXPECT_TRUE(clientHolds(GetParam(), "<p>Newer</p>"));
    EXPECT_EQ(pending(id), std::pair(nlohmann::json::array(), 0));

    const auto person = MakeFakeMacClient(mac, GetParam());
    person->setInstalled(false);
    const CommandRun uninstall = quillet({"--yes", "uninstall", id});
    EXPECT_EQ(uninstall.exitCode, 1) << uninstall.err.toStdString();
    EXPECT_TRUE(uninstall.err.contains(
        "The following email client is no longer available: " + DisplayName(GetParam()) + "."))
        << uninstall.err.toStdString();
    EXPECT_FALSE(uninstall.err.contains(kSuccess));
    ExpectJsonFields(json({"list", "--all"}), "cli/json-fields.tsv", "away uninstalled");
    EXPECT_EQ(pending(id), pendingHere);
    EXPECT_TRUE(
        quillet({"status"}).out.contains("pending: " + client() + " (client not detected)"));
    EXPECT_EQ(quillet({"refresh"}).exitCode, 0);  // nothing it can do; nothing lost either
    EXPECT_EQ(json({"list", "--all"}).size(), 1u);

    person->setInstalled(true);
    EXPECT_EQ(quillet({"--yes", "refresh"}).exitCode, 0);
    EXPECT_FALSE(clientHolds(GetParam(), "<p>Newer</p>"));
    EXPECT_EQ(quillet({"status"}).exitCode, 0);
    EXPECT_EQ(json({"list", "--all"}), nlohmann::json::array());

    // Selected, written nowhere, and no mark: still pending.
    const QString again = QString::fromStdString(install("k-work")["id"]);
    ASSERT_TRUE(ExecuteFakeDatabaseSql(dataPath("DataV2.sqlite"),
                                       "DELETE FROM ZPERFORMEDINSTALLATIONENTITYV2"));
    EXPECT_EQ(pending(again), pendingHere);
}

class QuilletStatusCommandTest : public testing::Test, public SampleMacCommand {};

// "Later" keeps the installation pending: status names it and fails, and the next refresh
// answered Yes closes the client and writes it, after which status is clean.
TEST_F(QuilletStatusCommandTest, APostponedInstallationOrAFailedPassStaysPendingInTheStatus) {
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
    EXPECT_FALSE(clientHolds(ClientKind::appleMail, "<p>Ann</p>"));
    EXPECT_EQ(quillet({"status"}).exitCode, 1);

    // Yes closes it, and --reopen opens it again.
    const CommandRun refresh = quillet({"--yes", "--reopen", "refresh"});
    EXPECT_EQ(refresh.exitCode, 0) << refresh.err.toStdString();
    EXPECT_TRUE(clientHolds(ClientKind::appleMail, "<p>Ann</p>"));
    EXPECT_EQ(mac.workspaceLog(),
              (QStringList{"terminate com.apple.mail",
                           "launch " + mac.rootPath("/System/Applications/Mail.app")}));
    const CommandRun clean = quillet({"--json", "status"});
    EXPECT_EQ(clean.exitCode, 0) << clean.out.toStdString();
    ExpectJsonFields(nlohmann::json::parse(clean.out.toStdString()), "cli/json-fields.tsv",
                     "status written");

    // A pass that fails leaves its installations pending and its problems on record; a failed
    // refresh fails the status too. A folder where Postbox's signatures file should be: it cannot
    // be read or written.
    const QByteArray postboxSignatures = ReadFakeFile(sample.postboxSignatures).value();
    QFile::remove(sample.postboxSignatures);
    QDir().mkpath(sample.postboxSignatures);
    const CommandRun failed =
        quillet({"--yes", "install", "--key", "k-team", "--client", "postbox"});
    EXPECT_EQ(failed.exitCode, 1) << failed.err.toStdString();
    auto failing = json({"status"});
    EXPECT_EQ(failing["signatures"][2]["pending"], nlohmann::json({"Postbox"}));
    EXPECT_EQ(failing["problems"].size(), 1u) << failing.dump();

    QDir(sample.postboxSignatures).removeRecursively();
    mac.writeFile(sample.postboxSignatures, postboxSignatures);
    ASSERT_EQ(quillet({"--yes", "refresh"}).exitCode, 0);
    failing = json({"status"});
    EXPECT_EQ(failing["signatures"][2]["pending"], nlohmann::json::array());
    EXPECT_EQ(failing["problems"], nlohmann::json::array());
    EXPECT_EQ(quillet({"status"}).exitCode, 0);

    stop();
    EXPECT_EQ(quillet({"refresh"}).exitCode, 1);
    const CommandRun afterFailure = quillet({"--json", "status"});
    EXPECT_EQ(afterFailure.exitCode, 1);
    EXPECT_EQ(nlohmann::json::parse(afterFailure.out.toStdString())["lastRefresh"]["success"],
              false);
}

INSTANTIATE_TEST_SUITE_P(Clients, QuilletPendingWorkTest,
                         testing::Values(ClientKind::appleMail, ClientKind::outlook,
                                         ClientKind::postbox, ClientKind::spark,
                                         ClientKind::thunderbird),
                         [](const testing::TestParamInfo<ClientKind>& info) {
                             return StoredText(info.param).toStdString();
                         });

}  // namespace
}  // namespace quillet
