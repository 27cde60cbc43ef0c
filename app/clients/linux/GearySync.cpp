#include "app/clients/linux/GearySync.h"

#include <QFileInfo>

#include "app/clients/linux/GLibKeyFile.h"
#include "app/clients/linux/GearyAccounts.h"
#include "common/Log.h"

namespace quillet {

namespace {

constexpr ClientKind kGeary = ClientKind::geary;

}  // namespace

GearySyncPlan PlanGearySync(const SyncInputs& inputs, const std::map<QString, QByteArray>& files,
                            const std::map<QString, ClientSettings>& kept) {
    std::map<QString, GLibKeyFile> keyFiles;  // by account email, the account's file as read
    std::map<QString, QString> paths;         // by account email
    const IdentitySignatureClient client{
        [&](const LinuxClientAccount& identity) -> std::optional<ClientSettings> {
            const QString path = GearyAccountFilePath(inputs.clientInfo, identity.idString());
            const auto contents = files.find(path);
            if (contents == files.end())
                return std::nullopt;
            const auto account = ParseGearyAccount(identity.idString(), contents->second);
            auto file = GLibKeyFile::parse(contents->second);
            if (!account || account->email != identity.email() || !file)
                return std::nullopt;
            ClientSettings settings{
                {kGearyUseSignature, file->rawValue(kGearyAccountGroup, kGearyUseSignature)},
                {kGearySignature, file->string(kGearyAccountGroup, kGearySignature)}};
            keyFiles.emplace(identity.email(), std::move(*file));
            paths.emplace(identity.email(), path);
            return settings;
        },
        [&](const LinuxClientAccount& identity, const ClientSettings& current) {
            const auto text = current.at(kGearySignature);
            return text && !text->isEmpty() &&
                   IsInstalledText(kGeary, inputs.idToSignatureMap, identity.email(), *text);
        },
        [](const Signature& signature) {
            return ClientSettings{{kGearyUseSignature, QStringLiteral("true")},
                                  {kGearySignature, EffectiveText(signature).value_or(QString())}};
        },
    };
    IdentitySignaturePlan identities = PlanIdentitySignatures(kGeary, inputs, kept, client);
    GearySyncPlan plan;
    for (const IdentityChange& change : identities.changes) {
        const QString email = change.identity->email();
        GLibKeyFile& file = keyFiles.at(email);
        for (const auto& [name, value] : change.settings) {
            if (!value)
                file.removeKey(kGearyAccountGroup, name);
            else if (name == kGearySignature)
                file.setString(kGearyAccountGroup, name, *value);
            else
                file.setRawValue(kGearyAccountGroup, name, *value);
        }
        plan.files[paths.at(email)] = file.contents();
    }
    plan.replaced = std::move(identities.replaced);
    plan.unwrittenEmails = std::move(identities.unwrittenEmails);
    return plan;
}

std::optional<SyncLinuxClientSignaturesError> SyncGearySignatures(const SyncInputs& inputs) {
    const QString name = SyncName(QStringLiteral("SyncGearySignatures"));
    LogInfo(name);
    using Kind = SyncLinuxClientSignaturesError::Kind;
    const QString folder = inputs.clientInfo.linuxConfigFolderQ.value_or(QString());
    std::map<QString, QByteArray> files;
    for (const LinuxClientAccount* identity : LinuxClientIdentities(inputs.accountsInfo)) {
        const QString path = GearyAccountFilePath(inputs.clientInfo, identity->idString());
        if (!QFileInfo::exists(path))
            continue;  // the account is gone: nothing of it is written
        const auto contents = ReadClientFile(path);
        if (!contents) {
            LogError(name + ": Could not read " + path);
            return SyncLinuxClientSignaturesError{Kind::fileSystem, path, "cannot be read"};
        }
        files.emplace(path, *contents);
    }
    const auto kept = inputs.replaced.read(kGeary, folder);
    if (!kept)
        return SyncLinuxClientSignaturesError{Kind::fileSystem, inputs.replaced.path(),
                                              "cannot be read"};
    const GearySyncPlan plan = PlanGearySync(inputs, files, *kept);
    LogUnwrittenEmails(name, folder, plan.unwrittenEmails);
    if (auto error = KeepPersonsSettings(inputs, kGeary, folder, plan.replaced, name))
        return error;
    for (const auto& [path, contents] : plan.files) {
        LogInfo(name + ": Writing out " + path + "...");
        if (const auto failure = inputs.writes.writeFile(path, contents)) {
            LogError(name + ": Could not write out " + path + ": " + failure->description);
            return SyncLinuxClientSignaturesError{Kind::fileSystem, path, failure->description,
                                                  failure->cause};
        }
    }
    FinishIdentitySync(kGeary, inputs, name, plan.unwrittenEmails);
    return std::nullopt;
}

}  // namespace quillet
