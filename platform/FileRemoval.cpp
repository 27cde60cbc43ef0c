#include "platform/FileRemoval.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>
#include <vector>

namespace quillet {

namespace {

bool IsDotOrDotDot(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// A folder being emptied: its open handle, its path for the log, and its name in its parent
// (which is the frame below it).
struct OpenFolder {
    DIR* entries;
    QString path;
    QByteArray name;
};

class Removal {
public:
    std::optional<FileFailure> run(const QString& given);

private:
    void fail(const QString& step, const QString& path) {
        if (!_failure)
            _failure = FileFailureFromErrno(step, path);
    }
    // Opens the folder `name` in the folder `parent` without following a link; false when it
    // is not a folder (any more): the entry is then removed as a file.
    bool enter(int parent, const QByteArray& name, const QString& path);
    void removeEntry(int parent, const char* name, const QString& path);

    std::vector<OpenFolder> _open;
    std::optional<FileFailure> _failure;
};

bool Removal::enter(int parent, const QByteArray& name, const QString& path) {
    const int fd =
        ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ELOOP || errno == ENOTDIR)
            return false;
        fail("Could not open the folder", path);
        return true;  // nothing more can be done with it
    }
    DIR* entries = ::fdopendir(fd);
    if (!entries) {
        fail("Could not read the folder", path);
        ::close(fd);
        return true;
    }
    _open.push_back(OpenFolder{entries, path, name});
    return true;
}

void Removal::removeEntry(int parent, const char* name, const QString& path) {
    struct stat info {};
    if (::fstatat(parent, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            fail("Could not look at", path);
        return;
    }
    if (S_ISDIR(info.st_mode) && enter(parent, name, path))
        return;
    if (::unlinkat(parent, name, 0) != 0 && errno != ENOENT)
        fail("Could not remove", path);
}

std::optional<FileFailure> Removal::run(const QString& given) {
    // A trailing slash would make the system follow a link at the path.
    QString path = given;
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    const QByteArray native = QFile::encodeName(path);
    removeEntry(AT_FDCWD, native.constData(), path);
    while (!_open.empty()) {
        OpenFolder& folder = _open.back();
        errno = 0;
        if (const dirent* entry = ::readdir(folder.entries)) {
            if (!IsDotOrDotDot(entry->d_name)) {
                removeEntry(::dirfd(folder.entries), entry->d_name,
                            folder.path + "/" + QFile::decodeName(entry->d_name));
            }
            continue;
        }
        if (errno != 0)
            fail("Could not read the folder", folder.path);
        const OpenFolder done = folder;
        _open.pop_back();
        ::closedir(done.entries);
        const int parent = _open.empty() ? AT_FDCWD : ::dirfd(_open.back().entries);
        if (::unlinkat(parent, done.name.constData(), AT_REMOVEDIR) != 0 && errno != ENOENT)
            fail("Could not remove the folder", done.path);
    }
    return _failure;
}

}  // namespace

std::optional<FileFailure> RemoveWithoutFollowingLinks(const QString& path) {
    return Removal().run(path);
}

}  // namespace quillet
