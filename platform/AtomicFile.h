#pragma once
// The one way to write a file that another program owns, or that must never be seen half
// written: whole, to a temporary file in the same folder, synchronised, renamed over the target.

#include <QByteArray>
#include <QString>
#include <optional>

namespace quillet {

// Creates missing parent folders. False when any step fails; the previous file then stays.
bool WriteFileAtomically(const QString& path, const QByteArray& contents);

// The same, telling what failed: nothing when the file was written, else a description of the
// failure for a log line.
std::optional<QString> WriteFileAtomicallyOrDescribeError(const QString& path,
                                                          const QByteArray& contents);

}  // namespace quillet
