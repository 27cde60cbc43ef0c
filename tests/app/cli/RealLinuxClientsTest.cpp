// The quillet command on a Linux desktop with Evolution, KMail and Geary installed: the
// person's own identities and signatures are made with the clients' own libraries, Quillet
// installs, updates and uninstalls its signatures, and each step is read back the way the client
// itself reads it (Evolution's registry and libedataserver, KDE's identity library, GLib's key
// files). The person's own signature and choices come back as they were.
#include <gtest/gtest.h>

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

class RealLinuxClientsTest : public testing::TestWithParam<ClientKind> {};

TEST_P(RealLinuxClientsTest, InstallUpdateAndUninstallGiveThePersonsOwnBack) {
    if (const QString reason = LinuxClientsHome::unavailableReason(); !reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    const ClientKind kind = GetParam();
    QTemporaryDir home;
    LinuxClientsHome clients{home.path()};
    TestService service;
    service.setSignature("first-key", kFirst);
    service.setSignature("second-key", kSecond);
    ASSERT_TRUE(clients.start());
    const auto quillet = [&](const QStringList& arguments) {
        const CommandRun run =
            RunQuillet(QStringList{"--home", home.path(), "--root", clients.systemRoot(),
                                   "--platform", "linux", "--service", service.url().toString()} +
                           arguments,
                       WithoutFakeMacVariables(clients.environment()));
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString() << run.out.toStdString();
        return run;
    };
    const auto install = [&](const QString& key, const QString& account) {
        const CommandRun run = quillet({"--json", "--yes", "install", "--key", key, "--client",
                                        StoredText(kind), "--account", account});
        return QString::fromStdString(nlohmann::json::parse(run.out.toStdString())["id"]);
    };
    // What the client would use: each identity's text, as HTML and enabled.
    const auto expectTexts = [&](const QString& ann, const QString& bob) {
        const ReadBacks now = clients.signatures(kind);
        for (const auto& [address, text] :
             {std::pair{"ann@example.com", ann}, {"bob@example.com", bob}})
            EXPECT_EQ(now.at(address),
                      (ClientSignatureReadBack{text, true, true, now.at(address).id}));
    };
    // Every file below the settings folder with its bytes, lock files aside.
    const auto settings = [&] {
        return ReadFolderFiles(clients.settingsFolder(kind),
                               [](const QString& path) { return path.endsWith(".lock"); });
    };

    // Ann with her own HTML signature, Bob with none.
    ASSERT_TRUE(clients.addIdentity(kind, "ann@example.com", kOwn));
    ASSERT_TRUE(clients.addIdentity(kind, "bob@example.com"));
    const ReadBacks before = clients.signatures(kind);
    ASSERT_EQ(before.at("ann@example.com").text, kOwn);
    ASSERT_EQ(before.at("bob@example.com").text, "");
    const auto settingsBefore = settings();

    // A preview shows the change and makes none.
    const CommandRun preview = quillet({"--dry-run", "install", "--key", "first-key", "--client",
                                        StoredText(kind), "--account", "ann@example.com"});
    EXPECT_TRUE(preview.out.contains("+++ " + clients.settingsFolder(kind)))
        << preview.out.toStdString();
    EXPECT_TRUE(preview.out.contains("first-key") || preview.out.contains("Ann <b>"))
        << preview.out.toStdString();
    EXPECT_EQ(settings(), settingsBefore);

    const QString first = install("first-key", "ann@example.com");
    const QString second = install("second-key", "bob@example.com");
    expectTexts(kFirst, kSecond);

    service.setSignature("first-key", kUpdated);
    quillet({"--yes", "refresh"});
    expectTexts(kUpdated, kSecond);

    quillet({"--yes", "uninstall", first});
    quillet({"--yes", "uninstall", second});
    EXPECT_EQ(clients.signatures(kind), before);
    // Nothing of Quillet's is left, and the person's files are as they were, byte for byte.
    EXPECT_EQ(settings(), settingsBefore);

    // The restore point of the last uninstall puts Bob's signature back into the client, though
    // the person has added an identity since (KMail keeps it in the same file).
    ASSERT_TRUE(clients.addIdentity(kind, "cat@example.com"));
    const auto points = nlohmann::json::parse(quillet({"--json", "backups"}).out.toStdString());
    ASSERT_FALSE(points.empty());
    quillet({"--yes", "restore", QString::fromStdString(points[0]["id"])});
    expectTexts(kOwn, kSecond);
}

INSTANTIATE_TEST_SUITE_P(Clients, RealLinuxClientsTest,
                         testing::Values(ClientKind::evolution, ClientKind::kmail,
                                         ClientKind::geary),
                         [](const auto& info) { return StoredText(info.param).toStdString(); });

}  // namespace
}  // namespace quillet
