#pragma once
// Whether `quillet --dry-run` changes nothing and tells what the command then does: files by
// applying its diffs with patch(1), Spark's database by running its statements on a copy, Outlook
// by the scripts that change it.

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
