#include "app/demo/FakeMacMozilla.h"

#include <QFile>

namespace quillet {

QString FakePostboxSignaturesPath(const QString& profilePath) {
    return profilePath + "/postbox-signatures";
}

QString WriteFakePostboxSignatures(const QString& profilePath, const QByteArray& contents) {
    const QString path = FakePostboxSignaturesPath(profilePath);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(contents);
    return path;
}

std::optional<QByteArray> ReadFakeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

}  // namespace quillet
