#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QFile>
#include <QTemporaryDir>
#include <csignal>

#include "platform/AtomicFile.h"

namespace quillet {
namespace {

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(AtomicFileTest, AWriteTheDiskRefusesHalfWayLeavesThePreviousFile) {
    QTemporaryDir folder;
    const QString path = folder.path() + "/list.plist";
    ASSERT_TRUE(WriteFileAtomically(path, "previous"));

    // A file-size limit refuses the rest of a write that fits QSaveFile's buffer, as a full disk
    // would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limit = previous;
    limit.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool written = WriteFileAtomically(path, QByteArray(8 * 1024, 'x'));
    const bool small = WriteFileAtomically(folder.path() + "/small", "fits");
    setrlimit(RLIMIT_FSIZE, &previous);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadBytes(path), "previous");
    EXPECT_TRUE(small);
}

}  // namespace
}  // namespace quillet
