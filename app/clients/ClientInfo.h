#pragma once
// What client detection found for one installed client.

#include <QString>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "common/ClientKind.h"

namespace quillet {

enum class OutlookVersionKind { v16_80OrNewer, v16_41To79, v16_Pre41, v15, v14OrOlder };

struct ClientInfo {
    ClientInfo(QString bundlePath, QString shortVersion, QString version)
        : path(std::move(bundlePath)),
          bundleShortVersionString(std::move(shortVersion)),
          bundleVersion(std::move(version)) {}

    const QString path;  // the application bundle, such as /Applications/Mail.app
    const QString bundleShortVersionString;
    const QString bundleVersion;
    std::optional<QString> appleMailDataPathQ;  // Apple Mail: its newest MailData folder
    std::optional<OutlookVersionKind> outlookVersionKindQ;  // Outlook: the version class
    std::optional<QString> mozillaBasedClientProfilePathQ;  // Postbox, Thunderbird: the profile
    // Evolution, KMail, Geary: the client's settings folder (the Flatpak's own when installed so)
    std::optional<QString> linuxConfigFolderQ;
};

using ClientInfoPtr = std::shared_ptr<ClientInfo>;
using ClientInfoMap = std::map<ClientKind, ClientInfoPtr>;

}  // namespace quillet
