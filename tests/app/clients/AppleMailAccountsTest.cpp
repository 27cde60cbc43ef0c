#include <gtest/gtest.h>

#include "app/base/AppleScript.h"
#include "app/clients/accounts/AppleMailAccounts.h"
#include "app/demo/FakeMacAccounts.h"
#include "common/Log.h"
#include "tests/support/TestPlatform.h"

namespace quillet {
namespace {

const QString kScript = "AppleMail-ListAccounts-1012Plus";

class AppleMailAccountsTest : public testing::Test {
protected:
    // The descriptions of the accounts found; the result itself stays in `result`.
    QStringList discover() {
        result = DiscoverAppleMailAccounts(runner);
        QStringList descriptions;
        for (const auto& account : result.value_or(Accounts{}))
            descriptions.append(account->description());
        return descriptions;
    }

    FakeMac mac;
    TestPlatform platform{mac};
    AppleScriptRunner runner{mac.paths(), *platform.bundle};
    LogTap log;
    std::optional<Accounts> result;
};

TEST_F(AppleMailAccountsTest, ListsTheAccountsOfMail) {
    SetFakeAppleMailAccounts(mac, {{"U-1", "jane@x.org", "Jane Doe", "imap"},
                                   {"U-2", "jd@icloud.com", "", "iCloud", false}});
    EXPECT_EQ(discover(),
              (QStringList{"email: jane@x.org, uuid: U-1, type: imap, full name: Jane Doe",
                           "email: jd@icloud.com, uuid: U-2, type: iCloud"}));
    EXPECT_EQ(mac.osascriptRuns(), QStringList{kScript});
    EXPECT_TRUE(mac.lastScriptText(kScript).contains("tell application \"Mail\""));
    EXPECT_TRUE(log.contains("Info: Apple Mail accounts obtained via AppleScript:"));
    EXPECT_TRUE(
        log.contains("Info:     email: jane@x.org, uuid: U-1, type: imap, full name: Jane Doe"));
}

TEST_F(AppleMailAccountsTest, SeparatorsInsideNamesNeitherDropNorInventAccounts) {
    SetFakeAppleMailAccounts(
        mac, {{"U-1", "ann@x.org", "Ann,,,Admin"},
              {"U-2", "eve@x.org", "Eve;;;U-9,,,mallory@evil.example,,,M,,,true,,,imap"},
              {"U-3", "bo@x.org", ",Bo;"}});
    EXPECT_EQ(discover(),
              (QStringList{"email: ann@x.org, uuid: U-1, type: imap, full name: Ann, , ,Admin",
                           "email: eve@x.org, uuid: U-2, type: imap, full name: Eve; ; ;U-9, , "
                           ",mallory@evil.example, , ,M, , ,true, , ,imap",
                           "email: bo@x.org, uuid: U-3, type: imap, full name: ,Bo;"}));
    EXPECT_FALSE(log.containsText("Bad part count"));
    EXPECT_TRUE(mac.lastScriptText(kScript).contains("my cleanField(theFullName)"));
}

TEST_F(AppleMailAccountsTest, MalformedRecordsAreSkipped) {
    mac.setScriptResult(kScript,
                        "U1,,,four@x.org,,,N,,,imap;;;"
                        "U2,,,six@x.org,,,N,,,X,,,imap,,,more;;;"
                        " ,,,nouuid@x.org,,,N,,,X,,,imap;;;"
                        ",,, ,,,N,,,X,,,imap;;;"
                        "U5,,,notype@x.org,,,N,,,X,,, ;;;"
                        "  ;;;"
                        "\n U6 ,,, ok@x.org ,,, ,,, X ,,, pop \n");
    EXPECT_EQ(discover(), QStringList{"email: ok@x.org, uuid: U6, type: pop"});
    EXPECT_TRUE(
        log.contains("Error: Bad part count (4) in Apple Mail account string obtained via "
                     "AppleScript: \"U1,,,four@x.org,,,N,,,imap\""));
    EXPECT_TRUE(
        log.contains("Error: Bad part count (6) in Apple Mail account string obtained via "
                     "AppleScript: \"U2,,,six@x.org,,,N,,,X,,,imap,,,more\""));
    EXPECT_TRUE(log.contains(
        "Warning: Got an Apple Mail account without a UUID: \",,,nouuid@x.org,,,N,,,X,,,imap\""));
    // Only the first missing field is reported.
    EXPECT_TRUE(
        log.contains("Warning: Got an Apple Mail account without a UUID: \",,, ,,,N,,,X,,,imap\""));
    EXPECT_FALSE(log.containsText("without an email"));
    EXPECT_TRUE(log.contains(
        "Warning: Got an Apple Mail account without a type: \"U5,,,notype@x.org,,,N,,,X,,,\""));
}

TEST_F(AppleMailAccountsTest, ImapAccountWinsOverICloudAccountOfTheSameEmail) {
    for (const bool iCloudFirst : {true, false}) {
        log.clear();
        const QString iCloud = "UC,,,me@icloud.com,,,Me,,,true,,,iCloud";
        const QString imap = "UI,,,me@icloud.com,,,Me,,,true,,,imap";
        mac.setScriptResult(kScript, iCloudFirst ? iCloud + ";;;" + imap : imap + ";;;" + iCloud);
        EXPECT_EQ(discover(),
                  QStringList{"email: me@icloud.com, uuid: UI, type: imap, full name: Me"});
        EXPECT_TRUE(log.contains(
            "Warning: Apple Mail: ignoring an iCloud account in favor of an imap account with the "
            "same email: email: me@icloud.com, uuid: UC, type: iCloud, full name: Me"));
        EXPECT_FALSE(log.containsText("ignoring duplicate"));
    }
}

TEST_F(AppleMailAccountsTest, SecondAccountOfAnEmailIsDroppedWithTwoWarnings) {
    SetFakeAppleMailAccounts(mac, {{"U-1", "a@x.org", "", "imap"},
                                   {"U-2", "a@x.org", "", "imap"},
                                   {"U-3", "A@x.org", "", "imap"},
                                   {"U-4", "c@x.org", "", "iCloud"},
                                   {"U-5", "c@x.org", "", "iCloud"}});
    // Letter case makes another address.
    EXPECT_EQ(discover(), (QStringList{"email: a@x.org, uuid: U-1, type: imap",
                                       "email: A@x.org, uuid: U-3, type: imap",
                                       "email: c@x.org, uuid: U-4, type: iCloud"}));
    EXPECT_TRUE(
        log.contains("Warning: Apple Mail: ignoring duplicate account for email a@x.org: "
                     "email: a@x.org, uuid: U-2, type: imap"));
    EXPECT_TRUE(
        log.contains("Warning:     first account for this email: email: a@x.org, uuid: U-1, "
                     "type: imap"));
    EXPECT_EQ(log.count("Warning:     first account for this email: email: c@x.org, uuid: U-4, "
                        "type: iCloud"),
              1);
}

TEST_F(AppleMailAccountsTest, FailedListingIsAbsentButEmptyOutputIsNoAccounts) {
    // Mail is not there: the stand-in cannot tell it.
    EXPECT_TRUE(discover().empty());
    EXPECT_FALSE(result);
    EXPECT_TRUE(log.contains("Error: Could not list Apple Mail accounts via Apple Script"));

    SetFakeAutomationDenied(mac, "AppleMail", true);
    discover();
    EXPECT_FALSE(result);
    EXPECT_TRUE(log.contains("Info: Could not execute AppleScript \"" + kScript +
                             "\": not authorized to send Apple events"));

    SetFakeAutomationDenied(mac, "AppleMail", false);
    SetFakeAppleMailAccounts(mac, {});
    discover();
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->empty());
}

}  // namespace
}  // namespace quillet
