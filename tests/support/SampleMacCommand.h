#pragma once
// The real quillet executable over the sample Mac (the five clients, their accounts, and a
// signature of the person's own in each), with the reference signature service serving a folder
// on loopback: what the command tests drive.

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/demo/SampleMac.h"
#include "tests/support/CommandBuild.h"
#include "tests/support/TestService.h"

namespace quillet {

// The sample Mac laid out once, in memory where the machine has /dev/shm, with the stand-ins of
// the fastest command build: for tests that start from it over and over.
struct SampleMacOriginal {
    SampleMacOriginal();

    CommandBuild build = CommandBuild::Fastest();
    QTemporaryDir folder;
    FakeMac mac;
    SampleMac sample;
};

// How many signatures of a client of the fake Mac hold the text, as the client reads them.
int SignaturesHolding(const FakeMac& mac, ClientKind kind, const QString& text);

class SampleMacCommand : public TestService {
public:
    using CommandRun = quillet::CommandRun;

    // A sample Mac of its own, run with this build's command.
    SampleMacCommand();
    // A copy of the original beside it, run with the original's command build.
    explicit SampleMacCommand(const SampleMacOriginal& original);

    // Runs quillet with the sample Mac's options before the arguments.
    CommandRun quillet(
        const QStringList& arguments,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) const;
    // Starts it so, for a test that runs several at once; finish() waits for it.
    std::unique_ptr<QProcess> start(
        const QStringList& arguments,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) const;
    static CommandRun finish(QProcess& process) { return FinishQuillet(process); }
    // The standard output of a --json command, parsed (null when it is not JSON).
    nlohmann::json json(const QStringList& arguments) const;
    // Runs install with --yes and the arguments, which must succeed; the signature's JSON.
    nlohmann::json install(const QStringList& arguments) const;
    // A file or folder of Quillet's own, by its name in Quillet's data folder.
    QString dataPath(const QString& name) const {
        return mac.homePath("Library/Application Support/Quillet/" + name);
    }
    // Quillet's log so far.
    QString log() const;
    // A file's bytes, or "(none)".
    static QByteArray read(const QString& path);
    // Every file of the fake Mac but the engine's own (the support folder, the log) and the
    // stand-in tools' records of their runs, by path.
    std::map<QString, QByteArray> machineFiles() const;

    const CommandBuild build;
    // Options before every command's own: the platform it serves (none: the fake Mac).
    QStringList platformOptions;
    FakeMac mac;
    SampleMac sample;
};

}  // namespace quillet
