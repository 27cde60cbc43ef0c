// What is not done yet, over each client: the work a killed process, a client that is away or an
// account not found leaves is pending in `status` and finished by the next refresh that can.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/clients/Detection.h"
#include "app/demo/FakeMacDatabase.h"
#include "app/demo/FakeMacMozilla.h"
#include "tests/support/SampleMacCommand.h"

namespace quillet {
namespace {

const QString kSuccess = "Signatures were updated successfully";

// The signature installed for one account of the sample Mac (all of
// Outlook's: the stand-in Outlook does not take the sample's per-account defaults yet).
class QuilletPendingWorkTest : public testing::Test,
                               public SampleMacCommand,
                               public testing::WithParamInterface<ClientKind> {
protected:
    QString client() const { return StoredText(GetParam()); }
    QString account() const {
        static const std::map<ClientKind, QString> accounts = {
            {ClientKind::appleMail, "ann@example.com"},
            {ClientKind::postbox, "pat@example.com"},
            {ClientKind::spark, "sue@example.com"},
            {ClientKind::thunderbird, "tom@example.com"}};
        const auto found = accounts.find(GetParam());
        return found == accounts.end() ? QString() : found->second;
    }

    // Installs the key's signature; its JSON.
    nlohmann::json install(const QString& key) const {
        QStringList arguments{"--yes", "--json", "install", "--key", key, "--client", client()};
        if (!account().isEmpty())
            arguments << "--account" << account();
        const CommandRun run = quillet(arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return nlohmann::json::parse(run.out.toStdString(), nullptr, false);
    }

    // The client's application bundle, which moving away makes the client undetected.
    QString applicationPath() const {
        return GetParam() == ClientKind::appleMail
                   ? mac.rootPath("/System/Applications/Mail.app")
                   : mac.rootPath("/Applications/" + ApplicationBundleName(GetParam()));
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

// What a process killed between storing a change and writing the clients leaves (the new text
// stored without its reinstallation marks, or a signature selected and written nowhere) is
// pending by what the clients hold, not by marks alone: status says so and the next refresh
// writes it.
class QuilletStaleClientTest : public QuilletPendingWorkTest {};

TEST_P(QuilletStaleClientTest, AStaleClientIsPendingAndRefreshedEvenWithoutItsMarks) {
    setSignature("k-work", "<p>Old</p>");
    const QString id = QString::fromStdString(install("k-work")["id"]);
    ASSERT_TRUE(clientHolds(GetParam(), "<p>Old</p>"));
    setSignature("k-work", "<p>New</p>");
    ASSERT_TRUE(ExecuteFakeDatabaseSql(
        dataPath("DataV2.sqlite"),
        "UPDATE ZSIGNATUREENTITYV2 SET ZMAINTEXTQE = '<p>New</p>';"
        "UPDATE ZSELECTEDINSTALLATIONENTITYV2 SET ZPENDINGREINSTALLATION = 0"));
    EXPECT_EQ(pending(id), std::pair(nlohmann::json({client().toStdString()}), 1));
    const CommandRun refresh = quillet({"--yes", "refresh"});
    EXPECT_EQ(refresh.exitCode, 0) << refresh.err.toStdString();
    EXPECT_TRUE(clientHolds(GetParam(), "<p>New</p>"));
    EXPECT_FALSE(clientHolds(GetParam(), "<p>Old</p>"));
    EXPECT_EQ(pending(id), std::pair(nlohmann::json::array(), 0));

    // Selected, written nowhere, and no mark: still pending.
    ASSERT_TRUE(ExecuteFakeDatabaseSql(dataPath("DataV2.sqlite"),
                                       "DELETE FROM ZPERFORMEDINSTALLATIONENTITYV2"));
    EXPECT_EQ(pending(id), std::pair(nlohmann::json({client().toStdString()}), 1));
}

// Uninstalling while the client is away (its application moved) cannot remove the signature
// from it: the command says so and fails, and the signature stays, on its way out and pending,
// until the client is back and a refresh removes it there.
class QuilletAwayClientTest : public QuilletPendingWorkTest {};

TEST_P(QuilletAwayClientTest, AnUninstallWaitsForAClientThatIsAwayAndFinishesWhenItIsBack) {
    setSignature("k-work", "<p>Work</p>");
    const QString id = QString::fromStdString(install("k-work")["id"]);
    const QString away = applicationPath() + ".away";
    ASSERT_TRUE(QDir().rename(applicationPath(), away));

    const CommandRun uninstall = quillet({"--yes", "uninstall", id});
    EXPECT_EQ(uninstall.exitCode, 1) << uninstall.err.toStdString();
    EXPECT_TRUE(uninstall.err.contains(
        "The following email client is no longer available: " + DisplayName(GetParam()) + "."))
        << uninstall.err.toStdString();
    EXPECT_FALSE(uninstall.err.contains(kSuccess));
    const auto all = json({"list", "--all"});
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0]["pendingDeletion"], true);
    EXPECT_EQ(pending(id), std::pair(nlohmann::json({client().toStdString()}), 1));
    EXPECT_TRUE(
        quillet({"status"}).out.contains("pending: " + client() + " (client not detected)"));
    EXPECT_EQ(quillet({"refresh"}).exitCode, 0);  // nothing it can do; nothing lost either
    EXPECT_EQ(json({"list", "--all"}).size(), 1u);

    ASSERT_TRUE(QDir().rename(away, applicationPath()));
    EXPECT_TRUE(clientHolds(GetParam(), "<p>Work</p>"));
    const CommandRun refresh = quillet({"--yes", "refresh"});
    EXPECT_EQ(refresh.exitCode, 0) << refresh.err.toStdString();
    EXPECT_FALSE(clientHolds(GetParam(), "<p>Work</p>"));
    EXPECT_EQ(quillet({"status"}).exitCode, 0);
    EXPECT_EQ(json({"list", "--all"}), nlohmann::json::array());
}

// The clients whose accounts are listed by a script.
class QuilletAccountStatusTest : public QuilletPendingWorkTest {};

// Without the accounts cache no sync can write the account's signature of a client whose
// accounts a script lists: the refresh says which
// account was not updated and fails, status keeps it pending, and once the accounts are found
// again the next refresh writes it.
TEST_P(QuilletAccountStatusTest, AnAccountNotFoundStaysPendingUntilARefreshAfterDiscoveryWritesIt) {
    setSignature("k-work", "<p>Old</p>");
    const QString id = QString::fromStdString(install("k-work")["id"]);
    ASSERT_TRUE(QFile::remove(dataPath("CachedAccounts.plist")));
    setSignature("k-work", "<p>New</p>");

    const CommandRun refresh = quillet({"--yes", "refresh"});
    EXPECT_EQ(refresh.exitCode, 1) << refresh.err.toStdString();
    EXPECT_TRUE(refresh.err.contains(DisplayName(GetParam()) + ": Not updated for " + account() +
                                     ": the email account was not found."))
        << refresh.err.toStdString();
    EXPECT_FALSE(refresh.err.contains(kSuccess));
    EXPECT_EQ(pending(id), std::pair(nlohmann::json({client().toStdString()}), 1));
    EXPECT_TRUE(
        quillet({"status"})
            .out.contains("pending: " + client() + " (accounts not found: " + account() + ")"));

    ASSERT_EQ(quillet({"accounts", "--discover", client()}).exitCode, 0);
    const CommandRun after = quillet({"--yes", "refresh"});
    EXPECT_EQ(after.exitCode, 0) << after.err.toStdString();
    EXPECT_TRUE(after.err.contains(kSuccess));
    EXPECT_TRUE(clientHolds(GetParam(), "<p>New</p>"));
    EXPECT_EQ(pending(id), std::pair(nlohmann::json::array(), 0));
}

// The clients whose accounts are in their own files.
class QuilletFileAccountsTest : public QuilletPendingWorkTest {};

// A lost accounts cache loses no account that the client's own files list: the command reads
// them again, so an uninstall still takes Quillet's signature out and gives the person's back.
TEST_P(QuilletFileAccountsTest, AnUninstallAfterTheAccountsCacheWasLostStillLeavesTheClient) {
    setSignature("k-work", "<p>Work</p>");
    const QString id = QString::fromStdString(install("k-work")["id"]);
    ASSERT_TRUE(clientHolds(GetParam(), "<p>Work</p>"));
    ASSERT_TRUE(QFile::remove(dataPath("CachedAccounts.plist")));

    const CommandRun uninstall = quillet({"--yes", "uninstall", id});
    EXPECT_EQ(uninstall.exitCode, 0) << uninstall.err.toStdString();
    EXPECT_FALSE(clientHolds(GetParam(), "<p>Work</p>"));
    EXPECT_EQ(json({"list", "--all"}), nlohmann::json::array());
}

std::string ClientName(const testing::TestParamInfo<ClientKind>& info) {
    return StoredText(info.param).toStdString();
}

// Each kind of storage once: a folder of files, the script-driven all-accounts client, a
// prefs.js; then a client found by its application, and one by its database.
INSTANTIATE_TEST_SUITE_P(Clients, QuilletStaleClientTest,
                         testing::Values(ClientKind::appleMail, ClientKind::outlook,
                                         ClientKind::thunderbird),
                         ClientName);
INSTANTIATE_TEST_SUITE_P(Clients, QuilletAwayClientTest,
                         testing::Values(ClientKind::postbox, ClientKind::spark), ClientName);
INSTANTIATE_TEST_SUITE_P(Clients, QuilletAccountStatusTest, testing::Values(ClientKind::appleMail),
                         ClientName);
INSTANTIATE_TEST_SUITE_P(Clients, QuilletFileAccountsTest,
                         testing::Values(ClientKind::postbox, ClientKind::spark,
                                         ClientKind::thunderbird),
                         ClientName);

}  // namespace
}  // namespace quillet
