#pragma once
// Starting a command-line tool and collecting what it printed. Blocks the calling thread for as
// long as the tool runs: there is no time limit (a run may wait for the person to answer a
// system prompt).

#include <QString>
#include <QStringList>
#include <optional>

namespace quillet {

struct ProcessOutput {
    std::optional<QString> standardOutput;  // absent when not valid UTF-8 (or never started)
    std::optional<QString> standardError;   // absent when not valid UTF-8 (or never started)
    std::optional<QString> lastErrorLine;   // last non-blank line of standard error, trimmed
    bool started = false;                   // false when the tool could not be started
    bool crashed = false;                   // ended by a signal
    int exitCode = 0;
};

ProcessOutput RunProcess(const QString& launchPath, const QStringList& arguments);

}  // namespace quillet
