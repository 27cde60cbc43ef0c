#pragma once
// The workspace of a Linux desktop. An application "runs" when a process of this user, started
// with this home, runs one of its programs (its helper processes, "-contentproc", and any
// process it started itself do not count). Terminating asks it to quit the ordinary way
// (SIGTERM, as the desktop does at logout; never SIGKILL); the caller waits for it to go, for as
// long as a mail client may need (exitWaitLimit()), so that nothing it still writes on the way
// out lands after the caller's writes. Thunderbird saves a changed preference within a moment of
// the change, not on SIGTERM; what it saved is read after it has gone, so it is kept. Launching
// starts an
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
    // Asks a running instance to quit its own way ("geary --quit", run as the instance was
    // started, so that it reaches that instance's session); empty: SIGTERM.
    QStringList quitArguments = {};
};

class LinuxWorkspace : public Workspace {
public:
    // How long a terminated application may take to go: a mail client saving a large profile
    // takes a while, and one that is still there when its files are written would write its own
    // over them on the way out.
    static constexpr double kLinuxExitWaitLimit = 30.0;

    LinuxWorkspace(const Paths& paths, std::vector<LinuxApplication> applications,
                   double exitWaitLimit = kLinuxExitWaitLimit);

    QStringList runningBundleIdentifiers() const override;
    // Asks every running process of the application to quit (its quit command, else SIGTERM);
    // false when one could not be asked. One that does not go is left running: the caller sees it
    // in runningBundleIdentifiers().
    bool forceTerminate(const QString& bundleIdentifier) override;
    double exitWaitLimit() const override { return _exitWaitLimit; }
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
    double _exitWaitLimit;
    std::map<QString, std::vector<ProcessEntry>> _terminated;  // by bundle identifier
};

}  // namespace quillet
