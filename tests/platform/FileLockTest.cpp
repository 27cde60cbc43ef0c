#include "platform/FileLock.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

namespace quillet {
namespace {

// Whether another process could take the lock right now (util-linux flock, without waiting).
bool FreeForAnotherProcess(const QString& path) {
    QProcess probe;
    probe.start("flock", {"--nonblock", path, "true"});
    return probe.waitForFinished(30000) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}

// Spins until the flag is set; the waits it stands for are bounded by the test's time-out.
void AwaitFlag(const std::atomic<bool>& flag) {
    while (!flag)
        std::this_thread::yield();
}

TEST(FileLock, HeldLockWaitsUntilReleasedAndSaysSoOnce) {
    QTemporaryDir folder;
    const QString path = folder.filePath("Sync.lock");
    auto first = std::make_unique<FileLock>(path, [] { ADD_FAILURE() << "first lock waited"; });
    ASSERT_TRUE(first->isHeld()) << first->error().toStdString();
    EXPECT_FALSE(FreeForAnotherProcess(path));

    std::atomic<int> waits{0};
    std::atomic<bool> waiting{false};
    std::atomic<bool> secondHeld{false};
    std::thread second([&] {
        const FileLock lock(path, [&] {
            ++waits;
            waiting = true;
        });
        secondHeld = lock.isHeld();
    });
    AwaitFlag(waiting);
    EXPECT_FALSE(secondHeld);
    first.reset();
    second.join();
    EXPECT_TRUE(secondHeld);
    EXPECT_EQ(waits, 1);
    EXPECT_TRUE(FreeForAnotherProcess(path));  // released with the object
}

TEST(FileLock, ProgramsStartedWhileHeldDoNotKeepIt) {
    QTemporaryDir folder;
    const QString path = folder.filePath("Sync.lock");
    QProcess child;
    {
        const FileLock lock(path, {});
        ASSERT_TRUE(lock.isHeld());
        child.start("sleep", {"60"});
        ASSERT_TRUE(child.waitForStarted(30000));
    }
    EXPECT_TRUE(FreeForAnotherProcess(path));
    child.kill();
    child.waitForFinished(30000);
}

TEST(FileLock, PathThatCannotBeOpenedIsNotHeldAndNeverWaits) {
    QTemporaryDir folder;
    const QString path = folder.filePath("Sync.lock");
    ASSERT_TRUE(QDir().mkpath(path));  // a folder where the lock file belongs
    const FileLock lock(path, [] { ADD_FAILURE() << "waited"; });
    EXPECT_FALSE(lock.isHeld());
    EXPECT_TRUE(lock.error().contains(path)) << lock.error().toStdString();
}

}  // namespace
}  // namespace quillet
