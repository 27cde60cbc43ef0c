#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>

namespace quillet {

namespace {

// Plain fsync on macOS only hands the data to the drive, whose cache may still lose it;
// F_FULLFSYNC asks the drive to write it out. Some file systems refuse it, and fsync is then the
// best there is.
bool SynchroniseFile(int fd) {
#ifdef __APPLE__
    if (::fcntl(fd, F_FULLFSYNC) == 0)
        return true;
#endif
    while (::fsync(fd) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

bool WriteWhole(int fd, const QByteArray& contents) {
    const char* data = contents.constData();
    qsizetype left = contents.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

QString TemporaryPrefix(const QString& name) {
    return "." + name + ".";
}

// A file whose name no one else uses, created in the folder (with the permissions a new file
// gets there: the creation mode less the umask).
int CreateTemporaryFile(const QString& folder, const QString& name, QString* temporaryPath) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temporaryPath = folder + "/" + TemporaryPrefix(name) +
                         QString::number(QRandomGenerator::global()->generate64(), 36) + ".tmp";
        const int fd = ::open(QFile::encodeName(*temporaryPath).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

// Renaming only changes the folder; the folder must reach the disk too, or a power loss can
// bring back the old name.
std::optional<FileFailure> SynchroniseFolderOrFail(const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return FileFailureFromErrno("Could not open the folder", folder);
    // Some file systems cannot synchronise a folder at all; they keep renames in order anyway.
    const bool synchronised = SynchroniseFile(fd) || errno == EINVAL || errno == ENOTSUP;
    const int error = errno;
    ::close(fd);
    errno = error;
    if (!synchronised)
        return FileFailureFromErrno("Could not synchronise the folder", folder);
    return std::nullopt;
}

namespace {

// A write killed before its rename leaves its temporary file behind, in another program's
// folder. Those older than an hour are removed: a write in progress takes moments, so no other
// process is still writing them. A pass writes many files into a few folders (Mail's signatures
// folder holds a file per signature), so a folder is listed once in a while, not at every write:
// each write then removes what the listing found of its own file.
class LeftTemporaryFiles {
public:
    void removeFor(const QString& folder, const QString& name) {
        std::lock_guard guard(_lock);
        const auto now = std::chrono::steady_clock::now();
        auto listing = _listings.find(folder);
        if (listing == _listings.end() || now - listing->second.when > kRelisting)
            listing = _listings.insert_or_assign(folder, Listing{now, List(folder)}).first;
        std::multimap<QString, QString>& stale = listing->second.stale;
        const auto [first, last] = stale.equal_range(name);
        for (auto it = first; it != last; ++it)
            QFile::remove(it->second);
        stale.erase(first, last);
    }

private:
    static constexpr auto kRelisting = std::chrono::minutes(10);

    // The temporary files left an hour ago or more, by the name of the file each was to become:
    // ".NAME.RANDOM.tmp", RANDOM in digits and lower-case letters.
    static std::multimap<QString, QString> List(const QString& folder) {
        std::multimap<QString, QString> stale;
        const QDateTime longAgo = QDateTime::currentDateTimeUtc().addSecs(-3600);
        const QFileInfoList entries =
            QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QFileInfo& entry : entries) {
            const QString fileName = entry.fileName();
            if (!fileName.startsWith('.') || !fileName.endsWith(".tmp"))
                continue;
            const QStringView inner = QStringView(fileName).sliced(1, fileName.size() - 5);
            const qsizetype dot = inner.lastIndexOf('.');
            if (dot <= 0 || dot + 1 == inner.size())
                continue;
            const QStringView random = inner.sliced(dot + 1);
            const bool ours = std::all_of(random.begin(), random.end(), [](QChar c) {
                return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z');
            });
            if (ours && entry.lastModified().toUTC() < longAgo)
                stale.emplace(inner.first(dot).toString(), entry.filePath());
        }
        return stale;
    }

    struct Listing {
        std::chrono::steady_clock::time_point when;
        std::multimap<QString, QString> stale;
    };
    std::mutex _lock;
    std::map<QString, Listing> _listings;
};

void RemoveLeftTemporaryFiles(const QString& folder, const QString& name) {
    static LeftTemporaryFiles left;
    left.removeFor(folder, name);
}

// The file the write replaces: the path itself, or the file a symbolic link there points to —
// also when that file does not exist yet, so that the link is never replaced by a file.
QString TargetPath(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink())
        return info.exists() ? info.canonicalFilePath() : info.symLinkTarget();
    return info.absoluteFilePath();
}

}  // namespace

QString FolderWrittenInto(const QString& path) {
    return QFileInfo(TargetPath(path)).absolutePath();
}

std::optional<FileFailure> WriteFileAtomicallyOrFail(const QString& path,
                                                     const QByteArray& contents,
                                                     const FileAccess& access,
                                                     Durability durability) {
    const QString target = TargetPath(path);
    const QFileInfo targetInfo(target);
    const QString folder = targetInfo.absolutePath();
    if (access.ownFolders()) {
        if (auto failure = MakeOwnerOnlyFolder(folder))
            return failure;
    } else if (!QDir().mkpath(folder)) {
        return FileFailureFromErrno("Could not create the folder", folder);
    }

    struct stat previous {};
    const bool replacing = ::stat(QFile::encodeName(target).constData(), &previous) == 0;
    if (replacing && !S_ISREG(previous.st_mode))
        return FileFailure{target + " is not a file", FileFailureCause::other};

    QString temporary;
    const int fd = CreateTemporaryFile(folder, targetInfo.fileName(), &temporary);
    if (fd < 0)
        return FileFailureFromErrno("Could not create a temporary file in", folder);
    std::optional<FileFailure> failure;
    // Another program's file keeps its owner where this process may give it (a failure leaves
    // this process's user, who could replace the file anyway), then its permissions; Quillet's
    // own get theirs whatever the umask.
    if (replacing && (previous.st_uid != ::geteuid() || previous.st_gid != ::getegid()))
        (void)!::fchown(fd, previous.st_uid, previous.st_gid);
    const std::optional<mode_t> mode = access.mode() ? access.mode()
                                       : replacing ? std::optional<mode_t>(previous.st_mode & 07777)
                                                   : std::nullopt;
    if (mode && ::fchmod(fd, *mode) != 0)
        failure = FileFailureFromErrno("Could not give the permissions of the file to", temporary);
    else if (!WriteWhole(fd, contents))
        failure = FileFailureFromErrno("Could not write", temporary);
    else if (!SynchroniseFile(fd))
        failure = FileFailureFromErrno("Could not synchronise", temporary);
    // A failed close can report a write that the file system gave up on only now.
    if (::close(fd) != 0 && !failure)
        failure = FileFailureFromErrno("Could not close", temporary);
    if (!failure && ::rename(QFile::encodeName(temporary).constData(),
                             QFile::encodeName(target).constData()) != 0) {
        failure = FileFailureFromErrno("Could not rename " + temporary + " to", target);
    }
    if (failure) {
        ::unlink(QFile::encodeName(temporary).constData());
        return failure;
    }
    RemoveLeftTemporaryFiles(folder, targetInfo.fileName());
    if (durability != Durability::powerLoss)
        return std::nullopt;
    return SynchroniseFolderOrFail(folder);
}

}  // namespace quillet
