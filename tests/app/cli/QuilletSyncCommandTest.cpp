#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <nlohmann/json.hpp>

#include "app/demo/FakeMacDatabase.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/demo/FakeMacOutlook.h"
#include "tests/support/DataTable.h"
#include "tests/support/SampleMacCommand.h"

namespace quillet {
namespace {

const QString kSuccess = "Signatures were updated successfully";

class QuilletSyncCommandTest : public testing::Test, public SampleMacCommand {};

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
    ExpectJsonFields(list(), "cli/json-fields.tsv", "renamed");

    const CommandRun uninstall = quillet({"--yes", "uninstall", "The Team"});
    EXPECT_EQ(uninstall.exitCode, 0) << uninstall.err.toStdString();
    EXPECT_TRUE(uninstall.err.contains(
        "Uninstall Signature\nAre you sure you want to uninstall signature \"The Team\"?"));
    EXPECT_EQ(FakeOutlookSignatures(mac),
              (std::vector<FakeOutlookSignature>{{"Mine", "<p>Jane, by hand</p>"}}));
}

// "update" of a signature installed from a file reads the file again, with the form's reading
// rules: an edited file is installed, a file that is gone is refused as the form refuses it and
// changes nothing. A refresh does not read files. Of a key's signature it is a fetch and a
// reinstall: when the fetch fails the stored copy is still written again, but a script must not
// take the signature for fetched.
TEST_F(QuilletSyncCommandTest, UpdateInstallsTheEditedFileAndFailsWhenItsSourceFails) {
    const QString path = mac.home() + "/signature.html";
    mac.writeFile(path, "<p>From the file</p>");
    install({"--file", path, "--client", "thunderbird", "--account", "tom@example.com"});
    mac.writeFile(path, "<p>Edited</p>");
    ASSERT_EQ(quillet({"--yes", "refresh"}).exitCode, 0);
    EXPECT_TRUE(read(sample.thunderbirdPrefs).contains("<p>From the file</p>"));
    const CommandRun update = quillet({"--yes", "update", "1"});
    EXPECT_EQ(update.exitCode, 0) << update.err.toStdString();
    EXPECT_TRUE(update.err.contains(kSuccess));
    EXPECT_TRUE(read(sample.thunderbirdPrefs).contains("<p>Edited</p>"));
    EXPECT_FALSE(read(sample.thunderbirdPrefs).contains("<p>From the file</p>"));
    EXPECT_EQ(list()[0]["localText"], "<p>Edited</p>");

    ASSERT_TRUE(QFile::remove(path));
    const QByteArray before = read(sample.thunderbirdPrefs);
    const CommandRun missing = quillet({"--yes", "update", "1"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("Could not load the HTML file.")) << missing.err.toStdString();
    EXPECT_FALSE(missing.err.contains(kSuccess));
    EXPECT_EQ(read(sample.thunderbirdPrefs), before);
    EXPECT_EQ(list()[0]["localText"], "<p>Edited</p>");

    setSignature("k-team", "<p>Team</p>");
    const auto team = install({"--key", "k-team", "--client", "outlook"});
    stop();
    const CommandRun fetch = quillet({"--yes", "update", QString::fromStdString(team["id"])});
    EXPECT_EQ(fetch.exitCode, 1) << fetch.err.toStdString();
    EXPECT_TRUE(fetch.err.contains("Could not fetch the signature by key"))
        << fetch.err.toStdString();
    EXPECT_EQ(
        FakeOutlookSignatures(mac),
        (std::vector<FakeOutlookSignature>{{"Mine", "<p>Jane, by hand</p>"},
                                           {QString::fromStdString(team["name"]), "<p>Team</p>"}}));
}

// The command's own refusals and usage errors, one of the form's (NewSignatureTest holds the
// form's rules) and a preview: each its exit status and message, and nothing changed.
TEST_F(QuilletSyncCommandTest, RefusalsExitWithTheirStatusAndSayWhyAndChangeNothing) {
    setSignature("k-tom", "<p>Tom</p>");
    QDir(mac.rootPath("/Applications/Spark.app")).removeRecursively();
    install({"--key", "k-tom", "--client", "thunderbird", "--account", "tom@example.com"});
    const auto files = machineFiles();
    const auto signatures = list();
    for (const QStringList& row : ReadDataTable("cli/refusals.tsv")) {
        const QStringList arguments = row.mid(2);
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const CommandRun run = quillet(arguments);
        EXPECT_EQ(run.exitCode, row.value(0).toInt()) << run.err.toStdString();
        EXPECT_TRUE((run.out + run.err).contains(QString(row.value(1)).replace("\\n", "\n")))
            << run.err.toStdString();
    }
    EXPECT_TRUE(machineFiles() == files);
    EXPECT_EQ(list(), signatures);
}

// Failures are never reported as success: sync problems are one alert and exit status 1, and a
// store that refuses to save (here triggers in the file) fails the install and the refresh, with
// the store's alert and no id printed as if the signature were kept.
TEST_F(QuilletSyncCommandTest, SyncProblemsAndFailedSavesExitWithStatusOne) {
    setSignature("k-team", "<p>Team</p>");
    // Outlook takes the signature but not its defaults: it still counts as updated, and so at
    // the next refresh, which fails too, with the one alert.
    FailFakeOutlookScript(mac, "Outlook-SetDefaultSignatures16-Main-B");
    for (const QStringList& arguments :
         {QStringList{"--json", "install", "--key", "k-team", "--client", "outlook", "--account",
                      "jane@example.com"},
          QStringList{"refresh"}}) {
        const CommandRun run = quillet(QStringList{"--yes"} + arguments);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(
            run.err.contains("There were problems updating some signatures.\nMicrosoft "
                             "Outlook: Could not set default signatures.\n-> OK"))
            << run.err.toStdString();
        EXPECT_FALSE(run.err.contains(kSuccess));
        EXPECT_EQ(list()[0]["performed"]["Outlook"]["accounts"]["jane@example.com"]["id"],
                  "Signature Name 1");
        setSignature("k-team", "<p>Team 2</p>");
    }

    ASSERT_TRUE(
        ExecuteFakeDatabaseSql(dataPath("DataV2.sqlite"),
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
    setSignature("k-team", "<p>Team 3</p>");
    const CommandRun refresh = quillet({"--yes", "refresh"});
    EXPECT_EQ(refresh.exitCode, 1);
    EXPECT_TRUE(refresh.err.contains("Could not save signatures")) << refresh.err.toStdString();
}

}  // namespace
}  // namespace quillet
