#include "app/clients/DetectionProfiles.h"

#include <QFileInfo>
#include <QUrl>
#include <filesystem>
#include <system_error>

#include "app/clients/Detection.h"
#include "app/clients/ProfilesIni.h"
#include "common/Log.h"

namespace quillet {

namespace {

struct Listing {
    bool ok = false;
    QStringList paths;  // the entries in the file system's order, hidden ones included
};

Listing ListFolder(const QString& folder) {
    Listing listing;
    std::error_code error;
    std::filesystem::directory_iterator it(std::filesystem::path(folder.toStdString()), error);
    if (error)
        return listing;
    for (const auto end = std::filesystem::directory_iterator(); it != end; it.increment(error)) {
        if (error)
            return listing;
        listing.paths.append(QString::fromStdString(it->path().string()));
    }
    listing.ok = !error;
    return listing;
}

// The listing as a list of file addresses, the way the log has always shown it.
QString ListingText(const QStringList& paths) {
    QString text = "(";
    for (qsizetype i = 0; i < paths.size(); ++i) {
        QString address = QUrl::fromLocalFile(paths[i]).toString(QUrl::FullyEncoded);
        if (QFileInfo(paths[i]).isDir())
            address += "/";
        text += (i == 0 ? "\n    \"" : ",\n    \"") + address + "\"";
    }
    return text + (paths.isEmpty() ? ")" : "\n)");
}

QString WithoutTrailingSlash(QString path) {
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

}  // namespace

QStringList MozillaProfilesFolders(ClientKind kind, const Paths& paths) {
    switch (kind) {
        case ClientKind::postbox:
            return {paths.userLibrary() + "/Application Support/PostboxApp/Profiles",
                    paths.userLibrary() + "/Application Support/Postbox/Profiles"};
        case ClientKind::thunderbird:
            return {paths.userLibrary() + "/Thunderbird/Profiles"};
        default:
            return {};
    }
}

QStringList MozillaProfilesHomes(const QStringList& profilesFolders) {
    QStringList homes;
    for (const QString& folder : profilesFolders)
        homes.append(QFileInfo(folder).path());
    return homes;
}

std::optional<QString> FindDefaultMozillaProfile(ClientKind kind, const QStringList& profilesHomes,
                                                 const QStringList& profilesFolders) {
    for (const QString& home : profilesHomes) {
        if (!QFileInfo(home).isDir())
            continue;
        if (const auto profile = ProfilesIniDefaultProfile(home)) {
            LogInfo(DisplayName(kind) + ": Default profile from " + home +
                    "/profiles.ini: " + *profile);
            return profile;
        }
        break;
    }
    return FindMozillaProfilePath(kind, profilesFolders);
}

std::optional<QString> FindMozillaProfilePath(ClientKind kind,
                                              const QStringList& candidateFolders) {
    const QString name = DisplayName(kind);
    for (const QString& folder : candidateFolders) {
        if (!QFileInfo::exists(folder))
            continue;
        const Listing listing = ListFolder(folder);
        if (!listing.ok) {
            LogError(name + ": Could not get directory contents for " + folder);
            return std::nullopt;
        }
        if (listing.paths.isEmpty()) {
            LogWarning(name + ": Empty profiles directory: " + folder);
            return std::nullopt;
        }
        // The extension alone decides: "x.default-release" has the extension "default-release".
        for (const QString& path : listing.paths) {
            if (QFileInfo(path).suffix() == "default")
                return WithoutTrailingSlash(path);
        }
        LogError(name + ": Default profile not found in " + folder +
                 "\nAvailable profiles: " + ListingText(listing.paths));
        return std::nullopt;
    }
    LogWarning(name + ": No profiles directory exists");
    return std::nullopt;
}

}  // namespace quillet
