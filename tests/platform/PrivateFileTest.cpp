#include "platform/PrivateFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>

namespace quillet {
namespace {

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// A new file is the owner's alone even under a permissive umask; an existing file or link at
// the path is neither reused nor followed.
TEST(PrivateFile, ANewFileIsTheOwnersAloneAndNothingAtThePathIsReusedOrFollowed) {
    QTemporaryDir folder;
    const mode_t savedMask = ::umask(0);
    const bool written = WriteNewPrivateFile(folder.filePath("script"), "secret");
    ::umask(savedMask);
    ASSERT_TRUE(written);
    struct stat status {};
    ASSERT_EQ(::lstat(folder.filePath("script").toUtf8().constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    EXPECT_EQ(Contents(folder.filePath("script")), "secret");

    ASSERT_TRUE(QFile::link(folder.filePath("script"), folder.filePath("link")));
    ASSERT_TRUE(QFile::link(folder.filePath("nowhere"), folder.filePath("dangling")));
    for (const char* name : {"script", "link", "dangling", "missing/folder/file"})
        EXPECT_FALSE(WriteNewPrivateFile(folder.filePath(name), "mine")) << name;
    EXPECT_EQ(Contents(folder.filePath("script")), "secret");
    EXPECT_FALSE(QFile::exists(folder.filePath("nowhere")));
}

}  // namespace
}  // namespace quillet
