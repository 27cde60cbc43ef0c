#include <gtest/gtest.h>

#include <QFile>

#include "app/clients/Detection.h"
#include "app/clients/LinuxDetection.h"
#include "app/demo/FakeMac.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

QByteArray AppStream(const QString& id, const QStringList& versions) {
    QString releases;
    for (const QString& version : versions)
        releases += "<release version=\"" + version + "\" date=\"2023-01-01\"/>";
    return ("<?xml version=\"1.0\"?><component type=\"desktop-application\"><id>" + id +
            "</id><releases>" + releases + "</releases></component>")
        .toUtf8();
}

// The three clients laid out under the fake root and home: Evolution and Geary as the
// distribution's packages, KMail as the user's Flatpak with its own settings home.
TEST(LinuxClientDetectionTest, FindsEachClientWhereItsInstallationKeepsItsSettings) {
    FakeMac mac;
    EXPECT_TRUE(FindLinuxClients(mac.paths()).empty());

    for (const QString program : {"evolution", "geary"}) {
        mac.writeFile(mac.rootPath("/usr/bin/" + program), "#!/bin/sh\n");
        QFile::setPermissions(mac.rootPath("/usr/bin/" + program),
                              QFile::ReadOwner | QFile::ExeOwner);
    }
    // A program without its AppStream file is not taken for the client.
    EXPECT_TRUE(FindLinuxClients(mac.paths()).empty());
    mac.writeFile(mac.rootPath("/usr/share/metainfo/org.gnome.Evolution.metainfo.xml"),
                  AppStream("org.gnome.Evolution", {"3.46.4", "3.46.3"}));
    mac.writeFile(mac.rootPath("/usr/share/metainfo/org.gnome.Geary.appdata.xml"),
                  AppStream("org.gnome.Geary", {"43.0"}));
    const QString kmailFlatpak =
        mac.home() + "/.local/share/flatpak/app/org.kde.kmail2/current/active";
    mac.writeFile(kmailFlatpak + "/files/share/metainfo/org.kde.kmail2.appdata.xml",
                  AppStream("org.kde.kmail2", {"23.08.1"}));

    const ClientInfoMap map = FindLinuxClients(mac.paths());
    ASSERT_EQ(
        AvailableClientKinds(map),
        (std::vector<ClientKind>{ClientKind::evolution, ClientKind::kmail, ClientKind::geary}));
    const ClientInfo& evolution = *map.at(ClientKind::evolution);
    EXPECT_EQ(ClientDescription(ClientKind::evolution, evolution), "Evolution 3.46.4");
    EXPECT_EQ(evolution.path, mac.rootPath("/usr/bin/evolution"));
    EXPECT_EQ(evolution.linuxConfigFolderQ, mac.home() + "/.config/evolution");
    const ClientInfo& kmail = *map.at(ClientKind::kmail);
    EXPECT_EQ(ClientDescription(ClientKind::kmail, kmail), "KMail 23.08.1");
    EXPECT_EQ(kmail.path, kmailFlatpak);
    EXPECT_EQ(kmail.linuxConfigFolderQ, mac.home() + "/.var/app/org.kde.kmail2/config");
    EXPECT_EQ(map.at(ClientKind::geary)->linuxConfigFolderQ, mac.home() + "/.config/geary");
}

}  // namespace
}  // namespace quillet
