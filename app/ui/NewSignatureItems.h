#pragma once
// What the new-signature form's two drop-downs show for the engine's clients and accounts: the
// items, which one is selected, and whether the drop-down can be used. Pure, so that every
// discovery state is tested without a window.

#include <QString>
#include <map>
#include <optional>
#include <vector>

#include "app/clients/ClientInfo.h"
#include "common/Accounts.h"

namespace quillet {

struct ClientItem {
    enum class Kind { noClients, availableClient, unavailableClient, noneClient, newOutlook };
    Kind kind;
    std::optional<ClientKind> clientKind;
    QString text;
};

struct AccountItem {
    enum class Kind {
        account,
        clientAccount,
        noneAccount,
        discoverAccounts,
        discoveringAccounts,
        noAccounts,
        errorDiscoveringAccounts,
        clientDiscoverAccounts,
        clientDiscoveringAccounts,
        clientNoAccounts,
        clientAccountDiscoveryFailed,
        discoverAccountsWithAccount,
        discoveringWithAccount,
        unavailableAccount,
        errorDiscoveringWithAccount,
        refreshAccounts,
    };
    Kind kind;
    std::optional<ClientKind> clientKind;
    std::optional<QString> accountEmail;
    QString text;
};

template <typename Item>
struct DropDown {
    std::vector<Item> items;
    std::optional<int> selectedIndex;  // none: the drop-down shows its placeholder
    bool enabled = true;
};

// The item at a position of the drop-down; absent outside it (the placeholder's -1).
template <typename Item>
std::optional<Item> ItemAt(const DropDown<Item>& dropDown, int index) {
    if (index < 0 || index >= static_cast<int>(dropDown.items.size()))
        return std::nullopt;
    return dropDown.items[index];
}

// What the engine knows that the drop-downs show.
struct FormClients {
    const std::vector<ClientKind>& clientKinds;
    const ClientInfoMap& infos;
    const std::map<ClientKind, AccountsInfo>& accountsInfos;
    bool newOutlookDetected = false;
};

// How a chosen client and account stand against the engine's lists.
enum class ClientClassification { noClient, available, unavailable };
enum class AccountClassification { noAccount, available, unavailable };

ClientClassification ClassifyClient(const FormClients& clients,
                                    const std::optional<ClientKind>& chosen);
AccountClassification ClassifyAccount(const FormClients& clients,
                                      const std::optional<ClientKind>& chosen,
                                      const QString& accountEmail);

DropDown<ClientItem> BuildClientDropDown(const FormClients& clients,
                                         const std::optional<ClientKind>& chosen);
DropDown<AccountItem> BuildAccountDropDown(const FormClients& clients,
                                           const std::optional<ClientKind>& chosen,
                                           const QString& accountEmail);

// Whether the client's latest discovered accounts include this email.
bool ClientHasAccount(const FormClients& clients, ClientKind kind, const QString& accountEmail);

// Whether choosing the item starts account discovery; items that only report a state do nothing.
bool StartsDiscovery(AccountItem::Kind kind);

}  // namespace quillet
