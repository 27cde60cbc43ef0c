#include <gtest/gtest.h>

#include "app/clients/accounts/SparkAccounts.h"
#include "common/Log.h"
#include "tests/support/FakeMacAccounts.h"

namespace quillet {
namespace {

const SparkAccount& AsSpark(const AccountPtr& account) {
    return dynamic_cast<const SparkAccount&>(*account);
}

class SparkAccountsTest : public testing::Test {
protected:
    FakeMac mac;
    LogTap log;
};

TEST_F(SparkAccountsTest, AccountsComeInPkOrderWithTrimmedNames) {
    CreateFakeSparkMessagesDatabase(mac,
                                    {{"  Work  ", "", SparkAdditionalInfo("work@x.org"), 7},
                                     {"", " Jane Doe\n", SparkAdditionalInfo("home@x.org"), 3}});
    const auto accounts = DiscoverSparkAccounts(mac.paths());
    ASSERT_TRUE(accounts);
    ASSERT_EQ(accounts->size(), 2u);
    EXPECT_EQ(AsSpark((*accounts)[0]).email(), "home@x.org");
    EXPECT_EQ(AsSpark((*accounts)[0]).accountTitleQ(), std::nullopt);
    EXPECT_EQ(AsSpark((*accounts)[0]).ownerFullNameQ(), "Jane Doe");
    EXPECT_EQ(AsSpark((*accounts)[1]).accountTitleQ(), "Work");
    EXPECT_EQ(AsSpark((*accounts)[1]).ownerFullNameQ(), std::nullopt);
    EXPECT_TRUE(log.contains("Info: Spark accounts obtained from a database:"));
    EXPECT_TRUE(log.contains("Info:     email: work@x.org, account title: Work"));
}

TEST_F(SparkAccountsTest, RowsWithoutAStringAddressAreLoggedAndSkipped) {
    CreateFakeSparkMessagesDatabase(mac, {{" T ", "O", "{\"other\":1}"},
                                          {"T", "", "{\"accountAddress\":42}"},
                                          {"T", "", "[\"a@x.org\"]"},
                                          {"T", "", "not json"},
                                          {"T", "", "\"a@x.org\""},
                                          {"T", "", SparkAdditionalInfo("ok@x.org")}});
    const auto accounts = DiscoverSparkAccounts(mac.paths());
    ASSERT_TRUE(accounts);
    ASSERT_EQ(accounts->size(), 1u);
    EXPECT_EQ((*accounts)[0]->email(), "ok@x.org");
    EXPECT_TRUE(
        log.contains("Error: DiscoverSparkAccounts()(): No account address in additional "
                     "info JSON, account title:  T , owner full name: O, additional info "
                     "map: {\"other\":1}"));
    EXPECT_TRUE(
        log.contains("Error: DiscoverSparkAccounts()(): No account address in additional "
                     "info JSON, account title: T, owner full name: , additional info map: "
                     "{\"accountAddress\":42}"));
    EXPECT_TRUE(
        log.contains("Error: DiscoverSparkAccounts()(): No account address in additional "
                     "info JSON, account title: T, owner full name: , additional info map: "
                     "[\"a@x.org\"]"));
    EXPECT_EQ(log.count("Error: DiscoverSparkAccounts()(): Could not parse additional info JSON, "
                        "account title: T, owner full name: , error: illegal value"),
              2);
}

TEST_F(SparkAccountsTest, DuplicatesAreDroppedBeforeTheListIsLogged) {
    CreateFakeSparkMessagesDatabase(mac, {{"First", "", SparkAdditionalInfo("a@x.org")},
                                          {"Second", "", SparkAdditionalInfo("a@x.org")}});
    const auto accounts = DiscoverSparkAccounts(mac.paths());
    ASSERT_TRUE(accounts);
    ASSERT_EQ(accounts->size(), 1u);
    EXPECT_EQ(AsSpark((*accounts)[0]).accountTitleQ(), "First");
    const auto lines = log.lines();
    const auto warning = std::find(lines.begin(), lines.end(),
                                   "Warning: Spark: ignoring duplicate account for email a@x.org: "
                                   "email: a@x.org, account title: Second");
    const auto obtained =
        std::find(lines.begin(), lines.end(), "Info: Spark accounts obtained from a database:");
    ASSERT_NE(warning, lines.end());
    EXPECT_EQ(*(warning + 1),
              "Warning:     first account for this email: email: a@x.org, account title: First");
    EXPECT_LT(warning, obtained);
    EXPECT_EQ(lines.end() - obtained, 2);
}

TEST_F(SparkAccountsTest, MissingDatabaseOrTableFailsTheDiscovery) {
    EXPECT_FALSE(DiscoverSparkAccounts(mac.paths()));
    EXPECT_FALSE(QFile::exists(SparkMessagesDatabasePath(mac.paths())));
    mac.writeFile(SparkMessagesDatabasePath(mac.paths()), {});
    EXPECT_FALSE(DiscoverSparkAccounts(mac.paths()));
    EXPECT_FALSE(log.containsText("Spark accounts obtained"));
}

}  // namespace
}  // namespace quillet
