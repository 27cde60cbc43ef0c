#include "platform/LinuxWorkspace.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <memory>

#include "platform/EventLoop.h"
#include "platform/ProcessTable.h"

namespace quillet {
namespace {

// Stand-ins for a mail client: copies of bash named like Thunderbird's programs, so that the
// process table shows them as Thunderbird.
class LinuxWorkspaceTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(installation()) && QDir().mkpath(home()) &&
                    QDir().mkpath(folder.filePath("other")));
        ASSERT_TRUE(QFile::copy("/bin/bash", installation() + "/thunderbird-bin"));
    }
    void TearDown() override {
        for (const ProcessEntry& process : standIns(false))
            ::kill(static_cast<pid_t>(process.pid), SIGKILL);
        for (auto& process : started)
            process->waitForFinished(5000);
    }

    QString installation() const { return folder.filePath("usr/lib/thunderbird"); }
    QString home() const { return folder.filePath("home"); }

    QProcess& start(const QString& homeFolder, const QString& script,
                    const QStringList& extra = {}) {
        auto& process = *started.emplace_back(std::make_unique<QProcess>());
        QProcessEnvironment environment;
        environment.insert("HOME", homeFolder);
        environment.insert("STAND_IN", "thunderbird");
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(folder.path());
        process.start(installation() + "/thunderbird-bin", QStringList{"-c", script, "tb"} + extra);
        EXPECT_TRUE(process.waitForStarted());
        return process;
    }

    // Every stand-in still alive; or only this home's, helpers aside.
    std::vector<ProcessEntry> standIns(bool thisHomesOnly) const {
        std::vector<ProcessEntry> found = ReadProcessTable();
        std::erase_if(found, [&](const ProcessEntry& process) {
            return process.executable != installation() + "/thunderbird-bin" ||
                   (thisHomesOnly && (EnvironmentValue(process.environment, "HOME") != home() ||
                                      process.arguments.contains("-contentproc")));
        });
        return found;
    }

    QTemporaryDir folder;
    std::vector<std::unique_ptr<QProcess>> started;
    LinuxWorkspace workspace{
        Paths(folder.filePath("home"), "/"),
        {{"org.mozilla.thunderbird", {"thunderbird", "thunderbird-bin"}, {}, {}}},
        3.0};
};

// Only this home's main process counts as running: not another home's, a helper, nor a fork the
// application made itself (a subshell shows its parent's program and arguments, as
// Thunderbird's own forks do before they take their own). Terminating only asks, its own way out,
// and returns while the application is still saving (the caller waits, for as long as the
// workspace says a client may take); one that ignores the request is never killed. Launching
// starts the main process again once, as it was.
TEST_F(LinuxWorkspaceTest, RunningMeansThisHomesMainProcessWhichTerminateAsksAndLaunchRestarts) {
    const QString quitsOnTerm = "trap 'sleep 1; exit 0' TERM; while :; do sleep 0.1; done";
    EXPECT_TRUE(workspace.runningBundleIdentifiers().isEmpty());
    QProcess& other = start(folder.filePath("other"), quitsOnTerm);
    start(home(), quitsOnTerm, {"-contentproc"});
    ASSERT_TRUE(RunEventLoopUntil([&] { return standIns(false).size() == 2; }, 10));
    EXPECT_TRUE(workspace.runningBundleIdentifiers().isEmpty());
    const QString forks = "( " + quitsOnTerm + " ) & " + quitsOnTerm;
    QProcess& first = start(home(), forks, {"--headless", "two words"});
    ASSERT_TRUE(RunEventLoopUntil([&] { return standIns(true).size() == 2; }, 10));
    EXPECT_EQ(workspace.runningBundleIdentifiers(), QStringList{"org.mozilla.thunderbird"});

    EXPECT_TRUE(workspace.forceTerminate("org.mozilla.thunderbird"));
    EXPECT_EQ(first.state(), QProcess::Running);
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);  // its own way out, not killed
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(other.state(), QProcess::Running);
    for (const ProcessEntry& process : standIns(true))  // the fork, left behind
        ::kill(static_cast<pid_t>(process.pid), SIGKILL);
    ASSERT_TRUE(
        RunEventLoopUntil([&] { return workspace.runningBundleIdentifiers().isEmpty(); }, 10));

    EXPECT_TRUE(workspace.launch(installation()));
    ASSERT_TRUE(RunEventLoopUntil([&] { return standIns(true).size() == 2; }, 10));
    QThread::msleep(300);
    const std::vector<ProcessEntry> again = standIns(true);
    // Started once: the main process and its fork.
    ASSERT_EQ(again.size(), 2u);
    EXPECT_TRUE(again[0].pid == again[1].parentPid || again[1].pid == again[0].parentPid);
    for (const ProcessEntry& process : again) {
        EXPECT_EQ(process.arguments.mid(1),
                  (QStringList{"-c", forks, "tb", "--headless", "two words"}));
        EXPECT_EQ(EnvironmentValue(process.environment, "STAND_IN"), "thunderbird");
        EXPECT_EQ(process.workingFolder, folder.path());
    }
    // Launching with nothing closed before starts nothing.
    EXPECT_FALSE(workspace.launch(folder.filePath("nothing-installed-here")));

    for (const ProcessEntry& process : again)
        ::kill(static_cast<pid_t>(process.pid), SIGKILL);
    QProcess& stubborn = start(home(), "trap '' TERM; while :; do sleep 0.1; done");
    EXPECT_TRUE(workspace.forceTerminate("org.mozilla.thunderbird"));
    EXPECT_FALSE(stubborn.waitForFinished(1500));
    EXPECT_EQ(workspace.runningBundleIdentifiers(), QStringList{"org.mozilla.thunderbird"});
    EXPECT_EQ(LinuxWorkspace(Paths("/h", "/"), {}).exitWaitLimit(), 30.0);
}

}  // namespace
}  // namespace quillet
