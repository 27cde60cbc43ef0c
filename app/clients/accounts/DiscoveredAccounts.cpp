#include "app/clients/accounts/DiscoveredAccounts.h"

#include <QSet>

namespace quillet {

void ApplyDiscoveredAccounts(AccountsInfo& info, const std::optional<Accounts>& accounts,
                             bool partial) {
    if (!accounts) {
        info.status = AccountsInfoStatus::discoveryFailed;
        return;
    }
    if (partial) {
        QSet<QString> emails;
        for (const AccountPtr& account : info.accounts)
            emails.insert(account->email());
        for (const AccountPtr& account : *accounts) {
            if (emails.contains(account->email()))
                continue;
            emails.insert(account->email());
            info.accounts.push_back(account);
        }
        return;
    }
    info.accounts = *accounts;
    info.cachedAccounts = *accounts;
    info.status = AccountsInfoStatus::discoverySucceeded;
}

}  // namespace quillet
