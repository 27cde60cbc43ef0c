#pragma once
// The clients of a Linux desktop: Thunderbird as Linux installs it (the distribution's package,
// Flatpak, Snap), its version and build from the installation's application.ini, and its
// default profile through profiles.ini in the installation's profiles home; Evolution, KMail and
// Geary (app/clients/linux/LinuxClientDetection). The Mac-only clients are never found here.

#include <QString>
#include <QStringList>
#include <vector>

#include "app/clients/ClientInfo.h"
#include "platform/LinuxWorkspace.h"
#include "platform/Paths.h"

namespace quillet {

// One way Thunderbird is installed on Linux.
struct LinuxThunderbirdInstallation {
    QString applicationFolder;  // holds application.ini (rooted)
    QString profilesHome;       // holds profiles.ini and, usually, the profiles themselves
};

// The places looked at, in order: the distribution's package (/usr/lib/thunderbird,
// /usr/lib64/thunderbird, /opt/thunderbird), the system and the user Flatpak, the Snap.
std::vector<LinuxThunderbirdInstallation> LinuxThunderbirdInstallations(const Paths& paths);

// Evolution, KMail and Geary as found, and Thunderbird when an installation with a readable
// application.ini ("[App]" "Version" and "BuildID") is found and its default profile too; the first
// installation whose profiles home exists is taken, else the first installation found.
ClientInfoMap FindLinuxClients(const Paths& paths);

// What the process table shows of the clients that run on Linux.
std::vector<LinuxApplication> LinuxClientApplications();

}  // namespace quillet
