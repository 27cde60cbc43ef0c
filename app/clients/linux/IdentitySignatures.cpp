#include "app/clients/linux/IdentitySignatures.h"

#include "common/Log.h"

namespace quillet {

namespace {

// The person's settings as a change that puts them back: every setting Quillet writes, with
// the value the person had (absent ones removed again).
ClientSettings PutBack(const ClientSettings& quillets, const ClientSettings& kept) {
    ClientSettings settings;
    for (const auto& [name, value] : quillets) {
        const auto found = kept.find(name);
        settings[name] = found == kept.end() ? std::nullopt : found->second;
    }
    for (const auto& [name, value] : kept)
        settings[name] = value;
    return settings;
}

}  // namespace

std::vector<const LinuxClientAccount*> LinuxClientIdentities(const AccountsInfo& accountsInfo) {
    std::vector<const LinuxClientAccount*> identities;
    for (const AccountPtr& account : accountsInfo.accounts) {
        if (const auto* identity = dynamic_cast<const LinuxClientAccount*>(account.get()))
            identities.push_back(identity);
    }
    return identities;
}

IdentitySignaturePlan PlanIdentitySignatures(ClientKind clientKind, const SyncInputs& inputs,
                                             const std::map<QString, ClientSettings>& kept,
                                             const IdentitySignatureClient& client) {
    const auto assignment = AccountEmailToSignatureIdMap(
        clientKind, inputs.accountsInfo, inputs.signatureIds, inputs.idToSignatureMap);
    IdentitySignaturePlan plan;
    std::set<QString> visited;
    for (const LinuxClientAccount* identity : LinuxClientIdentities(inputs.accountsInfo)) {
        const QString email = identity->email();
        if (!visited.insert(email).second)
            continue;  // the assignment is by email: the first identity with it carries it
        const auto currentQ = client.currentSettings(*identity);
        if (!currentQ) {
            plan.unwrittenEmails.insert(email);
            continue;
        }
        const ClientSettings& current = *currentQ;
        const bool holdsQuillets = client.holdsQuillets(*identity, current);
        const auto keptHere = kept.find(email);
        const auto assigned = assignment.find(email);
        if (assigned != assignment.end()) {
            const ClientSettings settings =
                client.settingsFor(*inputs.idToSignatureMap.at(assigned->second));
            if (current == settings)
                continue;
            if (!holdsQuillets) {
                ClientSettings replaced;
                for (const auto& [name, value] : settings) {
                    const auto found = current.find(name);
                    replaced[name] = found == current.end() ? std::nullopt : found->second;
                }
                plan.replaced.remembered[email] = std::move(replaced);
            }
            plan.changes.push_back({identity, settings});
        } else if (holdsQuillets) {
            // Without kept settings (they could not be kept once), Quillet's are taken out.
            const ClientSettings none;
            plan.changes.push_back(
                {identity, PutBack(current, keptHere == kept.end() ? none : keptHere->second)});
            if (keptHere != kept.end())
                plan.replaced.forgotten.insert(email);
        } else if (keptHere != kept.end()) {
            // The person changed the identity since: their change stands.
            plan.replaced.forgotten.insert(email);
        }
    }
    return plan;
}

void FinishIdentitySync(ClientKind clientKind, const SyncInputs& inputs, const QString& syncName,
                        const std::set<QString>& unwrittenEmails) {
    if (unwrittenEmails.empty()) {
        FinishSync(clientKind, inputs, syncName, true);
        return;
    }
    AccountsInfo written = inputs.accountsInfo;
    std::erase_if(written.accounts, [&](const AccountPtr& account) {
        return unwrittenEmails.count(account->email()) > 0;
    });
    if (written.status == AccountsInfoStatus::discoverySucceeded)
        written.status = AccountsInfoStatus::discoveryFailed;  // they may come back
    const SyncInputs narrowed{inputs.clientInfo,       written,        inputs.signatureIds,
                              inputs.idToSignatureMap, inputs.store,   inputs.paths,
                              inputs.writes,           inputs.replaced};
    FinishSync(clientKind, narrowed, syncName, true);
}

void LogUnwrittenEmails(const QString& syncName, const QString& storage,
                        const std::set<QString>& unwrittenEmails) {
    for (const QString& email : unwrittenEmails)
        LogWarning(syncName + ": Not writing " + email + ": no identity of " + storage +
                   " carries it");
}

bool IsInstalledText(ClientKind clientKind, const IdToSignatureMap& map, const QString& email,
                     const QString& text) {
    for (const auto& [id, signature] : map) {
        const auto& performedMap = signature->clientKindToPerformedInstallationsInfoMap;
        const auto performed = performedMap.find(clientKind);
        if (performed == performedMap.end())
            continue;
        const auto& payloads = performed->second.accountEmailToPayloadMap;
        const auto payload = payloads.find(email);
        if (payload != payloads.end() && payload->second.textQe == text)
            return true;
    }
    return false;
}

}  // namespace quillet
