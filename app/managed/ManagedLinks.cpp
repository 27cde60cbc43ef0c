#include "app/managed/ManagedLinks.h"

#include <QFileInfo>

#include "common/Log.h"
#include "common/Text.h"
#include "platform/Plist.h"

namespace quillet {

QString ManagedLinksPath(const QString& supportFolder) {
    return supportFolder + "/ManagedSignatures.plist";
}

std::vector<ManagedLink> LoadManagedLinks(const QString& supportFolder) {
    const QString path = ManagedLinksPath(supportFolder);
    std::vector<ManagedLink> links;
    if (!QFileInfo::exists(path))
        return links;
    const auto plist = ReadPlistFile(path);
    if (!plist || !plist->node().isArray()) {
        LogError("LoadManagedLinks(): Could not read " + path);
        return links;
    }
    const PlistNode list = plist->node();
    for (int index = 0; index < list.size(); ++index) {
        const PlistNode element = *list.at(index);
        const auto key = element.dictionaryString("Key");
        const auto ordinal = element.get("Ordinal");
        const auto uuid = ParseUuid(element.dictionaryString("SignatureUUID").value_or(""));
        if (!key || !ordinal || !ordinal->asInteger() || !uuid) {
            LogError("LoadManagedLinks(): Skipping unreadable link " + QString::number(index));
            continue;
        }
        const auto removed = element.get("Removed");
        links.push_back(ManagedLink{*key, static_cast<int>(*ordinal->asInteger()), *uuid,
                                    removed && removed->asBool().value_or(false)});
    }
    return links;
}

bool SaveManagedLinks(const QString& supportFolder, const std::vector<ManagedLink>& links) {
    Plist list = Plist::array();
    for (const ManagedLink& link : links) {
        Plist element = Plist::dictionary();
        element.node().set("Key", Plist::string(link.key));
        element.node().set("Ordinal", Plist::integer(link.ordinal));
        element.node().set("SignatureUUID", Plist::string(CanonicalUuidText(link.signatureUuid)));
        if (link.removed)
            element.node().set("Removed", Plist::boolean(true));
        list.node().append(std::move(element));
    }
    const QString path = ManagedLinksPath(supportFolder);
    if (WritePlistFile(path, list, false, FileAccess::ownerOnly()))
        return true;
    LogError("SaveManagedLinks(): Could not write " + path);
    return false;
}

}  // namespace quillet
