// Atomic writes over real files: the new contents appear whole or not at all, even on a disk
// that fails (each of the write's file operations fails in turn) or fills up.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/demo/FakeMacMozilla.h"
#include "platform/AtomicFile.h"
#include "tests/support/FileFaults.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TestHelpers.h"

namespace quillet {
namespace {

// The new file takes the place of the old one as the old one was: its permissions stay, and a
// symbolic link at the path stays a link to the replaced file. A write killed before its rename
// leaves its temporary file; a later write of the same file clears those left long ago, and
// nothing else. A folder where the file should be is not replaced by a file.
TEST(AtomicFileTest, ReplacesTheFileAsItWasAndClearsOnlyItsTemporaryFilesLeftLongAgo) {
    QTemporaryDir folder;
    const QString real = folder.path() + "/real/prefs.js";
    ASSERT_TRUE(QDir().mkpath(folder.path() + "/real"));
    const QStringList left = {".prefs.js.3k9x1.tmp", ".prefs.js.zz.tmp"};
    const QStringList kept = {".prefs.js.recent1.tmp", ".prefs.js.a.b.tmp", ".Other.js.3k9x1.tmp",
                              "prefs.js.3k9x1.tmp", ".prefs.js..tmp"};
    const QDateTime longAgo = QDateTime::currentDateTime().addSecs(-2 * 3600);
    for (const QString& name : left + kept) {
        QFile file(folder.path() + "/real/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const bool recent = name == ".prefs.js.recent1.tmp";
        ASSERT_TRUE(recent || file.setFileTime(longAgo, QFileDevice::FileModificationTime));
    }

    ASSERT_FALSE(WriteFileAtomicallyOrFail(real, "first"));
    ASSERT_TRUE(
        QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QString link = folder.path() + "/prefs.js";
    ASSERT_TRUE(QFile::link(real, link));
    ASSERT_FALSE(WriteFileAtomicallyOrFail(link, "second"));

    EXPECT_EQ(ReadFakeFile(real), "second");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(FileMode(real), 0640u);
    QStringList expected = kept + QStringList{"prefs.js"};
    expected.sort();
    EXPECT_EQ(QDir(folder.path() + "/real")
                  .entryList(QDir::Files | QDir::Hidden, QDir::Name)
                  .join(", ")
                  .toStdString(),
              expected.join(", ").toStdString());

    const QString path = folder.path() + "/file.txt";
    ASSERT_TRUE(QDir().mkpath(path + "/inside"));
    const auto failure = WriteFileAtomicallyOrFail(path, "text");
    ASSERT_TRUE(failure.has_value());
    EXPECT_TRUE(failure->description.contains("is not a file"))
        << failure->description.toStdString();
    EXPECT_TRUE(QFileInfo(path).isDir());
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"prefs.js"});
}

// Every step is checked: a failure anywhere is reported, and leaves the previous file with no
// temporary file beside it; only a failure to synchronise the folder after the rename leaves
// the new file (reported all the same, so that the caller writes it again). A disk that takes
// only part of the new contents (here a file-size limit, which stops root as well) fails the
// write too: the short write must not be mistaken for a whole one.
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
        EXPECT_EQ(ReadFakeFile(path), afterRename ? "next" : "previous");
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{"file.txt"});
        ASSERT_FALSE(WriteFileAtomicallyOrFail(path, "previous"));
    }
    EXPECT_EQ(faults,
              (QStringList{"open", "write", "synchronise", "rename", "open", "synchronise"}));
    for (const rlim_t limit : {rlim_t(0), rlim_t(4), rlim_t(4096)}) {
        SCOPED_TRACE(limit);
        {
            FileSizeLimit fullDisk(limit);
            EXPECT_TRUE(WriteFileAtomicallyOrFail(path, QByteArray(8192, 'n')));
        }
        EXPECT_EQ(ReadFakeFile(path), "previous");
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{"file.txt"});
    }
}

}  // namespace
}  // namespace quillet
