#include "app/core/PendingInstallations.h"

#include <algorithm>

#include "app/clients/sync/SyncPlan.h"

namespace quillet {

namespace {

bool Contains(const std::vector<ClientKind>& kinds, ClientKind kind) {
    return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

template <typename Map>
const typename Map::mapped_type* Find(const Map& map, const typename Map::key_type& key) {
    const auto found = map.find(key);
    return found == map.end() ? nullptr : &found->second;
}

bool IsMarked(const SelectedInstallationsInfo& selected) {
    if (selected.allAccountsSelected) {
        return selected.allAccountsPayloadX && selected.allAccountsPayloadX->pendingReinstallation;
    }
    return std::all_of(selected.accountEmailToPayloadMap.begin(),
                       selected.accountEmailToPayloadMap.end(),
                       [](const auto& entry) { return entry.second.pendingReinstallation; });
}

}  // namespace

PendingScope::PendingScope(const std::vector<ClientKind>& detected,
                           const std::map<ClientKind, AccountsInfo>& accounts)
    : detected(detected) {
    for (const ClientKind kind : detected) {
        if (const AccountsInfo* info = Find(accounts, kind))
            discoveries.emplace(kind, DiscoveryStateOf(*info));
    }
}

PendingWork PendingWorkIn(const Signature& signature, ClientKind kind, const PendingScope& scope) {
    PendingWork work;
    const bool detected = Contains(scope.detected, kind);
    static const DiscoveryState kNothingDiscovered;
    const DiscoveryState* found = Find(scope.discoveries, kind);
    const DiscoveryState& discovery = found ? *found : kNothingDiscovered;
    // An account (none: all accounts) with something left. A sync writes only accounts that
    // discovery reported; it removes from the others too once discovery has succeeded.
    const auto left = [&](const QString* email, bool removal) {
        if (!detected) {
            work.clientAway = true;
        } else if (!email || discovery.knownEmails.contains(*email) ||
                   (removal && discovery.discoverySucceeded)) {
            work.passCanDo = true;
        } else if (!work.awaitedAccounts.contains(*email)) {
            work.awaitedAccounts << *email;
        }
    };

    const SelectedInstallationsInfo* selected =
        IsInstallable(signature, kind)
            ? Find(signature.clientKindToSelectedInstallationsInfoMap, kind)
            : nullptr;
    const PerformedInstallationsInfo* performed =
        Find(signature.clientKindToPerformedInstallationsInfoMap, kind);
    // Made once, and only when an installation is there to compare it with.
    std::optional<QString> text;
    const auto done = [&](const SelectedInstallationPayload& payload,
                          const PerformedInstallationPayload* installed) {
        if (payload.pendingReinstallation || !installed)
            return false;
        if (!text)
            text = EffectiveText(signature).value_or(QString());
        return installed->textQe == *text;
    };

    const bool selectedAll = selected && selected->allAccountsSelected;
    if (selectedAll) {
        const PerformedInstallationPayload* installed =
            performed && performed->allAccountsInstalled && performed->allAccountsPayloadX
                ? &*performed->allAccountsPayloadX
                : nullptr;
        if (!done(selected->allAccountsPayloadX.value_or(SelectedInstallationPayload{}),
                  installed)) {
            left(nullptr, false);
        }
    } else if (selected) {
        for (const auto& [email, payload] : selected->accountEmailToPayloadMap) {
            const PerformedInstallationPayload* installed =
                performed && !performed->allAccountsInstalled
                    ? Find(performed->accountEmailToPayloadMap, email)
                    : nullptr;
            if (!done(payload, installed))
                left(&email, false);
        }
    }
    // What is installed beyond the selection goes (all of it, for a signature on its way out).
    if (performed && performed->allAccountsInstalled && !selectedAll)
        left(nullptr, true);
    if (performed && !performed->allAccountsInstalled) {
        for (const auto& [email, installed] : performed->accountEmailToPayloadMap) {
            // Under an all-accounts selection the sync replaces them whatever discovery says.
            if (selectedAll)
                left(nullptr, true);
            else if (!selected || !selected->accountEmailToPayloadMap.contains(email))
                left(&email, true);
        }
    }
    return work;
}

bool PassCanDoPendingWork(const Signature& signature, const PendingScope& scope) {
    return std::any_of(scope.detected.begin(), scope.detected.end(), [&](ClientKind kind) {
        return PendingWorkIn(signature, kind, scope).passCanDo;
    });
}

std::vector<ClientKind> PendingClients(const Signature& signature, const PendingScope& scope) {
    std::vector<ClientKind> clients;
    for (ClientKind kind : scope.detected) {
        if (PendingWorkIn(signature, kind, scope).any())
            clients.push_back(kind);
    }
    for (ClientKind kind : kAllClientKinds) {
        if (!Contains(scope.detected, kind) && PendingWorkIn(signature, kind, scope).any())
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
        if (found == map.end())
            continue;
        if (PassCanDoPendingWork(*found->second, scope))
            pending.push_back(id);
    }
    return pending;
}

bool MarkPendingInstallations(Signature& signature) {
    bool changed = false;
    for (auto& [kind, selected] : signature.clientKindToSelectedInstallationsInfoMap) {
        if (!IsInstallable(signature, kind) || IsMarked(selected))
            continue;
        signature.markForReinstallation(kind);
        changed = true;
    }
    return changed;
}

SignatureIds MarkPendingInstallations(const SignatureIds& ids, const IdToSignatureMap& map) {
    SignatureIds marked;
    for (SignatureId id : ids) {
        const auto found = map.find(id);
        if (found != map.end() && MarkPendingInstallations(*found->second))
            marked.push_back(id);
    }
    return marked;
}

}  // namespace quillet
