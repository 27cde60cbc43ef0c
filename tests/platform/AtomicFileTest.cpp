// Atomic writes over real files: the new contents appear whole or not at all.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/AtomicFile.h"
#include "tests/support/FileSizeLimit.h"

namespace quillet {
namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

TEST(AtomicFileTest, WritesWholeAndCreatesMissingFolders) {
    QTemporaryDir folder;
    const QString path = folder.path() + "/a/b/file.txt";
    ASSERT_TRUE(WriteFileAtomically(path, "first"));
    ASSERT_TRUE(WriteFileAtomically(path, "second, longer"));
    EXPECT_EQ(ReadAll(path), "second, longer");
}

// A disk that takes only part of the new contents (here a file-size limit, which stops root as
// well) fails the write and leaves the previous file as it was, with no temporary file beside
// it: the short write must not be mistaken for a whole one.
TEST(AtomicFileTest, AShortWriteFailsAndLeavesThePreviousFile) {
    for (const rlim_t limit : {rlim_t(0), rlim_t(4), rlim_t(4096)}) {
        SCOPED_TRACE(limit);
        QTemporaryDir folder;
        const QString path = folder.path() + "/file.txt";
        ASSERT_TRUE(WriteFileAtomically(path, "previous"));
        {
            FileSizeLimit fullDisk(limit);
            EXPECT_FALSE(WriteFileAtomically(path, QByteArray(8192, 'n')));
        }
        EXPECT_EQ(ReadAll(path), "previous");
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{"file.txt"});
    }
}

}  // namespace
}  // namespace quillet
