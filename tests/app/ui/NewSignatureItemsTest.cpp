#include "app/ui/NewSignatureItems.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace quillet {
namespace {

using Status = AccountsInfoStatus;

// Two detected clients, Apple Mail 16.0 (3774) and Thunderbird 128.5.0, whose accounts and
// discovery states each case sets.
class NewSignatureItemsTest : public testing::Test {
protected:
    NewSignatureItemsTest() {
        infos[ClientKind::appleMail] =
            std::make_shared<ClientInfo>("/System/Applications/Mail.app", "16.0", "3774");
        infos[ClientKind::thunderbird] =
            std::make_shared<ClientInfo>("/Applications/Thunderbird.app", "128.5.0", "128.5.0");
    }

    void set(ClientKind kind, Status status, const QStringList& emails = {}) {
        AccountsInfo info;
        info.status = status;
        for (const QString& email : emails)
            info.accounts.push_back(
                std::make_shared<MozillaBasedClientAccount>(email, "id", std::nullopt));
        accountsInfos[kind] = info;
    }

    FormClients clients() const { return {kinds, infos, accountsInfos, newOutlook}; }

    // The items as one line: "|" between items, ">" before the selected one, and "(off)" at the
    // end of a drop-down that cannot be used.
    template <typename Item>
    static QString Line(const DropDown<Item>& dropDown) {
        QStringList texts;
        for (std::size_t i = 0; i < dropDown.items.size(); ++i) {
            const bool selected = dropDown.selectedIndex == static_cast<int>(i);
            texts << (selected ? ">" : "") + dropDown.items[i].text;
        }
        return texts.join(" | ") + (dropDown.enabled ? "" : " (off)");
    }

