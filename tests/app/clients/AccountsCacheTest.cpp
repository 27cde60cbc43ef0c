#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFile>

#include "app/clients/accounts/AccountsCache.h"
#include "app/clients/accounts/DiscoveredAccounts.h"
#include "app/demo/FakeMac.h"
#include "platform/Plist.h"
#include "tests/support/DataTable.h"
#include "tests/support/TestHelpers.h"

namespace quillet {
namespace {

class AccountsCacheTest : public testing::Test {
protected:
    QString folder() const { return mac.paths().applicationSupport() + "/Quillet Test"; }

    FakeMac mac;
    AccountPtr mail = std::make_shared<AppleMailAccount>("m@x.org", "U-1", "imap", "Jane");
    AccountPtr mailBare = std::make_shared<AppleMailAccount>("n@x.org", "U-2", "pop", std::nullopt);
    AccountPtr outlook = std::make_shared<OutlookAccount>("o@x.org", "Jane", "jdoe");
    AccountPtr outlookBare =
        std::make_shared<OutlookAccount>("p@x.org", std::nullopt, std::nullopt);
    AccountPtr thunderbird = std::make_shared<MozillaBasedClientAccount>("t@x.org", "10", "T");
    AccountPtr spark = std::make_shared<SparkAccount>("s@x.org", "Work", "Jane");
};

TEST_F(AccountsCacheTest, UnfinishedOrFailedDiscoveryKeepsTheLastGoodList) {
    SaveCachedAccounts(
        folder(),
        {{ClientKind::appleMail, AccountsInfo{AccountsInfoStatus::discovering, {mailBare}, {mail}}},
         {ClientKind::outlook,
          AccountsInfo{AccountsInfoStatus::discoveryFailed, {outlookBare}, {outlook}}},
         {ClientKind::spark, AccountsInfo{AccountsInfoStatus::discoverySucceeded, {}, {spark}}}});
    const auto loaded = LoadCachedAccounts(folder());
    EXPECT_EQ(Descriptions(loaded.at(ClientKind::appleMail)), Descriptions(Accounts{mail}));
    EXPECT_EQ(Descriptions(loaded.at(ClientKind::outlook)), Descriptions(Accounts{outlook}));
    EXPECT_TRUE(loaded.at(ClientKind::spark).empty());

    // A regular file where the folder should be: the write fails and nothing is thrown.
    mac.writeFile(folder() + "/blocked", "x");
    SaveCachedAccounts(
        folder() + "/blocked",
        {{ClientKind::spark, AccountsInfo{AccountsInfoStatus::discoverySucceeded, {spark}, {}}}});
    EXPECT_TRUE(LoadCachedAccounts(folder() + "/blocked").at(ClientKind::spark).empty());
}

// Two processes (a command beside the application): one discovers Thunderbird and saves; the
// other, which read the file before that, then saves its own discovery. What it only had from the
// cache, or had not finished discovering, must not undo the first one's save.
TEST_F(AccountsCacheTest, SavingKeepsWhatAnotherProcessDiscoveredSinceThisOneRead) {
    const AccountPtr older = std::make_shared<MozillaBasedClientAccount>("old@x.org", "1", "O");
    for (const AccountsInfo& stale :
         {AccountsInfo{AccountsInfoStatus::loadedFromCacheOrEmpty, {}, {}},
          AccountsInfo{AccountsInfoStatus::loadedFromCacheOrEmpty, {older}, {older}},
          AccountsInfo{AccountsInfoStatus::discovering, {}, {older}},
          AccountsInfo{AccountsInfoStatus::discoveryFailed, {}, {older}}}) {
        QFile::remove(CachedAccountsPath(folder()));
        SaveCachedAccounts(
            folder(), {{ClientKind::thunderbird,
                        AccountsInfo{AccountsInfoStatus::discoverySucceeded, {thunderbird}, {}}}});
        SaveCachedAccounts(folder(),
                           {{ClientKind::appleMail,
                             AccountsInfo{AccountsInfoStatus::discoverySucceeded, {mail}, {}}},
                            {ClientKind::thunderbird, stale}});
        const auto loaded = LoadCachedAccounts(folder());
        EXPECT_EQ(Descriptions(loaded.at(ClientKind::thunderbird)),
                  Descriptions(Accounts{thunderbird}))
            << CaseName(stale.status).toStdString();
        EXPECT_EQ(Descriptions(loaded.at(ClientKind::appleMail)), Descriptions(Accounts{mail}));
    }
}

TEST_F(AccountsCacheTest, ClientsNotDetectedNowKeepTheirEntriesUnchanged) {
    // Outlook's entry holds something this build does not read: it is kept as it stands.
    mac.writeFile(CachedAccountsPath(folder()),
                  ReadDataText("clients/cache-with-later-entries.plist").toUtf8());
    // Outlook is not detected now (a moved profile, a new-Outlook toggle); Spark is.
    SaveCachedAccounts(
        folder(),
        {{ClientKind::appleMail, AccountsInfo{AccountsInfoStatus::discoverySucceeded, {mail}, {}}},
         {ClientKind::spark, AccountsInfo{AccountsInfoStatus::discoverySucceeded, {spark}, {}}}});

    const auto plist = ReadPlistFile(CachedAccountsPath(folder()));
    ASSERT_TRUE(plist);
    const auto loaded = LoadCachedAccounts(folder());
    EXPECT_EQ(Descriptions(loaded.at(ClientKind::appleMail)), Descriptions(Accounts{mail}));
    EXPECT_EQ(Descriptions(loaded.at(ClientKind::outlook)), QStringList{"email: o@x.org"});
    const PlistNode outlookEntry = *plist->node().get("Outlook");
    ASSERT_EQ(outlookEntry.size(), 2);
    EXPECT_EQ(outlookEntry.at(0)->get("later")->asInteger(), 7);
    EXPECT_EQ(outlookEntry.at(1)->asString(), "odd");
    EXPECT_EQ(Descriptions(loaded.at(ClientKind::spark)), Descriptions(Accounts{spark}));

    // A detected client whose list is now empty loses its entry; the absent one still stays.
    SaveCachedAccounts(folder(), {{ClientKind::appleMail,
                                   AccountsInfo{AccountsInfoStatus::discoverySucceeded, {}, {}}}});
    EXPECT_EQ(ReadPlistFile(CachedAccountsPath(folder()))->node().keys(),
              (QStringList{"Outlook", "Spark"}));
}

// Every command reads the accounts in the clients' files again, one client at a time: a save
// that finds what the file holds already must leave the file alone.
TEST_F(AccountsCacheTest, ASaveThatChangesNothingDoesNotWriteTheFile) {
    const std::map<ClientKind, AccountsInfo> all = {
        {ClientKind::appleMail, AccountsInfo{AccountsInfoStatus::discoverySucceeded, {mail}, {}}},
        {ClientKind::outlook, AccountsInfo{AccountsInfoStatus::discoverySucceeded, {outlook}, {}}},
        {ClientKind::spark, AccountsInfo{AccountsInfoStatus::discoverySucceeded, {spark}, {}}}};
    SaveCachedAccounts(folder(), all);
    const auto fileId = [this] {
        struct stat status {};
        ::stat(QFile::encodeName(CachedAccountsPath(folder())).constData(), &status);
        return status.st_ino;
    };
    const auto written = fileId();
    for (const auto& [kind, info] : all) {
        std::map<ClientKind, AccountsInfo> one = all;
        for (auto& [other, otherInfo] : one) {
            if (other != kind)
                otherInfo.status = AccountsInfoStatus::loadedFromCacheOrEmpty;
        }
        SaveCachedAccounts(folder(), one);
        EXPECT_EQ(fileId(), written) << StoredText(kind).toStdString();
    }
}

}  // namespace
}  // namespace quillet
