// Quillet's own files and folders: who may read them, new private files, and removing a folder
// without following a symbolic link, over a real file system.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <utility>
#include <vector>

#include "app/demo/FakeMacMozilla.h"
#include "platform/AtomicFile.h"
#include "platform/FileAccess.h"
#include "platform/FileRemoval.h"
#include "platform/PrivateFile.h"
#include "tests/support/TestHelpers.h"

namespace quillet {
namespace {

void WriteFile(const QString& path, const QByteArray& contents) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

// What a first run makes is its owner's alone (the command's own test looks at it); an earlier
// version's folder and files, as open as the umask let them be, are narrowed too, and the
// folders above are left as they are. A new file (an AppleScript holding what the person typed)
// is the owner's alone; an existing file or link at its path is neither reused nor followed.
TEST(OwnFilesTest, OwnFilesAreNarrowedToTheOwnerAndNothingAtANewFilesPathIsReusedOrFollowed) {
    // The most open umask there is: nothing Quillet keeps to its owner may rely on the person's.
    const mode_t previousUmask = ::umask(0);
    const auto restoreUmask = qScopeGuard([previousUmask] { ::umask(previousUmask); });
    QTemporaryDir home;
    ASSERT_EQ(::chmod(QFile::encodeName(home.path()).constData(), 0755), 0);
    const QString support = home.path() + "/Library/Application Support/Quillet";
    ASSERT_FALSE(MakeOwnerOnlyFolder(support));
    ASSERT_EQ(::chmod(QFile::encodeName(support).constData(), 0755), 0);
    WriteFile(support + "/Activity.json", "{}");
    WriteFile(support + "/DataV2.sqlite-wal", "");

    ASSERT_FALSE(MakeOwnerOnlyFolder(support));
    EXPECT_EQ(FileMode(support), 0700u);
    EXPECT_EQ(FileMode(home.path()), 0755u);
    ASSERT_FALSE(
        WriteFileAtomicallyOrFail(support + "/Activity.json", "{ }", FileAccess::ownerOnly()));
    EXPECT_EQ(FileMode(support + "/Activity.json"), 0600u);
    EXPECT_FALSE(RestrictToOwner(support + "/DataV2.sqlite-wal"));
    EXPECT_EQ(FileMode(support + "/DataV2.sqlite-wal"), 0600u);
    EXPECT_FALSE(RestrictToOwner(support + "/none"));

    const QString script = home.filePath("script");
    ASSERT_TRUE(WriteNewPrivateFile(script, "secret"));
    EXPECT_EQ(FileMode(script), 0600u);
    ASSERT_TRUE(QFile::link(script, home.filePath("link")));
    ASSERT_TRUE(QFile::link(home.filePath("nowhere"), home.filePath("dangling")));
    for (const char* name : {"script", "link", "dangling", "missing/folder/file"})
        EXPECT_FALSE(WriteNewPrivateFile(home.filePath(name), "mine")) << name;
    EXPECT_EQ(ReadFakeFile(script), "secret");
    EXPECT_FALSE(QFile::exists(home.filePath("nowhere")));
}

// Apple Mail's cache folder is removed so that Mail reads its signatures again: when it is a
// link, what it points to (anywhere, the person's own files) must stay.
TEST(OwnFilesTest, RemovingAFolderRemovesLinksAndNeverWhatTheyPointTo) {
    QTemporaryDir root;
    const QString outside = root.path() + "/Documents";
    WriteFile(outside + "/letter.txt", "keep me");
    WriteFile(outside + "/drafts/draft.txt", "keep me too");
    const QString cache = root.path() + "/Caches/com.apple.mail";
    WriteFile(cache + "/Signatures/a.plist", "cache");
    WriteFile(cache + "/deep/er/still/b", "cache");
    ASSERT_TRUE(QFile::link(outside, cache + "/to-a-folder"));
    ASSERT_TRUE(QFile::link(outside + "/letter.txt", cache + "/deep/to-a-file"));
    ASSERT_TRUE(QFile::link(root.path() + "/nowhere", cache + "/dangling"));

    EXPECT_FALSE(RemoveWithoutFollowingLinks(cache));
    EXPECT_FALSE(QFileInfo::exists(cache) || QFileInfo(cache).isSymLink());
    const auto outsideKept = [&] {
        return ReadFakeFile(outside + "/letter.txt") == "keep me" &&
               ReadFakeFile(outside + "/drafts/draft.txt") == "keep me too";
    };
    EXPECT_TRUE(outsideKept());

    // The folder itself a link, given with or without a trailing slash.
    for (const char* suffix : {"", "/"}) {
        ASSERT_TRUE(QFile::link(outside, cache));
        EXPECT_FALSE(RemoveWithoutFollowingLinks(cache + suffix));
        EXPECT_FALSE(QFileInfo(cache).isSymLink());
        EXPECT_TRUE(outsideKept());
    }
    EXPECT_FALSE(RemoveWithoutFollowingLinks(cache));  // nothing there
    // A removal that cannot finish says what failed: here a file where a folder on the way
    // should be.
    const auto failure = RemoveWithoutFollowingLinks(outside + "/letter.txt/below");
    ASSERT_TRUE(failure);
    EXPECT_TRUE(
        failure->description.startsWith("Could not look at " + outside + "/letter.txt/below"))
        << failure->description.toStdString();
    EXPECT_EQ(failure->cause, FileFailureCause::other);
}

}  // namespace
}  // namespace quillet
