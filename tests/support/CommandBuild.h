#pragma once
// Which quillet command a test runs, and the stand-ins (osascript, defaults) its fake Macs hold.
// Tests that start the command hundreds of times run the release build named by
// QUILLET_RELEASE_BUILD_DIR (tools/release-build.sh builds it; tools/test.sh provides it), which
// starts about ten times faster than this sanitized build and does the same work; without that
// folder they run this build's.
// Also the one way the tests start and finish the command.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

namespace quillet {

struct CommandBuild {
    QString quillet;
    QString standIns;  // the folder of fake-osascript and fake-defaults; empty: this build's

    // The release build when QUILLET_RELEASE_BUILD_DIR names one, else this build.
    static CommandBuild Fastest();
    bool isRelease() const { return !standIns.isEmpty(); }
    // Puts the build's stand-ins into a fake Mac's ROOT/usr/bin (the fake-Mac builder installs
    // this build's); false when one cannot be copied.
    bool installStandIns(const QString& root) const;
};

// A finished run of the command.
struct CommandRun {
    int exitCode;  // -1 when a signal ended it (an abort, a kill)
    QString out, err;
};

// Starts the command (this build's unless PROGRAM names another) with its input closed.
std::unique_ptr<QProcess> StartQuillet(
    const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
    const QString& program = {});
// The environment without the variables that point the command at a fake Mac.
QProcessEnvironment WithoutFakeMacVariables(QProcessEnvironment environment);
// Waits for it, three minutes at most (a test fails when it takes longer), and collects it.
CommandRun FinishQuillet(QProcess& process);
CommandRun RunQuillet(
    const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
    const QString& program = {});

}  // namespace quillet
