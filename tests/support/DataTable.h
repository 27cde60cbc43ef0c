#pragma once
// Expected data kept as rows in tests/data: one row a line, its columns separated by tabs. Blank
// lines and lines that start with "#" (the table's comments and its heading) are left out.
#include <QString>
#include <QStringList>
#include <vector>

namespace quillet {

// Where tests/data/<relativePath> is.
QString DataPath(const QString& relativePath);

// The bytes of tests/data/<relativePath>; a file that cannot be read fails the test and gives
// none.
QByteArray ReadDataBytes(const QString& relativePath);

// The text of tests/data/<relativePath>; a file that cannot be read fails the test and gives an
// empty text.
QString ReadDataText(const QString& relativePath);

// The rows of tests/data/<relativePath>; a file that cannot be read fails the test and gives none.
std::vector<QStringList> ReadDataTable(const QString& relativePath);

}  // namespace quillet