    std::vector<ClientKind> kinds{ClientKind::appleMail, ClientKind::thunderbird};
    ClientInfoMap infos;
    std::map<ClientKind, AccountsInfo> accountsInfos;
    bool newOutlook = false;
};

TEST_F(NewSignatureItemsTest, AccountItemsForEveryDiscoveryState) {
    const QString mail = "Apple Mail 16.0 (3774)";
    const QString bird = "Thunderbird 128.5.0";
    struct Case {
        const char* name;
        Status mailStatus;
        QStringList mailAccounts;
        Status birdStatus;
        QStringList birdAccounts;
        std::optional<ClientKind> chosen;
        QString remembered;
        QString expected;
    };
    const Case cases[] = {
        // No client chosen: every client's accounts, each followed by its state.
        {"all clients with accounts",
         Status::discoverySucceeded,
         {"ann@x.org"},
         Status::loadedFromCacheOrEmpty,
         {"tom@x.org"},
         {},
         "",
         mail + ": ann@x.org | " + bird + ": tom@x.org | " + bird +
             ": Load email accounts | Refresh email accounts…"},
        {"all clients, one discovering",
         Status::discovering,
         {},
         Status::discoveryFailed,
         {"tom@x.org"},
         {},
         "",
         mail + ": Loading email accounts… | " + bird + ": tom@x.org | " + bird +
             ": Could not load email accounts"},
        {"no account anywhere yet",
         Status::loadedFromCacheOrEmpty,
         {},
         Status::discoverySucceeded,
         {},
         {},
         "",
         mail + ": Load email accounts | " + bird + ": No email accounts"},
        {"no account anywhere, failed",
         Status::discoveryFailed,
         {},
         Status::discovering,
         {},
         {},
         "",
         mail + ": Could not load email accounts | " + bird + ": Loading email accounts…"},
        {"every client discovered without accounts",
         Status::discoverySucceeded,
         {},
         Status::discoverySucceeded,
         {},
         {},
         "",
         ">No email accounts (off)"},
        // A client chosen, nothing remembered: a placeholder, not the first account.
        {"accounts, none chosen",
         Status::discoverySucceeded,
         {"a@x.org", "b@x.org"},
         Status::discoverySucceeded,
         {},
         ClientKind::appleMail,
         "",
         "a@x.org | b@x.org | Refresh email accounts…"},
        {"none yet discovered",
         Status::loadedFromCacheOrEmpty,
         {},
         Status::discoverySucceeded,
         {},
         ClientKind::appleMail,
         "",
         "Load email accounts"},
        {"discovering",
         Status::discovering,
         {},
         Status::discoverySucceeded,
         {},
         ClientKind::appleMail,
         "",
         ">Loading email accounts… (off)"},
        {"discovered, none found",
         Status::discoverySucceeded,
         {},
         Status::discoverySucceeded,
         {},
         ClientKind::appleMail,
         "",
         ">No email accounts | Refresh email accounts…"},
        {"discovery failed",
         Status::discoveryFailed,
         {},
         Status::discoverySucceeded,
         {},
         ClientKind::appleMail,
         "",
         ">Could not load email accounts | Refresh email accounts…"},
        // A remembered account among the client's.
        {"remembered and found",
         Status::discoverySucceeded,
         {"a@x.org", "b@x.org"},
         Status::discoverySucceeded,
         {},
         ClientKind::appleMail,
         "b@x.org",
         "a@x.org | >b@x.org | None | Refresh email accounts…"},
        // A remembered account the client does not list (now), by its state.
        {"remembered, not yet discovered",
         Status::loadedFromCacheOrEmpty,
         {"a@x.org"},
         Status::discoverySucceeded,
         {},
         ClientKind::appleMail,
         "c@x.org",
         "a@x.org | >Load email accounts (c@x.org) | None"},
        {"remembered, discovering with accounts",
         Status::discovering,
         {"a@x.org"},
         Status::discoverySucceeded,
         {},
         ClientKind::appleMail,
         "c@x.org",
         "a@x.org | >Loading email accounts… (c@x.org) | None"},
        {"remembered, discovering without accounts",
         Status::discovering,
         {},
         Status::discoverySucceeded,
         {},
         ClientKind::appleMail,
         "c@x.org",
         ">Loading email accounts… (c@x.org) | None (off)"},
        {"remembered, discovered without it",
         Status::discoverySucceeded,
         {"a@x.org"},
         Status::discoverySucceeded,
         {},
         ClientKind::appleMail,
         "c@x.org",
         "a@x.org | >Unavailable email account (c@x.org) | None | Refresh email accounts…"},
        {"remembered, discovery failed",
         Status::discoveryFailed,
         {},
         Status::discoverySucceeded,
         {},
         ClientKind::appleMail,
         "c@x.org",
         ">Could not get the list of email accounts (c@x.org) | None | Refresh email accounts…"},
        // A client that is no longer detected.
        {"unavailable client with account",
         Status::discoverySucceeded,
         {},
         Status::discoverySucceeded,
         {},
         ClientKind::spark,
         "s@x.org",
         ">Unavailable email account (s@x.org) (off)"},
        {"unavailable client",
         Status::discoverySucceeded,
         {},
         Status::discoverySucceeded,
         {},
         ClientKind::spark,
         "",
         ">No email accounts (off)"},
    };
    for (const Case& c : cases) {
        set(ClientKind::appleMail, c.mailStatus, c.mailAccounts);
        set(ClientKind::thunderbird, c.birdStatus, c.birdAccounts);
        EXPECT_EQ(Line(BuildAccountDropDown(clients(), c.chosen, c.remembered)), c.expected)
            << c.name;
    }
}

TEST_F(NewSignatureItemsTest, ClientItemsForEveryChoice) {
    struct Case {
        const char* name;
        std::vector<ClientKind> detected;
        bool newOutlook;
        std::optional<ClientKind> chosen;
        QString expected;
    };
    const QString both = "Apple Mail 16.0 (3774) | Thunderbird 128.5.0";
    const Case cases[] = {
        {"nothing chosen", kinds, false, {}, both},
        {"a client chosen", kinds, false, ClientKind::thunderbird,
         "Apple Mail 16.0 (3774) | >Thunderbird 128.5.0 | None"},
        {"new Outlook", kinds, true, {}, both + " | Microsoft Outlook (new Outlook)"},
        {"an undetected client chosen", kinds, false, ClientKind::spark,
         ">Email client unavailable (Spark) | " + both + " | None"},
        {"no client detected", {}, false, {}, ">No email clients detected (off)"},
        {"no client detected, one chosen",
         {},
         false,
         ClientKind::spark,
         ">Email client unavailable (Spark)"},
    };
    for (const Case& c : cases) {
        kinds = c.detected;
        newOutlook = c.newOutlook;
        EXPECT_EQ(Line(BuildClientDropDown(clients(), c.chosen)), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace quillet
