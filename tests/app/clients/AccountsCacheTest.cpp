#include <gtest/gtest.h>

#include <QFile>

#include "app/clients/accounts/AccountsCache.h"
#include "app/clients/accounts/DiscoveredAccounts.h"
#include "common/Log.h"
#include "platform/Plist.h"
#include "tests/support/FakeMac.h"

namespace quillet {
namespace {

QStringList Descriptions(const Accounts& accounts) {
    QStringList descriptions;
    for (const auto& account : accounts)
        descriptions.append(account->description());
    return descriptions;
}

AccountsInfo Info(AccountsInfoStatus status, Accounts accounts, Accounts cached) {
    return AccountsInfo{status, std::move(accounts), std::move(cached)};
}

class AccountsCacheTest : public testing::Test {
protected:
    QString folder() const { return mac.paths().applicationSupport() + "/Quillet Test"; }

    FakeMac mac;
    LogTap log;
    AccountPtr mail = std::make_shared<AppleMailAccount>("m@x.org", "U-1", "imap", "Jane");
    AccountPtr mailBare = std::make_shared<AppleMailAccount>("n@x.org", "U-2", "pop", std::nullopt);
    AccountPtr outlook = std::make_shared<OutlookAccount>("o@x.org", "Jane", "jdoe");
    AccountPtr outlookBare =
        std::make_shared<OutlookAccount>("p@x.org", std::nullopt, std::nullopt);
    AccountPtr thunderbird = std::make_shared<MozillaBasedClientAccount>("t@x.org", "10", "T");
    AccountPtr postbox = std::make_shared<MozillaBasedClientAccount>("b@x.org", "2", std::nullopt);
    AccountPtr spark = std::make_shared<SparkAccount>("s@x.org", "Work", "Jane");
    AccountPtr sparkBare = std::make_shared<SparkAccount>("r@x.org", std::nullopt, std::nullopt);
};

TEST_F(AccountsCacheTest, EveryClientsAccountsSurviveSavingAndLoading) {
    const std::map<ClientKind, AccountsInfo> infos{
        {ClientKind::appleMail, Info(AccountsInfoStatus::discoverySucceeded, {mail, mailBare}, {})},
        {ClientKind::outlook,
         Info(AccountsInfoStatus::loadedFromCacheOrEmpty, {outlook, outlookBare}, {})},
        {ClientKind::postbox, Info(AccountsInfoStatus::discoverySucceeded, {postbox}, {})},
        {ClientKind::spark, Info(AccountsInfoStatus::discoverySucceeded, {spark, sparkBare}, {})},
        {ClientKind::thunderbird, Info(AccountsInfoStatus::discoverySucceeded, {thunderbird}, {})},
    };
    SaveCachedAccounts(folder(), infos);
    QFile file(CachedAccountsPath(folder()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith("<?xml"));

    const auto loaded = LoadCachedAccounts(folder());
    for (const auto& [kind, info] : infos) {
        EXPECT_EQ(Descriptions(loaded.at(kind)), Descriptions(info.accounts))
            << StoredText(kind).toStdString();
    }
    EXPECT_NE(dynamic_cast<const OutlookAccount*>(loaded.at(ClientKind::outlook)[0].get()),
              nullptr);
    EXPECT_NE(
        dynamic_cast<const MozillaBasedClientAccount*>(loaded.at(ClientKind::postbox)[0].get()),
        nullptr);
}

TEST_F(AccountsCacheTest, UnfinishedOrFailedDiscoveryKeepsTheLastGoodList) {
    SaveCachedAccounts(
        folder(),
        {{ClientKind::appleMail, Info(AccountsInfoStatus::discovering, {mailBare}, {mail})},
         {ClientKind::outlook, Info(AccountsInfoStatus::discoveryFailed, {outlookBare}, {outlook})},
         {ClientKind::spark, Info(AccountsInfoStatus::discoverySucceeded, {}, {spark})}});
    const auto plist = ReadPlistFile(CachedAccountsPath(folder()));
    ASSERT_TRUE(plist);
    EXPECT_EQ(plist->node().keys(), (QStringList{"AppleMail", "Outlook"}));
    const auto loaded = LoadCachedAccounts(folder());
    EXPECT_EQ(Descriptions(loaded.at(ClientKind::appleMail)), Descriptions({mail}));
    EXPECT_EQ(Descriptions(loaded.at(ClientKind::outlook)), Descriptions({outlook}));
    EXPECT_TRUE(loaded.at(ClientKind::spark).empty());
}

TEST_F(AccountsCacheTest, FailedDiscoveryLeavesTheFileWithThePreviousAccounts) {
    AccountsInfo info = Info(AccountsInfoStatus::loadedFromCacheOrEmpty, {mail}, {mail});
    info.status = AccountsInfoStatus::discovering;
    ApplyDiscoveredAccounts(info, std::nullopt, false);
    EXPECT_EQ(info.status, AccountsInfoStatus::discoveryFailed);
    SaveCachedAccounts(folder(), {{ClientKind::appleMail, info}});
    EXPECT_EQ(Descriptions(LoadCachedAccounts(folder()).at(ClientKind::appleMail)),
              Descriptions({mail}));
}

TEST_F(AccountsCacheTest, UnusableEntriesAreSkippedOnLoading) {
    Plist root = Plist::dictionary();
    Plist mailArray = Plist::array();
    Plist good = Plist::dictionary();
    good.node().set("email", Plist::string("m@x.org"));
    good.node().set("uuid", Plist::string("U"));
    good.node().set("type", Plist::string("imap"));
    good.node().set("fullName", Plist::integer(3));  // not a string: no full name
    Plist noType = Plist::dictionary();
    noType.node().set("email", Plist::string("n@x.org"));
    noType.node().set("uuid", Plist::string("U"));
    Plist numberEmail = Plist::dictionary();
    numberEmail.node().set("email", Plist::integer(1));
    numberEmail.node().set("uuid", Plist::string("U"));
    numberEmail.node().set("type", Plist::string("imap"));
    mailArray.node().append(std::move(noType));
    mailArray.node().append(Plist::string("m@x.org"));
    mailArray.node().append(std::move(numberEmail));
    mailArray.node().append(std::move(good));
    root.node().set("AppleMail", std::move(mailArray));
    Plist thunderbirdArray = Plist::array();
    Plist noId = Plist::dictionary();
    noId.node().set("email", Plist::string("t@x.org"));
    thunderbirdArray.node().append(std::move(noId));
    root.node().set("Thunderbird", std::move(thunderbirdArray));
    root.node().set("Spark", Plist::string("not an array"));
    ASSERT_TRUE(WritePlistFile(CachedAccountsPath(folder()), root));

    const auto loaded = LoadCachedAccounts(folder());
    EXPECT_EQ(loaded.size(), kAllClientKinds.size());
    EXPECT_EQ(Descriptions(loaded.at(ClientKind::appleMail)),
              QStringList{"email: m@x.org, uuid: U, type: imap"});
    EXPECT_TRUE(loaded.at(ClientKind::thunderbird).empty());
    EXPECT_TRUE(loaded.at(ClientKind::spark).empty());
}

TEST_F(AccountsCacheTest, MissingOrBrokenFileGivesEveryClientNoAccounts) {
    auto loaded = LoadCachedAccounts(folder());
    EXPECT_EQ(loaded.size(), kAllClientKinds.size());
    for (const auto& [kind, accounts] : loaded)
        EXPECT_TRUE(accounts.empty());
    mac.writeFile(CachedAccountsPath(folder()), "not a property list");
    loaded = LoadCachedAccounts(folder());
    for (const auto& [kind, accounts] : loaded)
        EXPECT_TRUE(accounts.empty());
}

TEST_F(AccountsCacheTest, SavingCreatesTheFolderAndAFailedWriteKeepsTheFile) {
    const QString nested = folder() + "/deeper";
    SaveCachedAccounts(
        nested, {{ClientKind::spark, Info(AccountsInfoStatus::discoverySucceeded, {spark}, {})}});
    EXPECT_EQ(LoadCachedAccounts(nested).at(ClientKind::spark).size(), 1u);
    // A regular file where the folder should be: the write fails and nothing is thrown.
    mac.writeFile(folder() + "/blocked", "x");
    SaveCachedAccounts(
        folder() + "/blocked",
        {{ClientKind::spark, Info(AccountsInfoStatus::discoverySucceeded, {spark}, {})}});
    EXPECT_TRUE(LoadCachedAccounts(folder() + "/blocked").at(ClientKind::spark).empty());
}

TEST_F(AccountsCacheTest, LoadedAccountsAreLoggedWithTheirClient) {
    LogLoadedCachedAccounts({{ClientKind::appleMail, {}}, {ClientKind::spark, {}}});
    EXPECT_TRUE(log.lines().empty());
    LogLoadedCachedAccounts({{ClientKind::appleMail, {mail}},
                             {ClientKind::outlook, {}},
                             {ClientKind::spark, {spark, sparkBare}}});
    EXPECT_EQ(log.lines(),
              (std::vector<QString>{
                  "Info: Loaded 3 account(s) from cache:",
                  "Info:     Apple Mail: email: m@x.org, uuid: U-1, type: imap, full name: Jane",
                  "Info:     Spark: email: s@x.org, account title: Work, owner full name: Jane",
                  "Info:     Spark: email: r@x.org"}));
}

}  // namespace
}  // namespace quillet
