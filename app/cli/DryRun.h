#pragma once
// What a --dry-run command runs over instead of the machine: a copy of the support folder (the
// store, the accounts cache) that is thrown away afterwards, a workspace that only pretends to
// close and open applications, a prompter that keeps the questions it passed on, and the
// preview that collects the client syncs' writes. Afterwards it prints the plan: client by
// client, files as unified diffs, Spark's statements, Outlook's script runs, then the alerts.

#include <QTemporaryDir>
#include <memory>
#include <set>
#include <vector>

#include "app/core/SyncPreview.h"
#include "platform/Prompter.h"
#include "platform/Workspace.h"

namespace quillet {

// Applications it was asked to close are gone from the running list; nothing is really ended,
// launched or opened.
class PreviewWorkspace final : public Workspace {
public:
    explicit PreviewWorkspace(const Workspace& machine) : _machine(machine) {}
    QStringList runningBundleIdentifiers() const override;
    bool forceTerminate(const QString& bundleIdentifier) override;
    double exitWaitLimit() const override { return _machine.exitWaitLimit(); }
    bool launch(const QString&) override { return true; }
    bool openUrl(const QUrl&) override { return true; }

private:
    const Workspace& _machine;
    std::set<QString> _closed;
};

// Passes every question on and keeps it.
class RecordingPrompter final : public Prompter {
public:
    explicit RecordingPrompter(Prompter& inner) : _inner(inner) {}
    Answer ask(const Alert& alert) override;
    const std::vector<Alert>& shown() const { return _shown; }

private:
    Prompter& _inner;
    std::vector<Alert> _shown;
};

struct DryRun {
    QString supportFolder;  // the real one, which the plan names
    QTemporaryDir supportCopy;
    SyncPreview preview;
    std::unique_ptr<PreviewWorkspace> workspace;
    std::unique_ptr<RecordingPrompter> prompter;
};

// The commands a dry run works with.
bool DryRunAllowed(const QString& command);

// Prints the plan to standard output, as text or as one JSON document.
void PrintDryRunPlan(const DryRun& dryRun, const std::vector<ClientKind>& clientOrder, bool json);

// A unified diff from `before` to `after`, both headers naming `path`; property lists compare as
// their XML text. Empty when they are equal.
QString UnifiedDiff(const QString& path, const QByteArray& before, const QByteArray& after);

}  // namespace quillet
