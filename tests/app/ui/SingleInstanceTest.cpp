#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QTemporaryDir>

#include "platform/EventLoop.h"
#include "tests/support/ui/AppProcess.h"

namespace quillet {
namespace {

// The real program, launched as a person's desktop launches it.
class SingleInstanceTest : public testing::Test {
protected:
    QString home() const { return _home.path(); }
    QString runtime() const { return _runtime.path(); }

    QTemporaryDir _home;
    QTemporaryDir _runtime;  // made 0700, as the system makes the per-user runtime folder
};

// Two launches at the same moment (a double click on the menu entry, login and a click): one
// engine. The later one reaches the first and ends, and so does every launch after it.
TEST_F(SingleInstanceTest, TwoLaunchesAtOnceGiveOneApplication) {
    AppProcess first(home(), runtime());
    AppProcess second(home(), runtime());
    first.start();
    second.start();
    ASSERT_TRUE(RunEventLoopUntil([&] { return !first.isRunning() || !second.isRunning(); }, 120))
        << "both launches kept running";
    AppProcess& ended = first.isRunning() ? second : first;
    AppProcess& running = first.isRunning() ? first : second;
    EXPECT_EQ(ended.exitCode(), 0) << ended.output().toStdString();
    ASSERT_TRUE(RunEventLoopUntil([&] { return AppProcess::EngineStarted(home()); }, 120));
    EXPECT_TRUE(running.isRunning());

    AppProcess third(home(), runtime());
    third.start();
    ASSERT_TRUE(third.waitForEnd(60));
    EXPECT_EQ(third.exitCode(), 0) << third.output().toStdString();
    EXPECT_TRUE(running.isRunning());
}

// Another user on the machine who listens first at a name in the shared temporary folder stops
// nothing: the instance's lock and socket are in a folder only this user can enter.
TEST_F(SingleInstanceTest, AnotherUsersSocketInTheSharedFolderDoesNotStopTheApplication) {
    QLocalServer squatter;
    const QString sharedName =
        "quillet-" +
        QCryptographicHash::hash(home().toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    QLocalServer::removeServer(sharedName);
    ASSERT_TRUE(squatter.listen(sharedName));
    for (const QString& runtimeFolder : {runtime(), QString()}) {
        AppProcess app(home(), runtimeFolder);
        app.start();
        ASSERT_TRUE(RunEventLoopUntil(
            [&] { return !app.isRunning() || AppProcess::EngineStarted(home()); }, 120));
        EXPECT_TRUE(app.isRunning()) << app.output().toStdString();
        EXPECT_FALSE(squatter.hasPendingConnections());
        QDir(home() + "/Library/Logs").removeRecursively();
    }
}

}  // namespace
}  // namespace quillet
