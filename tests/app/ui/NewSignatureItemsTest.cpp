#include "app/ui/NewSignatureItems.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QStringList>

#include "tests/support/DataTable.h"

namespace quillet {
namespace {

// A drop-down's items as one line: "|" between items, ">" before the selected one, and "(off)" at
// the end of a drop-down that cannot be used.
template <typename Item>
QString Line(const DropDown<Item>& dropDown) {
    QStringList texts;
    for (std::size_t i = 0; i < dropDown.items.size(); ++i) {
        const bool selected = dropDown.selectedIndex == static_cast<int>(i);
        texts << (selected ? ">" : "") + dropDown.items[i].text;
    }
    return texts.join(" | ") + (dropDown.enabled ? "" : " (off)");
}

// The rows of tests/data/ui/account-items.tsv and client-items.tsv, over two detected clients,
// Apple Mail 16.0 (3774) and Thunderbird 128.5.0, whose accounts and discovery states each row of
// the first sets.
TEST(NewSignatureItemsTest, ItemsForEveryChoiceAndDiscoveryState) {
    const ClientInfoMap infos = {
        {ClientKind::appleMail,
         std::make_shared<ClientInfo>("/System/Applications/Mail.app", "16.0", "3774")},
        {ClientKind::thunderbird,
         std::make_shared<ClientInfo>("/Applications/Thunderbird.app", "128.5.0", "128.5.0")}};
    const std::vector<ClientKind> both{ClientKind::appleMail, ClientKind::thunderbird};
    const std::map<QString, AccountsInfoStatus> states = {
        {"succeeded", AccountsInfoStatus::discoverySucceeded},
        {"cached", AccountsInfoStatus::loadedFromCacheOrEmpty},
        {"discovering", AccountsInfoStatus::discovering},
        {"failed", AccountsInfoStatus::discoveryFailed}};
    const std::vector<QStringList> accountRows = ReadDataTable("ui/account-items.tsv");
    ASSERT_EQ(accountRows.size(), 18u);
    for (QStringList row : accountRows) {
        ASSERT_EQ(row.size(), 8) << row.join(" / ").toStdString();
        row.replaceInStrings(QRegularExpression("^-$"), "");
        std::map<ClientKind, AccountsInfo> accountsInfos;
        for (const auto& [kind, column] :
             {std::pair{ClientKind::appleMail, 1}, std::pair{ClientKind::thunderbird, 3}}) {
            accountsInfos[kind].status = states.at(row[column]);
            for (const QString& email : row[column + 1].split(',', Qt::SkipEmptyParts))
                accountsInfos[kind].accounts.push_back(
                    std::make_shared<MozillaBasedClientAccount>(email, "id", std::nullopt));
        }
        const auto items = BuildAccountDropDown({both, infos, accountsInfos},
                                                ClientKindFromStoredText(row[5]), row[6]);
        EXPECT_EQ(Line(items).toStdString(), row[7].toStdString()) << row[0].toStdString();
    }

    const std::vector<QStringList> clientRows = ReadDataTable("ui/client-items.tsv");
    ASSERT_EQ(clientRows.size(), 6u);
    for (const QStringList& row : clientRows) {
        ASSERT_EQ(row.size(), 5) << row.join(" / ").toStdString();
        std::vector<ClientKind> detected;
        for (const QString& kind : QString(row[1]).remove('-').split(',', Qt::SkipEmptyParts))
            detected.push_back(*ClientKindFromStoredText(kind));
        const auto items = BuildClientDropDown({detected, infos, {}, row[2] == "yes"},
                                               ClientKindFromStoredText(row[3]));
        EXPECT_EQ(Line(items).toStdString(), row[4].toStdString()) << row[0].toStdString();
    }
}

}  // namespace
}  // namespace quillet
