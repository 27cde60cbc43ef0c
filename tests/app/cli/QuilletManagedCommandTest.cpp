#include <gtest/gtest.h>

#include "app/demo/FakeMacMozilla.h"
#include "app/demo/FakeMacSpark.h"
#include "tests/support/FakeMacManaged.h"
#include "tests/support/SampleMacCommand.h"

namespace quillet {
namespace {

const QString kManagedRefusal = "This signature is managed by your organisation.";

// The real quillet executable over the sample Mac, with the organisation's configuration in its
// managed-preferences folder and the reference signature service on loopback.
class QuilletManagedCommandTest : public testing::Test, public SampleMacCommand {
protected:
    QuilletManagedCommandTest() {
        setSignature("k-org", "<p>Org</p>");
        setSignature("k-sales", "<p>Sales</p>");
    }

    CommandRun refresh() const {
        const CommandRun run = quillet({"--yes", "refresh"});
        // Nothing is asked on the organisation's behalf, not even with --yes.
        EXPECT_FALSE(run.err.contains("\n-> ")) << run.err.toStdString();
        return run;
    }

    QString sparkRows() const { return FakeSparkSettingsRows(sample.sparkSettings).join('\n'); }
};

TEST_F(QuilletManagedCommandTest, InstallsKeepsAndRemovesTheOrganisationsSignaturesByItsRules) {
    const QByteArray appleMailOwn = read(sample.appleMailOwnSignatureFile);
    const QByteArray postboxSignatures = read(sample.postboxSignatures);
    const QString sparkOwn = FakeSparkSettingsRows(sample.sparkSettings).first();
    WriteManagedConfiguration(mac,
                              ManagedConfigurationPlist({ManagedEntryPlist("k-org", "Thunderbird"),
                                                         ManagedEntryPlist("k-sales", "Spark")}));

    const CommandRun first = refresh();

    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    // Thunderbird's selection cannot say "all accounts": every account it has gets it.
    const QString prefs = QString::fromUtf8(read(sample.thunderbirdPrefs));
    EXPECT_EQ(prefs.count("<p>Org</p>"), 2) << prefs.toStdString();
    EXPECT_TRUE(sparkRows().contains("<p>Sales</p>"));
    auto signatures = list();
    ExpectJsonFields(signatures, "cli/json-fields.tsv", "managed installed");

    // A second refresh finds everything in place and changes nothing.
    const QByteArray prefsAfterFirst = read(sample.thunderbirdPrefs);
    ASSERT_EQ(refresh().exitCode, 0);
    EXPECT_EQ(list().size(), 2u);
    EXPECT_EQ(read(sample.thunderbirdPrefs), prefsAfterFirst);

    // The organisation's signatures are not the person's to change; their colour is.
    const QString id = QString::fromStdString(signatures[0]["id"]);
    for (const QStringList& command :
         {QStringList{"uninstall", id}, QStringList{"rename", id, "Mine"}, {"update", id}}) {
        const CommandRun refused = quillet(QStringList{"--yes"} + command);
        EXPECT_EQ(refused.exitCode, 1) << command.join(' ').toStdString();
        EXPECT_TRUE(refused.err.contains(kManagedRefusal + "\n")) << refused.err.toStdString();
    }
    EXPECT_EQ(quillet({"color", id, "3"}).exitCode, 0);
    EXPECT_EQ(list().size(), 2u);
    EXPECT_EQ(read(sample.thunderbirdPrefs), prefsAfterFirst);

    // The entry goes: the next refresh takes its signature out of Spark, and only that.
    WriteManagedConfiguration(
        mac, ManagedConfigurationPlist({ManagedEntryPlist("k-org", "Thunderbird")}));
    ASSERT_EQ(refresh().exitCode, 0);
    signatures = list();
    ASSERT_EQ(signatures.size(), 1u);
    EXPECT_EQ(signatures[0]["key"], "k-org");
    for (const QString& row : FakeSparkSettingsRows(sample.sparkSettings)) {
        if (row.contains("Sales")) {
            EXPECT_TRUE(row.contains("\"deleted\":true")) << row.toStdString();
        }
    }
    EXPECT_EQ(FakeSparkSettingsRows(sample.sparkSettings).first(), sparkOwn);
    EXPECT_EQ(read(sample.thunderbirdPrefs), prefsAfterFirst);
    EXPECT_EQ(read(sample.appleMailOwnSignatureFile), appleMailOwn);
    EXPECT_EQ(read(sample.postboxSignatures), postboxSignatures);

    // A configuration that cannot be read removes nothing.
    mac.writeFile(ManagedConfigurationFile(mac, ManagedScope::machine),
                  "<plist><dict><key>ManagedSignatures</key>");
    ASSERT_EQ(refresh().exitCode, 0);
    EXPECT_EQ(list().size(), 1u);
    EXPECT_EQ(read(sample.thunderbirdPrefs), prefsAfterFirst);

    // The organisation's service wins over the command line's; with the person's own signatures
    // not allowed, their install is refused.
    const TestService organisation;
    organisation.setSignature("k-own-service", "<p>From the organisation's service</p>");
    Plist configuration = ManagedConfigurationPlist({ManagedEntryPlist("k-own-service", "Spark")});
    configuration.node().set("ServiceURL", Plist::string(organisation.url().toString()));
    configuration.node().set("AllowUserSignatures", Plist::boolean(false));
    WriteManagedConfiguration(mac, configuration);
    ASSERT_EQ(refresh().exitCode, 0);
    EXPECT_TRUE(sparkRows().contains("<p>From the organisation's service</p>"));
    const CommandRun install =
        quillet({"--yes", "install", "--key", "k-org", "--client", "outlook"});
    EXPECT_EQ(install.exitCode, 1);
    EXPECT_TRUE(
        install.err.contains("Only the signatures that your organisation deploys can be "
                             "installed.\n-> OK"))
        << install.err.toStdString();
    EXPECT_EQ(list().size(), 1u);
}

// Nobody answers for the organisation: a running client is never closed for its signatures,
// even with --yes; the installation waits for a refresh after the client has quit.
TEST_F(QuilletManagedCommandTest,
       ARunningClientIsWrittenAfterItQuitsAndAChangedEntrySelectedAgain) {
    const QByteArray prefsBefore = read(sample.thunderbirdPrefs);
    mac.setRunning({"org.mozilla.thunderbird"});
    WriteManagedConfiguration(
        mac, ManagedConfigurationPlist({ManagedEntryPlist("k-org", "Thunderbird")}));

    const CommandRun running = refresh();

    EXPECT_EQ(running.exitCode, 0) << running.err.toStdString();
    EXPECT_TRUE(mac.workspaceLog().isEmpty()) << mac.workspaceLog().join('\n').toStdString();
    EXPECT_EQ(read(sample.thunderbirdPrefs), prefsBefore);
    EXPECT_EQ(log().count("Info: Managed signatures: not closing Thunderbird"), 1);
    const CommandRun pending = quillet({"--json", "status"});
    EXPECT_EQ(pending.exitCode, 1);
    ExpectJsonFields(nlohmann::json::parse(pending.out.toStdString()), "cli/json-fields.tsv",
                     "managed waiting");

    mac.setRunning({});
    const CommandRun quit = refresh();

    EXPECT_EQ(quit.exitCode, 0) << quit.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(read(sample.thunderbirdPrefs)).count("<p>Org</p>"), 2);
    EXPECT_EQ(list()[0]["performed"]["Thunderbird"]["accounts"].size(), 2u);
    EXPECT_EQ(quillet({"status"}).exitCode, 0);

    // A changed client, account or option selects the one signature again.
    for (const auto& [entry, name] :
         {std::pair{ManagedEntryPlist("k-org", "Thunderbird", "tom@example.com"), "managed tom"},
          {ManagedEntryPlist("k-org", "Thunderbird", "TIM@example.com", true, false),
           "managed tim"},
          {ManagedEntryPlist("k-org", "Postbox"), "managed postbox"}}) {
        WriteManagedConfiguration(mac, ManagedConfigurationPlist({entry}));
        ASSERT_EQ(refresh().exitCode, 0);
        ExpectJsonFields(list(), "cli/json-fields.tsv", name);
    }
    EXPECT_FALSE(read(sample.thunderbirdPrefs).contains("<p>Org</p>"));
    EXPECT_TRUE(read(sample.postboxSignatures).contains("<p>Org</p>"));
}

}  // namespace
}  // namespace quillet
