#pragma once
// The one way to write a file that another program owns, or that must never be seen half
// written: whole, to a temporary file in the target's folder with the target's permissions,
// synchronised to the disk, renamed over the target, and the folder synchronised so that the
// rename itself survives a power loss. A crash at any point leaves the previous file or the new
// one, never a mixture.

#include <QByteArray>
#include <QString>
#include <optional>

#include "platform/FileAccess.h"
#include "platform/FileFailure.h"

namespace quillet {

// How much of a failure of the machine a write must survive. Waiting for the disk is most of
// what a write costs, so a file written together with others in one folder may leave the
// folder's synchronisation to its caller (one for them all), and a file that only tells what
// happened may come back as it was before.
enum class Durability {
    powerLoss,     // the file and its new name reach the disk before the write returns
    contentsOnly,  // the file's bytes do: a power loss leaves the old file or the new one, and the
                   // caller synchronises the folder (after its last rename there) to keep the new
};

// Writes the file, creating missing parent folders (owner-only ones for an owner-only file).
// Nothing when it was written; else what failed, and the previous file stays (or, when only the
// final synchronisation of the folder failed, the new file is in place but may not survive a
// power loss: the caller must treat it as not written and write it again). A symbolic link at
// the path is kept: the file it points to is replaced. The new file gets the permissions that
// `access` says.
std::optional<FileFailure> WriteFileAtomicallyOrFail(
    const QString& path, const QByteArray& contents,
    const FileAccess& access = FileAccess::ofTarget(),
    Durability durability = Durability::powerLoss);

// The folder a write of `path` renames its file into (that of the file a symbolic link there
// points to): the one to synchronise after a write that left it out.
QString FolderWrittenInto(const QString& path);

// Makes the names given in the folder (by renames, creations, removals) survive a power loss.
std::optional<FileFailure> SynchroniseFolderOrFail(const QString& folder);

}  // namespace quillet
