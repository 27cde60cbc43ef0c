#include "app/clients/linux/KMailIdentities.h"

#include <QRegularExpression>

namespace quillet {

QString KMailIdentitiesPath(const ClientInfo& clientInfo) {
    return clientInfo.linuxConfigFolderQ.value_or(QString()) + "/emailidentities";
}

std::vector<KMailIdentity> ReadKMailIdentities(const KConfigFile& file) {
    static const QRegularExpression kIdentityGroup("^Identity #\\d+$");
    std::vector<KMailIdentity> identities;
    for (const QString& group : file.groups()) {
        if (!kIdentityGroup.match(group).hasMatch())
            continue;
        const QString email = file.value(group, "Email Address").value_or(QString()).trimmed();
        if (email.isEmpty())
            continue;
        auto name = file.value(group, "Name");
        if (name && name->trimmed().isEmpty())
            name.reset();
        identities.push_back({group, email, file.value(group, "uoid").value_or(QString()), name});
    }
    return identities;
}

std::optional<QString> KMailIdentityGroup(const KConfigFile& file, const QString& uoid,
                                          const QString& email) {
    const auto identities = ReadKMailIdentities(file);
    for (const KMailIdentity& identity : identities) {
        if (identity.uoid == uoid && identity.email == email)
            return identity.group;
    }
    for (const KMailIdentity& identity : identities) {
        if (identity.email == email)
            return identity.group;
    }
    return std::nullopt;
}

}  // namespace quillet
