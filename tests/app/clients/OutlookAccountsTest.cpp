#include <gtest/gtest.h>

#include "app/base/AppleScript.h"
#include "app/clients/ClientInfo.h"
#include "app/clients/accounts/OutlookAccounts.h"
#include "app/demo/FakeMacAccounts.h"
#include "common/Log.h"
#include "tests/support/TestHelpers.h"
#include "tests/support/TestPlatform.h"

namespace quillet {
namespace {

const QString kMain = "Outlook-ListAccounts-A-Main";
const QString kGmail = "Outlook-ListAccounts-A-Gmail";
const QString kB = "Outlook-ListAccounts-B";

QStringList Emails(const Accounts& accounts) {
    QStringList emails;
    for (const auto& account : accounts)
        emails.append(account->email());
    return emails;
}

class OutlookAccountsTest : public testing::Test {
protected:
    std::optional<Accounts> discoverA(OutlookVersionKind kind) {
        ClientInfo info("/Applications/Microsoft Outlook.app", "16.50", "16.50");
        info.outlookVersionKindQ = kind;
        return DiscoverOutlookAccountsA(runner, info, publish);
    }
    std::optional<Accounts> discoverB() { return DiscoverOutlookAccountsB(runner, publish); }

    FakeMac mac;
    TestPlatform platform{mac};
    AppleScriptRunner runner{mac.paths(), *platform.bundle};
    LogTap log;
    std::vector<QStringList> published;
    PublishPartialAccountsFn publish = [this](const Accounts& a) {
        published.push_back(Emails(a));
    };
};

TEST_F(OutlookAccountsTest, ListingAAddsTheGmailAccountsAfterPublishingTheMainOnes) {
    SetFakeOutlookAccounts(mac, {{"work@x.org", "Jane Doe", "jdoe", "exchange"},
                                 {"home@y.org", "", "", "imap"},
                                 {"jane@gmail.com", "Jane", "jane@gmail.com", "google"},
                                 {"work@x.org", "Again", "", "google"}});
    EXPECT_EQ(
        Descriptions(discoverA(OutlookVersionKind::v16_41To79)),
        (QStringList{"email: work@x.org, full name: Jane Doe, user name: jdoe", "email: home@y.org",
                     "email: jane@gmail.com, full name: Jane, user name: jane@gmail.com"}));
    EXPECT_EQ(published, (std::vector<QStringList>{{"work@x.org", "home@y.org"}}));
    EXPECT_EQ(mac.osascriptRuns(), (QStringList{kMain, kGmail}));
    EXPECT_TRUE(log.contains("Info: Outlook accounts obtained via AppleScript (A-Main):"));
    EXPECT_TRUE(log.contains("Info:     email: work@x.org, full name: Jane Doe, user name: jdoe"));
    EXPECT_TRUE(log.contains("Info: Outlook accounts obtained via AppleScript (A-Gmail):"));
    EXPECT_TRUE(
        log.contains("Warning: Microsoft Outlook: ignoring duplicate account for email "
                     "work@x.org: email: work@x.org, full name: Again"));
}

TEST_F(OutlookAccountsTest, SeparatorsInsideNamesNeitherDropNorInventAccounts) {
    SetFakeOutlookAccounts(mac, {{"ann@x.org", "Ann,,,Admin", "ann", "exchange"},
                                 {"eve@x.org", "Eve (eve@evil.example);;;Bob",
                                  "eve;;;x,,,y,,,bob@evil.example", "imap"},
                                 {"jo@x.org", "Jo,", ";jo", "google"}});
    EXPECT_EQ(Descriptions(discoverA(OutlookVersionKind::v16_41To79)),
              (QStringList{"email: ann@x.org, full name: Ann, , ,Admin, user name: ann",
                           "email: eve@x.org, full name: Eve (eve@evil.example); ; ;Bob, user "
                           "name: eve; ; ;x, , ,y, , ,bob@evil.example",
                           "email: jo@x.org, full name: Jo,, user name: ;jo"}));
    EXPECT_FALSE(log.containsText("Bad part count"));
    EXPECT_EQ(Emails(discoverB().value_or(Accounts{})),
              (QStringList{"ann@x.org", "eve@x.org", "jo@x.org"}));
    for (const QString& script : {kMain, kGmail, kB})
        EXPECT_TRUE(mac.lastScriptText(script).contains("on cleanField(")) << script.toStdString();
}

TEST_F(OutlookAccountsTest, GoogleAccountsAreRecognisedByWhatOutlookKnowsNotByTheirAddress) {
    SetFakeOutlookAccounts(mac, {{"ann@corp.example", "Ann", "ann@corp.example", "google"},
                                 {"bob@gmail.com", "Bob", "bob", "imap"}});
    EXPECT_EQ(Emails(discoverA(OutlookVersionKind::v16_41To79).value_or(Accounts{})),
              (QStringList{"bob@gmail.com", "ann@corp.example"}));
    // The stand-in plays Outlook by the account's kind; the script must ask Outlook the same,
    // not look at the address's domain.
    const QString script = mac.lastScriptText(kGmail);
    EXPECT_FALSE(script.contains("@gmail.com")) << script.toStdString();
    EXPECT_FALSE(script.contains("@googlemail.com"));
    EXPECT_TRUE(script.contains("server of theAccount"));
}

TEST_F(OutlookAccountsTest, GmailListingRunsFromOutlook15OnOnly) {
    SetFakeOutlookAccounts(mac,
                           {{"a@x.org", "", "", "exchange"}, {"g@gmail.com", "", "", "google"}});
    for (const auto kind : {OutlookVersionKind::v16_Pre41, OutlookVersionKind::v15}) {
        EXPECT_EQ(discoverA(kind)->size(), 2u);
    }
    EXPECT_EQ(mac.osascriptRuns(), (QStringList{kMain, kGmail, kMain, kGmail}));
    const auto old = discoverA(OutlookVersionKind::v14OrOlder);
    EXPECT_EQ(Emails(*old), QStringList{"a@x.org"});
    EXPECT_EQ(mac.osascriptRuns().size(), 5);
    EXPECT_EQ(mac.osascriptRuns().last(), kMain);
}

TEST_F(OutlookAccountsTest, FailedMainListingFailsButAFailedGmailListingKeepsTheMainAccounts) {
    EXPECT_FALSE(discoverA(OutlookVersionKind::v15));
    mac.setScriptCrash(kB);
    EXPECT_FALSE(discoverB());
    EXPECT_TRUE(published.empty());
    EXPECT_EQ(mac.osascriptRuns(), (QStringList{kMain, kB}));
    EXPECT_TRUE(log.contains("Error: Could not list Outlook accounts (A-Main) via Apple Script"));
    EXPECT_TRUE(log.contains("Error: Could not list Outlook accounts (B) via Apple Script"));

    SetFakeOutlookAccounts(mac, {{"a@x.org", "", "", "exchange"}});
    mac.setScriptResult(kGmail, "", "execution error: boom (-1)", 1);
    EXPECT_EQ(Emails(discoverA(OutlookVersionKind::v15).value_or(Accounts{})),
              QStringList{"a@x.org"});
    EXPECT_TRUE(
        log.contains("Warning: Could not list Outlook accounts (A-Gmail) via Apple Script"));
}

TEST_F(OutlookAccountsTest, RecordsOfListingANeedThreeFieldsAndAnEmail) {
    mac.setScriptResult(kMain, "u,,,n;;;u,,,n,,,e@x.org,,,z;;;u,,,n,,, ;;;,,,,,,only@x.org");
    const auto accounts = discoverA(OutlookVersionKind::v14OrOlder);
    ASSERT_TRUE(accounts);
    EXPECT_EQ(Emails(*accounts), QStringList{"only@x.org"});
    EXPECT_TRUE(
        log.contains("Error: Bad part count (2) in Outlook account string obtained via "
                     "AppleScript (A-Main): \"u,,,n\""));
    EXPECT_TRUE(
        log.contains("Error: Bad part count (4) in Outlook account string obtained via "
                     "AppleScript (A-Main): \"u,,,n,,,e@x.org,,,z\""));
    EXPECT_TRUE(log.contains("Warning: Got an Outlook account without an email: \"u,,,n,,,\""));
}

TEST_F(OutlookAccountsTest, ListingBTakesNamedAndBareAddresses) {
    mac.setScriptResult(kB, "Jane Doe (jane@x.org);;;bob@x.org;;;word\n");
    EXPECT_EQ(Descriptions(discoverB()),
              (QStringList{"email: jane@x.org, full name: Jane Doe, user name: jane@x.org",
                           "email: bob@x.org, user name: bob@x.org"}));
    EXPECT_EQ(log.count("Warning: Got an Outlook account without an email: \"word\""), 1);
    int warnings = 0;
    for (const QString& line : log.lines())
        warnings += line.startsWith("Warning:");
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(published, (std::vector<QStringList>{{"jane@x.org", "bob@x.org"}}));
    EXPECT_EQ(mac.osascriptRuns(), QStringList{kB});
}

TEST_F(OutlookAccountsTest, ListingBSplitsAtTheLastParenthesis) {
    mac.setScriptResult(kB, "Doe, Jane (Sales) (jane@x.org);;;(x@y.org);;;Name ( );;;no paren)");
    EXPECT_EQ(
        Descriptions(discoverB()),
        QStringList{"email: jane@x.org, full name: Doe, Jane (Sales), user name: jane@x.org"});
    EXPECT_TRUE(
        log.contains("Error: Can't parse Outlook account string obtained via AppleScript "
                     "(B): \"(x@y.org)\""));
    EXPECT_TRUE(log.contains("Warning: Got an Outlook account without an email: \"Name ( )\""));
    EXPECT_TRUE(
        log.contains("Error: Can't parse Outlook account string obtained via AppleScript "
                     "(B): \"no paren)\""));
}

TEST_F(OutlookAccountsTest, ListingBPlaysOutlookAndComparesEmailsCaseSensitively) {
    SetFakeOutlookAccounts(mac, {{"jane@x.org", "Jane (Home)", "", "exchange"},
                                 {"Jane@x.org", "", "", "imap"},
                                 {"jane@x.org", "", "", "google"}});
    EXPECT_EQ(Emails(discoverB().value_or(Accounts{})), (QStringList{"jane@x.org", "Jane@x.org"}));
    EXPECT_TRUE(
        log.contains("Warning:     first account for this email: email: jane@x.org, full "
                     "name: Jane (Home), user name: jane@x.org"));
}

}  // namespace
}  // namespace quillet
