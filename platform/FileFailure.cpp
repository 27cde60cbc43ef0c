#include "platform/FileFailure.h"

#include <sys/statvfs.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

namespace quillet {

FileFailureCause FileFailureCauseOf(int errorNumber) {
    switch (errorNumber) {
        case ENOSPC:
        case EFBIG:  // a file the disk, or a limit on file sizes, lets grow no further
            return FileFailureCause::noSpace;
        case EDQUOT:
            return FileFailureCause::quotaExceeded;
        case EROFS:
            return FileFailureCause::readOnlyDisk;
        default:
            return FileFailureCause::other;
    }
}

bool IsOnReadOnlyDisk(const QString& path) {
    struct statvfs disk {};
    for (const QString& place : {path, QFileInfo(path).path()}) {
        if (::statvfs(QFile::encodeName(place).constData(), &disk) == 0)
            return (disk.f_flag & ST_RDONLY) != 0;
    }
    return false;
}

FileFailure FileFailureFromErrno(const QString& step, const QString& path) {
    const int error = errno;
    return FileFailure{step + " " + path + ": " + QString::fromLocal8Bit(std::strerror(error)),
                       FileFailureCauseOf(error)};
}

}  // namespace quillet
