#include "app/base/RunProcess.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <atomic>
#include <thread>
#include <vector>

namespace quillet {
namespace {

// Runs from several threads at once (account discovery beside the main thread) each get their
// own tool's output and status.
TEST(RunProcess, RunsFromSeveralThreadsAtOnceEachGetTheirOwnResult) {
    constexpr int kThreads = 6;
    constexpr int kRuns = 4;
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &mismatches] {
            for (int run = 0; run < kRuns; ++run) {
                const QString word = QString("t%1r%2").arg(t).arg(run);
                const ProcessOutput output = RunProcess(
                    "/bin/sh", {"-c", "printf %s \"$0\"; echo \"$0\" >&2; exit 3", word});
                if (!output.started || output.crashed || output.exitCode != 3 ||
                    output.standardOutput != word || output.lastErrorLine != word)
                    ++mismatches;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, 0);
}

// Last in this file: there is no way back from it.
TEST(RunProcess, EndingChildProcessesKillsToolsWaitedOnInOtherThreadsAndStartsNoMore) {
    QTemporaryDir folder;
    constexpr int kThreads = 3;
    std::vector<ProcessOutput> outputs(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        const QString marker = folder.filePath(QString("started%1").arg(t));
        threads.emplace_back([&outputs, t, marker] {
            outputs[t] = RunProcess("/bin/sh", {"-c", "touch \"$0\"; exec sleep 600", marker});
        });
    }
    // The tools are waited on once they have started.
    for (int t = 0; t < kThreads; ++t) {
        while (!QFileInfo::exists(folder.filePath(QString("started%1").arg(t))))
            std::this_thread::yield();
    }
    EndChildProcesses();
    for (auto& thread : threads)
        thread.join();
    for (const ProcessOutput& output : outputs) {
        EXPECT_TRUE(output.started);
        EXPECT_TRUE(output.crashed);
    }
    EXPECT_FALSE(RunProcess("/bin/true", {}).started);
}

}  // namespace
}  // namespace quillet
