#include <gtest/gtest.h>

#include <QFile>

#include "app/clients/accounts/AccountsCache.h"
#include "app/clients/accounts/DiscoveredAccounts.h"
#include "app/demo/FakeMac.h"
#include "common/Log.h"
#include "platform/Plist.h"

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
    SaveCachedAccounts(folder(), infos);  // creating the folder
    QFile file(CachedAccountsPath(folder()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith("<?xml"));

    const auto loaded = LoadCachedAccounts(folder());
    for (const auto& [kind, info] : infos) {
        EXPECT_EQ(Descriptions(loaded.at(kind)), Descriptions(info.accounts))
            << StoredText(kind).toStdString();
    }
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

    // A regular file where the folder should be: the write fails and nothing is thrown.
    mac.writeFile(folder() + "/blocked", "x");
    SaveCachedAccounts(
        folder() + "/blocked",
        {{ClientKind::spark, Info(AccountsInfoStatus::discoverySucceeded, {spark}, {})}});
    EXPECT_TRUE(LoadCachedAccounts(folder() + "/blocked").at(ClientKind::spark).empty());
}

// Two processes (a command beside the application): one discovers Thunderbird and saves; the
// other, which read the file before that, then saves its own discovery. What it only had from the
// cache, or had not finished discovering, must not undo the first one's save.
TEST_F(AccountsCacheTest, SavingKeepsWhatAnotherProcessDiscoveredSinceThisOneRead) {
    const AccountPtr older = std::make_shared<MozillaBasedClientAccount>("old@x.org", "1", "O");
    for (const AccountsInfo& stale :
         {Info(AccountsInfoStatus::loadedFromCacheOrEmpty, {}, {}),
          Info(AccountsInfoStatus::loadedFromCacheOrEmpty, {older}, {older}),
          Info(AccountsInfoStatus::discovering, {}, {older}),
          Info(AccountsInfoStatus::discoveryFailed, {}, {older})}) {
        QFile::remove(CachedAccountsPath(folder()));
        SaveCachedAccounts(folder(),
                           {{ClientKind::thunderbird,
                             Info(AccountsInfoStatus::discoverySucceeded, {thunderbird}, {})}});
        SaveCachedAccounts(folder(), {{ClientKind::appleMail,
                                       Info(AccountsInfoStatus::discoverySucceeded, {mail}, {})},
                                      {ClientKind::thunderbird, stale}});
        const auto loaded = LoadCachedAccounts(folder());
        EXPECT_EQ(Descriptions(loaded.at(ClientKind::thunderbird)), Descriptions({thunderbird}))
            << CaseName(stale.status).toStdString();
        EXPECT_EQ(Descriptions(loaded.at(ClientKind::appleMail)), Descriptions({mail}));
    }
}

TEST_F(AccountsCacheTest, ClientsNotDetectedNowKeepTheirEntriesUnchanged) {
    // Outlook's entry holds something this build does not read: it is kept as it stands.
    mac.writeFile(CachedAccountsPath(folder()),
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                  "<key>Outlook</key><array><dict><key>email</key><string>o@x.org</string>"
                  "<key>later</key><integer>7</integer></dict><string>odd</string></array>"
                  "<key>Spark</key><array><dict><key>email</key><string>old@x.org</string>"
                  "</dict></array></dict></plist>");
    // Outlook is not detected now (a moved profile, a new-Outlook toggle); Spark is.
    SaveCachedAccounts(
        folder(),
        {{ClientKind::appleMail, Info(AccountsInfoStatus::discoverySucceeded, {mail}, {})},
         {ClientKind::spark, Info(AccountsInfoStatus::discoverySucceeded, {spark}, {})}});

    const auto plist = ReadPlistFile(CachedAccountsPath(folder()));
    ASSERT_TRUE(plist);
    QStringList keys = plist->node().keys();
    keys.sort();
    EXPECT_EQ(keys, (QStringList{"AppleMail", "Outlook", "Spark"}));
    const auto loaded = LoadCachedAccounts(folder());
    EXPECT_EQ(Descriptions(loaded.at(ClientKind::outlook)), QStringList{"email: o@x.org"});
    const PlistNode outlookEntry = *plist->node().get("Outlook");
    ASSERT_EQ(outlookEntry.size(), 2);
    EXPECT_EQ(outlookEntry.at(0)->get("later")->asInteger(), 7);
    EXPECT_EQ(outlookEntry.at(1)->asString(), "odd");
    EXPECT_EQ(Descriptions(loaded.at(ClientKind::spark)), Descriptions({spark}));

    // A detected client whose list is now empty loses its entry; the absent one still stays.
    SaveCachedAccounts(
        folder(), {{ClientKind::appleMail, Info(AccountsInfoStatus::discoverySucceeded, {}, {})}});
    EXPECT_EQ(ReadPlistFile(CachedAccountsPath(folder()))->node().keys(),
              (QStringList{"Outlook", "Spark"}));
}

TEST_F(AccountsCacheTest, UnusableEntriesAndFilesGiveNoAccounts) {
    auto loaded = LoadCachedAccounts(folder());
    EXPECT_EQ(loaded.size(), kAllClientKinds.size());
    for (const auto& [kind, accounts] : loaded)
        EXPECT_TRUE(accounts.empty());
    mac.writeFile(CachedAccountsPath(folder()), "not a property list");
    for (const auto& [kind, accounts] : LoadCachedAccounts(folder()))
        EXPECT_TRUE(accounts.empty());

    const auto dict = [](const QByteArray& entries) { return "<dict>" + entries + "</dict>"; };
    const QByteArray uuid = "<key>uuid</key><string>U</string>";
    const QByteArray imap = "<key>type</key><string>imap</string>";
    mac.writeFile(CachedAccountsPath(folder()),
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                  "<key>AppleMail</key><array>" +
                      dict("<key>email</key><string>n@x.org</string>" + uuid) +  // no type
                      "<string>m@x.org</string>" +
                      dict("<key>email</key><integer>1</integer>" + uuid + imap) +
                      // A full name that is no string is no full name.
                      dict("<key>email</key><string>m@x.org</string>" + uuid + imap +
                           "<key>fullName</key><integer>3</integer>") +
                      "</array><key>Thunderbird</key><array>" +
                      dict("<key>email</key><string>t@x.org</string>") +  // no id
                      "</array><key>Spark</key><string>not an array</string></dict></plist>");
    loaded = LoadCachedAccounts(folder());
    EXPECT_EQ(loaded.size(), kAllClientKinds.size());
    EXPECT_EQ(Descriptions(loaded.at(ClientKind::appleMail)),
              QStringList{"email: m@x.org, uuid: U, type: imap"});
    EXPECT_TRUE(loaded.at(ClientKind::thunderbird).empty());
    EXPECT_TRUE(loaded.at(ClientKind::spark).empty());
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
