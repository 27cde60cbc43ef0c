#pragma once
// A new file that only its owner can read and write, for text that other people on the machine
// must not see while it waits to be used (a script carrying signatures and account addresses).

#include <QByteArray>
#include <QString>

namespace quillet {

// Creates the file, owner read and write only, and writes the contents. The path must be free:
// an existing file or a symbolic link there (even one that points nowhere) is neither followed
// nor reused, and fails the call. False on any failure; a file this call created is then removed.
bool WriteNewPrivateFile(const QString& path, const QByteArray& contents);

}  // namespace quillet
