#include "platform/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>

namespace quillet {

namespace {

constexpr mode_t kOwnerReadWrite = S_IRUSR | S_IWUSR;
constexpr mode_t kOwnerFolder = S_IRWXU;

}  // namespace

FileAccess FileAccess::ownerOnly() {
    return FileAccess(kOwnerReadWrite);
}

std::optional<FileFailure> MakeOwnerOnlyFolder(const QString& path) {
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // The folders that are missing, from the nearest existing one down.
    QStringList missing;
    for (QString folder = absolute; !QFileInfo::exists(folder) && folder != "/";
         folder = QFileInfo(folder).path()) {
        missing.prepend(folder);
    }
    for (const QString& folder : missing) {
        const QByteArray native = QFile::encodeName(folder);
        // Another process may make it at the same moment: that one is as good.
        if (::mkdir(native.constData(), kOwnerFolder) != 0 && errno != EEXIST)
            return FileFailureFromErrno("Could not create the folder", folder);
        if (::chmod(native.constData(), kOwnerFolder) != 0)
            return FileFailureFromErrno("Could not keep to its owner the folder", folder);
    }
    if (!QFileInfo(absolute).isDir()) {
        errno = ENOTDIR;
        return FileFailureFromErrno("Could not create the folder", absolute);
    }
    return missing.isEmpty() ? RestrictToOwner(absolute) : std::nullopt;
}

std::optional<FileFailure> CreateOwnerOnlyFile(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          kOwnerReadWrite);
    if (fd < 0) {
        return errno == EEXIST ? std::nullopt
                               : std::optional(FileFailureFromErrno("Could not create", path));
    }
    // The umask may have taken more than the group's and others' permissions.
    std::optional<FileFailure> failure;
    if (::fchmod(fd, kOwnerReadWrite) != 0)
        failure = FileFailureFromErrno("Could not keep to its owner", path);
    ::close(fd);
    return failure;
}

std::optional<FileFailure> RestrictToOwner(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0)
        return errno == ENOENT ? std::nullopt
                               : std::optional(FileFailureFromErrno("Could not look at", path));
    const mode_t kept = info.st_mode & (S_IRWXU | S_ISUID | S_ISGID | S_ISVTX);
    if (kept == (info.st_mode & 07777))
        return std::nullopt;
    if (::chmod(native.constData(), kept) != 0)
        return FileFailureFromErrno("Could not keep to its owner", path);
    return std::nullopt;
}

}  // namespace quillet
