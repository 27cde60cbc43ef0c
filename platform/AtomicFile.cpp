#include "platform/AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <atomic>

namespace quillet {

namespace {
std::atomic<bool> gFailWrites{false};
}

void SetAtomicWriteFailureForTesting(bool fail) {
    gFailWrites = fail;
}

bool WriteFileAtomically(const QString& path, const QByteArray& contents) {
    return !WriteFileAtomicallyOrDescribeError(path, contents).has_value();
}

std::optional<QString> WriteFileAtomicallyOrDescribeError(const QString& path,
                                                          const QByteArray& contents) {
    if (gFailWrites)
        return QStringLiteral("Writing is switched off");
    QDir().mkpath(QFileInfo(path).absolutePath());
    // QSaveFile writes a temporary file beside the target, flushes and fsyncs it, then renames
    // it over the target; a crash in between leaves the old file, never a truncated one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // QSaveFile buffers: a write the disk refuses half-way (full, over a size limit) shows only
    // when the buffer is flushed, and commit() would still rename the truncated file over the
    // target.
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
