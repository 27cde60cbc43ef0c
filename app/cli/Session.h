#pragma once
// One run of the quillet command: the platform of this machine (rooted paths, Qt main queue,
// terminal prompter, the workspace of a fake Mac or of this Linux desktop) and the engine created
// over it.

#include <memory>

#include "app/cli/CommandLine.h"
#include "app/cli/DryRun.h"
#include "app/core/Core.h"
#include "platform/Accessibility.h"
#include "platform/Bundle.h"
#include "platform/FileWorkspace.h"
#include "platform/NotificationCenter.h"
#include "platform/Paths.h"
#include "platform/QtMainQueue.h"
#include "platform/SystemLayout.h"
#include "platform/TerminalPrompter.h"

namespace quillet {

class Session {
public:
    // Absent (with the message printed) when the resources or the engine cannot be had.
    static std::unique_ptr<Session> open(const CommandLine& line);

    Core& core() { return *_core; }
    const CommandLine& line() const { return _line; }
    // Runs the event loop until the engine has finished everything it set going.
    void waitUntilIdle();
    // Set for a --dry-run command: what it runs over, and what it collected.
    const DryRun* dryRun() const { return _dryRun.get(); }

private:
    Session(const CommandLine& line, Bundle bundle, SystemLayout layout);
    void rediscoverAccountsInFiles();

    CommandLine _line;
    Paths _paths;
    QtMainQueue _mainQueue;
    NotificationCenter _notificationCenter;
    std::unique_ptr<TerminalPrompter> _prompter;
    std::unique_ptr<Workspace> _workspace;  // files under the root, or this Linux desktop
    Bundle _bundle;
    FileAccessibility _accessibility;
    SystemLayout _layout;
    std::unique_ptr<DryRun> _dryRun;
    std::unique_ptr<Core> _core;
};

}  // namespace quillet
