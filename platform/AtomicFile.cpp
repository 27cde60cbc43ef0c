#include "platform/AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace quillet {

bool WriteFileAtomically(const QString& path, const QByteArray& contents) {
    return !WriteFileAtomicallyOrDescribeError(path, contents).has_value();
}

std::optional<QString> WriteFileAtomicallyOrDescribeError(const QString& path,
                                                          const QByteArray& contents) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    // QSaveFile writes a temporary file beside the target, flushes and fsyncs it, then renames
    // it over the target; a crash in between leaves the old file, never a truncated one.
    QSaveFile file(path);
    // Unbuffered, so that a short write (a full disk, a file-size limit) shows here: a buffered
    // flush at commit() counts a partly written buffer as written and would put a truncated
    // file in place of the old one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    if (file.write(contents) != contents.size() || !file.flush()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

}  // namespace quillet
