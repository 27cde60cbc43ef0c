#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/EventLoop.h"
#include "tests/support/CommandBuild.h"

namespace quillet {
namespace {

// The real program in a home of its own, with the signature service at a loopback address that
// answers nothing. A QProcess ends its program when it goes.
class SingleInstanceTest : public testing::Test {
protected:
    // runtimeFolder: the person's XDG_RUNTIME_DIR (empty: unset).
    QProcess& launch(const QString& runtimeFolder) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", home.path());
        environment.remove("QUILLET_HOME");
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("QUILLET_SERVICE_URL", "http://127.0.0.1:9");
        environment.insert("XDG_RUNTIME_DIR", runtimeFolder);
        if (runtimeFolder.isEmpty())
            environment.remove("XDG_RUNTIME_DIR");
        return *apps.emplace_back(StartQuillet({}, environment, QUILLET_APP_PATH));
    }
    static bool Running(const QProcess& app) { return app.state() != QProcess::NotRunning; }
    // The program got past its start-up checks.
    bool engineStarted() const {
        return QDirIterator(home.filePath("Library/Logs"), {"Quillet.log"}, QDir::Files,
                            QDirIterator::Subdirectories)
            .hasNext();
    }

    QTemporaryDir home;
    QTemporaryDir runtime;  // made 0700, as the system makes the per-user runtime folder
    std::vector<std::unique_ptr<QProcess>> apps;
};

// Two launches at the same moment: one engine; the later one reaches the first and ends, as does
// every launch after it. Another user listening first at a name in the shared temporary folder
// stops nothing: the lock and socket are in the runtime folder, or else in the home.
TEST_F(SingleInstanceTest, OneApplicationWhateverAnotherUserListensAt) {
    QLocalServer squatter;
    const QString sharedName =
        "quillet-" +
        QCryptographicHash::hash(home.path().toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    QLocalServer::removeServer(sharedName);
    ASSERT_TRUE(squatter.listen(sharedName));
    QProcess& first = launch(runtime.path());
    QProcess& second = launch(runtime.path());
    ASSERT_TRUE(RunEventLoopUntil([&] { return !Running(first) || !Running(second); }, 120))
        << "both launches kept running";
    QProcess& ended = Running(first) ? second : first;
    QProcess& running = Running(first) ? first : second;
    EXPECT_EQ(ended.exitCode(), 0) << ended.readAllStandardError().toStdString();
    ASSERT_TRUE(RunEventLoopUntil([&] { return engineStarted(); }, 120));
    EXPECT_TRUE(Running(running)) << running.readAllStandardError().toStdString();

    QProcess& third = launch(runtime.path());
    ASSERT_TRUE(RunEventLoopUntil([&] { return !Running(third); }, 60));
    EXPECT_EQ(third.exitCode(), 0) << third.readAllStandardError().toStdString();
    EXPECT_TRUE(Running(running));
    running.kill();
    running.waitForFinished();

    QDir(home.filePath("Library/Logs")).removeRecursively();
    QProcess& withoutRuntime = launch(QString());
    ASSERT_TRUE(
        RunEventLoopUntil([&] { return !Running(withoutRuntime) || engineStarted(); }, 120));
    EXPECT_TRUE(Running(withoutRuntime)) << withoutRuntime.readAllStandardError().toStdString();
    EXPECT_FALSE(squatter.hasPendingConnections());
}

}  // namespace
}  // namespace quillet
