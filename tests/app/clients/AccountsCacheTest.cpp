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

using enum AccountsInfoStatus;

// One cache file through the saves of two processes (the application and a command beside it),
// which detect different clients and discover them at different times. A save takes from this
// process only what it discovered, or what the file lacks; it writes only a change.
TEST(AccountsCacheTest, ASaveTakesWhatThisProcessFoundOnlyWhereTheFileHasNothingNewer) {
    FakeMac mac;
    const QString folder = mac.paths().applicationSupport() + "/Quillet Test";
    const QString path = CachedAccountsPath(folder);
    const auto loaded = [&folder](ClientKind kind) {
        return Descriptions(LoadCachedAccounts(folder)[kind]);
    };
    const auto fileId = [&path] {
        struct stat status {};
        ::stat(QFile::encodeName(path).constData(), &status);
        return status.st_ino;
    };
    const AccountPtr mail = std::make_shared<AppleMailAccount>("m@x.org", "U-1", "imap", "Jane");
    const AccountPtr mailBare =
        std::make_shared<AppleMailAccount>("n@x.org", "U-2", "pop", std::nullopt);
    const AccountPtr thunderbird =
        std::make_shared<MozillaBasedClientAccount>("t@x.org", "10", "T");
    const AccountPtr older = std::make_shared<MozillaBasedClientAccount>("old@x.org", "1", "O");
    const AccountPtr spark = std::make_shared<SparkAccount>("s@x.org", "Work", "Jane");

    // Outlook, not detected now (a moved profile, a new-Outlook toggle), keeps its entry as it
    // stands, with what this build does not read. Where the file has nothing, unfinished or
    // failed discovery saves the last good list.
    mac.writeFile(path, ReadDataText("clients/cache-with-later-entries.plist").toUtf8());
    SaveCachedAccounts(folder, {{ClientKind::appleMail, {discovering, {mailBare}, {mail}}},
                                {ClientKind::thunderbird, {discoveryFailed, {}, {thunderbird}}},
                                {ClientKind::spark, {discoverySucceeded, {spark}, {}}}});
    EXPECT_EQ(loaded(ClientKind::appleMail), Descriptions(Accounts{mail}));
    EXPECT_EQ(loaded(ClientKind::thunderbird), Descriptions(Accounts{thunderbird}));
    EXPECT_EQ(loaded(ClientKind::outlook), QStringList{"email: o@x.org"});
    EXPECT_EQ(loaded(ClientKind::spark), Descriptions(Accounts{spark}));
    const auto plist = ReadPlistFile(path);
    const PlistNode outlookEntry = *plist->node().get("Outlook");
    ASSERT_EQ(outlookEntry.size(), 2);
    EXPECT_EQ(outlookEntry.at(0)->get("later")->asInteger(), 7);
    EXPECT_EQ(outlookEntry.at(1)->asString(), "odd");

    // The other process read the file before that save: what it only had from the cache, or had
    // not finished discovering, undoes nothing, and a save that changes nothing leaves the file
    // alone (every command reads the clients' accounts again).
    const auto written = fileId();
    for (const AccountsInfo& stale :
         {AccountsInfo{loadedFromCacheOrEmpty, {}, {}},
          AccountsInfo{loadedFromCacheOrEmpty, {older}, {older}},
          AccountsInfo{discovering, {}, {older}}, AccountsInfo{discoveryFailed, {}, {older}}}) {
        SaveCachedAccounts(folder, {{ClientKind::appleMail, {discoverySucceeded, {mail}, {}}},
                                    {ClientKind::thunderbird, stale}});
        EXPECT_EQ(loaded(ClientKind::thunderbird), Descriptions(Accounts{thunderbird}))
            << CaseName(stale.status).toStdString();
        EXPECT_EQ(fileId(), written);
    }

    // A discovered client whose list is now empty loses its entry; the undetected one stays.
    SaveCachedAccounts(folder, {{ClientKind::spark, {discoverySucceeded, {}, {spark}}}});
    EXPECT_EQ(ReadPlistFile(path)->node().keys(),
              (QStringList{"Outlook", "AppleMail", "Thunderbird"}));

    // A regular file where the folder should be: the write fails and nothing is thrown.
    mac.writeFile(folder + "/blocked", "x");
    SaveCachedAccounts(folder + "/blocked",
                       {{ClientKind::spark, {discoverySucceeded, {spark}, {}}}});
    EXPECT_TRUE(LoadCachedAccounts(folder + "/blocked").at(ClientKind::spark).empty());
}

}  // namespace
}  // namespace quillet
