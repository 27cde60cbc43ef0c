#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include "app/managed/ManagedConfiguration.h"
#include "common/Log.h"
#include "tests/support/DataTable.h"
#include "tests/support/FakeMacManaged.h"

namespace quillet {
namespace {

const QString kBundleId = "app.quillet.Quillet";

// The configuration as device management leaves it on a fake Mac, for its Quillet.
class ManagedConfigurationTest : public testing::Test {
protected:
    QString userFile() const { return ManagedConfigurationFile(mac, ManagedScope::user); }
    ManagedConfiguration read(SystemLayout layout = SystemLayout::mac) const {
        return ReadManagedConfiguration(mac.paths(), layout, kBundleId);
    }

    FakeMac mac;
    LogTap log;
};

TEST_F(ManagedConfigurationTest, EachEntryIsCheckedAndTheGoodOnesKept) {
    const auto entries = Plist::parse(ReadDataBytes("managed/entries.plist"));
    ASSERT_TRUE(entries);
    WriteManagedConfiguration(mac, *entries, ManagedScope::machine, /*binary=*/true);

    const ManagedConfiguration configuration = read();

    EXPECT_EQ(configuration.state, ManagedConfiguration::State::read);
    std::vector<QStringList> kept;
    for (const ManagedEntry& e : configuration.entries)
        kept.push_back({QString::number(e.index), e.key, QString::number(e.ordinal),
                        e.client ? StoredText(*e.client) : "-",
                        e.account.isEmpty() ? "-" : e.account, e.insertForReplies ? "yes" : "no",
                        e.insertForForwards ? "yes" : "no"});
    EXPECT_EQ(kept, ReadDataTable("managed/entries-kept.tsv"));
    std::vector<QString> skipped;
    for (const QStringList& row : ReadDataTable("managed/entry-refusals.tsv"))
        skipped.push_back("Error: Managed configuration: ManagedSignatures[" + row[0] +
                          "] skipped: " + row[1]);
    EXPECT_EQ(log.lines(), skipped);
    EXPECT_TRUE(configuration.allowUserSignatures);
}

// The person's file wins over the machine's, and an unreadable one says so. On the Linux desktop
// only the file in /etc counts; on the Mac it is not looked at.
TEST_F(ManagedConfigurationTest, ThePersonsFileWinsAndAnUnreadableOneSaysSo) {
    EXPECT_EQ(read().state, ManagedConfiguration::State::absent);
    Plist machine = Plist::dictionary();
    machine.node().set("AllowUserSignatures", Plist::boolean(false));
    WriteManagedConfiguration(mac, machine);
    EXPECT_FALSE(read().allowUserSignatures);

    const QString etcFile = mac.rootPath("/etc/quillet/managed.plist");
    EXPECT_EQ(ManagedConfigurationPaths(mac.paths(), SystemLayout::linuxDesktop, kBundleId),
              QStringList{etcFile});
    EXPECT_EQ(read(SystemLayout::linuxDesktop).state, ManagedConfiguration::State::absent);
    mac.writeFile(etcFile, "<plist><dict/></plist>");
    EXPECT_EQ(read(SystemLayout::linuxDesktop).path, etcFile);
    EXPECT_EQ(read().path, ManagedConfigurationFile(mac, ManagedScope::machine));

    WriteManagedConfiguration(mac, Plist::dictionary(), ManagedScope::user);
    EXPECT_EQ(read().path, userFile());
    EXPECT_TRUE(read().allowUserSignatures);

    // A configuration nested 100,000 levels deep once overflowed the stack of every command.
    mac.writeFile(userFile(), "<plist><dict><key>ManagedSignatures</key>" +
                                  QByteArray("<array>").repeated(100'000) +
                                  QByteArray("</array>").repeated(100'000) + "</dict></plist>");
    EXPECT_EQ(read().state, ManagedConfiguration::State::unreadable);
    EXPECT_TRUE(log.contains("Error: Managed configuration: could not read " + userFile() +
                             " as a property list (nested deeper than 512 levels); the managed "
                             "signatures are left as they are"));
    // A list of entries where the settings' dictionary belongs is no configuration either.
    WriteManagedConfiguration(mac, Plist::array(), ManagedScope::user);
    EXPECT_EQ(read().state, ManagedConfiguration::State::unreadable);
    EXPECT_TRUE(log.contains("Error: Managed configuration: could not read " + userFile() +
                             " as a property list (not a dictionary); the managed signatures are "
                             "left as they are"));
}

// The service's address is joined to the request paths as text: only https, or http to this
// machine, and nothing that would send the requests elsewhere; a refused one is named.
TEST_F(ManagedConfigurationTest, OnlyHttpsOrLoopbackServicesAreAccepted) {
    for (const QStringList& row : ReadDataTable("managed/service-urls.tsv")) {
        const bool accepted = row[1] == "yes";
        Plist root = Plist::dictionary();
        root.node().set("ServiceURL", Plist::string(row[0]));
        WriteManagedConfiguration(mac, root);
        EXPECT_EQ(read().serviceUrl, accepted ? std::optional(QUrl(row[0])) : std::nullopt);
        EXPECT_EQ(log.containsText("ServiceURL \"" + row[0] + "\" refused: " + row.value(2)),
                  !accepted)
            << row[0].toStdString();
    }
}

// The sample profile in docs/ carries, in the custom-preferences payload, a configuration that
// reads without a refusal.
TEST_F(ManagedConfigurationTest, TheSampleProfileCarriesAGoodConfiguration) {
    // The compiler names this file relative to the folder it builds in, or absolutely.
    const QString sample = QFileInfo(QDir(QUILLET_BINARY_DIR "/tests"), __FILE__).absolutePath() +
                           "/../../../docs/Quillet-managed-signatures.mobileconfig";
    const auto profile = ReadPlistFile(sample);
    ASSERT_TRUE(profile) << sample.toStdString();
    const auto settings = profile->node()
                              .get("PayloadContent")
                              ->at(0)
                              ->get("PayloadContent")
                              ->get(kBundleId)
                              ->get("Forced")
                              ->at(0)
                              ->get("mcx_preference_settings");
    ASSERT_TRUE(settings);
    WriteManagedConfiguration(mac, Plist::copyOf(*settings));

    const ManagedConfiguration configuration = read();

    EXPECT_EQ(configuration.entries.size(), 3u);
    EXPECT_TRUE(log.lines().empty()) << log.lines().front().toStdString();
}

}  // namespace
}  // namespace quillet
