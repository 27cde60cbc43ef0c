#include "tests/support/DataTable.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quillet {

QString DataPath(const QString& relativePath) {
    // The compiler names this file relative to the folder it builds in, or absolutely.
    return QFileInfo(QDir(QUILLET_BINARY_DIR "/tests"), __FILE__).absolutePath() + "/../data/" +
           relativePath;
}

QByteArray ReadDataBytes(const QString& relativePath) {
    const QString path = DataPath(relativePath);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    return file.readAll();
}

QString ReadDataText(const QString& relativePath) {
    return QString::fromUtf8(ReadDataBytes(relativePath));
}

std::vector<QStringList> ReadDataTable(const QString& relativePath) {
    std::vector<QStringList> rows;
    for (const QString& line : ReadDataText(relativePath).split('\n')) {
        if (!line.trimmed().isEmpty() && !line.startsWith('#'))
            rows.push_back(line.split('\t'));
    }
    return rows;
}

}  // namespace quillet
