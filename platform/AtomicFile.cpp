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
    if (gFailWrites)
        return false;
    QDir().mkpath(QFileInfo(path).absolutePath());
    // QSaveFile writes a temporary file beside the target, flushes and fsyncs it, then renames
    // it over the target; a crash in between leaves the old file, never a truncated one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(contents) != contents.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace quillet
