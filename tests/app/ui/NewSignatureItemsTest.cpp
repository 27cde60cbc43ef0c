#include "app/ui/NewSignatureItems.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QStringList>

#include "tests/support/DataTable.h"

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

// The rows of tests/data/ui/account-items.tsv.
TEST_F(NewSignatureItemsTest, AccountItemsForEveryDiscoveryState) {
    const std::map<QString, Status> states = {{"succeeded", Status::discoverySucceeded},
                                              {"cached", Status::loadedFromCacheOrEmpty},
                                              {"discovering", Status::discovering},
                                              {"failed", Status::discoveryFailed}};
    const std::vector<QStringList> rows = ReadDataTable("ui/account-items.tsv");
    ASSERT_EQ(rows.size(), 18u);
    for (QStringList row : rows) {
        ASSERT_EQ(row.size(), 8) << row.join(" / ").toStdString();
        row.replaceInStrings(QRegularExpression("^-$"), "");
        set(ClientKind::appleMail, states.at(row[1]), row[2].split(',', Qt::SkipEmptyParts));
        set(ClientKind::thunderbird, states.at(row[3]), row[4].split(',', Qt::SkipEmptyParts));
        const auto items =
            BuildAccountDropDown(clients(), ClientKindFromStoredText(row[5]), row[6]);
        EXPECT_EQ(Line(items).toStdString(), row[7].toStdString()) << row[0].toStdString();
    }
}

// The rows of tests/data/ui/client-items.tsv.
TEST_F(NewSignatureItemsTest, ClientItemsForEveryChoice) {
    const std::vector<QStringList> rows = ReadDataTable("ui/client-items.tsv");
    ASSERT_EQ(rows.size(), 6u);
    for (const QStringList& row : rows) {
        ASSERT_EQ(row.size(), 5) << row.join(" / ").toStdString();
        kinds.clear();
        for (const QString& kind : QString(row[1]).remove('-').split(',', Qt::SkipEmptyParts))
            kinds.push_back(*ClientKindFromStoredText(kind));
        newOutlook = row[2] == "yes";
        EXPECT_EQ(
            Line(BuildClientDropDown(clients(), ClientKindFromStoredText(row[3]))).toStdString(),
            row[4].toStdString())
            << row[0].toStdString();
    }
}

}  // namespace
}  // namespace quillet
