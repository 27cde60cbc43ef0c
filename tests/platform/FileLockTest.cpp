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

// A second lock waits until the first is released and says so once; a program started while the
// lock is held does not keep it; a path that cannot be opened is not held and never waits.
TEST(FileLock, HeldLockWaitsUntilReleasedAndSaysSoOnceAndNoChildKeepsIt) {
    QTemporaryDir folder;
    const QString path = folder.filePath("Sync.lock");
    auto first = std::make_unique<FileLock>(path, [] { ADD_FAILURE() << "first lock waited"; });
    ASSERT_TRUE(first->isHeld()) << first->error().toStdString();
    EXPECT_FALSE(FreeForAnotherProcess(path));
    QProcess child;
    child.start("sleep", {"60"});
    ASSERT_TRUE(child.waitForStarted(30000));
    first.reset();
    EXPECT_TRUE(FreeForAnotherProcess(path));  // released with the object, the child running
    child.kill();
    child.waitForFinished(30000);

    first = std::make_unique<FileLock>(path, [] { ADD_FAILURE() << "first lock waited"; });
    std::atomic<int> waits{0};
    std::atomic<bool> secondHeld{false};
    std::thread second([&] {
        const FileLock lock(path, [&] { ++waits; });
        secondHeld = lock.isHeld();
    });
    while (waits == 0)  // bounded by the test's time-out
        std::this_thread::yield();
    EXPECT_FALSE(secondHeld);
    first.reset();
    second.join();
    EXPECT_TRUE(secondHeld);
    EXPECT_EQ(waits, 1);

    const QString blocked = folder.filePath("Folder.lock");
    ASSERT_TRUE(QDir().mkpath(blocked));  // a folder where the lock file belongs
    const FileLock lock(blocked, [] { ADD_FAILURE() << "waited"; });
    EXPECT_FALSE(lock.isHeld());
    EXPECT_TRUE(lock.error().contains(blocked)) << lock.error().toStdString();
}

}  // namespace
}  // namespace quillet
