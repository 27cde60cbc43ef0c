// The Thunderbird sync's prefs.js as Debian's real Thunderbird reads it: Mozilla's preference
// parser takes a NUL for the end of the file, so one raw NUL in a signature would cost every
// preference after its line (the other accounts and their servers among them).
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "app/clients/PrefsFile.h"
#include "app/clients/accounts/MozillaAccounts.h"
#include "app/clients/sync/ThunderbirdSync.h"
#include "tests/support/RealThunderbird.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

TEST(RealThunderbirdSyncTest, ASignatureWithANulCostsThunderbirdNoPreference) {
    if (!RealThunderbird::isInstalled())
        GTEST_SKIP() << "Thunderbird is not installed (tools/install-deps.sh installs it)";
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    RealThunderbird thunderbird(home.path());
    ASSERT_TRUE(thunderbird.createProfiles()) << thunderbird.lastError().toStdString();
    ASSERT_TRUE(thunderbird.start()) << thunderbird.lastError().toStdString();
    const auto created = thunderbird.marionette().executeScript(
        ReadDataText("sync/real-thunderbird/create-accounts.txt"));
    ASSERT_TRUE(created) << thunderbird.marionette().lastError().toStdString();
    ASSERT_EQ(*created, 2);
    ASSERT_TRUE(thunderbird.quit());

    SyncWorld world(ClientKind::thunderbird);
    const QString prefsPath = thunderbird.installProfile() + "/prefs.js";
    world.clientInfo.mozillaBasedClientProfilePathQ = thunderbird.installProfile();
    world.accounts.status = AccountsInfoStatus::discoverySucceeded;
    world.accounts.accounts =
        ParseMozillaBasedClientAccounts(ClientKind::thunderbird, *ReadPrefsFileLines(prefsPath));
    // Ann's identity comes first in the file, so her signature line has the rest after it. The
    // rest of her text has what the file must escape, and what Mozilla leaves as it is (tabs,
    // apostrophes, line separators).
    const QString rest = QString::fromUtf8(
        "\n<p>\"JD\" C:\\Sign\\ \xc3\xa9t\xc3\xa9 \xe2\x80\x94 it's\t\xe2\x80\xa8</p>\r\n");
    SelectAccounts(world.store.signatures.add(QString("<p>Ann") + QChar(0) + " Example</p>" + rest),
                   ClientKind::thunderbird, {"ann@example.com"});
    ASSERT_FALSE(SyncThunderbirdSignatures(world.inputs()));

    ASSERT_TRUE(thunderbird.start()) << thunderbird.lastError().toStdString();
    const auto loaded = thunderbird.marionette().executeScript(
        ReadDataText("sync/real-thunderbird/read-accounts.txt"));
    ASSERT_TRUE(loaded) << thunderbird.marionette().lastError().toStdString();
    // Thunderbird adds its "Local Folders" account ("nobody") of its own.
    const auto servers = (*loaded)["servers"].get<std::set<std::string>>();
    EXPECT_TRUE(servers.count("ann") && servers.count("bob")) << (*loaded)["servers"].dump();
    EXPECT_EQ((*loaded)["identities"],
              nlohmann::json({{"ann@example.com", ("<p>Ann Example</p>" + rest).toStdString()},
                              {"bob@example.com", ""}}));
    EXPECT_TRUE(thunderbird.quit());
}

}  // namespace
}  // namespace quillet
