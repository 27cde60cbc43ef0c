#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <nlohmann/json.hpp>

#include "app/demo/FakeMacDatabase.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/demo/FakeMacOutlook.h"
#include "app/demo/FakeMacSpark.h"
#include "app/demo/SampleMac.h"
#include "tests/support/SampleMacCommand.h"

namespace quillet {
namespace {

const QString kSuccess = "Signatures were updated successfully";

class QuilletSyncCommandTest : public testing::Test, public SampleMacCommand {
protected:
    // Installs with --yes and expects it to go through; returns the signature's JSON.
    nlohmann::json install(const QStringList& arguments) const {
        const CommandRun run = quillet(QStringList{"--yes", "--json", "install"} + arguments);
        EXPECT_EQ(run.exitCode, 0) << arguments.join(' ').toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(kSuccess)) << run.err.toStdString();
        return run.exitCode == 0 ? nlohmann::json::parse(run.out.toStdString()) : nlohmann::json();
    }

    nlohmann::json list() const {
        return nlohmann::json::parse(quillet({"--json", "list"}).out.toStdString());
    }

    static QByteArray read(const QString& path) { return ReadFakeFile(path).value_or("(none)"); }
};

// What each client then holds is the client syncs' to check (their tests, and
// PersonsOwnSignaturesTest for the person's own): here, that the commands reach all five.
TEST_F(QuilletSyncCommandTest, InstallRefreshAndUninstallAcrossTheFiveClients) {
    setSignature("k-team", "<p>Team</p>\n");
    const std::vector<std::pair<ClientKind, QStringList>> clients = {
        {ClientKind::appleMail, {"--account", "ann@example.com"}},
        {ClientKind::outlook, {}},
        {ClientKind::postbox, {}},
        {ClientKind::spark, {}},
        {ClientKind::thunderbird, {"--account", "tom@example.com"}}};
    for (const auto& [kind, account] : clients) {
        const auto installed =
            install(QStringList{"--key", "k-team", "--client", StoredText(kind)} + account);
        EXPECT_EQ(installed["performed"].size(), 1u);
        EXPECT_TRUE(clientHolds(kind, "<p>Team</p>")) << StoredText(kind).toStdString();
    }
    EXPECT_EQ(list()[4]["performed"]["Thunderbird"]["accounts"]["tom@example.com"]["text"],
              "<p>Team</p>");

    // Changed on the service: one refresh writes every client that carries it.
    setSignature("k-team", "<p>Team 2</p>");
    const CommandRun refresh = quillet({"--yes", "refresh"});
    ASSERT_EQ(refresh.exitCode, 0) << refresh.err.toStdString();
    for (const auto& [kind, account] : clients) {
        EXPECT_TRUE(clientHolds(kind, "<p>Team 2</p>")) << StoredText(kind).toStdString();
        EXPECT_FALSE(clientHolds(kind, "<p>Team</p>")) << StoredText(kind).toStdString();
    }

    for (const auto& signature : list()) {
        const CommandRun uninstall =
            quillet({"--yes", "uninstall", QString::fromStdString(signature["id"])});
        ASSERT_EQ(uninstall.exitCode, 0) << uninstall.err.toStdString();
        EXPECT_TRUE(
            uninstall.err.contains("Uninstall Signature\nAre you sure you want to "
                                   "uninstall signature \"" +
                                   QString::fromStdString(signature["name"]) + "\"?"));
    }
    EXPECT_EQ(list(), nlohmann::json::array());
    for (const auto& [kind, account] : clients)
        EXPECT_FALSE(clientHolds(kind, "Team")) << StoredText(kind).toStdString();
    // Spark keeps a tombstone of the removed signature, so that its cloud sync removes it too.
    EXPECT_TRUE(FakeSparkSettingsRows(sample.sparkSettings).join('\n').contains("Team 2"));
}

TEST_F(QuilletSyncCommandTest, RenameReachesTheClientAndColourStaysInQuillet) {
    setSignature("k-team", "<p>Team</p>");
    const auto team = install({"--key", "k-team", "--client", "outlook", "--color", "4"});
    EXPECT_EQ(team["colorIndex"], 4);
    // Onto the name of the person's own Outlook signature: refused there, and asking again does
    // not turn the refusal into a success.
    for (int attempt = 1; attempt <= 2; ++attempt)
        EXPECT_EQ(quillet({"--yes", "rename", "1", "Mine"}).exitCode, 1) << attempt;
    const CommandRun rename = quillet({"--yes", "rename", "1", "\tThe Team \n"});
    EXPECT_EQ(rename.exitCode, 0) << rename.err.toStdString();
    EXPECT_EQ(FakeOutlookSignatures(mac),
              (std::vector<FakeOutlookSignature>{{"Mine", "<p>Jane, by hand</p>"},
                                                 {"The Team", "<p>Team</p>"}}));
    EXPECT_EQ(quillet({"rename", "The Team", "   "}).exitCode, 1);
    const QStringList scriptsBefore = mac.osascriptRuns();
    EXPECT_EQ(quillet({"color", "The Team", "9"}).exitCode, 0);
    EXPECT_EQ(mac.osascriptRuns(), scriptsBefore);  // a colour is not written into any client
    const auto stored = list()[0];
    EXPECT_EQ(stored["name"], "The Team");
    EXPECT_EQ(stored["colorIndex"], 9);
    EXPECT_EQ(stored["performed"]["Outlook"]["payload"]["id"], "The Team");
}

// "update" is a fetch and a reinstall: when the fetch fails the stored copy is still written
// again, but a script must not take the signature for fetched.
TEST_F(QuilletSyncCommandTest, UpdateWhoseFetchFailsExitsWithStatusOne) {
    setSignature("k-team", "<p>Team</p>");
    install({"--key", "k-team", "--client", "outlook"});
    service->stop();

    const CommandRun update = quillet({"--yes", "update", "Signature Name 1"});

    EXPECT_EQ(update.exitCode, 1) << update.err.toStdString();
    EXPECT_TRUE(update.err.contains("Could not fetch the signature by key"))
        << update.err.toStdString();
    EXPECT_EQ(FakeOutlookSignatures(mac),
              (std::vector<FakeOutlookSignature>{{"Mine", "<p>Jane, by hand</p>"},
                                                 {"Signature Name 1", "<p>Team</p>"}}));
}

// "update" of a signature installed from a file reads the file again, with the form's reading
// rules: an edited file is installed, a file that is gone is refused as the form refuses it and
// changes nothing. A refresh does not read files.
TEST_F(QuilletSyncCommandTest, UpdateOfAFileSignatureInstallsTheEditedFile) {
    const QString path = mac.home() + "/signature.html";
    mac.writeFile(path, "<p>From the file</p>");
    install({"--file", path, "--client", "thunderbird", "--account", "tom@example.com"});
    mac.writeFile(path, "<p>Edited</p>");
    const CommandRun update = quillet({"--yes", "update", "1"});
    EXPECT_EQ(update.exitCode, 0) << update.err.toStdString();
    EXPECT_TRUE(update.err.contains(kSuccess));
    EXPECT_TRUE(read(sample.thunderbirdPrefs).contains("<p>Edited</p>"));
    EXPECT_FALSE(read(sample.thunderbirdPrefs).contains("<p>From the file</p>"));
    EXPECT_EQ(list()[0]["localText"], "<p>Edited</p>");

    mac.writeFile(path, "<p>Edited again</p>");
    ASSERT_EQ(quillet({"--yes", "refresh"}).exitCode, 0);
    EXPECT_TRUE(read(sample.thunderbirdPrefs).contains("<p>Edited</p>"));

    ASSERT_TRUE(QFile::remove(path));
    const QByteArray before = read(sample.thunderbirdPrefs);
    const CommandRun missing = quillet({"--yes", "update", "1"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("Could not load the HTML file.")) << missing.err.toStdString();
    EXPECT_FALSE(missing.err.contains(kSuccess));
    EXPECT_EQ(read(sample.thunderbirdPrefs), before);
    EXPECT_EQ(list()[0]["localText"], "<p>Edited</p>");
}

TEST_F(QuilletSyncCommandTest, InstallRefusesWithTheFormsTextsAndStoresNothing) {
    setSignature("k-tom", "<p>Tom</p>");
    QDir(mac.rootPath("/Applications/Spark.app")).removeRecursively();
    struct Case {
        QStringList arguments;
        QString alert;
    };
    // The command's own refusals, and one of the form's (NewSignatureTest holds the form's rules).
    const std::vector<Case> cases = {
        {{"--key", "k-tom"},
         "No email client selected.\nPlease select an email client for which to install the "
         "signature."},
        {{"--key", "k-tom", "--client", "spark"},
         "Email client unavailable (Spark)\nPlease select an email client for which to install "
         "the signature."},
        {{"--key", "k-tom", "--client", "thunderbird", "--account", "nobody@x.org"},
         "Unknown email account nobody@x.org\nThe known email accounts of Thunderbird: "
         "tom@example.com, tim@example.com."},
    };
    for (const Case& c : cases) {
        const CommandRun run = quillet(QStringList{"--yes", "install"} + c.arguments);
        EXPECT_EQ(run.exitCode, 1) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(c.alert + "\n-> OK\n"))
            << c.arguments.join(' ').toStdString() << "\n"
            << run.err.toStdString();
    }
    EXPECT_EQ(list(), nlohmann::json::array());
    EXPECT_EQ(quillet({"install", "--key", "a", "--file", "b"}).exitCode, 2);
    EXPECT_EQ(quillet({"install", "--key", "a", "--client", "eudora"}).exitCode, 2);
}

TEST_F(QuilletSyncCommandTest, SyncProblemsAreOneAlertAndExitStatusOne) {
    setSignature("k-team", "<p>Team</p>");
    // Outlook takes the signature but not its defaults: it still counts as updated.
    FailFakeOutlookScript(mac, "Outlook-SetDefaultSignatures16-Main-B");
    const CommandRun outlook = quillet({"--yes", "--json", "install", "--key", "k-team", "--client",
                                        "outlook", "--account", "jane@example.com"});
    EXPECT_EQ(outlook.exitCode, 1);
    EXPECT_TRUE(
        outlook.err.contains("There were problems updating some signatures.\nMicrosoft "
                             "Outlook: Could not set default signatures.\n-> OK"))
        << outlook.err.toStdString();
    EXPECT_FALSE(outlook.err.contains(kSuccess));
    const auto json = nlohmann::json::parse(outlook.out.toStdString());
    EXPECT_EQ(json["performed"]["Outlook"]["accounts"]["jane@example.com"]["id"],
              "Signature Name 1");

    // Folders where Apple Mail's list and Postbox's prefs.js should be: the Full Disk Access hint,
    // once, and no line for either client.
    const QString allSignatures = sample.appleMailSignaturesFolder + "/AllSignatures.plist";
    for (const QString& path : {allSignatures, sample.postboxPrefs}) {
        QFile::remove(path);
        QDir().mkpath(path);
    }
    ASSERT_EQ(quillet({"--yes", "install", "--key", "k-team", "--client", "applemail", "--account",
                       "ann@example.com"})
                  .exitCode,
              1);
    ASSERT_EQ(quillet({"--yes", "install", "--key", "k-team", "--client", "postbox"}).exitCode, 1);
    setSignature("k-team", "<p>Team 2</p>");
    const CommandRun refresh = quillet({"--yes", "refresh"});
    EXPECT_EQ(refresh.exitCode, 1);
    EXPECT_TRUE(refresh.err.contains(
        "There were problems updating some signatures.\nPlease switch on Full Disk Access for "
        "Quillet in System Settings › Privacy & Security › Full Disk Access, then quit and reopen "
        "the app.\n\nMicrosoft Outlook: Could not set default signatures.\n-> OK"))
        << refresh.err.toStdString();
}

// A store that refuses to save (here triggers in the file) fails the install and the refresh: the
// store's alert is shown and no id is printed as if the signature were kept.
TEST_F(QuilletSyncCommandTest, AnInstallOrRefreshWhoseSaveFailsExitsWithStatusOne) {
    setSignature("k-tom", "<p>Tom</p>");
    install({"--key", "k-tom", "--client", "thunderbird", "--account", "tom@example.com"});
    ASSERT_TRUE(
        ExecuteFakeDatabaseSql(mac.homePath("Library/Application Support/Quillet/DataV2.sqlite"),
                               "CREATE TRIGGER refuseNew BEFORE INSERT ON ZSIGNATUREENTITYV2 "
                               "BEGIN SELECT RAISE(ABORT, 'refused'); END;"
                               "CREATE TRIGGER refuseChange BEFORE UPDATE ON ZSIGNATUREENTITYV2 "
                               "BEGIN SELECT RAISE(ABORT, 'refused'); END;"));

    const CommandRun run =
        quillet({"--yes", "--json", "install", "--file", setSignature("mine", "<p>Mine</p>"),
                 "--client", "thunderbird", "--account", "tom@example.com"});
    EXPECT_EQ(run.exitCode, 1) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains("Could not save signatures")) << run.err.toStdString();
    EXPECT_EQ(run.out, "");

    setSignature("k-tom", "<p>Tom 2</p>");
    const CommandRun refresh = quillet({"--yes", "refresh"});
    EXPECT_EQ(refresh.exitCode, 1);
    EXPECT_TRUE(refresh.err.contains("Could not save signatures")) << refresh.err.toStdString();
}

}  // namespace
}  // namespace quillet
