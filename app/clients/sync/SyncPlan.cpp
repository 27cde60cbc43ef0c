#include "app/clients/sync/SyncPlan.h"

#include <QtGlobal>
#include <functional>

#include "app/clients/sync/ClientText.h"
#include "common/Log.h"
#include "common/Text.h"

namespace quillet {

namespace {

// Constant-initialised, so that a sync name built during another file's static initialisation
// is whole.
constexpr QLatin1String kSyncNameMarker("(_:_:_:_:_:)");
constexpr QLatin1String kCall("()");

// The list and the map are built from the same signatures; an id without a record is the
// caller's fault and nothing sensible can follow it.
const SignaturePtr& SignatureOf(const IdToSignatureMap& map, SignatureId id) {
    const auto found = map.find(id);
    if (found == map.end() || !found->second)
        qFatal("Sync: no signature with ID %s", qPrintable(id.toString()));
    return found->second;
}

const SelectedInstallationsInfo* SelectedEntry(const Signature& signature, ClientKind kind) {
    const auto found = signature.clientKindToSelectedInstallationsInfoMap.find(kind);
    return found == signature.clientKindToSelectedInstallationsInfoMap.end() ? nullptr
                                                                             : &found->second;
}

const PerformedInstallationsInfo* PerformedEntry(const Signature& signature, ClientKind kind) {
    const auto found = signature.clientKindToPerformedInstallationsInfoMap.find(kind);
    return found == signature.clientKindToPerformedInstallationsInfoMap.end() ? nullptr
                                                                              : &found->second;
}

// The identifier under which each client holds an installed signature.
QString InstalledIdString(ClientKind kind, const Signature& signature) {
    switch (kind) {
        case ClientKind::appleMail:
        case ClientKind::postbox:
        case ClientKind::spark:
        case ClientKind::evolution:
            return CanonicalUuidText(signature.uuid());
        case ClientKind::outlook:
            return signature.nameQe;
        case ClientKind::thunderbird:
        case ClientKind::kmail:
        case ClientKind::geary:
            return {};
    }
    return {};
}

bool IsCurrent(const Signature& signature) {
    return !signature.pendingDeletion && signature.active;
}

void UpdateCurrentInstallations(ClientKind kind, const DiscoveryState& discovery,
                                Signature& signature) {
    const auto& known = discovery.knownEmails;
    auto selectedFound = signature.clientKindToSelectedInstallationsInfoMap.find(kind);
    SelectedInstallationsInfo* selected =
        selectedFound == signature.clientKindToSelectedInstallationsInfoMap.end()
            ? nullptr
            : &selectedFound->second;
    if (selected) {
        if (selected->allAccountsSelected) {
            selected->allAccountsPayloadX = SelectedInstallationPayload{};
        } else {
            for (auto& [email, payload] : selected->accountEmailToPayloadMap) {
                if (known.count(email))
                    payload = SelectedInstallationPayload{};
            }
        }
    }

    std::map<QString, PerformedInstallationPayload> carried;
    if (const auto* performed = PerformedEntry(signature, kind);
        performed && !performed->allAccountsInstalled) {
        for (const auto& [email, payload] : performed->accountEmailToPayloadMap) {
            if (!known.count(email))
                carried.emplace(email, payload);
        }
    }

    PerformedInstallationsInfo result;
    const std::optional<QString> text = EffectiveText(signature);
    if (selected) {
        const PerformedInstallationPayload installed{InstalledIdString(kind, signature),
                                                     text.value_or(QString())};
        if (selected->allAccountsSelected) {
            result.allAccountsInstalled = true;
            result.allAccountsPayloadX = installed;
        } else {
            for (const auto& [email, payload] : selected->accountEmailToPayloadMap) {
                if (known.count(email))
                    result.accountEmailToPayloadMap.emplace(email, installed);
            }
        }
    }
    if (!result.allAccountsInstalled && !discovery.discoverySucceeded)
        result.accountEmailToPayloadMap.merge(carried);

    const bool recorded = result.allAccountsInstalled || !result.accountEmailToPayloadMap.empty();
    if (recorded && text)
        signature.clientKindToPerformedInstallationsInfoMap[kind] = std::move(result);
    else
        signature.clientKindToPerformedInstallationsInfoMap.erase(kind);
}

void UpdateFormerInstallations(ClientKind kind, const DiscoveryState& discovery,
                               Signature& signature) {
    auto& performedMap = signature.clientKindToPerformedInstallationsInfoMap;
    const auto found = performedMap.find(kind);
    if (found == performedMap.end())
        return;
    PerformedInstallationsInfo& performed = found->second;
    if (discovery.discoverySucceeded || performed.allAccountsInstalled) {
        performedMap.erase(found);
        return;
    }
    std::erase_if(performed.accountEmailToPayloadMap,
                  [&](const auto& entry) { return discovery.knownEmails.count(entry.first) > 0; });
    if (performed.accountEmailToPayloadMap.empty())
        performedMap.erase(found);
}

// Per-account selections of accounts a sync could not write wait for the next pass.
void MarkPending(SelectedInstallationsInfo& selected, const std::set<QString>& emails) {
    if (selected.allAccountsSelected)
        return;
    for (const QString& email : emails) {
        const auto payload = selected.accountEmailToPayloadMap.find(email);
        if (payload != selected.accountEmailToPayloadMap.end())
            payload->second.pendingReinstallation = true;
    }
}

}  // namespace

QString SyncName(const QString& operation) {
    return operation + kSyncNameMarker + kCall;
}

namespace {

const QString& SignatureText(const Signature& signature) {
    return signature.mainTextQe.isEmpty() ? signature.localTextQe : signature.mainTextQe;
}

}  // namespace

std::optional<QString> EffectiveText(const Signature& signature) {
    QString carried = TextForClients(SignatureText(signature));
    if (carried.isEmpty())
        return std::nullopt;
    return carried;
}

bool IsInstallable(const Signature& signature, ClientKind clientKind) {
    // Asked for every signature and client at every pass: the text is not copied here.
    return IsCurrent(signature) && SelectedEntry(signature, clientKind) &&
           HasTextForClients(SignatureText(signature));
}

std::set<SignatureId> InstallableSignatureIds(ClientKind clientKind,
                                              const AccountsInfo& accountsInfo,
                                              const IdToSignatureMap& idToSignatureMap) {
    const DiscoveryState discovery = DiscoveryStateOf(accountsInfo);
    // An address may be selected in another letter case than the account carries it.
    std::set<QString> known;
    for (const QString& email : discovery.knownEmails)
        known.insert(email.toLower());
    const auto counts = [&](const QString& email) {
        return !discovery.discoverySucceeded || known.count(email.toLower()) > 0;
    };
    std::set<SignatureId> ids;
    for (const auto& [id, signature] : idToSignatureMap) {
        if (!IsInstallable(*signature, clientKind))
            continue;
        const SelectedInstallationsInfo* selected = SelectedEntry(*signature, clientKind);
        const auto& emails = selected->accountEmailToPayloadMap;
        if (selected->allAccountsSelected ||
            std::any_of(emails.begin(), emails.end(),
                        [&](const auto& entry) { return counts(entry.first); }))
            ids.insert(id);
    }
    return ids;
}

std::map<QString, SignatureId> UuidTextToSignatureIdMap(const IdToSignatureMap& idToSignatureMap) {
    std::map<QString, SignatureId> map;
    for (const auto& [id, signature] : idToSignatureMap)
        map.emplace(CanonicalUuidText(signature->uuid()), id);
    return map;
}

std::map<QString, SignatureId> AccountEmailToSignatureIdMap(
    ClientKind clientKind, const AccountsInfo& accountsInfo, const SignatureIds& signatureIds,
    const IdToSignatureMap& idToSignatureMap) {
    std::set<QString> emails;
    for (const AccountPtr& account : accountsInfo.accounts)
        emails.insert(account->email());
    // Each address's is the first signature in store order that selects it: one walk over the
    // signatures, however many accounts there are.
    std::map<QString, SignatureId> map;
    for (const SignatureId id : signatureIds) {
        if (map.size() == emails.size())
            break;
        const Signature& signature = *SignatureOf(idToSignatureMap, id);
        if (!IsInstallable(signature, clientKind))
            continue;
        const SelectedInstallationsInfo* selected = SelectedEntry(signature, clientKind);
        if (selected->allAccountsSelected)
            continue;
        for (const auto& [email, payload] : selected->accountEmailToPayloadMap) {
            if (emails.contains(email))
                map.emplace(email, id);  // an earlier signature keeps it
        }
    }
    return map;
}

bool ReleasesAccountDefault(ClientKind clientKind, const Signature& signature, bool staysInClient,
                            const QString& email) {
    if (!staysInClient)
        return true;
    const PerformedInstallationsInfo* performed = PerformedEntry(signature, clientKind);
    const bool boundByQuillet = performed && performed->accountEmailToPayloadMap.count(email);
    if (!boundByQuillet)
        return false;
    const SelectedInstallationsInfo* selected = SelectedEntry(signature, clientKind);
    const bool stillSelected = selected && !selected->allAccountsSelected &&
                               selected->accountEmailToPayloadMap.count(email);
    return !stillSelected;
}

namespace {

// "NAME: TITLE (N signature(s)):" with NAME the sync name without its trailing "()" and N the
// size of the map, then the listed ids, each with its record's description, as one entry.
void LogListing(const QString& syncName, size_t mapSize, const SignatureIds& listed,
                const std::function<const Signature&(SignatureId)>& record, const QString& title,
                const QString& leftOut) {
    QString name = syncName;
    if (name.endsWith(kCall))
        name.chop(kCall.size());
    const size_t notListed = mapSize > listed.size() ? mapSize - listed.size() : 0;
    const size_t lines = listed.size() + (notListed > 0 ? 1 : 0);
    LogInfoListing(name + ": " + title + " (" + QString::number(mapSize) + " signature(s)):", lines,
                   [&](size_t index) {
                       if (index == listed.size())
                           return QString("(%1 other signature(s) %2)").arg(notListed).arg(leftOut);
                       const SignatureId id = listed[index];
                       return id.toString() + ":\n" + Describe(record(id));
                   });
}

}  // namespace

void LogSignatures(const QString& syncName, const SignatureIds& signatureIds,
                   const IdToSignatureMap& idToSignatureMap, const QString& title) {
    LogListing(
        syncName, idToSignatureMap.size(), signatureIds,
        [&](SignatureId id) -> const Signature& { return *SignatureOf(idToSignatureMap, id); },
        title, "not listed");
}

void LogClientSignatures(const QString& syncName, ClientKind clientKind, const SyncInputs& inputs,
                         const QString& title) {
    SignatureIds concerned;
    for (const SignatureId id : inputs.signatureIds) {
        const Signature& signature = *SignatureOf(inputs.idToSignatureMap, id);
        if (SelectedEntry(signature, clientKind) || PerformedEntry(signature, clientKind))
            concerned.push_back(id);
    }
    LogListing(
        syncName, inputs.idToSignatureMap.size(), concerned,
        [&](SignatureId id) -> const Signature& {
            return *SignatureOf(inputs.idToSignatureMap, id);
        },
        title, "with nothing for this client");
}

DiscoveryState DiscoveryStateOf(const AccountsInfo& accountsInfo) {
    DiscoveryState state;
    state.discoverySucceeded = accountsInfo.status == AccountsInfoStatus::discoverySucceeded;
    for (const AccountPtr& account : accountsInfo.accounts)
        state.knownEmails.insert(account->email());
    return state;
}

void UpdateInstallations(ClientKind clientKind, const DiscoveryState& discovery,
                         Signature& signature) {
    if (IsCurrent(signature))
        UpdateCurrentInstallations(clientKind, discovery, signature);
    else
        UpdateFormerInstallations(clientKind, discovery, signature);
}

namespace {

// A signature's installations for one client: what the bookkeeping may change.
struct ClientInstallations {
    std::optional<SelectedInstallationsInfo> selected;
    std::optional<PerformedInstallationsInfo> performed;
    bool operator==(const ClientInstallations&) const = default;
};

ClientInstallations InstallationsOf(const Signature& signature, ClientKind kind) {
    ClientInstallations installations;
    if (const auto* selected = SelectedEntry(signature, kind))
        installations.selected = *selected;
    if (const auto* performed = PerformedEntry(signature, kind))
        installations.performed = *performed;
    return installations;
}

void PutBack(Signature& signature, ClientKind kind, const ClientInstallations& installations) {
    signature.clientKindToSelectedInstallationsInfoMap.erase(kind);
    signature.clientKindToPerformedInstallationsInfoMap.erase(kind);
    if (installations.selected)
        signature.clientKindToSelectedInstallationsInfoMap[kind] = *installations.selected;
    if (installations.performed)
        signature.clientKindToPerformedInstallationsInfoMap[kind] = *installations.performed;
}

}  // namespace

bool KeepReplacedSettings(const SyncInputs& inputs, ClientKind clientKind, const QString& storage,
                          const ReplacedSettingsChanges& changes, const QString& syncName) {
    const auto error = inputs.replaced.update(clientKind, storage, changes, inputs.writes);
    if (error)
        LogError(syncName + ": Could not keep the replaced signature settings: " + *error);
    return !error;
}

void FinishSync(ClientKind clientKind, const SyncInputs& inputs, const QString& syncName,
                bool logOldSignatures, const std::set<QString>& unwrittenEmails) {
    // The bookkeeping first, noting the signatures it changes: the listings and the save are
    // about those, however many signatures there are.
    DiscoveryState discovery = DiscoveryStateOf(inputs.accountsInfo);
    for (const QString& email : unwrittenEmails)
        discovery.knownEmails.erase(email);
    SignatureIds changed;
    std::map<SignatureId, Signature> before;
    for (const SignatureId id : inputs.signatureIds) {
        Signature& signature = *SignatureOf(inputs.idToSignatureMap, id);
        // Nothing of this client's: nothing for the bookkeeping to change.
        if (!SelectedEntry(signature, clientKind) && !PerformedEntry(signature, clientKind))
            continue;
        const ClientInstallations old = InstallationsOf(signature, clientKind);
        UpdateInstallations(clientKind, discovery, signature);
        if (IsInstallable(signature, clientKind))
            MarkPending(signature.clientKindToSelectedInstallationsInfoMap.at(clientKind),
                        unwrittenEmails);
        if (InstallationsOf(signature, clientKind) == old)
            continue;
        changed.push_back(id);
        if (logOldSignatures) {
            Signature& previous = before.emplace(id, signature).first->second;
            PutBack(previous, clientKind, old);
        }
    }
    const auto unchanged = QStringLiteral("unchanged");
    if (logOldSignatures) {
        LogListing(
            syncName, inputs.idToSignatureMap.size(), changed,
            [&](SignatureId id) -> const Signature& { return before.at(id); }, kOldSignaturesTitle,
            unchanged);
    }
    LogListing(
        syncName, inputs.idToSignatureMap.size(), changed,
        [&](SignatureId id) -> const Signature& {
            return *SignatureOf(inputs.idToSignatureMap, id);
        },
        kNewSignaturesTitle, unchanged);
    inputs.store.saveSignatures(changed, inputs.idToSignatureMap);
}

}  // namespace quillet
