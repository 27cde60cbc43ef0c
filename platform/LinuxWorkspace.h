#pragma once
// The workspace of a Linux desktop. An application "runs" when a process of this user, started
// with this home, runs one of its programs (its helper processes, "-contentproc", and any
// process it started itself do not count). Terminating asks it to quit the ordinary way
// (SIGTERM, as the desktop does at logout; never SIGKILL) and waits for it to go, so that
// nothing it still writes on the way out lands after the caller's writes. Thunderbird saves a
// changed preference within a moment of the change, not on SIGTERM; what it saved is read
// after it has gone, so it is kept. Launching starts an
// application again exactly as the processes this workspace terminated had been started
// (program, arguments, environment, working folder), or else plainly.

#include <QString>
#include <QStringList>
#include <map>
#include <vector>

#include "platform/Paths.h"
#include "platform/ProcessTable.h"
#include "platform/Workspace.h"

namespace quillet {

// How an application shows in the process table and how it is started.
struct LinuxApplication {
    QString bundleIdentifier;     // the name the engine knows it by
    QStringList executableNames;  // program file names ("thunderbird", "thunderbird-bin")
    QString flatpakId;            // started with "flatpak run ID" when installed as a Flatpak
    QString snapName;             // started with "snap run NAME" when installed as a Snap
};

class LinuxWorkspace : public Workspace {
public:
    // How long terminating waits for the processes to go: a mail client saving a large profile
    // takes a while, and one that is still there when its files are written would write its own
    // over them on the way out.
    static constexpr int kDefaultExitWaitMs = 30000;

    LinuxWorkspace(const Paths& paths, std::vector<LinuxApplication> applications,
                   int exitWaitMs = kDefaultExitWaitMs);

    QStringList runningBundleIdentifiers() const override;
    // Sends SIGTERM to every running process of the application and waits, up to the exit wait,
    // until they have gone; false when one could not be signalled. One still running afterwards
    // is left running: the caller sees it in runningBundleIdentifiers().
    bool forceTerminate(const QString& bundleIdentifier) override;
    // bundlePath: the installation folder detection found (holding the program, or a Flatpak's
    // or Snap's files).
    bool launch(const QString& bundlePath) override;
    bool openUrl(const QUrl& url) override;

private:
    struct Running {
        const LinuxApplication* application;
        ProcessEntry process;
    };
    std::vector<Running> running() const;
    const LinuxApplication* applicationAt(const QString& bundlePath) const;

    QString _home;
    std::vector<LinuxApplication> _applications;
    int _exitWaitMs;
    std::map<QString, std::vector<ProcessEntry>> _terminated;  // by bundle identifier
};

}  // namespace quillet
