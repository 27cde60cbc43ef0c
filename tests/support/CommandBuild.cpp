#include "tests/support/CommandBuild.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QFileInfo>

namespace quillet {

CommandBuild CommandBuild::Fastest() {
    const QString folder = qEnvironmentVariable("QUILLET_RELEASE_BUILD_DIR");
    const CommandBuild release{folder + "/bin/quillet", folder + "/fake-mac"};
    if (!folder.isEmpty() && QFileInfo(release.quillet).isExecutable() &&
        QFileInfo(release.standIns + "/fake-osascript").isExecutable())
        return release;
    return {QUILLET_QUILLET_PATH, {}};
}

bool CommandBuild::installStandIns(const QString& root) const {
    if (!isRelease())
        return true;
    for (const auto& [name, standIn] :
         {std::pair{"osascript", "fake-osascript"}, std::pair{"defaults", "fake-defaults"}}) {
        const QString target = root + "/usr/bin/" + name;
        QFile::remove(target);
        if (!QFile::copy(standIns + "/" + standIn, target))
            return false;
    }
    return true;
}

std::unique_ptr<QProcess> StartQuillet(const QStringList& arguments,
                                       const QProcessEnvironment& environment,
                                       const QString& program) {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->start(program.isEmpty() ? QString(QUILLET_QUILLET_PATH) : program, arguments);
    process->closeWriteChannel();
    return process;
}

QProcessEnvironment WithoutFakeMacVariables(QProcessEnvironment environment) {
    for (const char* name : {"QUILLET_ROOT", "QUILLET_PLATFORM", "QUILLET_BUNDLE"})
        environment.remove(name);
    return environment;
}

CommandRun FinishQuillet(QProcess& process) {
    EXPECT_TRUE(process.state() == QProcess::NotRunning || process.waitForFinished(180000))
        << process.errorString().toStdString();
    return {process.exitStatus() == QProcess::CrashExit ? -1 : process.exitCode(),
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

CommandRun RunQuillet(const QStringList& arguments, const QProcessEnvironment& environment,
                      const QString& program) {
    return FinishQuillet(*StartQuillet(arguments, environment, program));
}

}  // namespace quillet
