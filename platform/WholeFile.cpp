#include "platform/WholeFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

namespace quillet {

std::optional<QByteArray> ReadWholeFile(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QByteArray bytes;
    char chunk[64 * 1024];
    ssize_t read = 0;
    while ((read = ::read(fd, chunk, sizeof chunk)) != 0) {
        if (read > 0)
            bytes.append(chunk, read);
        else if (errno != EINTR)
            break;
    }
    ::close(fd);
    if (read != 0)
        return std::nullopt;
    return bytes;
}

}  // namespace quillet
