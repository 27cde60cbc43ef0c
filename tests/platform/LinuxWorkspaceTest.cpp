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
// process table shows them as Thunderbird. Each stays until SIGTERM, or ignores it when told.
class LinuxWorkspaceTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(QDir().mkpath(installation()));
        ASSERT_TRUE(QFile::copy("/bin/bash", installation() + "/thunderbird-bin"));
        ASSERT_TRUE(QDir().mkpath(home()));
        ASSERT_TRUE(QDir().mkpath(folder.filePath("other")));
    }
    void TearDown() override {
        for (const ProcessEntry& process : standIns())
            ::kill(static_cast<pid_t>(process.pid), SIGKILL);
        for (auto& process : started)
            process->waitForFinished(5000);
    }

    QString installation() const { return folder.filePath("usr/lib/thunderbird"); }
    QString home() const { return folder.filePath("home"); }

    QProcess& start(const QString& homeFolder, const QString& script,
                    const QStringList& extra = {}) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment;
        environment.insert("HOME", homeFolder);
        environment.insert("STAND_IN", "thunderbird");
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(folder.path());
        process->start(installation() + "/thunderbird-bin",
                       QStringList{"-c", script, "tb"} + extra);
        EXPECT_TRUE(process->waitForStarted());
        started.push_back(std::move(process));
        return *started.back();
    }

    // Every stand-in process still alive, wherever it was started from.
    std::vector<ProcessEntry> standIns() const {
        std::vector<ProcessEntry> found;
        for (ProcessEntry& process : ReadProcessTable()) {
            if (process.executable == installation() + "/thunderbird-bin")
                found.push_back(std::move(process));
        }
        return found;
    }

    QTemporaryDir folder;
    std::vector<std::unique_ptr<QProcess>> started;
    LinuxWorkspace workspace{
        Paths(folder.filePath("home"), "/"),
        {{"org.mozilla.thunderbird", {"thunderbird", "thunderbird-bin"}, {}, {}}},
        3.0};
};

const QString kQuitsOnTerm = "trap 'exit 0' TERM; while :; do sleep 0.1; done";
const QString kIgnoresTerm = "trap '' TERM; while :; do sleep 0.1; done";

// Only this home's main process counts as running: not another home's, a helper, nor a fork the
// application made itself (a subshell shows its parent's program and arguments, as
// Thunderbird's own forks do before they take their own). The main process is asked to quit, its
// own way out, and started again once, as it was.
TEST_F(LinuxWorkspaceTest, RunningMeansThisHomesMainProcessWhichTerminateAndLaunchRestart) {
    EXPECT_TRUE(workspace.runningBundleIdentifiers().isEmpty());
    QProcess& other = start(folder.filePath("other"), kQuitsOnTerm);
    start(home(), kQuitsOnTerm, {"-contentproc"});
    ASSERT_TRUE(RunEventLoopUntil([&] { return standIns().size() == 2; }, 10));
    EXPECT_TRUE(workspace.runningBundleIdentifiers().isEmpty());
    const QString forks = "( " + kQuitsOnTerm + " ) & " + kQuitsOnTerm;
    QProcess& first = start(home(), forks, {"--headless", "two words"});
    // This home's processes other than the helper.
    const auto homes = [&] {
        std::vector<ProcessEntry> found = standIns();
        std::erase_if(found, [&](const ProcessEntry& process) {
            return EnvironmentValue(process.environment, "HOME") != home() ||
                   process.arguments.contains("-contentproc");
        });
        return found;
    };
    ASSERT_TRUE(RunEventLoopUntil([&] { return homes().size() == 2; }, 10));
    EXPECT_EQ(workspace.runningBundleIdentifiers(), QStringList{"org.mozilla.thunderbird"});

    EXPECT_TRUE(workspace.forceTerminate("org.mozilla.thunderbird"));
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);  // its own way out, not killed
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(other.state(), QProcess::Running);
    for (const ProcessEntry& process : homes())  // the fork, left behind
        ::kill(static_cast<pid_t>(process.pid), SIGKILL);
    ASSERT_TRUE(
        RunEventLoopUntil([&] { return workspace.runningBundleIdentifiers().isEmpty(); }, 10));

    EXPECT_TRUE(workspace.launch(installation()));
    ASSERT_TRUE(RunEventLoopUntil([&] { return homes().size() == 2; }, 10));
    QThread::msleep(300);
    const std::vector<ProcessEntry> again = homes();
    EXPECT_EQ(std::count_if(again.begin(), again.end(),
                            [&](const ProcessEntry& process) {
                                return std::none_of(again.begin(), again.end(),
                                                    [&](const ProcessEntry& parent) {
                                                        return parent.pid == process.parentPid;
                                                    });
                            }),
              1);
    for (const ProcessEntry& process : again) {
        EXPECT_EQ(process.arguments.mid(1),
                  (QStringList{"-c", forks, "tb", "--headless", "two words"}));
        EXPECT_EQ(EnvironmentValue(process.environment, "STAND_IN"), "thunderbird");
        EXPECT_EQ(process.workingFolder, folder.path());
    }
    // Launching with nothing closed before starts nothing.
    EXPECT_FALSE(workspace.launch(folder.filePath("nothing-installed-here")));
}

// Terminating only asks: a client saving its profile on the way out is waited for by the caller
// (the sync pass, on the main loop), for as long as the workspace says a client may take, and one
// that ignores the request is never killed.
TEST_F(LinuxWorkspaceTest, TerminatingOnlyAsksAndReturnsWhileTheApplicationIsStillQuitting) {
    QProcess& saving = start(home(), "trap 'sleep 2; exit 0' TERM; while :; do sleep 0.1; done");
    QProcess& stubborn = start(home(), kIgnoresTerm);
    ASSERT_TRUE(RunEventLoopUntil([&] { return standIns().size() == 2; }, 10));
    EXPECT_TRUE(workspace.forceTerminate("org.mozilla.thunderbird"));
    EXPECT_EQ(saving.state(), QProcess::Running);
    ASSERT_TRUE(saving.waitForFinished(10000));
    EXPECT_EQ(saving.exitStatus(), QProcess::NormalExit);
    EXPECT_FALSE(stubborn.waitForFinished(500));
    EXPECT_EQ(workspace.runningBundleIdentifiers(), QStringList{"org.mozilla.thunderbird"});
    EXPECT_EQ(LinuxWorkspace(Paths("/h", "/"), {}).exitWaitLimit(), 30.0);
}

}  // namespace
}  // namespace quillet
