#include "app/clients/linux/LinuxClientAccounts.h"

#include "app/clients/accounts/DuplicateAccounts.h"
#include "app/clients/linux/EvolutionRegistry.h"
#include "app/clients/linux/EvolutionSources.h"
#include "app/clients/linux/GearyAccounts.h"
#include "app/clients/linux/KMailIdentities.h"
#include "app/clients/linux/LinuxSyncSupport.h"
#include "common/Log.h"

namespace quillet {

namespace {

std::optional<Accounts> EvolutionAccounts(QString& from) {
    from = "its registry";
    const auto sources = EvolutionRegistry().sources();
    if (!sources.value) {
        LogError("Could not read Evolution's sources: " + sources.error);
        return std::nullopt;
    }
    Accounts accounts;
    for (const EvolutionIdentity& identity : EvolutionIdentities(*sources.value))
        accounts.push_back(
            std::make_shared<LinuxClientAccount>(identity.email, identity.uid, identity.name));
    return accounts;
}

std::optional<Accounts> KMailAccounts(const ClientInfo& info, QString& from) {
    from = KMailIdentitiesPath(info);
    const auto contents = ReadClientFile(from);
    if (!contents) {
        LogError("Could not read " + from);
        return std::nullopt;
    }
    Accounts accounts;
    for (const KMailIdentity& identity : ReadKMailIdentities(KConfigFile(*contents)))
        accounts.push_back(
            std::make_shared<LinuxClientAccount>(identity.email, identity.uoid, identity.name));
    return accounts;
}

std::optional<Accounts> GearyAccounts(const ClientInfo& info, QString& from) {
    from = info.linuxConfigFolderQ.value_or(QString());
    const auto found = ReadGearyAccounts(info);
    if (!found) {
        LogError("Could not read Geary's accounts in " + from);
        return std::nullopt;
    }
    Accounts accounts;
    for (const GearyAccount& account : *found)
        accounts.push_back(
            std::make_shared<LinuxClientAccount>(account.email, account.folder, account.name));
    return accounts;
}

}  // namespace

std::optional<Accounts> DiscoverLinuxClientAccounts(ClientKind kind, const ClientInfo& info) {
    QString from;
    std::optional<Accounts> accounts;
    switch (kind) {
        case ClientKind::evolution:
            accounts = EvolutionAccounts(from);
            break;
        case ClientKind::kmail:
            accounts = KMailAccounts(info, from);
            break;
        case ClientKind::geary:
            accounts = GearyAccounts(info, from);
            break;
        default:
            return std::nullopt;
    }
    if (!accounts)
        return std::nullopt;
    LogInfo(DisplayName(kind) + " accounts obtained from " + from + ":");
    for (const AccountPtr& account : *accounts)
        LogInfo("    " + account->description());
    return RemoveDuplicateAccounts(kind, *accounts);
}

}  // namespace quillet
