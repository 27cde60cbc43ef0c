#pragma once
// The record form of the listing scripts' output: records between ";;;", fields between ",,,",
// each trimmed; an empty record is skipped and an empty field counts as absent.

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace quillet {

// The trimmed, non-empty records of a script's output.
QStringList SplitScriptRecords(const QString& output);
// The trimmed fields of one record; an empty field is absent.
std::vector<std::optional<QString>> SplitScriptFields(const QString& record);

}  // namespace quillet
