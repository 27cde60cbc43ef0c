#include "app/clients/ProfilesIni.h"

#include <gtest/gtest.h>

#include <QDir>

#include "app/clients/Detection.h"
#include "app/clients/DetectionProfiles.h"
#include "app/clients/LinuxDetection.h"
#include "app/demo/FakeMac.h"
#include "common/Log.h"

namespace quillet {
namespace {

// Thunderbird's profiles home on a Mac: profiles.ini beside the "Profiles" folder.
class ProfilesIniTest : public testing::Test {
protected:
    QString thunderbirdHome() const { return mac.paths().userLibrary() + "/Thunderbird"; }
    QString profilesFolder() const { return thunderbirdHome() + "/Profiles"; }
    QString makeProfile(const QString& path) const {
        QDir().mkpath(path);
        return path;
    }
    std::optional<QString> defaultProfile() const {
        return FindDefaultMozillaProfile(ClientKind::thunderbird, {thunderbirdHome()},
                                         {profilesFolder()});
    }

    FakeMac mac;
    LogTap log;
};

TEST_F(ProfilesIniTest, TheProfileThatProfilesIniNamesWins) {
    const QString legacy = makeProfile(profilesFolder() + "/lg01.default");
    const QString install = makeProfile(profilesFolder() + "/in01.default-release");
    const QString elsewhere = makeProfile(mac.home() + "/Elsewhere/ab12.work");
    const QString comma = makeProfile(profilesFolder() + "/x,y.default-release");
    struct Case {
        const char* name;
        QByteArray ini;
        std::optional<QString> expected;
    };
    const std::vector<Case> cases = {
        {"install section beside a legacy Default=1",
         "[Profile1]\nName=default\nIsRelative=1\nPath=Profiles/lg01.default\nDefault=1\n\n"
         "[Install9F0B]\nDefault=Profiles/in01.default-release\nLocked=1\n\n"
         "[Profile0]\nName=default-release\nIsRelative=1\nPath=Profiles/in01.default-release\n\n"
         "[General]\nStartWithLastProfile=1\nVersion=2\n",
         install},
        {"only Default=1",
         "[General]\nVersion=2\n\n[Profile0]\nName=a\nIsRelative=1\nPath=Profiles/"
         "in01.default-release\n\n[Profile1]\nName=b\nIsRelative=1\nPath=Profiles/lg01.default\n"
         "Default=1\n",
         legacy},
        {"an absolute path",
         "[Profile0]\nName=work\nIsRelative=0\nPath=" + elsewhere.toUtf8() + "\nDefault=1\n",
         elsewhere},
        {"an absolute install default",
         "[Install1]\nDefault=" + elsewhere.toUtf8() + "\n[Profile0]\nIsRelative=1\nPath=x\n",
         elsewhere},
        {"comments and a comma in a path",
         "; written by hand\n# another comment\n[Profile0]\nName=c\nIsRelative=1\n"
         "Path=Profiles/x,y.default-release\nDefault=1\n",
         comma},
        {"Profile10 comes after Profile2",
         "[Profile10]\nIsRelative=1\nPath=Profiles/lg01.default\nDefault=1\n"
         "[Profile2]\nIsRelative=1\nPath=Profiles/in01.default-release\nDefault=1\n",
         install},
        {"an install default that is gone, then Default=1",
         "[InstallA]\nDefault=Profiles/gone.default-release\n"
         "[Profile0]\nIsRelative=1\nPath=Profiles/in01.default-release\nDefault=1\n",
         install},
        {"a default that does not exist",
         "[Profile0]\nIsRelative=1\nPath=Profiles/gone.default-release\nDefault=1\n", std::nullopt},
        {"no default at all", "[Profile0]\nIsRelative=1\nPath=Profiles/in01.default-release\n",
         std::nullopt},
        {"not an INI file", QByteArray("\x00\x01\xff", 3), std::nullopt},
    };
    for (const Case& test : cases) {
        mac.writeFile(thunderbirdHome() + "/profiles.ini", test.ini);
        EXPECT_EQ(ProfilesIniDefaultProfile(thunderbirdHome()), test.expected) << test.name;
        // Without a default that exists, the ".default" rule decides.
        EXPECT_EQ(defaultProfile(), test.expected ? *test.expected : legacy) << test.name;
    }
}

TEST_F(ProfilesIniTest, WithoutAUsableProfilesIniTheDotDefaultRuleAndItsErrorLineStand) {
    const QString release = makeProfile(profilesFolder() + "/k3v9.default-release");
    EXPECT_FALSE(defaultProfile());  // no profiles.ini
    const QString errorLine = "Error: Thunderbird: Default profile not found in " +
                              profilesFolder() + "\nAvailable profiles: (\n    \"" +
                              QUrl::fromLocalFile(release).toString() + "/\"\n)";
    EXPECT_TRUE(log.contains(errorLine));

    log.clear();
    mac.writeFile(thunderbirdHome() + "/profiles.ini",
                  "[Install1]\nDefault=Profiles/gone.default-release\n");
    EXPECT_FALSE(defaultProfile());
    EXPECT_TRUE(log.contains(errorLine));
    EXPECT_FALSE(log.containsText("profiles.ini"));

    // Detection of the Mac layout goes through the same look-up.
    mac.installClient(ClientKind::thunderbird, "128.5.0", "12824.11.27");
    mac.writeFile(thunderbirdHome() + "/profiles.ini",
                  "[Install1]\nDefault=Profiles/k3v9.default-release\n");
    const OutlookModeProbe probe(mac.paths());
    const ClientInfoMap map = FindInstalledClients(mac.paths(), probe);
    ASSERT_TRUE(map.count(ClientKind::thunderbird));
    EXPECT_EQ(map.at(ClientKind::thunderbird)->mozillaBasedClientProfilePathQ, release);
    EXPECT_TRUE(log.contains("Info: Thunderbird: Default profile from " + thunderbirdHome() +
                             "/profiles.ini: " + release));
}

// The Linux desktop, laid out under the fake root and home.
TEST_F(ProfilesIniTest, LinuxThunderbirdFromItsApplicationIniAndItsProfilesHome) {
    const QString applicationIni =
        "; comment\n[App]\nVendor=Mozilla\nName=Thunderbird\nVersion=153.8.0\n"
        "BuildID=20261120213735\n";
    mac.writeFile(mac.rootPath("/usr/lib/thunderbird/application.ini"), applicationIni.toUtf8());
    EXPECT_TRUE(FindLinuxClients(mac.paths()).empty());  // no profile yet
    EXPECT_TRUE(log.contains("Warning: Thunderbird: No profiles directory exists"));

    const QString profiles = mac.home() + "/.thunderbird";
    const QString legacy = makeProfile(profiles + "/lg01.default");
    const QString install = makeProfile(profiles + "/in01.default-default");
    ClientInfoMap map = FindLinuxClients(mac.paths());
    ASSERT_TRUE(map.count(ClientKind::thunderbird));
    EXPECT_EQ(map.at(ClientKind::thunderbird)->mozillaBasedClientProfilePathQ, legacy);

    mac.writeFile(profiles + "/profiles.ini",
                  "[Profile1]\nName=default\nIsRelative=1\nPath=lg01.default\nDefault=1\n"
                  "[InstallFDC3]\nDefault=in01.default-default\nLocked=1\n"
                  "[Profile0]\nName=default-default\nIsRelative=1\nPath=in01.default-default\n");
    map = FindLinuxClients(mac.paths());
    ASSERT_TRUE(map.count(ClientKind::thunderbird));
    const ClientInfo& info = *map.at(ClientKind::thunderbird);
    EXPECT_EQ(info.mozillaBasedClientProfilePathQ, install);
    EXPECT_EQ(info.path, mac.rootPath("/usr/lib/thunderbird"));
    EXPECT_EQ(ClientDescription(ClientKind::thunderbird, info),
              "Thunderbird 153.8.0 (20261120213735)");

    // A Flatpak whose profiles home exists wins over a package nobody has used.
    const QString flatpak = mac.rootPath(
        "/var/lib/flatpak/app/org.mozilla.Thunderbird/current/active/files/lib/thunderbird");
    mac.writeFile(flatpak + "/application.ini", "[App]\nVersion=140.1.0\nBuildID=1\n");
    const QString flatpakProfile =
        makeProfile(mac.home() + "/.var/app/org.mozilla.Thunderbird/.thunderbird/fp01.default");
    QDir(profiles).removeRecursively();
    map = FindLinuxClients(mac.paths());
    ASSERT_TRUE(map.count(ClientKind::thunderbird));
    EXPECT_EQ(map.at(ClientKind::thunderbird)->path, flatpak);
    EXPECT_EQ(map.at(ClientKind::thunderbird)->mozillaBasedClientProfilePathQ, flatpakProfile);

    // An application.ini without a version is no installation.
    mac.writeFile(flatpak + "/application.ini", "[App]\nName=Thunderbird\n");
    mac.writeFile(mac.rootPath("/usr/lib/thunderbird/application.ini"), "[App]\n");
    EXPECT_TRUE(FindLinuxClients(mac.paths()).empty());
}

}  // namespace
}  // namespace quillet
