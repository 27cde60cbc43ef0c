#include "app/clients/linux/KMailSync.h"

#include <QLockFile>

#include "app/clients/linux/KConfigFile.h"
#include "app/clients/linux/KMailIdentities.h"
#include "app/clients/linux/SessionBus.h"
#include "common/Log.h"

namespace quillet {

namespace {

constexpr ClientKind kKMail = ClientKind::kmail;
const QString kInlineSignature = QStringLiteral("Inline Signature");
// KDE's writer holds the lock for the moment of a write; a lock held longer is a stale one that
// QLockFile takes over, or a KMail that hangs.
constexpr int kLockWaitMs = 10000;

// Every KDE program's identity manager reads the file again on this signal, unless it sent it.
void AnnounceIdentitiesChanged() {
    if (const Result<const SessionBus*> bus = LoadSessionBus())
        (*bus)->announceIdentitiesChanged();
    else
        LogError("KMail: the identities' change is not announced: " + bus.error());
}

}  // namespace

KMailSyncPlan PlanKMailSync(const SyncInputs& inputs, const QByteArray& contents,
                            const std::map<QString, ClientSettings>& kept) {
    KConfigFile file(contents);
    std::map<QString, QString> groups;  // by account email
    const IdentitySignatureClient client{
        [&](const LinuxClientAccount& identity) -> std::optional<ClientSettings> {
            const auto group = KMailIdentityGroup(file, identity.idString(), identity.email());
            if (!group)
                return std::nullopt;
            groups[identity.email()] = *group;
            ClientSettings settings;
            for (const QString& name : kKMailSignatureSettings)
                settings[name] = file.value(*group, name);
            return settings;
        },
        [&](const LinuxClientAccount& identity, const ClientSettings& current) {
            const auto text = current.at(kInlineSignature);
            return text && !text->isEmpty() &&
                   IsInstalledText(kKMail, inputs.idToSignatureMap, identity.email(), *text);
        },
        [](const Signature& signature) {
            return ClientSettings{{kInlineSignature, EffectiveText(signature).value_or(QString())},
                                  {"Inlined Html", QStringLiteral("true")},
                                  {"Signature Enabled", QStringLiteral("true")},
                                  {"Signature Type", QStringLiteral("inline")}};
        },
    };
    IdentitySignaturePlan identities = PlanIdentitySignatures(kKMail, inputs, kept, client);
    for (const IdentityChange& change : identities.changes) {
        const QString& group = groups.at(change.identity->email());
        for (const auto& [name, value] : change.settings) {
            if (value)
                file.setValue(group, name, *value);
            else
                file.removeKey(group, name);
        }
    }
    return {file.contents(), std::move(identities.replaced), std::move(identities.unwrittenEmails)};
}

std::optional<SyncLinuxClientSignaturesError> SyncKMailSignatures(const SyncInputs& inputs) {
    const QString name = SyncName(QStringLiteral("SyncKMailSignatures"));
    LogInfo(name);
    const QString path = KMailIdentitiesPath(inputs.clientInfo);
    using Kind = SyncLinuxClientSignaturesError::Kind;
    QLockFile lock(path + ".lock");
    if (!lock.tryLock(kLockWaitMs)) {
        LogError(name + ": Could not lock " + path);
        return SyncLinuxClientSignaturesError{Kind::busy, path, "locked by another program"};
    }
    const auto contents = ReadClientFile(path);
    if (!contents) {
        LogError(name + ": Could not read " + path);
        return SyncLinuxClientSignaturesError{Kind::fileSystem, path, "cannot be read"};
    }
    const auto kept = inputs.replaced.read(kKMail, path);
    if (!kept)
        return SyncLinuxClientSignaturesError{Kind::fileSystem, inputs.replaced.path(),
                                              "cannot be read"};
    const KMailSyncPlan plan = PlanKMailSync(inputs, *contents, *kept);
    LogUnwrittenEmails(name, path, plan.unwrittenEmails);
    if (auto error = KeepPersonsSettings(inputs, kKMail, path, plan.replaced, name))
        return error;
    if (plan.contents != *contents) {
        LogInfo(name + ": Writing out " + path + "...");
        if (const auto failure = inputs.writes.writeFile(path, plan.contents)) {
            LogError(name + ": Could not write out " + path + ": " + failure->description);
            return SyncLinuxClientSignaturesError{Kind::fileSystem, path, failure->description,
                                                  failure->cause};
        }
        lock.unlock();
        inputs.writes.announceChange(AnnounceIdentitiesChanged);
    }
    FinishIdentitySync(kKMail, inputs, name, plan.unwrittenEmails);
    return std::nullopt;
}

}  // namespace quillet
