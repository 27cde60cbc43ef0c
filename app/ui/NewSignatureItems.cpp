#include "app/ui/NewSignatureItems.h"

#include <algorithm>

#include "app/clients/ClientDisplayText.h"
#include "common/Localization.h"

namespace quillet {

namespace {

using Kind = AccountItem::Kind;

const AccountsInfo& InfoOf(const FormClients& clients, ClientKind kind) {
    static const AccountsInfo kNothingKnown;
    const auto found = clients.accountsInfos.find(kind);
    return found == clients.accountsInfos.end() ? kNothingKnown : found->second;
}

bool IsListed(const FormClients& clients, ClientKind kind) {
    return std::find(clients.clientKinds.begin(), clients.clientKinds.end(), kind) !=
           clients.clientKinds.end();
}

QString DisplayText(const FormClients& clients, ClientKind kind) {
    const auto info = clients.infos.find(kind);
    if (info == clients.infos.end() || !info->second)
        return DisplayName(kind);
    return ClientDisplayText(kind, *info->second);
}

QString ItemText(const FormClients& clients, Kind kind, const std::optional<ClientKind>& client,
                 const QString& email, const QString& accountName) {
    const QString clientText = client ? DisplayText(clients, *client) : QString();
    switch (kind) {
        case Kind::account:
            return accountName;
        case Kind::clientAccount:
            return clientText + ": " + accountName;
        case Kind::noneAccount:
            return Localized("None");
        case Kind::discoverAccounts:
            return Localized("Load email accounts");
        case Kind::discoveringAccounts:
            return Localized("Loading email accounts…");
        case Kind::noAccounts:
            return Localized("No email accounts");
        case Kind::errorDiscoveringAccounts:
            return Localized("Could not load email accounts");
        case Kind::clientDiscoverAccounts:
            return clientText + Localized(": Load email accounts");
        case Kind::clientDiscoveringAccounts:
            return clientText + Localized(": Loading email accounts…");
        case Kind::clientNoAccounts:
            return clientText + Localized(": No email accounts");
        case Kind::clientAccountDiscoveryFailed:
            return clientText + Localized(": Could not load email accounts");
        case Kind::discoverAccountsWithAccount:
            return FillPlaceholders(Localized("Load email accounts (%@)"), {email});
        case Kind::discoveringWithAccount:
            return FillPlaceholders(Localized("Loading email accounts… (%@)"), {email});
        case Kind::unavailableAccount:
            return FillPlaceholders(Localized("Unavailable email account (%@)"), {email});
        case Kind::errorDiscoveringWithAccount:
            return FillPlaceholders(Localized("Could not get the list of email accounts (%@)"),
                                    {email});
        case Kind::refreshAccounts:
            return Localized("Refresh email accounts…");
    }
    return {};
}

// Builds the items with their texts as they are added.
class AccountItems {
public:
    explicit AccountItems(const FormClients& clients) : _clients(clients) {}

    int add(Kind kind, std::optional<ClientKind> client = {}, const AccountPtr& account = {}) {
        std::optional<QString> email;
        if (account)
            email = account->email();
        return add(kind, client, email, account ? account->displayName() : QString());
    }
    int addForEmail(Kind kind, const QString& email) { return add(kind, {}, email, {}); }

    DropDown<AccountItem> dropDown;

private:
    int add(Kind kind, std::optional<ClientKind> client, std::optional<QString> email,
            const QString& name) {
        dropDown.items.push_back(
            AccountItem{kind, client, email,
                        ItemText(_clients, kind, client, email.value_or(QString()), name)});
        return static_cast<int>(dropDown.items.size()) - 1;
    }

