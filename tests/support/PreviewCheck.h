#pragma once
// Whether `quillet --dry-run` tells what the command then does: runs the preview, checks that it
// changed nothing, runs the command for real and compares. Files are compared by applying the
// preview's diffs with patch(1), Spark's database by running the previewed statements on a copy
// of it, Outlook by the scripts that change it.

#include <QStringList>

#include "tests/support/SampleMacCommand.h"

namespace quillet {

struct PreviewCheck {
    SampleMacCommand::CommandRun preview, real;
    QStringList mismatches;  // one line each; empty when the preview told the truth
};

// ARGUMENTS is the command without --yes, --dry-run and --json.
PreviewCheck CheckPreview(const SampleMacCommand& command, const QStringList& arguments);

}  // namespace quillet
