#include <gtest/gtest.h>

#include "app/clients/ClientInfo.h"
#include "app/clients/accounts/MozillaAccounts.h"
#include "app/demo/FakeMacAccounts.h"
#include "common/Log.h"
#include "tests/support/TestHelpers.h"

namespace quillet {
namespace {

class MozillaAccountsTest : public testing::Test {
protected:
    std::optional<Accounts> discover(ClientKind kind, const QStringList& lines) {
        const QString profile = mac.addMozillaProfile(kind);
        WriteFakePrefsFile(profile, lines);
        ClientInfo info("/Applications/X.app", "1", "1");
        info.mozillaBasedClientProfilePathQ = profile;
        return DiscoverMozillaBasedClientAccounts(kind, info);
    }

    FakeMac mac;
    LogTap log;
};

TEST_F(MozillaAccountsTest, IdentitiesComeInTheTextOrderOfTheirNumbers) {
    QStringList lines{"// Mozilla User Preferences", "",
                      "user_pref(\"mail.account.account1.identities\", \"id1\");"};
    lines += FakeIdentityPrefsLines("2", "two@x.org", "Two");
    lines += FakeIdentityPrefsLines("10", "ten@x.org");
    lines += FakeIdentityPrefsLines("1", "one@x.org", "Jane \\\"JD\\\" Doe");
    // The full name is taken as written: the escapes stay.
    EXPECT_EQ(Descriptions(discover(ClientKind::thunderbird, lines)),
              (QStringList{"email: one@x.org, id: 1, full name: Jane \\\"JD\\\" Doe",
                           "email: ten@x.org, id: 10", "email: two@x.org, id: 2, full name: Two"}));
    EXPECT_TRUE(log.contains("Info: Thunderbird accounts obtained from a preferences file:"));
}

TEST_F(MozillaAccountsTest, IdentitiesWithoutAnAddressOrANumberAreSkipped) {
    const QStringList lines{
        "user_pref(\"mail.identity.id3.fullName\", \"No Mail\");",
        "user_pref(\"mail.identity.idfoo.useremail\", \"foo@x.org\");",
        "user_pref(\"mail.identity.id4x5.useremail\", \"runs@x.org\");",
        "user_pref(\"mail.identity.id.useremail\", \"empty@x.org\");",
        "user_pref(\"mail.identity.id6\", \"nodot@x.org\");",
        "user_pref(\"mail.identity.id7.useremail\",\"noblank@x.org\");",
        "user_pref(\"mail.identity.id8.useremail\", \"old@x.org\");",
        "user_pref(\"mail.identity.id8.useremail\", \"new@x.org\");",
        "user_pref(\"mail.identity.id9.useremail\", \"new@x.org\");",
        "user_pref(\"mail.identity.id9.valid\", true);",
    };
    EXPECT_EQ(Descriptions(discover(ClientKind::postbox, lines)),
              QStringList{"email: new@x.org, id: 8"});
    EXPECT_TRUE(log.contains("Warning: Got a Postbox account without an email, ID: \"3\""));
    EXPECT_TRUE(
        log.contains("Warning: Postbox: ignoring duplicate account for email new@x.org: "
                     "email: new@x.org, id: 9"));
    EXPECT_TRUE(log.contains("Info: Postbox accounts obtained from a preferences file:"));
}

TEST_F(MozillaAccountsTest, UnreadablePrefsFileFailsTheDiscovery) {
    const QString profile = mac.addMozillaProfile(ClientKind::thunderbird);
    ClientInfo info("/Applications/Thunderbird.app", "1", "1");
    info.mozillaBasedClientProfilePathQ = profile;
    EXPECT_FALSE(DiscoverMozillaBasedClientAccounts(ClientKind::thunderbird, info));
    EXPECT_TRUE(log.contains("Error: Could not read " + profile + "/prefs.js"));
}

}  // namespace
}  // namespace quillet
