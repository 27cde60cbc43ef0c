#pragma once
// Reading a file whole, for files that are written back changed: a read that fails part way
// must not pass for the file. (QFile::readAll hands back what it read before a failing read as
// if it were the whole file, without an error; written back, the rest would be lost.)

#include <QByteArray>
#include <QString>
#include <optional>

namespace quillet {

// Every byte of the file, read to its end; absent when it cannot be opened or any read fails
// (a folder among them).
std::optional<QByteArray> ReadWholeFile(const QString& path);

}  // namespace quillet
