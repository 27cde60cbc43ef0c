#include "extension/native/HostInstall.h"

#include "platform/AtomicFile.h"

namespace quillet::web {

nlohmann::json HostManifest(HostBrowser browser, const QString& hostProgram) {
    nlohmann::json manifest = {{"name", kHostName.toStdString()},
                               {"description", "Quillet signatures for web mail"},
                               {"path", hostProgram.toStdString()},
                               {"type", "stdio"}};
    if (browser == HostBrowser::chromium) {
        manifest["allowed_origins"] = {"chrome-extension://" + kChromiumExtensionId.toStdString() +
                                       "/"};
    } else {
        manifest["allowed_extensions"] = {kFirefoxExtensionId.toStdString()};
    }
    return manifest;
}

std::vector<HostManifestTarget> HostManifestTargets(const Paths& paths,
                                                    const QString& profileFolder) {
    if (!profileFolder.isEmpty())
        return {{HostBrowser::chromium, profileFolder + "/NativeMessagingHosts"}};
    const QString home = paths.home();
    return {{HostBrowser::chromium, home + "/.config/chromium/NativeMessagingHosts"},
            {HostBrowser::chromium, home + "/.config/google-chrome/NativeMessagingHosts"},
            {HostBrowser::firefox, home + "/.mozilla/native-messaging-hosts"}};
}

InstallResult InstallHostManifests(const std::vector<HostManifestTarget>& targets,
                                   const QString& hostProgram) {
    InstallResult result;
    for (const HostManifestTarget& target : targets) {
        const QString path = target.folder + "/" + kHostName + ".json";
        const std::string text = HostManifest(target.browser, hostProgram).dump(2) + "\n";
        if (auto failure = WriteFileAtomicallyOrFail(path, QByteArray::fromStdString(text))) {
            result.error = "Could not write " + path + ": " + failure->description;
            return result;
        }
        result.written << path;
    }
    return result;
}

}  // namespace quillet::web
