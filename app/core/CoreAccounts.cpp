// The engine's side of account discovery: which clients to discover, the hand-over of each
// result, and the accounts cache.
#include "app/clients/accounts/AccountsCache.h"
#include "app/clients/accounts/DiscoverAccounts.h"
#include "app/clients/accounts/DiscoveredAccounts.h"
#include "app/core/Core.h"
#include "app/permissions/AccessibilityHelper.h"

namespace quillet {

void Core::loadCachedAccounts() {
    const auto cached = LoadCachedAccounts(_dataFolder);
    std::map<ClientKind, Accounts> loaded;
    for (ClientKind kind : _clientKinds) {
        AccountsInfo info;
        if (const auto found = cached.find(kind); found != cached.end()) {
            info.accounts = found->second;
            info.cachedAccounts = found->second;
            loaded[kind] = found->second;
        }
        _clientKindToAccountsInfoMap[kind] = info;
    }
    LogLoadedCachedAccounts(loaded);
}

void Core::startAccountDiscovery() {
    std::vector<ClientKind> kept;
    for (ClientKind kind : _clientKinds) {
        if (!AccountsAreReadFromFiles(kind) &&
            !IsApplicationRunning(_platform.workspace, BundleIdentifier(kind))) {
            continue;
        }
        const AccountsInfo& info = _clientKindToAccountsInfoMap.at(kind);
        const bool hasCachedAccounts =
            info.status == AccountsInfoStatus::loadedFromCacheOrEmpty && !info.accounts.empty();
        const bool needsNoPermission =
            AccessibilityHelper::requirements(AccessibilityHelper::ValidationKind::accountDiscovery,
                                              kind)
                .empty();
        // A client that needs a permission is scripted at start only when its cache has
        // accounts: the person has been through the permission before and the list is
        // refreshed, while a client never used with us gets no permission prompt at login.
        if (needsNoPermission || hasCachedAccounts)
            kept.push_back(kind);
    }
    for (ClientKind kind : kept) {
        _clientKindToAccountsInfoMap.at(kind).status = AccountsInfoStatus::discovering;
    }
    _platform.notificationCenter.post(kAccountsInfoUpdatedNotification);
    validateAccountDiscovery(kept);
    startDiscovery(kept);
}

void Core::rediscoverAccounts(const std::vector<ClientKind>& kinds) {
    std::vector<ClientKind> kept;
    for (ClientKind kind : kinds) {
        const auto found = _clientKindToAccountsInfoMap.find(kind);
        if (found == _clientKindToAccountsInfoMap.end())
            continue;  // not a detected client
        if (found->second.status == AccountsInfoStatus::discovering)
            continue;
        found->second.status = AccountsInfoStatus::discovering;
        kept.push_back(kind);
    }
    if (kept.empty())
        return;
    _platform.notificationCenter.post(kAccountsInfoUpdatedNotification);
    validateAccountDiscovery(kept);
    startDiscovery(kept);
}

PermissionContext Core::permissionContext() const {
    std::optional<QString> appleMailDataPath;
    if (const auto mail = _clientKindToInfoMap.find(ClientKind::appleMail);
        mail != _clientKindToInfoMap.end() && mail->second) {
        appleMailDataPath = mail->second->appleMailDataPathQ;
    }
    return PermissionContext{
        _clientKinds,       appleMailDataPath, _scriptRunner,        _platform.accessibility,
        _platform.prompter, _brand->appName(), _permissionsPresenter};
}

void Core::validateAccountDiscovery(const std::vector<ClientKind>& kinds) {
    AccessibilityHelper::validate(permissionContext(),
                                  AccessibilityHelper::ValidationKind::accountDiscovery,
                                  std::set<ClientKind>(kinds.begin(), kinds.end()));
}

void Core::startDiscovery(const std::vector<ClientKind>& kinds) {
    std::vector<std::pair<ClientKind, ClientInfoPtr>> clients;
    for (ClientKind kind : kinds)
        clients.emplace_back(kind, _clientKindToInfoMap.at(kind));
    ++_discoveriesInProgress;
    auto discovery = DiscoverAccounts(
        clients, _scriptRunner, _platform.paths, _platform.mainQueue,
        [this](ClientKind kind, const std::optional<Accounts>& accounts, bool partial) {
            SetDiscoveredAccounts(kind, accounts, partial);
        },
        [this, alive = std::weak_ptr<bool>(_alive)] {
            if (alive.expired())
                return;
            --_discoveriesInProgress;
            // Finished discoveries are dropped on a later turn, outside their own call.
            _platform.mainQueue.post([this, alive] {
                if (alive.expired())
                    return;
                std::erase_if(_discoveries, [](const auto& d) { return d->isFinished(); });
            });
            letSignaturesGoWhenIdle();
        });
    _discoveries.push_back(std::move(discovery));
}

void Core::SetDiscoveredAccounts(ClientKind kind, const std::optional<Accounts>& accounts,
                                 bool partial) {
    const auto found = _clientKindToAccountsInfoMap.find(kind);
    if (found == _clientKindToAccountsInfoMap.end())
        return;
    ApplyDiscoveredAccounts(found->second, accounts, partial);
    SaveCachedAccounts(_dataFolder, _clientKindToAccountsInfoMap);
    _platform.notificationCenter.post(kAccountsInfoUpdatedNotification);
}

}  // namespace quillet
