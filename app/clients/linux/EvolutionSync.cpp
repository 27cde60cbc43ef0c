#include "app/clients/linux/EvolutionSync.h"

#include <QFileInfo>

#include "app/clients/linux/EvolutionSources.h"
#include "app/clients/linux/GLibKeyFile.h"
#include "common/Log.h"

namespace quillet {

namespace {

constexpr ClientKind kEvolution = ClientKind::evolution;
using Change = RegistrySourceChange;

const EvolutionSource* SourceWithUid(const std::vector<EvolutionSource>& sources,
                                     const QString& uid) {
    for (const EvolutionSource& source : sources) {
        if (source.uid == uid)
            return &source;
    }
    return nullptr;
}

}  // namespace

EvolutionSyncPlan PlanEvolutionSync(const SyncInputs& inputs,
                                    const std::vector<EvolutionSource>& sources,
                                    const std::map<QString, QByteArray>& texts,
                                    const std::map<QString, ClientSettings>& kept) {
    const ClientInfo& info = inputs.clientInfo;
    EvolutionSyncPlan plan;

    // The signature sources the installable signatures need, with their texts.
    std::set<QString> needed;
    const auto installable =
        InstallableSignatureIds(kEvolution, inputs.accountsInfo, inputs.idToSignatureMap);
    for (const SignatureId id : inputs.signatureIds) {
        const Signature& signature = *inputs.idToSignatureMap.at(id);
        if (!installable.count(id))
            continue;
        const QString uid = EvolutionSignatureUid(signature);
        needed.insert(uid);
        const QString textPath = EvolutionSignatureTextPath(info, uid);
        const QByteArray text = EffectiveText(signature).value_or(QString()).toUtf8();
        const auto current = texts.find(textPath);
        if (current == texts.end() || current->second != text)
            plan.textFiles[textPath] = text;
        const EvolutionSource* source = SourceWithUid(sources, uid);
        if (!source) {
            plan.sourceChanges.push_back({Change::Kind::create, uid, EvolutionSourcePath(info, uid),
                                          EvolutionSignatureSourceData(signature.nameQe)});
        } else if (EvolutionSourceDisplayName(source->data) != signature.nameQe) {
            auto file = GLibKeyFile::parse(source->data);
            if (file) {
                file->setString("Data Source", "DisplayName", signature.nameQe);
                plan.sourceChanges.push_back(
                    {Change::Kind::write, uid, EvolutionSourcePath(info, uid), file->contents()});
            }
        }
    }

    // The identities' pointers.
    std::map<QString, const EvolutionSource*> identitySources;  // by account email
    const IdentitySignatureClient client{
        [&](const LinuxClientAccount& identity) -> std::optional<ClientSettings> {
            const EvolutionSource* source = SourceWithUid(sources, identity.idString());
            const auto file = source ? GLibKeyFile::parse(source->data) : std::nullopt;
            if (!file ||
                file->string(kEvolutionIdentityGroup, "Address").value_or(QString()).trimmed() !=
                    identity.email())
                return std::nullopt;
            identitySources[identity.email()] = source;
            return ClientSettings{{kEvolutionSignatureUid,
                                   file->string(kEvolutionIdentityGroup, kEvolutionSignatureUid)}};
        },
        [](const LinuxClientAccount&, const ClientSettings& current) {
            const auto uid = current.at(kEvolutionSignatureUid);
            return uid && IsQuilletSignatureUid(*uid);
        },
        [](const Signature& signature) {
            return ClientSettings{{kEvolutionSignatureUid, EvolutionSignatureUid(signature)}};
        },
    };
    IdentitySignaturePlan identities = PlanIdentitySignatures(kEvolution, inputs, kept, client);
    for (const IdentityChange& change : identities.changes) {
        const EvolutionSource* source = identitySources.at(change.identity->email());
        auto file = GLibKeyFile::parse(source->data);
        for (const auto& [name, value] : change.settings) {
            if (value)
                file->setString(kEvolutionIdentityGroup, name, *value);
            else
                file->removeKey(kEvolutionIdentityGroup, name);
        }
        plan.sourceChanges.push_back({Change::Kind::write, source->uid,
                                      EvolutionSourcePath(info, source->uid), file->contents()});
    }

    // Quillet's signature sources that no signature needs any more.
    for (const EvolutionSource& source : sources) {
        if (!IsQuilletSignatureUid(source.uid) || needed.count(source.uid))
            continue;
        plan.sourceChanges.push_back(
            {Change::Kind::remove, source.uid, EvolutionSourcePath(info, source.uid), {}});
        const QString textPath = EvolutionSignatureTextPath(info, source.uid);
        if (texts.count(textPath))
            plan.removedTextFiles.append(textPath);
    }
    plan.replaced = std::move(identities.replaced);
    plan.unwrittenEmails = std::move(identities.unwrittenEmails);
    return plan;
}

std::optional<SyncLinuxClientSignaturesError> SyncEvolutionSignatures(
    const SyncInputs& inputs, const EvolutionRegistry& registry) {
    const QString name = SyncName(QStringLiteral("SyncEvolutionSignatures"));
    LogInfo(name);
    using Kind = SyncLinuxClientSignaturesError::Kind;
    const auto sources = registry.sources();
    if (!sources.value) {
        LogError(name + ": Could not read Evolution's sources: " + sources.error);
        return SyncLinuxClientSignaturesError{Kind::registry, {}, sources.error};
    }
    std::map<QString, QByteArray> texts;
    for (const EvolutionSource& source : *sources.value) {
        const QString path = EvolutionSignatureTextPath(inputs.clientInfo, source.uid);
        if (!IsQuilletSignatureUid(source.uid) || !QFileInfo::exists(path))
            continue;
        const auto text = ReadClientFile(path);
        if (!text) {
            LogError(name + ": Could not read " + path);
            return SyncLinuxClientSignaturesError{Kind::fileSystem, path, "cannot be read"};
        }
        texts.emplace(path, *text);
    }
    const QString storage = inputs.clientInfo.linuxConfigFolderQ.value_or(QString());
    const auto kept = inputs.replaced.read(kEvolution, storage);
    if (!kept)
        return SyncLinuxClientSignaturesError{Kind::fileSystem, inputs.replaced.path(),
                                              "cannot be read"};
    const EvolutionSyncPlan plan = PlanEvolutionSync(inputs, *sources.value, texts, *kept);
    LogUnwrittenEmails(name, storage, plan.unwrittenEmails);
    if (auto error = KeepPersonsSettings(inputs, kEvolution, storage, plan.replaced, name))
        return error;
    for (const auto& [path, text] : plan.textFiles) {
        LogInfo(name + ": Writing out " + path + "...");
        const QString folder = QFileInfo(path).path();
        const auto failure = inputs.writes.makeFolder(folder)
                                 ? inputs.writes.writeFile(path, text)
                                 : FileFailure{"cannot make " + folder};
        if (failure) {
            LogError(name + ": Could not write out " + path + ": " + failure->description);
            return SyncLinuxClientSignaturesError{Kind::fileSystem, path, failure->description,
                                                  failure->cause};
        }
    }
    if (!plan.sourceChanges.empty()) {
        // Which composer Evolution opens (HTML or plain text, where an HTML signature loses its
        // links) is one choice of the person's for all identities, not a setting of one.
        LogInfo(name +
                ": Evolution inserts the HTML signatures as HTML in its HTML composer; "
                "its composer mode is the person's choice and stays as it is");
    }
    for (const RegistrySourceChange& change : plan.sourceChanges) {
        LogInfo(name + ": Changing source " + change.uid + "...");
        if (const auto error = inputs.writes.changeRegistrySource(registry, change)) {
            LogError(name + ": Could not change source " + change.uid + ": " + *error);
            return SyncLinuxClientSignaturesError{Kind::registry, change.path, *error};
        }
    }
    for (const QString& path : plan.removedTextFiles) {
        LogInfo(name + ": Removing " + path + "...");
        if (!inputs.writes.removeFile(path)) {
            LogError(name + ": Could not remove " + path);
            return SyncLinuxClientSignaturesError{Kind::fileSystem, path, "cannot be removed"};
        }
    }
    FinishIdentitySync(kEvolution, inputs, name, plan.unwrittenEmails);
    return std::nullopt;
}

}  // namespace quillet
