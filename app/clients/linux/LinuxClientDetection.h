#pragma once
// Evolution, KMail and Geary as Linux installs them: the distribution's package (the program in
// /usr/bin) or a Flatpak (system or user), whose settings live in the Flatpak's own home
// (~/.var/app/ID/config). The version is the newest release the installation's AppStream file
// lists; the build is empty.

#include <QString>
#include <QStringList>
#include <vector>

#include "app/clients/ClientInfo.h"
#include "platform/LinuxWorkspace.h"
#include "platform/Paths.h"

namespace quillet {

struct LinuxClientInstallation {
    QString path;          // the program file, or the Flatpak's installation folder (rooted)
    QString metainfo;      // the AppStream file that lists its releases (rooted)
    QString configFolder;  // where the client keeps its settings for this installation
};

// The places looked at for the client, in order: the package, the system Flatpak, the user's.
std::vector<LinuxClientInstallation> LinuxClientInstallations(ClientKind kind, const Paths& paths);

// The first installation of each of the three clients whose program and AppStream file exist.
ClientInfoMap FindLinuxDesktopClients(const Paths& paths);

// The newest release's version in an AppStream file; empty when there is none.
QString AppStreamVersion(const QString& path);

// How the clients that are closed for their sync show in the process table (Geary).
std::vector<LinuxApplication> LinuxDesktopClientApplications();

}  // namespace quillet
