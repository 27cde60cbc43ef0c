#include "app/clients/linux/LinuxClientDetection.h"

#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

namespace quillet {

namespace {

struct LinuxClientFacts {
    ClientKind kind;
    QString program;        // in /usr/bin
    QString applicationId;  // the desktop and Flatpak id, and the AppStream file's name
    QString configFolder;   // below the configuration home
};

const std::vector<LinuxClientFacts>& Facts() {
    static const std::vector<LinuxClientFacts> kFacts = {
        {ClientKind::evolution, "evolution", "org.gnome.Evolution", "evolution"},
        {ClientKind::kmail, "kmail", "org.kde.kmail2", ""},
        {ClientKind::geary, "geary", "org.gnome.Geary", "geary"},
    };
    return kFacts;
}

const LinuxClientFacts* FactsOf(ClientKind kind) {
    for (const LinuxClientFacts& facts : Facts()) {
        if (facts.kind == kind)
            return &facts;
    }
    return nullptr;
}

// AppStream files are named ID.metainfo.xml, older ones ID.appdata.xml, in share/metainfo (or,
// older, share/appdata).
QString FindMetainfo(const QString& share, const QString& id) {
    for (const char* folder : {"/metainfo/", "/appdata/"}) {
        for (const char* suffix : {".metainfo.xml", ".appdata.xml"}) {
            const QString path = share + folder + id + suffix;
            if (QFileInfo(path).isFile())
                return path;
        }
    }
    return share + "/metainfo/" + id + ".metainfo.xml";
}

QString WithFolder(const QString& base, const QString& folder) {
    return folder.isEmpty() ? base : base + "/" + folder;
}

}  // namespace

std::vector<LinuxClientInstallation> LinuxClientInstallations(ClientKind kind, const Paths& paths) {
    const LinuxClientFacts* facts = FactsOf(kind);
    if (!facts)
        return {};
    const QString home = paths.home();
    const QString flatpakApp = "/app/" + facts->applicationId + "/current/active";
    const QString flatpakConfig =
        WithFolder(home + "/.var/app/" + facts->applicationId + "/config", facts->configFolder);
    std::vector<LinuxClientInstallation> installations;
    installations.push_back({paths.system("/usr/bin/" + facts->program),
                             FindMetainfo(paths.system("/usr/share"), facts->applicationId),
                             WithFolder(home + "/.config", facts->configFolder)});
    for (const QString& flatpak :
         {paths.system("/var/lib/flatpak"), home + "/.local/share/flatpak"}) {
        const QString folder = flatpak + flatpakApp;
        installations.push_back(
            {folder, FindMetainfo(folder + "/files/share", facts->applicationId), flatpakConfig});
    }
    return installations;
}

QString AppStreamVersion(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Releases are listed newest first.
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement &&
            xml.name() == QLatin1String("release"))
            return xml.attributes().value("version").toString();
    }
    return {};
}

ClientInfoMap FindLinuxDesktopClients(const Paths& paths) {
    ClientInfoMap map;
    for (const LinuxClientFacts& facts : Facts()) {
        for (const LinuxClientInstallation& installation :
             LinuxClientInstallations(facts.kind, paths)) {
            if (!QFileInfo::exists(installation.path) || !QFileInfo(installation.metainfo).isFile())
                continue;
            auto info = std::make_shared<ClientInfo>(installation.path,
                                                     AppStreamVersion(installation.metainfo), "");
            info->linuxConfigFolderQ = installation.configFolder;
            map[facts.kind] = info;
            break;
        }
    }
    return map;
}

std::vector<LinuxApplication> LinuxDesktopClientApplications() {
    // Geary quits on its own command, the way its menu does it.
    return {{BundleIdentifier(ClientKind::geary), {"geary"}, "org.gnome.Geary", "", {"--quit"}}};
}

}  // namespace quillet
