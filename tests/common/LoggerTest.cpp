#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <chrono>
#include <mutex>
#include <thread>

#include "app/demo/FakeMacMozilla.h"
#include "common/Log.h"
#include "common/Logger.h"
#include "platform/EventLoop.h"
#include "tests/support/DataTable.h"
#include "tests/support/TestHelpers.h"

namespace quillet {
namespace {

QString FileText(const QString& path) {
    return QString::fromUtf8(ReadFakeFile(path).value_or(""));
}

const QString kSeparator(50, '=');

// Lines wait for sync() alone, so that a test decides the order of the batches.
const LoggerLimits kWaitingBatches{kLogRotationBytes, std::chrono::minutes(1)};

// The whole lines of the files by their tag: "[time] Debug: TAG" + filler, as the writers below
// log them. Any other line but a header line is counted under no tag.
std::map<QString, int> WholeLinesByTag(const QStringList& paths, const QString& filler) {
    const QRegularExpression whole("^\\[[^]]+\\] Debug: (\\w+)" + filler + "$");
    std::map<QString, int> counts;
    for (const QString& path : paths) {
        for (const QString& line : FileText(path).split('\n')) {
            if (!line.isEmpty() && line != kSeparator && !line.endsWith("] Info: v"))
                ++counts[whole.match(line).captured(1)];
        }
    }
    return counts;
}

// The first run makes the folder and the file, for the user alone; its lines reach the file
// without being asked for while it idles. Each run appends after a separator and its version
// line, even while another logger (the command beside the application) has the file open, and
// narrows a log that others could read; with no file, logging stays on the console. The file is
// base/log-runs.txt, time stamps as "[t]".
TEST(Logger, RunsAppendAfterASeparatorAndTheirVersionToAFileForTheUserAlone) {
    QTemporaryDir temporary;
    const QString folder = temporary.path() + "/Library/Logs/Quillet";
    const QString path = folder + "/Quillet.log";
    std::mutex lock;
    QStringList console;
    const ConsoleSink sink = [&](const QString& text) {
        std::lock_guard guard(lock);
        console.append(text);
    };
    {
        Logger first(folder, "Quillet 2.4 (118)", sink,
                     LoggerLimits{kLogRotationBytes, std::chrono::milliseconds(20)});
        EXPECT_EQ(first.path(), path);
        first.info("from the first run");
        EXPECT_TRUE(RunEventLoopUntil(
            [&] { return FileText(path).contains("Info: from the first run"); }, 30));
    }
    EXPECT_TRUE(console.contains("Info: Log file at " + path));
    EXPECT_TRUE(console.contains("Info: Quillet 2.4 (118)"));
    EXPECT_EQ(FileMode(path), 0600u);
    ASSERT_TRUE(QFile::setPermissions(
        path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    Logger second(folder, "second", {}, kWaitingBatches);
    Logger concurrent(folder, "concurrent", {}, kWaitingBatches);
    second.info("from the second run");
    second.sync();
    concurrent.error("from the concurrent\nrun\n");  // written unchanged, one newline added
    concurrent.sync();
    const QString text = FileText(path).replace(
        QRegularExpression("^\\[[^]\n]+\\]", QRegularExpression::MultilineOption), "[t]");
    EXPECT_EQ(text, ReadDataText("base/log-runs.txt"));
    EXPECT_EQ(FileMode(path), 0600u);

    // A file where the log folder should be: the lines are still heard on the console.
    Logger blocked(path + "/Logs", "v", sink);
    EXPECT_FALSE(blocked.hasFile());
    blocked.warning("still heard");
    blocked.sync();
    EXPECT_TRUE(console.contains("Could not open log file for writing: " + blocked.path()));
    EXPECT_TRUE(console.contains("Warning: still heard"));
}

// The application, the command and the web-mail host log into one file at once, each from
// threads of its own, and each of them may find it past its limit: every line stays whole, and
// none is lost when the limit is passed once. The previous log is replaced at the next rotation:
// neither grows past the limit, however much is logged.
TEST(Logger, ProcessesAndThreadsLoggingAtOnceGiveWholeLinesAcrossOneRotation) {
    QTemporaryDir temporary;
    const QString filler(1000, 'x');
    constexpr int kLines = 150;  // by each thread
    // Two processes' lines fill more than the limit and less than twice it.
    const LoggerLimits limits{std::int64_t(kLines) * 1100 * 3, std::chrono::milliseconds(5)};
    std::vector<pid_t> children;
    for (const char* tag : {"A", "B"}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            {
                Logger logger(temporary.path(), "v", {}, limits);
                const auto writer = [&](const QString& thread) {
                    for (int i = 0; i < kLines; ++i) {
                        logger.debug(tag + thread + filler);
                        if (i % 7 == 0)
                            logger.sync();
                    }
                };
                std::thread first(writer, "1"), second(writer, "2");
                first.join();
                second.join();
            }
            std::_Exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const QString previous = temporary.path() + "/" + kPreviousLogFileName;
    ASSERT_TRUE(QFile::exists(previous));
    EXPECT_LT(QFileInfo(temporary.path() + "/Quillet.log").size(), limits.rotationBytes);
    EXPECT_EQ(
        WholeLinesByTag({previous, temporary.path() + "/Quillet.log"}, filler),
        (std::map<QString, int>{{"A1", kLines}, {"A2", kLines}, {"B1", kLines}, {"B2", kLines}}));

    Logger logger(temporary.path(), "v", {}, limits);
    for (int i = 0; i < 7 * kLines; ++i) {  // past the limit twice more
        logger.debug(QString::number(i) + filler);
        logger.sync();
    }
    EXPECT_LE(QFileInfo(logger.path()).size(), limits.rotationBytes);
    EXPECT_LE(QFileInfo(previous).size(), limits.rotationBytes);
    EXPECT_FALSE(FileText(previous).contains("Debug: A"));
    EXPECT_TRUE(FileText(logger.path())
                    .endsWith("Debug: " + QString::number(7 * kLines - 1) + filler + "\n"));
}

TEST(Logger, ListingsAreOneEntryAndStopAtTheirLength) {
    LogTap log;
    LogInfoListing("Loaded 3 signature(s):", 3,
                   [](size_t i) { return "    s" + QString::number(i); });
    EXPECT_EQ(log.lines(),
              std::vector<QString>{"Info: Loaded 3 signature(s):\n    s0\n    s1\n    s2"});
    log.clear();
    const QString entry(1000, 'e');
    LogInfoListing("Loaded 10000 signature(s):", 10'000, [&](size_t) { return entry; });
    ASSERT_EQ(log.lines().size(), 1u);
    const QStringList lines = log.lines().front().split('\n');
    EXPECT_LT(log.lines().front().size(), kListingCharacters + 2000);
    EXPECT_EQ(lines.back(),
              QString("    ... and %1 more, not listed").arg(10'000 - (lines.size() - 2)));
}

}  // namespace
}  // namespace quillet
