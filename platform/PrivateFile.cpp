#include "platform/PrivateFile.h"

#include <QFile>

namespace quillet {

bool WriteNewPrivateFile(const QString& path, const QByteArray& contents) {
    QFile file(path);
    // NewOnly creates exclusively (O_EXCL), which also refuses a symbolic link at the path.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        return false;
    }
    if (file.write(contents) != contents.size() || !file.flush()) {
        file.close();
        file.remove();
        return false;
    }
    file.close();
    return true;
}

}  // namespace quillet
