#include "platform/LinuxWorkspace.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <csignal>
#include <memory>

#include "platform/EventLoop.h"

namespace quillet {
namespace {

void Kill(const std::vector<ProcessEntry>& processes) {
    for (const ProcessEntry& process : processes)
        ::kill(static_cast<pid_t>(process.pid), SIGKILL);
}

// Only this home's main process counts as running: not another home's, a helper, nor a fork the
// application made itself (a subshell shows its parent's program and arguments, as
// Thunderbird's own forks do before they take their own). Terminating only asks, its own way out,
// and returns while the application is still saving (the caller waits, for as long as the
// workspace says a client may take); one that ignores the request is never killed. Launching
// starts the main process again once, as it was. The stand-ins are copies of bash named like
// Thunderbird's program, so that the process table shows them as Thunderbird.
TEST(LinuxWorkspaceTest, RunningMeansThisHomesMainProcessWhichTerminateAsksAndLaunchRestarts) {
    QTemporaryDir folder;
    const QString installation = folder.filePath("usr/lib/thunderbird");
    const QString program = installation + "/thunderbird-bin", home = folder.filePath("home");
    ASSERT_TRUE(QDir().mkpath(installation) && QDir().mkpath(home) &&
                QDir().mkpath(folder.filePath("other")) && QFile::copy("/bin/bash", program));
    std::vector<std::unique_ptr<QProcess>> started;
    const auto start = [&](const QString& homeFolder, const QString& script,
                           const QStringList& extra = {}) -> QProcess& {
        auto& process = *started.emplace_back(std::make_unique<QProcess>());
        QProcessEnvironment environment;
        environment.insert("HOME", homeFolder);
        environment.insert("STAND_IN", "thunderbird");
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(folder.path());
        process.start(program, QStringList{"-c", script, "tb"} + extra);
        EXPECT_TRUE(process.waitForStarted());
        return process;
    };
    // Every stand-in still alive; or only this home's, helpers aside.
    const auto standIns = [&](bool thisHomesOnly) {
        std::vector<ProcessEntry> found = ReadProcessTable();
        std::erase_if(found, [&](const ProcessEntry& process) {
            return process.executable != program ||
                   (thisHomesOnly && (EnvironmentValue(process.environment, "HOME") != home ||
                                      process.arguments.contains("-contentproc")));
        });
        return found;
    };
    // Each shell says "ready" once its trap is set, so that no request arrives before it.
    const auto waitReady = [](QProcess& process, int shells) {
        while (process.peek(1 << 16).count("ready") < shells)
            if (!process.waitForReadyRead(10000))
                return false;
        return true;
    };
    const auto cleanUp = qScopeGuard([&] {
        Kill(standIns(false));
        for (auto& process : started)
            process->waitForFinished(5000);
    });
    LinuxWorkspace workspace{
        Paths(home, "/"),
        {{"org.mozilla.thunderbird", {"thunderbird", "thunderbird-bin"}, {}, {}}},
        3.0};

    const QString quitsOnTerm =
        "trap 'sleep 1; exit 0' TERM; echo ready; while :; do sleep 0.1; done";
    EXPECT_TRUE(workspace.runningBundleIdentifiers().isEmpty());
    QProcess& other = start(folder.filePath("other"), quitsOnTerm);
    start(home, quitsOnTerm, {"-contentproc"});
    ASSERT_TRUE(RunEventLoopUntil([&] { return standIns(false).size() == 2; }, 10));
    EXPECT_TRUE(workspace.runningBundleIdentifiers().isEmpty());
    const QString forks = "( " + quitsOnTerm + " ) & " + quitsOnTerm;
    QProcess& first = start(home, forks, {"--headless", "two words"});
    ASSERT_TRUE(waitReady(first, 2));
    ASSERT_TRUE(RunEventLoopUntil([&] { return standIns(true).size() == 2; }, 10));
    EXPECT_EQ(workspace.runningBundleIdentifiers(), QStringList{"org.mozilla.thunderbird"});

    EXPECT_TRUE(workspace.forceTerminate("org.mozilla.thunderbird"));
    EXPECT_EQ(first.state(), QProcess::Running);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);  // its own way out, not killed
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(other.state(), QProcess::Running);
    Kill(standIns(true));  // the fork, left behind
    ASSERT_TRUE(
        RunEventLoopUntil([&] { return workspace.runningBundleIdentifiers().isEmpty(); }, 10));

    EXPECT_TRUE(workspace.launch(installation));
    // Started once: the main process and its fork, as the look that found them saw them (a later
    // look may also see a shell's child on its way to become `sleep`).
    std::vector<ProcessEntry> again;
    ASSERT_TRUE(RunEventLoopUntil([&] { return (again = standIns(true)).size() == 2; }, 10));
    EXPECT_EQ(workspace.runningBundleIdentifiers(), QStringList{"org.mozilla.thunderbird"});
    EXPECT_TRUE(again[0].pid == again[1].parentPid || again[1].pid == again[0].parentPid);
    for (const ProcessEntry& process : again) {
        EXPECT_EQ(process.arguments.mid(1),
                  (QStringList{"-c", forks, "tb", "--headless", "two words"}));
        EXPECT_EQ(EnvironmentValue(process.environment, "STAND_IN"), "thunderbird");
        EXPECT_EQ(process.workingFolder, folder.path());
    }
    // Launching with nothing closed before starts nothing.
    EXPECT_FALSE(workspace.launch(folder.filePath("nothing-installed-here")));

    Kill(again);
    QProcess& stubborn = start(home, "trap '' TERM; echo ready; while :; do sleep 0.1; done");
    ASSERT_TRUE(waitReady(stubborn, 1));
    EXPECT_TRUE(workspace.forceTerminate("org.mozilla.thunderbird"));
    EXPECT_FALSE(stubborn.waitForFinished(1500));
    EXPECT_EQ(workspace.runningBundleIdentifiers(), QStringList{"org.mozilla.thunderbird"});
}

}  // namespace
}  // namespace quillet
