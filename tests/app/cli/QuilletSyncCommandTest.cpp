#include <gtest/gtest.h>

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <nlohmann/json.hpp>
#include <set>

#include "app/demo/FakeMacMozilla.h"
#include "app/demo/FakeMacOutlook.h"
#include "app/demo/FakeMacSpark.h"
#include "app/demo/SampleMac.h"
#include "tests/support/SampleMacCommand.h"

namespace quillet {
namespace {

const QString kSuccess = "Signatures were updated successfully";

QStringList SparkRows(const QString& path) {
    QStringList rows;
    for (const QString& row : FakeSparkSettingsRows(path))
        rows << row.section('|', 1, 2);  // key and value: the sync dates move
    return rows;
}

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

TEST_F(QuilletSyncCommandTest, InstallRefreshAndUninstallAcrossTheFiveClients) {
    const QByteArray thunderbirdBefore = read(sample.thunderbirdPrefs);
    const QByteArray appleMailOwn = read(sample.appleMailOwnSignatureFile);
    const QStringList sparkBefore = SparkRows(sample.sparkSettings);
    setSignature("k-tom", "<p>Tom</p>\n");
    setSignature("k-team", "<p>Team</p>");

    const auto tom =
        install({"--key", "k-tom", "--client", "thunderbird", "--account", "tom@example.com"});
    EXPECT_EQ(tom["performed"]["Thunderbird"]["accounts"]["tom@example.com"]["text"], "<p>Tom</p>");
    EXPECT_TRUE(read(sample.thunderbirdPrefs).contains("<p>Tom</p>"));
    EXPECT_TRUE(read(sample.thunderbirdPrefs).contains(kSampleThunderbirdOwnLine.toUtf8()));
    for (const char* client : {"spark", "postbox", "outlook"}) {
        const auto team = install({"--key", "k-team", "--client", client});
        EXPECT_EQ(team["performed"].size(), 1u) << client;
    }
    const auto ann =
        install({"--key", "k-tom", "--client", "applemail", "--account", "ann@example.com"});
    EXPECT_TRUE(appleMailFile(ann).endsWith("<p>Tom</p>"));
    EXPECT_TRUE(read(sample.postboxSignatures).contains("<p>Team</p>"));
    EXPECT_TRUE(SparkRows(sample.sparkSettings).join('\n').contains("<p>Team</p>"));
    EXPECT_EQ(FakeOutlookSignatures(mac),
              (std::vector<FakeOutlookSignature>{{"Mine", "<p>Jane, by hand</p>"},
                                                 {"Signature Name 4", "<p>Team</p>"}}));

    // Changed on the service: one refresh writes every client that carries it.
    setSignature("k-tom", "<p>Tom, now CTO</p>");
    setSignature("k-team", "<p>Team 2</p>");
    const CommandRun refresh = quillet({"--yes", "refresh"});
    ASSERT_EQ(refresh.exitCode, 0) << refresh.err.toStdString();
    EXPECT_TRUE(read(sample.thunderbirdPrefs).contains("<p>Tom, now CTO</p>"));
    EXPECT_FALSE(read(sample.thunderbirdPrefs).contains("<p>Tom</p>"));
    EXPECT_TRUE(appleMailFile(ann).endsWith("<p>Tom, now CTO</p>"));
    EXPECT_TRUE(read(sample.postboxSignatures).contains("<p>Team 2</p>"));
    EXPECT_FALSE(read(sample.postboxSignatures).contains("<p>Team</p>"));
    EXPECT_TRUE(SparkRows(sample.sparkSettings).join('\n').contains("<p>Team 2</p>"));
    EXPECT_EQ(FakeOutlookSignatures(mac).back(),
              (FakeOutlookSignature{"Signature Name 4", "<p>Team 2</p>"}));

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
    // Quillet's entries are gone everywhere; the person's own signatures are as they were.
    EXPECT_EQ(read(sample.thunderbirdPrefs), thunderbirdBefore);
    EXPECT_EQ(appleMailFile(ann), "(none)");
    EXPECT_EQ(read(sample.appleMailOwnSignatureFile), appleMailOwn);
    EXPECT_EQ(read(sample.postboxSignatures),
              R"([{"key":"own","name":"Mine","body":"<p>Pat, by hand</p>"}])");
    EXPECT_FALSE(read(sample.postboxPrefs).contains("Team"));
    EXPECT_EQ(FakeOutlookSignatures(mac),
              (std::vector<FakeOutlookSignature>{{"Mine", "<p>Jane, by hand</p>"}}));
    EXPECT_TRUE(SparkRows(sample.sparkSettings).contains(sparkBefore.first()));
    // Spark keeps a tombstone of the removed signature, so that its cloud sync removes it too.
    for (const QString& row : SparkRows(sample.sparkSettings)) {
        if (row.contains("Team")) {
            EXPECT_TRUE(row.contains("\"deleted\":true")) << row.toStdString();
        }
    }
}

TEST_F(QuilletSyncCommandTest, RenameReachesTheClientAndColourStaysInQuillet) {
    setSignature("k-team", "<p>Team</p>");
    const auto team = install({"--key", "k-team", "--client", "outlook", "--color", "4"});
    EXPECT_EQ(team["colorIndex"], 4);
    const CommandRun rename = quillet({"--yes", "rename", "Signature Name 1", "\tThe Team \n"});
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
    QFile legacy(mac.home() + "/legacy.html");
    ASSERT_TRUE(legacy.open(QIODevice::WriteOnly));
    legacy.write("<p>Caf\xe9 Sch\xf6n</p>");  // Latin-1, not UTF-8
    legacy.close();
    struct Case {
        QStringList arguments;
        QString alert;
    };
    const std::vector<Case> cases = {
        {{"--key", "k-tom"},
         "No email client selected.\nPlease select an email client for which to install the "
         "signature."},
        {{"--key", "k-tom", "--client", "spark"},
         "Email client unavailable (Spark)\nPlease select an email client for which to install "
         "the signature."},
        {{"--key", "k-tom", "--client", "applemail"},
         "No email account selected.\nPlease select an email account for which to install the "
         "signature."},
        {{"--key", "k-tom", "--client", "thunderbird", "--account", "nobody@x.org"},
         "Unknown email account nobody@x.org\nThe known email accounts of Thunderbird: "
         "tom@example.com, tim@example.com."},
        {{"--file", "", "--client", "outlook"},
         "No HTML file selected.\nPlease select an HTML file with a signature, or use a signature "
         "key."},
        {{"--file", legacy.fileName(), "--client", "outlook"},
         "Could not load the HTML file.\nPlease check that you can access the file and that it is "
         "encoded using UTF-8."},
        {{"--key", " \t", "--client", "outlook"},
         "No signature key provided.\nPlease enter a signature key, or select an HTML file with a "
         "signature.\n\nYou can find your signature keys in the Dashboard of your account."},
        {{"--key", "k-nobody", "--client", "outlook"},
         "Signature key not found.\nPlease check that the key you've entered is correct and try "
         "again.\n\nYou can find your signature keys in the Dashboard of your account."},
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

TEST_F(QuilletSyncCommandTest, ARunningClientIsClosedOnlyWhenTheAnswerIsYes) {
    setSignature("k-ann", "<p>Ann</p>");
    mac.setRunning({"com.apple.mail"});
    const QByteArray accountsMap = read(sample.appleMailSignaturesFolder + "/AccountsMap.plist");
    const CommandRun later = quillet({"--later", "--json", "install", "--key", "k-ann", "--client",
                                      "applemail", "--account", "ann@example.com"});
    EXPECT_EQ(later.exitCode, 0) << later.err.toStdString();
    EXPECT_TRUE(
        later.err.contains("Some email clients need to be closed.\nThe following email "
                           "clients need to be closed in order to update "
                           "signatures:\nApple Mail\n\n-> Later"))
        << later.err.toStdString();
    EXPECT_TRUE(later.err.contains("not updated now (Later)"));
    EXPECT_FALSE(later.err.contains(kSuccess));
    const auto signature = nlohmann::json::parse(later.out.toStdString());
    EXPECT_EQ(appleMailFile(signature), "(none)");
    EXPECT_EQ(read(sample.appleMailSignaturesFolder + "/AccountsMap.plist"), accountsMap);
    EXPECT_TRUE(mac.workspaceLog().isEmpty());
    EXPECT_EQ(signature["performed"], nlohmann::json::object());

    const CommandRun yes = quillet({"--yes", "--reopen", "update", "Signature Name 1"});
    EXPECT_EQ(yes.exitCode, 0) << yes.err.toStdString();
    EXPECT_TRUE(yes.err.contains(kSuccess));
    EXPECT_TRUE(appleMailFile(signature).endsWith("<p>Ann</p>"));
    EXPECT_EQ(mac.workspaceLog(),
              (QStringList{"terminate com.apple.mail",
                           "launch " + mac.rootPath("/System/Applications/Mail.app")}));
    EXPECT_EQ(list()[0]["performed"]["AppleMail"]["accounts"]["ann@example.com"]["text"],
              "<p>Ann</p>");
    const QString log = QString::fromUtf8(read(mac.homePath("Library/Logs/Quillet/Quillet.log")));
    EXPECT_TRUE(log.contains("Info: Closing client: Apple Mail..."));
    EXPECT_TRUE(log.contains("Info: Re-opening client: Apple Mail..."));
}

TEST_F(QuilletSyncCommandTest, AClientNoLongerInstalledIsNamedAndTheOthersStillUpdated) {
    setSignature("k-tom", "<p>Tom</p>");
    setSignature("k-team", "<p>Team</p>");
    ASSERT_EQ(quillet({"--yes", "install", "--key", "k-team", "--client", "postbox"}).exitCode, 0);
    ASSERT_EQ(quillet({"--yes", "install", "--key", "k-tom", "--client", "thunderbird", "--account",
                       "tom@example.com"})
                  .exitCode,
              0);
    QDir(mac.rootPath("/Applications/Postbox.app")).removeRecursively();
    setSignature("k-tom", "<p>Tom 2</p>");
    setSignature("k-team", "<p>Team 2</p>");
    // Postbox keeps the old text until it is back: the refresh is not a success.
    const CommandRun refresh = quillet({"--yes", "refresh"});
    EXPECT_EQ(refresh.exitCode, 1) << refresh.err.toStdString();
    EXPECT_FALSE(refresh.err.contains(kSuccess));
    EXPECT_TRUE(
        refresh.err.contains("Some email clients are unavailable\nThe following email "
                             "client is no longer available: Postbox.\n-> OK"))
        << refresh.err.toStdString();
    EXPECT_TRUE(read(sample.thunderbirdPrefs).contains("<p>Tom 2</p>"));
    EXPECT_FALSE(read(sample.postboxSignatures).contains("Team 2"));
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

// Two quillet processes adding signatures to one store at the same moment, round after round:
// each takes its new keys under the store's write lock, so neither loses what the other stored.
TEST_F(QuilletSyncCommandTest, TwoProcessesInstallingAtOnceLoseNoSignature) {
    const QStringList all = {
        "--root",   mac.root(),       "--home",    mac.home(),
        "--bundle", mac.bundlePath(), "--service", QString::fromStdString(service->baseUrl())};
    std::set<std::string> stored;
    for (int round = 0; round < 4; ++round) {
        std::vector<std::unique_ptr<QProcess>> processes;
        for (int side = 0; side < 2; ++side) {
            const QString name = QString("r%1s%2").arg(round).arg(side);
            const QString file = serviceFolder.path() + "/" + name + ".html";
            QFile html(file);
            ASSERT_TRUE(html.open(QIODevice::WriteOnly));
            html.write("<p>" + name.toUtf8() + "</p>");
            html.close();
            auto& process = processes.emplace_back(std::make_unique<QProcess>());
            process->start(
                QUILLET_QUILLET_PATH,
                all + QStringList{"--later", "--json", "install", "--file", file, "--client",
                                  "thunderbird", "--account", "tom@example.com"});
            process->closeWriteChannel();
        }
        for (auto& process : processes) {
            ASSERT_TRUE(process->waitForFinished(120000));
            EXPECT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
            const auto signature =
                nlohmann::json::parse(process->readAllStandardOutput().toStdString());
            EXPECT_GT(std::stoll(signature["id"].get<std::string>()), 0);
            stored.insert(signature["filePath"].get<std::string>());
        }
    }
    ASSERT_EQ(stored.size(), 8u);
    std::set<std::string> listed;
    for (const auto& signature : list())
        listed.insert(signature["filePath"].get<std::string>());
    EXPECT_EQ(listed, stored);
}

// A store that refuses the new signature (here a trigger in the file) fails the install: the
// store's alert is shown and no id is printed as if the signature were kept.
TEST_F(QuilletSyncCommandTest, AnInstallWhoseSaveFailsExitsWithStatusOne) {
    ASSERT_EQ(quillet({"list"}).exitCode, 0);
    sqlite3* store = nullptr;
    const QString path = mac.homePath("Library/Application Support/Quillet/DataV2.sqlite");
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &store), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(store,
                           "CREATE TRIGGER refuse BEFORE INSERT ON ZSIGNATUREENTITYV2 "
                           "BEGIN SELECT RAISE(ABORT, 'refused'); END",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(store);
    const QString file = serviceFolder.path() + "/mine.html";
    QFile html(file);
    ASSERT_TRUE(html.open(QIODevice::WriteOnly));
    html.write("<p>Mine</p>");
    html.close();

    const CommandRun run = quillet({"--yes", "--json", "install", "--file", file, "--client",
                                    "thunderbird", "--account", "tom@example.com"});

    EXPECT_EQ(run.exitCode, 1) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains("Could not save signatures")) << run.err.toStdString();
    EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace quillet