    const FormClients& _clients;
};

void AddAllClientsAccounts(const FormClients& clients, AccountItems& items) {
    std::size_t accountCount = 0;
    for (ClientKind kind : clients.clientKinds)
        accountCount += InfoOf(clients, kind).accounts.size();

    if (accountCount > 0) {
        bool discovering = false;
        for (ClientKind kind : clients.clientKinds) {
            const AccountsInfo& info = InfoOf(clients, kind);
            for (const AccountPtr& account : info.accounts)
                items.add(Kind::clientAccount, kind, account);
            switch (info.status) {
                case AccountsInfoStatus::loadedFromCacheOrEmpty:
                    items.add(Kind::clientDiscoverAccounts, kind);
                    break;
                case AccountsInfoStatus::discovering:
                    discovering = true;
                    items.add(Kind::clientDiscoveringAccounts, kind);
                    break;
                case AccountsInfoStatus::discoveryFailed:
                    items.add(Kind::clientAccountDiscoveryFailed, kind);
                    break;
                case AccountsInfoStatus::discoverySucceeded:
                    break;
            }
        }
        if (!discovering)
            items.add(Kind::refreshAccounts);
        return;
    }

    const bool allDiscovered =
        std::all_of(clients.clientKinds.begin(), clients.clientKinds.end(), [&](ClientKind kind) {
            return InfoOf(clients, kind).status == AccountsInfoStatus::discoverySucceeded;
        });
    if (allDiscovered) {
        items.dropDown.enabled = false;
        items.dropDown.selectedIndex = items.add(Kind::noAccounts);
        return;
    }
    for (ClientKind kind : clients.clientKinds) {
        switch (InfoOf(clients, kind).status) {
            case AccountsInfoStatus::loadedFromCacheOrEmpty:
                items.add(Kind::clientDiscoverAccounts, kind);
                break;
            case AccountsInfoStatus::discovering:
                items.add(Kind::clientDiscoveringAccounts, kind);
                break;
            case AccountsInfoStatus::discoverySucceeded:
                items.add(Kind::clientNoAccounts, kind);
                break;
            case AccountsInfoStatus::discoveryFailed:
                items.add(Kind::clientAccountDiscoveryFailed, kind);
                break;
        }
    }
}

void AddClientAccounts(const FormClients& clients, ClientKind client, const QString& email,
                       AccountItems& items) {
    const AccountsInfo& info = InfoOf(clients, client);
    auto& dropDown = items.dropDown;
    for (const AccountPtr& account : info.accounts) {
        const int index = items.add(Kind::account, client, account);
        if (!email.isEmpty() && account->email() == email)
            dropDown.selectedIndex = index;
    }
    const bool hasAccounts = !info.accounts.empty();

    if (dropDown.selectedIndex) {
        items.add(Kind::noneAccount);
        items.add(Kind::refreshAccounts);
        return;
    }
    if (!email.isEmpty()) {
        switch (info.status) {
            case AccountsInfoStatus::loadedFromCacheOrEmpty:
                dropDown.selectedIndex =
                    items.addForEmail(Kind::discoverAccountsWithAccount, email);
                items.add(Kind::noneAccount);
                break;
            case AccountsInfoStatus::discovering:
                dropDown.selectedIndex = items.addForEmail(Kind::discoveringWithAccount, email);
                items.add(Kind::noneAccount);
                dropDown.enabled = hasAccounts;
                break;
            case AccountsInfoStatus::discoverySucceeded:
                dropDown.selectedIndex = items.addForEmail(Kind::unavailableAccount, email);
                items.add(Kind::noneAccount);
                items.add(Kind::refreshAccounts);
                break;
            case AccountsInfoStatus::discoveryFailed:
                dropDown.selectedIndex =
                    items.addForEmail(Kind::errorDiscoveringWithAccount, email);
                items.add(Kind::noneAccount);
                items.add(Kind::refreshAccounts);
                break;
        }
        return;
    }
    // No account chosen: the list starts without a selection, so that no account looks chosen
    // while the signature would go to all of them. A client without accounts shows its state.
    if (hasAccounts) {
        items.add(Kind::refreshAccounts);
        return;
    }
    switch (info.status) {
        case AccountsInfoStatus::loadedFromCacheOrEmpty:
            // An action, not a choice: the placeholder shows until the person picks it.
            items.add(Kind::discoverAccounts);
            break;
        case AccountsInfoStatus::discovering:
            dropDown.selectedIndex = items.add(Kind::discoveringAccounts);
            dropDown.enabled = false;
            break;
        case AccountsInfoStatus::discoverySucceeded:
            dropDown.selectedIndex = items.add(Kind::noAccounts);
            items.add(Kind::refreshAccounts);
            break;
        case AccountsInfoStatus::discoveryFailed:
            dropDown.selectedIndex = items.add(Kind::errorDiscoveringAccounts);
            items.add(Kind::refreshAccounts);
            break;
    }
}

}  // namespace

ClientClassification ClassifyClient(const FormClients& clients,
                                    const std::optional<ClientKind>& chosen) {
    if (!chosen)
        return ClientClassification::noClient;
    return IsListed(clients, *chosen) ? ClientClassification::available
                                      : ClientClassification::unavailable;
}

AccountClassification ClassifyAccount(const FormClients& clients,
                                      const std::optional<ClientKind>& chosen,
                                      const QString& accountEmail) {
    if (accountEmail.isEmpty())
        return AccountClassification::noAccount;
    return chosen && IsListed(clients, *chosen) && ClientHasAccount(clients, *chosen, accountEmail)
               ? AccountClassification::available
               : AccountClassification::unavailable;
}

bool ClientHasAccount(const FormClients& clients, ClientKind kind, const QString& accountEmail) {
    const Accounts& accounts = InfoOf(clients, kind).accounts;
    return std::any_of(accounts.begin(), accounts.end(),
                       [&](const AccountPtr& account) { return account->email() == accountEmail; });
}

bool StartsDiscovery(AccountItem::Kind kind) {
    return kind == Kind::discoverAccounts || kind == Kind::clientDiscoverAccounts ||
           kind == Kind::discoverAccountsWithAccount || kind == Kind::refreshAccounts;
}

DropDown<ClientItem> BuildClientDropDown(const FormClients& clients,
                                         const std::optional<ClientKind>& chosen) {
    DropDown<ClientItem> dropDown;
    const auto classification = ClassifyClient(clients, chosen);
    auto add = [&dropDown](ClientItem::Kind kind, std::optional<ClientKind> client, QString text) {
        dropDown.items.push_back(ClientItem{kind, client, std::move(text)});
        return static_cast<int>(dropDown.items.size()) - 1;
    };
    auto addUnavailable = [&] {
        return add(
            ClientItem::Kind::unavailableClient, chosen,
            FillPlaceholders(Localized("Email client unavailable (%@)"), {DisplayName(*chosen)}));
    };
    if (clients.clientKinds.empty()) {
        if (chosen) {
            dropDown.selectedIndex = addUnavailable();
        } else {
            dropDown.enabled = false;
            dropDown.selectedIndex =
                add(ClientItem::Kind::noClients, {}, Localized("No email clients detected"));
        }
        return dropDown;
    }
    if (classification == ClientClassification::unavailable)
        dropDown.selectedIndex = addUnavailable();
    for (ClientKind kind : clients.clientKinds) {
        const int index = add(ClientItem::Kind::availableClient, kind, DisplayText(clients, kind));
        if (chosen == kind)
            dropDown.selectedIndex = index;
    }
    if (clients.newOutlookDetected) {
        add(ClientItem::Kind::newOutlook, ClientKind::outlook,
            Localized("Microsoft Outlook (new Outlook)"));
    }
    if (chosen)
        add(ClientItem::Kind::noneClient, {}, Localized("None"));
    return dropDown;
}

DropDown<AccountItem> BuildAccountDropDown(const FormClients& clients,
                                           const std::optional<ClientKind>& chosen,
                                           const QString& accountEmail) {
    AccountItems items(clients);
    switch (ClassifyClient(clients, chosen)) {
        case ClientClassification::noClient:
            AddAllClientsAccounts(clients, items);
            break;
        case ClientClassification::unavailable:
            items.dropDown.enabled = false;
            items.dropDown.selectedIndex =
                accountEmail.isEmpty() ? items.add(Kind::noAccounts)
                                       : items.addForEmail(Kind::unavailableAccount, accountEmail);
            break;
        case ClientClassification::available:
            AddClientAccounts(clients, *chosen, accountEmail, items);
            break;
    }
    return std::move(items.dropDown);
}

}  // namespace quillet
