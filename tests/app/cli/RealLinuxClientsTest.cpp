// The quillet command on a Linux desktop with Evolution, KMail and Geary installed: the
// person's own identities and signatures are made with the clients' own libraries, Quillet
// installs, updates and uninstalls its signatures, and each step is read back the way the client
// itself reads it (Evolution's registry and libedataserver, KDE's identity library, GLib's key
// files). The person's own signature and choices come back as they were.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>

#include "common/ClientKind.h"
#include "tests/support/CommandBuild.h"
#include "tests/support/LinuxClients.h"
#include "tests/support/MachineSnapshot.h"
#include "tests/support/TestService.h"

namespace quillet {
namespace {

const QString kOwn = "<p>Ann's <i>own</i> signature</p>";
const QString kFirst = "<p>Ann <b>\"Quillet\"</b> Example\\</p>\n<p>\tline two</p>";
const QString kSecond = "<p>Bob <a href=\"https://example.com\">Example</a></p>";
const QString kUpdated = "<p>Ann, updated</p>";

// Every file below the folder with its bytes, lock files aside.
FolderFiles Snapshot(const QString& folder) {
    return ReadFolderFiles(folder, [](const QString& path) { return path.endsWith(".lock"); });
}

class RealLinuxClientsTest : public testing::TestWithParam<ClientKind> {
protected:
    void SetUp() override {
        if (const QString reason = LinuxClientsHome::unavailableReason(); !reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(clients.installClients()) << clients.lastError().toStdString();
        ASSERT_TRUE(clients.startBus()) << clients.lastError().toStdString();
        service.setSignature("first-key", kFirst);
        service.setSignature("second-key", kSecond);
    }

    ClientKind kind() const { return GetParam(); }

    // Ann with her own HTML signature, Bob with none.
    void makePersonsIdentities() {
        switch (kind()) {
            case ClientKind::evolution:
                ASSERT_TRUE(
                    clients.addEvolutionSignature("anns-own", "Ann's own", "text/html", kOwn))
                    << clients.lastError().toStdString();
                ASSERT_TRUE(clients.addEvolutionIdentity("ann-identity", "ann@example.com",
                                                         "Ann Example", "anns-own"))
                    << clients.lastError().toStdString();
                ASSERT_TRUE(
                    clients.addEvolutionIdentity("bob-identity", "bob@example.com", "Bob Example"))
                    << clients.lastError().toStdString();
                break;
            case ClientKind::kmail:
                ASSERT_TRUE(clients.addKMailIdentity("ann@example.com", "Ann Example", kOwn))
                    << clients.lastError().toStdString();
                ASSERT_TRUE(clients.addKMailIdentity("bob@example.com", "Bob Example"))
                    << clients.lastError().toStdString();
                break;
            case ClientKind::geary:
                ASSERT_TRUE(
                    clients.addGearyAccount("account_01", "ann@example.com", "Ann Example", kOwn));
                ASSERT_TRUE(
                    clients.addGearyAccount("account_02", "bob@example.com", "Bob Example"));
                break;
            default:
                FAIL() << "not a Linux client";
        }
    }

    ReadBacks readBack() {
        std::optional<ReadBacks> readBacks;
        if (kind() == ClientKind::evolution)
            readBacks = clients.evolutionSignatures();
        else if (kind() == ClientKind::kmail)
            readBacks = clients.kmailSignatures();
        else
            readBacks = clients.gearySignatures();
        EXPECT_TRUE(readBacks) << clients.lastError().toStdString();
        return readBacks.value_or(ReadBacks());
    }

    QString settingsFolder() const {
        if (kind() == ClientKind::evolution)
            return clients.evolutionFolder();
        if (kind() == ClientKind::kmail)
            return home.path() + "/.config";
        return clients.gearyFolder();
    }

    CommandRun quillet(const QStringList& arguments) {
        return RunQuillet(
            QStringList{"--home", home.path(), "--root", clients.systemRoot(), "--platform",
                        "linux", "--service", service.url().toString()} +
                arguments,
            WithoutFakeMacVariables(clients.environment()));
    }

    QString install(const QString& key, const QString& account) {
        const CommandRun run = quillet({"--json", "--yes", "install", "--key", key, "--client",
                                        StoredText(kind()), "--account", account});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString() << run.out.toStdString();
        if (run.exitCode != 0)
            return {};
        return QString::fromStdString(
            nlohmann::json::parse(run.out.toStdString())["id"].get<std::string>());
    }

    QTemporaryDir home;
    LinuxClientsHome clients{home.path()};
    TestService service;
};

TEST_P(RealLinuxClientsTest, InstallUpdateAndUninstallGiveThePersonsOwnBack) {
    makePersonsIdentities();
    const ReadBacks before = readBack();
    ASSERT_EQ(before.at("ann@example.com").text, kOwn);
    ASSERT_EQ(before.at("bob@example.com").text, "");
    const auto settingsBefore = Snapshot(settingsFolder());

    const CommandRun clientsRun = quillet({"clients"});
    ASSERT_EQ(clientsRun.exitCode, 0) << clientsRun.err.toStdString();
    EXPECT_TRUE(clientsRun.out.contains(StoredText(kind()) + "\t" + DisplayName(kind()) + " "))
        << clientsRun.out.toStdString();

    // A preview shows the change and makes none.
    const CommandRun preview = quillet({"--dry-run", "install", "--key", "first-key", "--client",
                                        StoredText(kind()), "--account", "ann@example.com"});
    EXPECT_EQ(preview.exitCode, 0) << preview.err.toStdString();
    EXPECT_TRUE(preview.out.contains("+++ " + settingsFolder())) << preview.out.toStdString();
    EXPECT_TRUE(preview.out.contains("first-key") || preview.out.contains("Ann <b>"))
        << preview.out.toStdString();
    EXPECT_EQ(Snapshot(settingsFolder()), settingsBefore);

    const QString first = install("first-key", "ann@example.com");
    const QString second = install("second-key", "bob@example.com");
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty());
    ReadBacks now = readBack();
    EXPECT_EQ(now.at("ann@example.com").text, kFirst);
    EXPECT_TRUE(now.at("ann@example.com").html);
    EXPECT_TRUE(now.at("ann@example.com").enabled);
    EXPECT_EQ(now.at("bob@example.com").text, kSecond);
    EXPECT_TRUE(now.at("bob@example.com").html);

