// What the engine last did, kept for other processes (the command's "status", the application
// after a restart), as several processes record it at once.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <future>
#include <thread>

#include "app/core/ActivityRecord.h"
#include "tests/support/TestHelpers.h"

namespace quillet {
namespace {

// A refresh's outcome and a pass's problems, recorded by two processes at once: the pass's while
// the refresh's process is between reading the record and writing it back. The record keeps both.
// Before, the refresh's process wrote back the problems it had read, none, and `status` then said
// that the last pass had none.
TEST(ActivityRecordTest, TwoProcessesRecordingAtOnceKeepWhatEachRecorded) {
    QTemporaryDir folder;
    const QString path = folder.filePath(kActivityRecordFileName);
    std::jthread pass;
    std::future<bool> passRecorded;
    ASSERT_TRUE(UpdateActivityRecord(path, [&](ActivityRecord& record) {
        record.lastRefresh = RefreshRecord{100, false};
        std::packaged_task<bool()> recordPass([&path] {
            return UpdateActivityRecord(path, [](ActivityRecord& other) {
                other.lastSyncTime = 200;
                other.problems = {"Thunderbird: the disk is full"};
            });
        });
        passRecorded = recordPass.get_future();
        pass = std::jthread(std::move(recordPass));
        // The other records at once, unless it waits for this one to have written.
        passRecorded.wait_for(std::chrono::milliseconds(500));
    }));
    EXPECT_TRUE(passRecorded.get());
    const ActivityRecord record = LoadActivityRecord(path);
    ASSERT_TRUE(record.lastRefresh);
    EXPECT_EQ(record.lastRefresh->time, 100);
    EXPECT_FALSE(record.lastRefresh->success);
    EXPECT_EQ(record.lastSyncTime, 200);
    EXPECT_EQ(record.problems, QStringList{"Thunderbird: the disk is full"});
}

}  // namespace
}  // namespace quillet
