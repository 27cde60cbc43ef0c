#include "app/core/PendingInstallations.h"

#include <type_traits>

#include "app/clients/sync/SyncPlan.h"

namespace quillet {

namespace {

// Calls visit on each selected payload of the client that a sync of it would write. Signature is
// Signature (marking: an all-accounts selection gets its payload) or const Signature (reading).
template <typename SignatureT, typename Visit>
void ForEachWritablePayload(SignatureT& signature, ClientKind kind,
                            const std::map<ClientKind, AccountsInfo>& accounts, Visit visit) {
    if (!IsInstallable(signature, kind))
        return;
    auto& selected = signature.clientKindToSelectedInstallationsInfoMap.find(kind)->second;
    if (selected.allAccountsSelected) {
        if constexpr (!std::is_const_v<SignatureT>) {
            if (!selected.allAccountsPayloadX)
                selected.allAccountsPayloadX = SelectedInstallationPayload{};
        }
        if (selected.allAccountsPayloadX)
            visit(*selected.allAccountsPayloadX);
        return;
    }
    const auto info = accounts.find(kind);
    if (info == accounts.end())
        return;
    const DiscoveryState discovery = DiscoveryStateOf(info->second);
    for (auto& [email, payload] : selected.accountEmailToPayloadMap) {
        if (discovery.knownEmails.contains(email))
            visit(payload);
    }
}

bool IsCurrent(const Signature& signature) {
    return !signature.pendingDeletion && signature.active;
}

bool HoldsInstallation(const Signature& signature, ClientKind kind) {
    const auto performed = signature.clientKindToPerformedInstallationsInfoMap.find(kind);
    return performed != signature.clientKindToPerformedInstallationsInfoMap.end() &&
           (performed->second.allAccountsInstalled ||
            !performed->second.accountEmailToPayloadMap.empty());
}

}  // namespace

std::vector<ClientKind> PendingClients(const Signature& signature, const PendingScope& scope) {
    std::vector<ClientKind> clients;
    for (ClientKind kind : scope.detected) {
        bool pending = !IsCurrent(signature) && HoldsInstallation(signature, kind);
        ForEachWritablePayload(signature, kind, scope.accounts,
                               [&pending](const SelectedInstallationPayload& payload) {
                                   pending |= payload.pendingReinstallation;
                               });
        if (pending)
            clients.push_back(kind);
    }
    return clients;
}

SignatureIds SignaturesWithPendingInstallations(const SignatureIds& ids,
                                                const IdToSignatureMap& map,
                                                const PendingScope& scope) {
    SignatureIds pending;
    for (SignatureId id : ids) {
        const auto found = map.find(id);
        if (found != map.end() && !PendingClients(*found->second, scope).empty())
            pending.push_back(id);
    }
    return pending;
}

SignatureIds MarkPendingInstallations(const SignatureIds& ids, const IdToSignatureMap& map,
                                      const std::vector<ClientKind>& clients,
                                      const std::map<ClientKind, AccountsInfo>& accounts) {
    SignatureIds marked;
    for (SignatureId id : ids) {
        const auto found = map.find(id);
        if (found == map.end())
            continue;
        bool changed = false;
        for (ClientKind kind : clients) {
            ForEachWritablePayload(*found->second, kind, accounts,
                                   [&changed](SelectedInstallationPayload& payload) {
                                       changed |= !payload.pendingReinstallation;
                                       payload.pendingReinstallation = true;
                                   });
        }
        if (changed)
            marked.push_back(id);
    }
    return marked;
}

}  // namespace quillet
