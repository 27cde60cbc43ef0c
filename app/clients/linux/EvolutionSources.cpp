#include "app/clients/linux/EvolutionSources.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "app/clients/linux/GLibKeyFile.h"
#include "common/Text.h"

namespace quillet {

namespace {

const QString kDataSourceGroup = QStringLiteral("Data Source");

}  // namespace

std::vector<EvolutionIdentity> EvolutionIdentities(const std::vector<EvolutionSource>& sources) {
    std::vector<EvolutionIdentity> identities;
    for (const EvolutionSource& source : sources) {
        const auto file = GLibKeyFile::parse(source.data);
        if (!file || !file->hasGroup(kEvolutionIdentityGroup))
            continue;
        if (file->boolean(kDataSourceGroup, "Enabled") == false)
            continue;
        const QString email =
            file->string(kEvolutionIdentityGroup, "Address").value_or(QString()).trimmed();
        if (email.isEmpty())
            continue;
        auto name = file->string(kEvolutionIdentityGroup, "Name");
        if (name && name->trimmed().isEmpty())
            name.reset();
        identities.push_back({source.uid, email, name});
    }
    return identities;
}

QString EvolutionSignatureUid(const Signature& signature) {
    return kQuilletSignatureUidPrefix + CanonicalUuidText(signature.uuid());
}

bool IsQuilletSignatureUid(const QString& uid) {
    return uid.startsWith(kQuilletSignatureUidPrefix);
}

QByteArray EvolutionSignatureSourceData(const QString& name) {
    auto file = GLibKeyFile::parse(QByteArray());
    file->setString(kDataSourceGroup, "DisplayName", name);
    file->setBoolean(kDataSourceGroup, "Enabled", true);
    file->setString(kDataSourceGroup, "Parent", QString());
    file->setString("Mail Signature", "MimeType", "text/html");
    return file->contents();
}

std::optional<QString> EvolutionSourceDisplayName(const QByteArray& data) {
    const auto file = GLibKeyFile::parse(data);
    return file ? file->string(kDataSourceGroup, "DisplayName") : std::nullopt;
}

bool IsEvolutionSourceFile(const QString& path) {
    const QFileInfo file(path);
    const QFileInfo folder(file.path());
    return file.suffix() == "source" && folder.fileName() == "sources" &&
           folder.dir().dirName() == "evolution";
}

std::optional<QString> PutBackEvolutionSource(const EvolutionRegistry& registry,
                                              ClientWrites& writes, const QString& path,
                                              const std::optional<QByteArray>& contents) {
    const QString uid = QFileInfo(path).completeBaseName();
    const auto sources = registry.sources();
    if (!sources.value)
        return sources.error;
    const bool known =
        std::any_of(sources.value->begin(), sources.value->end(),
                    [&](const EvolutionSource& source) { return source.uid == uid; });
    using Kind = RegistrySourceChange::Kind;
    if (!contents) {
        if (!known)
            return std::nullopt;
        return writes.changeRegistrySource(registry, {Kind::remove, uid, path, {}});
    }
    return writes.changeRegistrySource(registry,
                                       {known ? Kind::write : Kind::create, uid, path, *contents});
}

QString EvolutionSignatureTextPath(const ClientInfo& clientInfo, const QString& uid) {
    return clientInfo.linuxConfigFolderQ.value_or(QString()) + "/signatures/" + uid;
}

QString EvolutionSourcePath(const ClientInfo& clientInfo, const QString& uid) {
    return clientInfo.linuxConfigFolderQ.value_or(QString()) + "/sources/" + uid + ".source";
}

}  // namespace quillet
