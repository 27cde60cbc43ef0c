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
    std::vector<ProcessOutput> outputs(2);
    std::vector<std::thread> threads;
    for (ProcessOutput& output : outputs) {
        const QString marker = folder.filePath(QString::number(threads.size()));
        threads.emplace_back([&output, marker] {
            output = RunProcess("/bin/sh", {"-c", "touch \"$0\"; exec sleep 600", marker});
        });
        // The tool is waited on once it has started.
        while (!QFileInfo::exists(marker))
            std::this_thread::yield();
    }
    EndChildProcesses();
    for (std::size_t t = 0; t < threads.size(); ++t) {
        threads[t].join();
        EXPECT_TRUE(outputs[t].started && outputs[t].crashed);
    }
    EXPECT_FALSE(RunProcess("/bin/true", {}).started);
}

}  // namespace
}  // namespace quillet
