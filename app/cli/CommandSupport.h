#pragma once
// What every command shares: its own arguments, error lines, alerts, and the exit status made
// from the work the engine finished on its behalf.

#include <functional>
#include <optional>

#include "app/cli/CommandLine.h"
#include "app/cli/Session.h"

namespace quillet {

// "quillet: TEXT" on standard error.
void PrintError(const QString& text);

// The command's own arguments; absent (with the usage error printed) when they are wrong.
std::optional<CommandArguments> Arguments(Session& session, const QStringList& values,
                                          const QStringList& switches, int maxPositional);

// Where the engine's outcome lists stood before a command set work going.
struct OutcomeMark {
    size_t refreshes = 0;
    size_t syncs = 0;
    size_t fetches = 0;  // reads of signatures being reinstalled (fetches, files)
};
OutcomeMark MarkOutcomes(const Core& core);

// 1 when a sync pass finished since the mark reported problems, a reinstall's read failed (or,
// with refreshes counted, a refresh failed); 0 otherwise. A pass postponed with "Later" is a
// choice, not a failure: it prints a line saying so.
int StatusSince(const Core& core, const OutcomeMark& mark, bool countRefreshes);

// Runs the work, waits for everything the engine set going, and returns the status of the sync
// passes that finished meanwhile (as StatusSince without refreshes).
int RunAndWait(Session& session, const std::function<void()>& work);

// A client named by its stored text, in any letter case.
std::optional<ClientKind> ClientKindFromArgument(const QString& text);

// A colour index given as a word: 0 or more. Absent (with the usage error printed, naming the
// option or command) otherwise.
std::optional<std::int64_t> ColorIndexFromArgument(const QString& text, const QString& name);

// A one-button ("OK") alert through the engine's prompter.
void ShowAlert(Core& core, AlertStyle style, const QString& title, const QString& text);

}  // namespace quillet
