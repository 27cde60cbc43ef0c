#pragma once
// The application's resources, as in an application bundle: the Info.plist (brand keys, name,
// versions), the AppleScript resources and the "Main" localisation table.

#include <QString>
#include <map>
#include <optional>

#include "platform/Plist.h"

namespace quillet {

class Bundle {
public:
    // Reads DIR/Info.plist and the "Main" table of the user's language (DIR/<lang>.lproj, else
    // DIR/en.lproj). Absent when Info.plist is missing or not a dictionary.
    static std::optional<Bundle> open(const QString& resourcesPath);
    // QUILLET_BUNDLE, overridden by a non-empty argument, else the resources beside the program.
    static QString locate(const QString& overridePath = {});

    const QString& resourcesPath() const { return _resourcesPath; }
    // A string value of the information dictionary.
    std::optional<QString> infoString(const QString& key) const;
    // The path of a resource by name and type ("AppleMail-ListAccounts-1012Plus", "applescript").
    QString resourcePath(const QString& name, const QString& type) const;
    // The "Main" table's text for an English key; the key itself when the table has no entry.
    QString localized(const QString& englishText) const;

private:
    Bundle(QString resourcesPath, Plist info, std::map<QString, QString> table);

    QString _resourcesPath;
    Plist _info;
    std::map<QString, QString> _mainTable;
};

}  // namespace quillet
