#include "app/clients/accounts/DuplicateAccounts.h"

#include <QHash>

#include "common/Log.h"

namespace quillet {

void LogDuplicateAccount(ClientKind kind, const Account& dropped, const Account& kept) {
    LogWarning(DisplayName(kind) + ": ignoring duplicate account for email " + dropped.email() +
               ": " + dropped.description());
    LogWarning("    first account for this email: " + kept.description());
}

Accounts RemoveDuplicateAccounts(ClientKind kind, const Accounts& accounts) {
    Accounts kept;
    QHash<QString, AccountPtr> emailToKept;
    for (const AccountPtr& account : accounts) {
        const QString email = account->email();
        if (const auto found = emailToKept.constFind(email); found != emailToKept.constEnd()) {
            LogDuplicateAccount(kind, *account, **found);
            continue;
        }
        emailToKept.insert(email, account);
        kept.push_back(account);
    }
    return kept;
}

}  // namespace quillet
