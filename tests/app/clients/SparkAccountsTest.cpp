#include <gtest/gtest.h>

#include "app/clients/accounts/SparkAccounts.h"
#include "app/demo/FakeMacAccounts.h"
#include "common/Log.h"
#include "tests/support/TestHelpers.h"

namespace quillet {
namespace {

class SparkAccountsTest : public testing::Test {
protected:
    FakeMac mac;
    LogTap log;
};

TEST_F(SparkAccountsTest, AccountsComeInPkOrderWithTrimmedNames) {
    CreateFakeSparkMessagesDatabase(mac,
                                    {{"  Work  ", "", SparkAdditionalInfo("work@x.org"), 7},
                                     {"", " Jane Doe\n", SparkAdditionalInfo("home@x.org"), 3}});
    EXPECT_EQ(Descriptions(DiscoverSparkAccounts(mac.paths())),
              (QStringList{"email: home@x.org, owner full name: Jane Doe",
                           "email: work@x.org, account title: Work"}));
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
    EXPECT_EQ(Descriptions(DiscoverSparkAccounts(mac.paths())),
              QStringList{"email: ok@x.org, account title: T"});
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
    EXPECT_EQ(Descriptions(DiscoverSparkAccounts(mac.paths())),
              QStringList{"email: a@x.org, account title: First"});
    EXPECT_EQ(log.lines(),
              (std::vector<QString>{
                  "Warning: Spark: ignoring duplicate account for email a@x.org: "
                  "email: a@x.org, account title: Second",
                  "Warning:     first account for this email: email: a@x.org, account title: First",
                  "Info: Spark accounts obtained from a database:",
                  "Info:     email: a@x.org, account title: First"}));
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
