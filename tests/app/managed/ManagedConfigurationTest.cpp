#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/managed/ManagedConfiguration.h"
#include "common/Log.h"
#include "platform/Plist.h"

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

Plist Entry(std::initializer_list<std::pair<QString, Plist>> members) {
    Plist entry = Plist::dictionary();
    for (const auto& [name, value] : members)
        entry.node().set(name, value);
    return entry;
}

TEST_F(ManagedConfigurationTest, EachEntryIsCheckedAndTheGoodOnesKept) {
    struct Case {
        Plist entry;
        QString reason;  // empty: accepted
    };
    const std::vector<Case> cases = {
        {Entry({{"Key", Plist::string(" k-org\n")}}), {}},
        {Entry({{"Key", Plist::string("k-org")},
                {"Client", Plist::string("Thunderbird")},
                {"Account", Plist::string("tom@example.com")},
                {"InsertForForwards", Plist::boolean(false)}}),
         {}},
        {Plist::string("k-org"), "not a dictionary"},
        {Entry({{"Client", Plist::string("Spark")}}), "no Key"},
        {Entry({{"Key", Plist::string("\t")}}), "no Key"},
        {Entry({{"Key", Plist::integer(4)}}), "Key is not a string"},
        {Entry({{"Key", Plist::string("k")}, {"Client", Plist::string("thunderbird")}}),
         "unknown Client \"thunderbird\""},
        {Entry({{"Key", Plist::string("k")}, {"Account", Plist::string("tom@localhost")}}),
         "Account \"tom@localhost\" is not an email address"},
        {Entry({{"Key", Plist::string("k")}, {"InsertForReplies", Plist::string("yes")}}),
         "InsertForReplies is not a boolean"},
    };
    Plist list = Plist::array();
    for (const Case& c : cases)
        list.node().append(c.entry);
    Plist root = Plist::dictionary();
    root.node().set("ManagedSignatures", list);
    write(machineFile(), root, true);

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
    for (size_t index = 2; index < cases.size(); ++index) {
        EXPECT_TRUE(log.contains("Error: Managed configuration: ManagedSignatures[" +
                                 QString::number(index) + "] skipped: " + cases[index].reason))
            << index;
    }
    EXPECT_TRUE(configuration.allowUserSignatures);
}

TEST_F(ManagedConfigurationTest, ThePersonsFileWinsAndAnUnreadableOneSaysSo) {
    EXPECT_EQ(read().state, ManagedConfiguration::State::absent);
    Plist machine = Plist::dictionary();
    machine.node().set("AllowUserSignatures", Plist::boolean(false));
    write(machineFile(), machine);
    EXPECT_FALSE(read().allowUserSignatures);

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

// On the Linux desktop only the file in /etc counts; on the Mac it is not looked at.
TEST_F(ManagedConfigurationTest, OnTheLinuxDesktopTheFileIsInEtc) {
    const QString etcFile = paths.system("/etc/quillet/managed.plist");
    EXPECT_EQ(ManagedConfigurationPaths(paths, SystemLayout::linuxDesktop, kBundleId),
              QStringList{etcFile});
    write(etcFile, Plist::dictionary());
    write(machineFile(), Plist::dictionary());
    EXPECT_EQ(read(SystemLayout::linuxDesktop).path, etcFile);
    EXPECT_EQ(read().path, machineFile());
    QFile::remove(machineFile());
    EXPECT_EQ(read().state, ManagedConfiguration::State::absent);
}

TEST_F(ManagedConfigurationTest, OnlyHttpsOrLoopbackServicesAreAccepted) {
    const std::vector<std::pair<QString, bool>> cases = {
        {"https://signatures.example.com", true},
        {"https://signatures.example.com:8443/base", true},
        {"http://127.0.0.1:8080", true},
        {"http://127.2.3.4", true},
        {"http://[::1]:9000", true},
        {"http://localhost", true},
        {"http://signatures.example.com", false},
        {"http://10.0.0.1", false},
        {"http://127.0.0.1.example.com", false},
        {"ftp://signatures.example.com", false},
        {"https://", false},
        {"signatures.example.com", false},
        // Joined to the request paths as text, these would send every request elsewhere.
        {"https://signatures.example.com/#fragment", false},
        {"https://signatures.example.com#", false},
        {"https://signatures.example.com/?tenant=a", false},
    };
    for (const auto& [text, accepted] : cases)
        EXPECT_EQ(IsAcceptedServiceUrl(QUrl(text)), accepted) << text.toStdString();

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
