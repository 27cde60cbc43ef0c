#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <mutex>
#include <thread>

#include "common/Logger.h"

namespace quillet {
namespace {

QStringList FileLines(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return QString::fromUtf8(file.readAll()).split('\n');
}

struct Console {
    std::mutex lock;
    QStringList lines;
    ConsoleSink sink() {
        return [this](const QString& text) {
            std::lock_guard guard(lock);
            lines.append(text);
        };
    }
};

const QString kSeparator(50, '=');

TEST(Logger, FirstRunCreatesFolderAndStartsWithSeparatorAndVersion) {
    QTemporaryDir temporary;
    const QString folder = temporary.path() + "/Library/Logs/Quillet";
    Console console;
    Logger logger(folder, "Quillet 2.4 (118)", console.sink());
    EXPECT_EQ(logger.path(), folder + "/Quillet.log");
    const QStringList lines = FileLines(logger.path());
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], kSeparator);
    EXPECT_TRUE(lines[1].startsWith("[")) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].endsWith("] Info: Quillet 2.4 (118)")) << lines[1].toStdString();
    EXPECT_TRUE(console.lines.contains("Info: Log file at " + logger.path()));
    EXPECT_TRUE(console.lines.contains("Info: Quillet 2.4 (118)"));
}

TEST(Logger, SecondRunAppendsAfterANewSeparator) {
    QTemporaryDir temporary;
    Console console;
    { Logger(temporary.path(), "first", console.sink()).info("from the first run"); }
    // A second logger open at the same time (the command line beside the application) must not
    // overwrite the first one's lines.
    Logger second(temporary.path(), "second", console.sink());
    Logger concurrent(temporary.path(), "concurrent", console.sink());
    second.info("from the second run");
    concurrent.error("from the concurrent\nrun\n");  // written unchanged, one newline added
    const QStringList lines = FileLines(second.path());
    // Three headers of two lines, three messages (the last one three lines), final empty piece.
    ASSERT_EQ(lines.size(), 12);
    EXPECT_EQ(lines[0], kSeparator);
    EXPECT_TRUE(lines[2].endsWith("Info: from the first run"));
    EXPECT_EQ(lines[3], kSeparator);
    EXPECT_TRUE(lines[4].endsWith("Info: second"));
    EXPECT_EQ(lines[5], kSeparator);
    EXPECT_TRUE(lines[7].endsWith("Info: from the second run"));
    EXPECT_TRUE(lines[8].endsWith("] Error: from the concurrent"));
    EXPECT_EQ(lines.mid(9), (QStringList{"run", "", ""}));
}

TEST(Logger, UnopenableFileLeavesLoggingOnTheConsole) {
    QTemporaryDir temporary;
    // A regular file where the log folder should be: neither the folder nor the file can exist.
    QFile blocker(temporary.path() + "/Logs");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Console console;
    Logger logger(temporary.path() + "/Logs/Quillet", "Quillet 1.0 (1)", console.sink());
    EXPECT_FALSE(logger.hasFile());
    logger.warning("still heard");
    EXPECT_TRUE(console.lines.contains("Could not open log file for writing: " + logger.path()));
    EXPECT_TRUE(console.lines.contains("Warning: still heard"));
}

TEST(Logger, TwoThreadsLoggingAtOnceGiveWholeLines) {
    QTemporaryDir temporary;
    Logger logger(temporary.path(), "v", [](const QString&) {});
    const QString longText(2000, 'x');
    auto writer = [&](const QString& tag) {
        for (int i = 0; i < 200; ++i)
            logger.debug(tag + longText);
    };
    std::thread a(writer, "A"), b(writer, "B");
    a.join();
    b.join();
    int whole = 0;
    for (const QString& line : FileLines(logger.path())) {
        if (line.isEmpty() || line == kSeparator || line.endsWith("Info: v"))
            continue;
        ASSERT_TRUE(line.startsWith("[")) << line.left(80).toStdString();
        ASSERT_TRUE(line.endsWith("] Debug: A" + longText) ||
                    line.endsWith("] Debug: B" + longText));
        ++whole;
    }
    EXPECT_EQ(whole, 400);
}

TEST(Logger, TimestampHasLongDateWithoutWeekdayAndLongTime) {
    const QDateTime moment(QDate(2026, 12, 6), QTime(19, 42, 1), QTimeZone::utc());
    EXPECT_EQ(FormatLogTimestamp(moment, QLocale(QLocale::English, QLocale::UnitedStates)),
              "December 6, 2026 at 7:42:01 PM UTC");
    EXPECT_EQ(FormatLogTimestamp(moment, QLocale(QLocale::German, QLocale::Germany)),
              "6. Dezember 2026 19:42:01 UTC");
}

}  // namespace
}  // namespace quillet
