#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/managed/ManagedConfiguration.h"
#include "common/Log.h"
#include "platform/Plist.h"
#include "tests/support/DataTable.h"

namespace quillet {
namespace {

const QString kBundleId = "app.quillet.Quillet";

class ManagedConfigurationTest : public testing::Test {
protected:
    ManagedConfigurationTest() { QDir().mkpath(paths.home()); }

    QString machineFile() const {
        return paths.system("/Library/Managed Preferences/" + kBundleId + ".plist");
    }
    QString userFile() const {
        return paths.system("/Library/Managed Preferences/jo/" + kBundleId + ".plist");
    }
    static void write(const QString& path, const Plist& plist, bool binary = false) {
        QDir().mkpath(path.section('/', 0, -2));
        ASSERT_TRUE(WritePlistFile(path, plist, binary));
    }
    ManagedConfiguration read(SystemLayout layout = SystemLayout::mac) const {
        return ReadManagedConfiguration(paths, layout, kBundleId);
    }

    QTemporaryDir folder;
    Paths paths{folder.path() + "/Users/jo", folder.path() + "/root"};
    LogTap log;
};

TEST_F(ManagedConfigurationTest, EachEntryIsCheckedAndTheGoodOnesKept) {
    const QString text = folder.filePath("entries.plist");
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ReadDataText("managed/entries.plist").toUtf8());
    file.close();
    const auto entries = ReadPlistFile(text);
    ASSERT_TRUE(entries);
    write(machineFile(), *entries, true);

    const ManagedConfiguration configuration = read();

    EXPECT_EQ(configuration.state, ManagedConfiguration::State::read);
    ASSERT_EQ(configuration.entries.size(), 2u);
    EXPECT_EQ(configuration.entries[0].key, "k-org");
    EXPECT_EQ(configuration.entries[0].ordinal, 0);
    EXPECT_FALSE(configuration.entries[0].client);
    EXPECT_TRUE(configuration.entries[0].insertForForwards);
    EXPECT_EQ(configuration.entries[1].index, 1);
    EXPECT_EQ(configuration.entries[1].ordinal, 1);  // the second entry with that key
    EXPECT_EQ(configuration.entries[1].client, ClientKind::thunderbird);
    EXPECT_EQ(configuration.entries[1].account, "tom@example.com");
    EXPECT_FALSE(configuration.entries[1].insertForForwards);
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
    write(machineFile(), machine);
    EXPECT_FALSE(read().allowUserSignatures);

    const QString etcFile = paths.system("/etc/quillet/managed.plist");
    EXPECT_EQ(ManagedConfigurationPaths(paths, SystemLayout::linuxDesktop, kBundleId),
              QStringList{etcFile});
    EXPECT_EQ(read(SystemLayout::linuxDesktop).state, ManagedConfiguration::State::absent);
    write(etcFile, Plist::dictionary());
    EXPECT_EQ(read(SystemLayout::linuxDesktop).path, etcFile);
    EXPECT_EQ(read().path, machineFile());

    write(userFile(), Plist::dictionary());
    EXPECT_EQ(read().path, userFile());
    EXPECT_TRUE(read().allowUserSignatures);

    QFile broken(userFile());
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write("<plist><dict>");
    broken.close();
    EXPECT_EQ(read().state, ManagedConfiguration::State::unreadable);
    EXPECT_TRUE(log.containsText("could not read " + userFile()));
}

// A configuration nested 100,000 levels deep once overflowed the stack of every command.
TEST_F(ManagedConfigurationTest, AConfigurationNestedTooDeepIsUnreadableAndSaysWhy) {
    QDir().mkpath(QFileInfo(machineFile()).path());
    QFile bomb(machineFile());
    ASSERT_TRUE(bomb.open(QIODevice::WriteOnly));
    bomb.write("<plist><dict><key>ManagedSignatures</key>" +
               QByteArray("<array>").repeated(100'000) + QByteArray("</array>").repeated(100'000) +
               "</dict></plist>");
    bomb.close();
    EXPECT_EQ(read().state, ManagedConfiguration::State::unreadable);
    EXPECT_TRUE(log.contains("Error: Managed configuration: could not read " + machineFile() +
                             " as a property list (nested deeper than 512 levels); the managed "
                             "signatures are left as they are"));
}

TEST_F(ManagedConfigurationTest, OnlyHttpsOrLoopbackServicesAreAccepted) {
    for (const QStringList& row : ReadDataTable("managed/service-urls.tsv"))
        EXPECT_EQ(IsAcceptedServiceUrl(QUrl(row[0])), row[1] == "yes") << row[0].toStdString();

    Plist root = Plist::dictionary();
    root.node().set("ServiceURL", Plist::string("http://signatures.example.com"));
    write(machineFile(), root);
    EXPECT_FALSE(read().serviceUrl);
    EXPECT_TRUE(log.containsText("ServiceURL \"http://signatures.example.com\" refused"));
    root.node().set("ServiceURL", Plist::string("https://signatures.example.com#x"));
    write(machineFile(), root);
    EXPECT_FALSE(read().serviceUrl);
    EXPECT_TRUE(
        log.containsText("ServiceURL \"https://signatures.example.com#x\" refused: it "
                         "holds a fragment (\"#\"); using the default service"));
    root.node().set("ServiceURL", Plist::string("https://signatures.example.com"));
    write(machineFile(), root);
    EXPECT_EQ(read().serviceUrl, QUrl("https://signatures.example.com"));
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
    write(machineFile(), Plist::copyOf(*settings));

    const ManagedConfiguration configuration = read();

    EXPECT_EQ(configuration.entries.size(), 3u);
    EXPECT_TRUE(log.lines().empty()) << log.lines().front().toStdString();
}

}  // namespace
}  // namespace quillet
