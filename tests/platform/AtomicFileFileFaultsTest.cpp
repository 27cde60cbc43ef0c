// The durable write against a disk that fails: each of its file operations fails in turn.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/AtomicFile.h"
#include "tests/support/FileFaults.h"

namespace quillet {
namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// Every step is checked: a failure anywhere is reported, and leaves the previous file with no
// temporary file beside it; only a failure to synchronise the folder after the rename leaves
// the new file (reported all the same, so that the caller writes it again).
TEST(AtomicFileFileFaultsTest, EveryFailedStepIsReportedAndLeavesThePreviousFile) {
    ASSERT_TRUE(FileFaults::Available());
    QTemporaryDir folder;
    const QString path = folder.path() + "/file.txt";
    long operations = 0;
    {
        FileFaults counting(folder.path(), FileFaultAction::count, 0);
        ASSERT_FALSE(WriteFileAtomicallyOrFail(path, "previous"));
        operations = counting.count();
    }
    // Open, write, synchronise the temporary file, rename it, open and synchronise the folder.
    EXPECT_EQ(operations, 6);
    QStringList faults;
    for (long target = 1; target <= operations; ++target) {
        std::optional<FileFailure> error;
        QString fault;
        {
            FileFaults faulty(folder.path(), FileFaultAction::fail, target);
            error = WriteFileAtomicallyOrFail(path, "next");
            ASSERT_TRUE(faulty.fired());
            fault = faulty.lastFault();
        }
        SCOPED_TRACE(fault.toStdString());
        faults << fault.section(' ', 0, 0);
        ASSERT_TRUE(error.has_value());
        const bool afterRename = target > 4;
        EXPECT_EQ(ReadAll(path), afterRename ? "next" : "previous");
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{"file.txt"});
        ASSERT_FALSE(WriteFileAtomicallyOrFail(path, "previous"));
    }
    EXPECT_EQ(faults,
              (QStringList{"open", "write", "synchronise", "rename", "open", "synchronise"}));
}

}  // namespace
}  // namespace quillet
