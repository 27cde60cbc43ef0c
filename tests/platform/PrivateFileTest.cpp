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

TEST(PrivateFile, NewFileIsTheOwnersAloneEvenUnderAPermissiveUmask) {
    QTemporaryDir folder;
    const mode_t savedMask = ::umask(0);
    const bool written = WriteNewPrivateFile(folder.filePath("script"), "secret");
    ::umask(savedMask);
    ASSERT_TRUE(written);
    struct stat status {};
    ASSERT_EQ(::lstat(folder.filePath("script").toUtf8().constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    EXPECT_EQ(Contents(folder.filePath("script")), "secret");
}

TEST(PrivateFile, ExistingFileOrLinkAtThePathIsNeitherReusedNorFollowed) {
    QTemporaryDir folder;
    const QString existing = folder.filePath("existing");
    const QString target = folder.filePath("target");
    {
        QFile file(existing);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("theirs");
    }
    {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("target");
    }
    ASSERT_TRUE(QFile::link(target, folder.filePath("link")));
    ASSERT_TRUE(QFile::link(folder.filePath("nowhere"), folder.filePath("dangling")));

    EXPECT_FALSE(WriteNewPrivateFile(existing, "mine"));
    EXPECT_EQ(Contents(existing), "theirs");
    EXPECT_FALSE(WriteNewPrivateFile(folder.filePath("link"), "mine"));
    EXPECT_EQ(Contents(target), "target");
    EXPECT_FALSE(WriteNewPrivateFile(folder.filePath("dangling"), "mine"));
    EXPECT_FALSE(QFile::exists(folder.filePath("nowhere")));
    EXPECT_FALSE(WriteNewPrivateFile(folder.filePath("missing/folder/file"), "mine"));
}

}  // namespace
}  // namespace quillet
