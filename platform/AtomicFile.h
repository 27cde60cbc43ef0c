#pragma once
// The one way to write a file that another program owns, or that must never be seen half
// written: whole, to a temporary file in the target's folder with the target's permissions,
// synchronised to the disk, renamed over the target, and the folder synchronised so that the
// rename itself survives a power loss. A crash at any point leaves the previous file or the new
// one, never a mixture.

#include <QByteArray>
#include <QString>
#include <optional>

namespace quillet {

// Creates missing parent folders. False when any step fails; the previous file then stays
// (or, when only the final synchronisation of the folder failed, the new file is in place but
// may not survive a power loss: the caller must treat it as not written and write it again).
// A symbolic link at the path is kept: the file it points to is replaced.
bool WriteFileAtomically(const QString& path, const QByteArray& contents);

// The same, telling what failed: nothing when the file was written, else a description of the
// failed step for a log line.
std::optional<QString> WriteFileAtomicallyOrDescribeError(const QString& path,
                                                          const QByteArray& contents);

}  // namespace quillet
