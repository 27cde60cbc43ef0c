#include "tests/support/SampleMacCommand.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include "tests/support/FakeMacMozilla.h"

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
    : build{QUILLET_QUILLET_PATH, {}}, sample(BuildSampleMac(mac)) {
    startService();
}

SampleMacCommand::SampleMacCommand(const SampleMacOriginal& original)
    : build(original.build),
      mac(original.mac, original.folder.path()),
      sample(MovedSampleMac(original.sample, original.mac.folder(), mac.folder())) {
    startService();
}

void SampleMacCommand::startService() {
    service = std::make_unique<SignatureService>(SignatureServiceOptions{
        serviceFolder.path().toStdString(), "127.0.0.1", 0, [](const std::string&) {}});
    EXPECT_TRUE(service->start()) << service->error();
}

void SampleMacCommand::setSignature(const QString& key, const QString& html) const {
    QFile file(serviceFolder.path() + "/" + key + ".html");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(html.toUtf8());
}

SampleMacCommand::CommandRun SampleMacCommand::quillet(const QStringList& arguments) const {
    return finish(*start(arguments));
}

std::unique_ptr<QProcess> SampleMacCommand::start(const QStringList& arguments) const {
    auto process = std::make_unique<QProcess>();
    const QStringList all = {
        "--root",   mac.root(),       "--home",    mac.home(),
        "--bundle", mac.bundlePath(), "--service", QString::fromStdString(service->baseUrl())};
    process->start(build.quillet, all + platformOptions + arguments);
    process->closeWriteChannel();
    return process;
}

SampleMacCommand::CommandRun SampleMacCommand::finish(QProcess& process) {
    EXPECT_TRUE(process.waitForFinished(120000));
    // A command killed by a signal (an abort, say) has no exit status: -1.
    return {process.exitStatus() == QProcess::CrashExit ? -1 : process.exitCode(),
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

nlohmann::json SampleMacCommand::json(const QStringList& arguments) const {
    return nlohmann::json::parse(quillet(QStringList{"--json"} + arguments).out.toStdString(),
                                 nullptr, false);
}

std::map<QString, QByteArray> SampleMacCommand::machineFiles() const {
    std::map<QString, QByteArray> files;
    QDirIterator it(mac.folder(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = path.mid(mac.folder().size());
        // The programs and resources, which nothing writes, aside.
        if (relative.startsWith("/Resources/") || relative.startsWith("/root/usr/bin/") ||
            path.contains("/Library/Logs/") || path.contains("/Application Support/Quillet") ||
            path.contains("/var/fake-mac/osascript") || relative.contains("/tmp/"))
            continue;
        files[path] = ReadFakeFile(path).value_or("(unreadable)");
    }
    return files;
}

QByteArray SampleMacCommand::appleMailFile(const nlohmann::json& signature) const {
    return ReadFakeFile(sample.appleMailSignaturesFolder + "/" +
                        QString::fromStdString(signature["uuid"]) + ".mailsignature")
        .value_or("(none)");
}

}  // namespace quillet
