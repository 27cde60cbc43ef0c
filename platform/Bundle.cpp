#include "platform/Bundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace quillet {

namespace {

// The compiled form of a .strings table is a property-list dictionary of key to text.
std::map<QString, QString> ReadStringsTable(const QString& path) {
    std::map<QString, QString> table;
    const auto plist = ReadPlistFile(path);
    if (!plist || !plist->isDictionary())
        return table;
    for (const QString& key : plist->node().keys()) {
        if (const auto text = plist->dictionaryString(key))
            table[key] = *text;
    }
    return table;
}

}  // namespace

Bundle::Bundle(QString resourcesPath, Plist info, std::map<QString, QString> table)
    : _resourcesPath(std::move(resourcesPath)),
      _info(std::move(info)),
      _mainTable(std::move(table)) {}

std::optional<Bundle> Bundle::open(const QString& resourcesPath) {
    auto info = ReadPlistFile(resourcesPath + "/Info.plist");
    if (!info || !info->isDictionary())
        return std::nullopt;
    const QString language = QLocale().name().section('_', 0, 0);
    QString tablePath = resourcesPath + "/" + language + ".lproj/Main.strings";
    if (!QFileInfo::exists(tablePath))
        tablePath = resourcesPath + "/en.lproj/Main.strings";
    return Bundle(resourcesPath, std::move(*info), ReadStringsTable(tablePath));
}

QString Bundle::locate(const QString& overridePath) {
    if (!overridePath.isEmpty())
        return QDir(overridePath).absolutePath();
    const QString fromEnvironment = qEnvironmentVariable("QUILLET_BUNDLE");
    if (!fromEnvironment.isEmpty())
        return QDir(fromEnvironment).absolutePath();
    // Installed like an application bundle: bin/quillet beside Resources/; installed by a Linux
    // package: bin/quillet and share/quillet/Resources.
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QString beside = QDir(programFolder + "/../Resources").absolutePath();
    const QString shared = QDir(programFolder + "/../share/quillet/Resources").absolutePath();
    if (!QFileInfo::exists(beside + "/Info.plist") && QFileInfo::exists(shared + "/Info.plist"))
        return shared;
    return beside;
}

std::optional<QString> Bundle::infoString(const QString& key) const {
    return _info.dictionaryString(key);
}

QString Bundle::resourcePath(const QString& name, const QString& type) const {
    return _resourcesPath + "/" + name + "." + type;
}

QString Bundle::localized(const QString& englishText) const {
    const auto found = _mainTable.find(englishText);
    return found == _mainTable.end() ? englishText : found->second;
}

}  // namespace quillet
