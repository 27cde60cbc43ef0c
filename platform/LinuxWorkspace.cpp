#include "platform/LinuxWorkspace.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QUrl>
#include <csignal>
#include <set>

namespace quillet {

namespace {

QString Canonical(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(path) : canonical;
}

// The home a process was started with; a process without HOME is taken as this user's.
bool StartedWithHome(const ProcessEntry& process, const QString& home) {
    QString processHome = EnvironmentValue(process.environment, "HOME");
    if (processHome.isEmpty())
        processHome = QDir::homePath();
    return Canonical(processHome) == home;
}

bool IsHelperProcess(const ProcessEntry& process) {
    return process.arguments.contains("-contentproc");
}

// The program as it was started (argv[0], which a wrapper script may have chosen), when that
// names a program file; else the program the process table shows.
QString ProgramOf(const ProcessEntry& process) {
    if (!process.arguments.isEmpty() && QDir::isAbsolutePath(process.arguments.first()) &&
        QFileInfo(process.arguments.first()).isExecutable())
        return process.arguments.first();
    return process.executable;
}

bool StartDetached(const QString& program, const QStringList& arguments,
                   const QStringList& environment, const QString& workingFolder) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (!environment.isEmpty()) {
        QProcessEnvironment values;
        for (const QString& variable : environment) {
            const qsizetype equals = variable.indexOf('=');
            if (equals > 0)
                values.insert(variable.left(equals), variable.mid(equals + 1));
        }
        process.setProcessEnvironment(values);
    }
    if (!workingFolder.isEmpty() && QFileInfo(workingFolder).isDir())
        process.setWorkingDirectory(workingFolder);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

}  // namespace

LinuxWorkspace::LinuxWorkspace(const Paths& paths, std::vector<LinuxApplication> applications,
                               double exitWaitLimit)
    : _home(Canonical(paths.home())),
      _applications(std::move(applications)),
      _exitWaitLimit(exitWaitLimit) {}

std::vector<LinuxWorkspace::Running> LinuxWorkspace::running() const {
    std::vector<Running> candidates;
    std::set<qint64> ofApplications;
    for (ProcessEntry& process : ReadProcessTable()) {
        const QString name = QFileInfo(process.executable).fileName();
        for (const LinuxApplication& application : _applications) {
            if (application.executableNames.contains(name)) {
                ofApplications.insert(process.pid);
                candidates.push_back({&application, std::move(process)});
                break;
            }
        }
    }
    // A process the application started itself is one of its helpers, even in the moment
    // after a fork when it still shows the main process's arguments; closing or starting it
    // again as a main process would start a second instance.
    std::vector<Running> found;
    for (Running& entry : candidates) {
        if (!IsHelperProcess(entry.process) && !ofApplications.contains(entry.process.parentPid) &&
            StartedWithHome(entry.process, _home))
            found.push_back(std::move(entry));
    }
    return found;
}

QStringList LinuxWorkspace::runningBundleIdentifiers() const {
    QStringList identifiers;
    for (const Running& entry : running())
        identifiers.append(entry.application->bundleIdentifier);
    return identifiers;
}

bool LinuxWorkspace::forceTerminate(const QString& bundleIdentifier) {
    bool allSignalled = true;
    std::vector<ProcessEntry>& terminated = _terminated[bundleIdentifier];
    for (Running& entry : running()) {
        if (entry.application->bundleIdentifier != bundleIdentifier)
            continue;
        const LinuxApplication& application = *entry.application;
        // A program inside a Flatpak's sandbox is reached through flatpak.
        const bool asked =
            !application.quitArguments.isEmpty() &&
            (entry.process.executable.startsWith("/app/")
                 ? StartDetached(
                       "flatpak",
                       QStringList{"run", application.flatpakId} + application.quitArguments,
                       entry.process.environment, entry.process.workingFolder)
                 : StartDetached(ProgramOf(entry.process), application.quitArguments,
                                 entry.process.environment, entry.process.workingFolder));
        if (asked) {
            terminated.push_back(std::move(entry.process));
            continue;
        }
        if (::kill(static_cast<pid_t>(entry.process.pid), SIGTERM) != 0) {
            allSignalled = false;
            continue;
        }
        terminated.push_back(std::move(entry.process));
    }
    return allSignalled;
}

namespace {

// The program itself, when detection found the application as its program file (/usr/bin/geary)
// rather than as a folder holding it.
bool IsProgramOf(const LinuxApplication& application, const QString& bundlePath) {
    const QFileInfo file(bundlePath);
    return file.isFile() && file.isExecutable() &&
           application.executableNames.contains(file.fileName());
}

}  // namespace

const LinuxApplication* LinuxWorkspace::applicationAt(const QString& bundlePath) const {
    for (const LinuxApplication& application : _applications) {
        if (IsProgramOf(application, bundlePath))
            return &application;
    }
    for (const LinuxApplication& application : _applications) {
        if (!application.flatpakId.isEmpty() &&
            bundlePath.contains("/" + application.flatpakId + "/"))
            return &application;
        if (!application.snapName.isEmpty() &&
            bundlePath.contains("/snap/" + application.snapName + "/"))
            return &application;
        for (const QString& name : application.executableNames) {
            if (QFileInfo(bundlePath + "/" + name).isExecutable())
                return &application;
        }
    }
    return nullptr;
}

bool LinuxWorkspace::launch(const QString& bundlePath) {
    const LinuxApplication* application = applicationAt(bundlePath);
    if (!application)
        return false;
    // A sandboxed installation is started through its own launcher, never by its program file.
    QStringList launcher;
    if (!application->flatpakId.isEmpty() &&
        bundlePath.contains("/" + application->flatpakId + "/"))
        launcher = {"flatpak", "run", application->flatpakId};
    else if (!application->snapName.isEmpty() &&
             bundlePath.contains("/snap/" + application->snapName + "/"))
        launcher = {"snap", "run", application->snapName};

    std::vector<ProcessEntry> closed =
        std::exchange(_terminated[application->bundleIdentifier], {});
    if (closed.empty()) {
        ProcessEntry plain;
        if (IsProgramOf(*application, bundlePath))
            plain.executable = bundlePath;
        for (const QString& name : application->executableNames) {
            if (!plain.executable.isEmpty())
                break;
            if (QFileInfo(bundlePath + "/" + name).isExecutable()) {
                plain.executable = bundlePath + "/" + name;
                break;
            }
        }
        plain.arguments = {plain.executable};
        closed.push_back(plain);
    }
    bool allStarted = true;
    for (const ProcessEntry& process : closed) {
        const QStringList arguments = process.arguments.mid(1);
        const bool started = launcher.isEmpty()
                                 ? !process.executable.isEmpty() &&
                                       StartDetached(ProgramOf(process), arguments,
                                                     process.environment, process.workingFolder)
                                 : StartDetached(launcher.first(), launcher.mid(1) + arguments,
                                                 process.environment, process.workingFolder);
        allStarted = allStarted && started;
    }
    return allStarted;
}

bool LinuxWorkspace::openUrl(const QUrl& url) {
    return QProcess::startDetached("xdg-open", {url.toString()});
}

}  // namespace quillet
