#pragma once
// Registering the host with the browsers for the user: one host manifest per browser, naming the
// host program and the one extension that may start it. Chromium and Chrome find it in their
// configuration folder's "NativeMessagingHosts" (or in that of a profile started with
// --user-data-dir), Firefox in "~/.mozilla/native-messaging-hosts".

#include <QString>
#include <QStringList>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/Paths.h"

namespace quillet::web {

// The host's name, as the extension's scripts connect to it.
inline const QString kHostName = "app.quillet.webmail";
// The extension's identifiers: Chromium's follows from the public key in its manifest, Firefox's
// is declared there.
inline const QString kChromiumExtensionId = "egmamabbiljiefmieldplpaofegligjk";
inline const QString kFirefoxExtensionId = "webmail@quillet.app";

enum class HostBrowser { chromium, firefox };

nlohmann::json HostManifest(HostBrowser browser, const QString& hostProgram);

// Where the manifests go for the user: Chromium's, Chrome's and Firefox's folders below home,
// or only the given profile's folder (a Chromium --user-data-dir).
struct HostManifestTarget {
    HostBrowser browser;
    QString folder;
};
std::vector<HostManifestTarget> HostManifestTargets(const Paths& paths,
                                                    const QString& profileFolder = {});

// Writes every manifest (creating folders); the paths written, or the message of the first
// failure.
struct InstallResult {
    QStringList written;
    std::optional<QString> error;
};
InstallResult InstallHostManifests(const std::vector<HostManifestTarget>& targets,
                                   const QString& hostProgram);

}  // namespace quillet::web
