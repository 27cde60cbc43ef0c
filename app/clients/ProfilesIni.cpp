#include "app/clients/ProfilesIni.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <algorithm>
#include <vector>

namespace quillet {

namespace {

// QSettings reads an unquoted value with commas as a list; a profile path may hold commas.
QString Text(const QVariant& value) {
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(',');
    return value.toString();
}

struct ProfileEntry {
    QString path;
    bool isRelative = false;
    bool isDefault = false;
};

// The "[ProfileN]" sections in number order (Profile2 before Profile10).
std::vector<ProfileEntry> ReadProfiles(QSettings& ini) {
    QStringList groups;
    for (const QString& group : ini.childGroups()) {
        if (group.startsWith("Profile"))
            groups.append(group);
    }
    std::stable_sort(groups.begin(), groups.end(), [](const QString& a, const QString& b) {
        return a.mid(7).toLongLong() < b.mid(7).toLongLong();
    });
    std::vector<ProfileEntry> profiles;
    for (const QString& group : groups) {
        ini.beginGroup(group);
        profiles.push_back({Text(ini.value("Path")), Text(ini.value("IsRelative")) == "1",
                            Text(ini.value("Default")) == "1"});
        ini.endGroup();
    }
    return profiles;
}

std::optional<QString> ExistingFolder(const QString& iniFolder, const QString& path,
                                      bool isRelative) {
    if (path.isEmpty())
        return std::nullopt;
    const QString full = isRelative ? QDir(iniFolder).filePath(path) : path;
    const QFileInfo info(full);
    if (!info.isDir())
        return std::nullopt;
    return QDir::cleanPath(info.absoluteFilePath());
}

}  // namespace

std::optional<QString> ProfilesIniDefaultProfile(const QString& folder) {
    const QString path = folder + "/profiles.ini";
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError)
        return std::nullopt;
    const std::vector<ProfileEntry> profiles = ReadProfiles(ini);

    for (const QString& group : ini.childGroups()) {
        if (!group.startsWith("Install"))
            continue;
        const QString installDefault = Text(ini.value(group + "/Default"));
        if (installDefault.isEmpty())
            continue;
        // The install default repeats a profile's "Path="; that profile says whether it is
        // relative. One not listed is relative unless it is absolute.
        bool isRelative = QDir::isRelativePath(installDefault);
        for (const ProfileEntry& profile : profiles) {
            if (profile.path == installDefault)
                isRelative = profile.isRelative;
        }
        if (const auto found = ExistingFolder(folder, installDefault, isRelative))
            return found;
    }
    for (const ProfileEntry& profile : profiles) {
        if (profile.isDefault)
            return ExistingFolder(folder, profile.path, profile.isRelative);
    }
    return std::nullopt;
}

}  // namespace quillet