    service.setSignature("first-key", kUpdated);
    const CommandRun refresh = quillet({"--yes", "refresh"});
    ASSERT_EQ(refresh.exitCode, 0) << refresh.err.toStdString();
    now = readBack();
    EXPECT_EQ(now.at("ann@example.com").text, kUpdated);
    EXPECT_EQ(now.at("bob@example.com").text, kSecond);

    for (const QString& id : {first, second}) {
        const CommandRun uninstall = quillet({"--yes", "uninstall", id});
        ASSERT_EQ(uninstall.exitCode, 0) << uninstall.err.toStdString();
    }
    now = readBack();
    for (const auto& [address, readBack] : before) {
        EXPECT_EQ(now.at(address).text, readBack.text) << address.toStdString();
        EXPECT_EQ(now.at(address).id, readBack.id) << address.toStdString();
        EXPECT_EQ(now.at(address).enabled, readBack.enabled) << address.toStdString();
    }
    // Nothing of Quillet's is left, and the person's files are as they were, byte for byte.
    const auto settingsAfter = Snapshot(settingsFolder());
    for (const auto& [path, bytes] : settingsBefore) {
        ASSERT_TRUE(settingsAfter.count(path)) << path.toStdString();
        EXPECT_EQ(settingsAfter.at(path), bytes) << path.toStdString();
    }
    for (const auto& [path, bytes] : settingsAfter)
        EXPECT_TRUE(settingsBefore.count(path)) << "left behind: " << path.toStdString();

    // The restore point of the last uninstall puts Bob's signature back into the client.
    const CommandRun backups = quillet({"--json", "backups"});
    ASSERT_EQ(backups.exitCode, 0) << backups.err.toStdString();
    const auto points = nlohmann::json::parse(backups.out.toStdString());
    ASSERT_FALSE(points.empty());
    const CommandRun restore =
        quillet({"--yes", "restore", QString::fromStdString(points[0]["id"].get<std::string>())});
    ASSERT_EQ(restore.exitCode, 0) << restore.err.toStdString() << restore.out.toStdString();
    now = readBack();
    EXPECT_EQ(now.at("bob@example.com").text, kSecond);
    EXPECT_EQ(now.at("ann@example.com").text, kOwn);
}

INSTANTIATE_TEST_SUITE_P(Clients, RealLinuxClientsTest,
                         testing::Values(ClientKind::evolution, ClientKind::kmail,
                                         ClientKind::geary),
                         [](const auto& info) { return StoredText(info.param).toStdString(); });

}  // namespace
}  // namespace quillet
