#include "tests/support/MachineSnapshot.h"

#include <QDirIterator>
#include <QFile>

namespace quillet {

FolderFiles ReadFolderFiles(const QString& folder,
                            const std::function<bool(const QString& path)>& leaveOut) {
    FolderFiles files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (leaveOut && leaveOut(path))
            continue;
        QFile file(path);
        files[path] = file.open(QIODevice::ReadOnly) ? file.readAll() : "(unreadable)";
    }
    return files;
}

}  // namespace quillet
