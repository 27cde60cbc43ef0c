#include <gtest/gtest.h>

#include <QTemporaryDir>
#include "tests/support/CommandBuild.h"

namespace quillet {
namespace {

// The demo as the README runs it: a sample Mac in a folder, the reference service, the command
// driving itself; it must succeed and say what it wrote where.
TEST(QuilletDemoTest, InstallsIntoTheFiveClientsRefreshesAndShowsWhatItWrote) {
    QTemporaryDir folder;
    const CommandRun run = RunQuillet({"demo", folder.path() + "/mac"});
    const QString out = run.out + run.err;
    EXPECT_EQ(run.exitCode, 0) << out.toStdString();
    const QString refresh = out.section("== A refresh", 1);
    for (const QString& expected : {
             QString("Every step succeeded."),
             QString("created home/Library/Mail/V10/MailData/Signatures/"),
             QString("changed root/var/fake-mac/clients.json"),
             QString("changed home/Library/Application "
                     "Support/PostboxApp/Profiles/m1x2.default/postbox-signatures"),
             QString(
                 "changed home/Library/Group "
                 "Containers/3L68KQB4HG.group.com.readdle.smartemail/databases/settings.sqlite"),
             QString("+ user_pref(\"mail.identity.id1.htmlSigText\", \"<p><b>Tom Example</b> · "
                     "Engineering</p>\");"),
         }) {
        EXPECT_TRUE(out.contains(expected)) << expected.toStdString() << "\n" << out.toStdString();
    }
    // The refresh closes Apple Mail, writes the changed signatures and opens Apple Mail again.
    EXPECT_TRUE(
        refresh.contains("+ <p><b>Ann Example</b> &#183; Head of Sales &#183; +1 555 "
                         "0100</p>"))
        << refresh.toStdString();
    EXPECT_TRUE(refresh.contains("now with a phone"));
    EXPECT_TRUE(refresh.contains("+ terminate com.apple.mail\n      + launch "));
}

}  // namespace
}  // namespace quillet
