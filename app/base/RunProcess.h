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

// A tool that is ended by EndChildProcesses counts as crashed; once the process is ending,
// nothing is started any more (the result then says not started).
ProcessOutput RunProcess(const QString& launchPath, const QStringList& arguments);

// For a process that was asked to end (a signal, quitting the application): every tool that
// RunProcess waits on, on any thread, is killed within a fraction of a second, and later calls
// start nothing, so that work blocked on a script that never answers (a modal dialog, an
// unanswered Automation prompt) fails and lets the process end. There is no way back. Safe to
// call from a signal handler.
void EndChildProcesses() noexcept;

}  // namespace quillet
