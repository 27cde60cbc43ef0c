#include "tests/support/SampleMacCommand.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "app/clients/sync/ReplacedSettings.h"
#include "app/demo/FakeMacMozilla.h"
#include "tests/support/FakeMacClient.h"
#include "tests/support/MachineSnapshot.h"

namespace quillet {

namespace {

QString MemoryFolder() {
    return QFileInfo("/dev/shm").isWritable() ? "/dev/shm" : QDir::tempPath();
}

}  // namespace

SampleMacOriginal::SampleMacOriginal()
    : folder(MemoryFolder() + "/quillet-sample-XXXXXX"),
      mac(folder.path() + "/original"),
      sample(BuildSampleMac(mac)) {
    EXPECT_TRUE(build.installStandIns(mac.root()));
}

SampleMacCommand::SampleMacCommand()
    : build{QUILLET_QUILLET_PATH, {}}, sample(BuildSampleMac(mac)) {}

SampleMacCommand::SampleMacCommand(const SampleMacOriginal& original)
    : build(original.build),
      mac(original.mac, original.folder.path()),
      sample(MovedSampleMac(original.sample, original.mac.folder(), mac.folder())) {}

CommandRun SampleMacCommand::quillet(const QStringList& arguments,
                                     const QProcessEnvironment& environment) const {
    return finish(*start(arguments, environment));
}

std::unique_ptr<QProcess> SampleMacCommand::start(const QStringList& arguments,
                                                  const QProcessEnvironment& environment) const {
    const QStringList all = {"--root",   mac.root(),       "--home",    mac.home(),
                             "--bundle", mac.bundlePath(), "--service", url().toString()};
    return StartQuillet(all + platformOptions + arguments, environment, build.quillet);
}

nlohmann::json SampleMacCommand::json(const QStringList& arguments) const {
    return nlohmann::json::parse(quillet(QStringList{"--json"} + arguments).out.toStdString(),
                                 nullptr, false);
}

nlohmann::json SampleMacCommand::install(const QStringList& arguments) const {
    const CommandRun run = quillet(QStringList{"--yes", "--json", "install"} + arguments);
    EXPECT_EQ(run.exitCode, 0) << arguments.join(' ').toStdString() << "\n"
                               << run.err.toStdString();
    return nlohmann::json::parse(run.out.toStdString(), nullptr, false);
}

QString SampleMacCommand::log() const {
    return QString::fromUtf8(read(mac.homePath("Library/Logs/Quillet/Quillet.log")));
}

QByteArray SampleMacCommand::read(const QString& path) {
    return ReadFakeFile(path).value_or("(none)");
}

std::map<QString, QByteArray> SampleMacCommand::machineFiles() const {
    return ReadFolderFiles(mac.folder(), [this](const QString& path) {
        const QString relative = path.mid(mac.folder().size());
        // The programs and resources, which nothing writes, aside, and Quillet's own files but
        // the person's settings that its signatures replaced (a preview shows their change).
        const bool quillets = path.contains("/Application Support/Quillet/") &&
                              !path.endsWith("/" + kReplacedSettingsFileName);
        return relative.startsWith("/Resources/") || relative.startsWith("/root/usr/bin/") ||
               path.contains("/Library/Logs/") || quillets ||
               path.contains("/var/fake-mac/osascript") || relative.contains("/tmp/");
    });
}

int SignaturesHolding(const FakeMac& mac, ClientKind kind, const QString& text) {
    const auto client = MakeFakeMacClient(mac, kind);
    int count = 0;
    for (const FakeClientSignature& signature :
         client ? client->read().signatures : std::vector<FakeClientSignature>())
        count += signature.body.contains(text.toUtf8());
    return count;
}

}  // namespace quillet
