#include "app/clients/LinuxDetection.h"

#include <QFileInfo>
#include <QSettings>
#include <optional>

#include "app/clients/DetectionProfiles.h"
#include "app/clients/linux/LinuxClientDetection.h"
#include "common/ClientKind.h"

namespace quillet {

namespace {

const QString kFlatpakId = "org.mozilla.Thunderbird";

std::optional<ClientInfoPtr> ReadApplicationIni(const QString& applicationFolder) {
    const QString path = applicationFolder + "/application.ini";
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QSettings ini(path, QSettings::IniFormat);
    const QString version = ini.value("App/Version").toString();
    const QString build = ini.value("App/BuildID").toString();
    if (ini.status() != QSettings::NoError || version.isEmpty())
        return std::nullopt;
    return std::make_shared<ClientInfo>(applicationFolder, version, build);
}

}  // namespace

std::vector<LinuxThunderbirdInstallation> LinuxThunderbirdInstallations(const Paths& paths) {
    const QString home = paths.home();
    const QString nativeProfiles = home + "/.thunderbird";
    const QString flatpakFiles = "/app/" + kFlatpakId + "/current/active/files/lib/thunderbird";
    const QString flatpakProfiles = home + "/.var/app/" + kFlatpakId + "/.thunderbird";
    return {
        {paths.system("/usr/lib/thunderbird"), nativeProfiles},
        {paths.system("/usr/lib64/thunderbird"), nativeProfiles},
        {paths.system("/opt/thunderbird"), nativeProfiles},
        {paths.system("/var/lib/flatpak") + flatpakFiles, flatpakProfiles},
        {home + "/.local/share/flatpak" + flatpakFiles, flatpakProfiles},
        {paths.system("/snap/thunderbird/current"), home + "/snap/thunderbird/common/.thunderbird"},
    };
}

ClientInfoMap FindLinuxClients(const Paths& paths) {
    std::optional<std::pair<ClientInfoPtr, QString>> chosen;
    for (const auto& installation : LinuxThunderbirdInstallations(paths)) {
        const auto info = ReadApplicationIni(installation.applicationFolder);
        if (!info)
            continue;
        if (!chosen)
            chosen.emplace(*info, installation.profilesHome);
        if (QFileInfo(installation.profilesHome).isDir()) {
            chosen.emplace(*info, installation.profilesHome);
            break;
        }
    }
    ClientInfoMap map = FindLinuxDesktopClients(paths);
    if (!chosen)
        return map;
    auto& [info, profilesHome] = *chosen;
    // Linux keeps the profiles beside profiles.ini, so one folder serves both look-ups.
    info->mozillaBasedClientProfilePathQ =
        FindDefaultMozillaProfile(ClientKind::thunderbird, {profilesHome}, {profilesHome});
    if (info->mozillaBasedClientProfilePathQ)
        map[ClientKind::thunderbird] = info;
    return map;
}

std::vector<LinuxApplication> LinuxClientApplications() {
    std::vector<LinuxApplication> applications{{BundleIdentifier(ClientKind::thunderbird),
                                                {"thunderbird", "thunderbird-bin"},
                                                kFlatpakId,
                                                "thunderbird"}};
    for (LinuxApplication& application : LinuxDesktopClientApplications())
        applications.push_back(std::move(application));
    return applications;
}

}  // namespace quillet
