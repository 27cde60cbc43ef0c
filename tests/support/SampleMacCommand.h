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

#include "tests/support/CommandBuild.h"
#include "tests/support/FakeMacSample.h"
#include "tools/signature-service/SignatureService.h"

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

class SampleMacCommand {
public:
    struct CommandRun {
        int exitCode;
        QString out, err;
    };

    // A sample Mac of its own, run with this build's command.
    SampleMacCommand();
    // A copy of the original beside it, run with the original's command build.
    explicit SampleMacCommand(const SampleMacOriginal& original);

    // Serves HTML under the key.
    void setSignature(const QString& key, const QString& html) const;
    // Runs quillet with the sample Mac's options before the arguments.
    CommandRun quillet(const QStringList& arguments) const;
    // Starts it so, for a test that runs several at once; finish() waits for it.
    std::unique_ptr<QProcess> start(const QStringList& arguments) const;
    static CommandRun finish(QProcess& process);
    // The standard output of a --json command, parsed (null when it is not JSON).
    nlohmann::json json(const QStringList& arguments) const;
    // Every file of the fake Mac but the engine's own (the support folder, the log) and the
    // stand-in tools' records of their runs, by path.
    std::map<QString, QByteArray> machineFiles() const;
    // The Apple Mail signature file of a signature (as install prints it), or "(none)".
    QByteArray appleMailFile(const nlohmann::json& signature) const;

    const CommandBuild build;
    // Options before every command's own: the platform it serves (none: the fake Mac).
    QStringList platformOptions;
    FakeMac mac;
    SampleMac sample;
    QTemporaryDir serviceFolder;
    std::unique_ptr<SignatureService> service;

private:
    void startService();
};

}  // namespace quillet
