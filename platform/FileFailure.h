#pragma once
// What a failed change to a file says: a description for the log, and the cause as far as the
// person can act on it. A full disk, a used-up quota or a read-only disk are not a matter of
// permissions, and the person is told so instead of being sent to the privacy settings.

#include <QString>

namespace quillet {

enum class FileFailureCause {
    other,          // a permission, a damaged disk, a folder in the way…
    noSpace,        // the disk is full (or the file cannot grow on it)
    quotaExceeded,  // the person's disk quota is used up
    readOnlyDisk,   // the disk is mounted read-only
};

// The cause an errno value stands for.
FileFailureCause FileFailureCauseOf(int errorNumber);

struct FileFailure {
    QString description;  // the step, the path and the system's words
    FileFailureCause cause = FileFailureCause::other;
};

// The failure of a step on a path, from errno as it stands: "STEP PATH: system's words".
FileFailure FileFailureFromErrno(const QString& step, const QString& path);

// Whether the disk holding the path (or its folder, when the path is not there) is mounted
// read-only, for a failure whose error number was not kept.
bool IsOnReadOnlyDisk(const QString& path);

}  // namespace quillet
