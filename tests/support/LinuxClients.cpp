#include "tests/support/LinuxClients.h"

#include <gtest/gtest.h>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app/clients/linux/GLibKeyFile.h"
#include "tests/support/DataTable.h"

// The tools that reach Evolution and KMail through their own libraries, when they were built.
#ifndef QUILLET_EVOLUTION_SOURCES_TOOL
#define QUILLET_EVOLUTION_SOURCES_TOOL ""
#define QUILLET_KMAIL_IDENTITIES_TOOL ""
#endif

namespace quillet {

namespace {

// Reports the failure to the running test.
bool Failed(const QString& why) {
    ADD_FAILURE() << why.toStdString();
    return false;
}

bool WriteFile(const QString& path, const QByteArray& contents) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

}  // namespace

bool InstallLinuxClientPackage(const QString& systemRoot, ClientKind kind) {
    const char* version = kind == ClientKind::evolution ? "3.46.4"
                          : kind == ClientKind::kmail   ? "5.22.3"
                                                        : "43.0";
    const QString program = LinuxClientProgram(systemRoot, kind);
    return WriteFile(program, "#!/bin/sh\n") &&
           QFile::setPermissions(
               program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther) &&
           WriteFile(systemRoot + "/usr/share/metainfo/" + BundleIdentifier(kind) + ".metainfo.xml",
                     ReadDataText("linux-clients/metainfo.xml")
                         .replace("{{id}}", BundleIdentifier(kind))
                         .replace("{{version}}", version)
                         .toUtf8());
}

QString LinuxClientProgram(const QString& systemRoot, ClientKind kind) {
    return systemRoot + "/usr/bin/" + StoredText(kind).toLower();
}

ReadBacks ReadGearySignatures(const QString& gearyFolder) {
    ReadBacks readBacks;
    const QDir folder(gearyFolder);
    for (const QString& name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile ini(folder.filePath(name + "/geary.ini"));
        const auto file =
            ini.open(QIODevice::ReadOnly) ? GLibKeyFile::parse(ini.readAll()) : std::nullopt;
        if (!file)
            continue;
        const QString mailbox =
            file->stringList("Account", "sender_mailboxes").value_or(QStringList()).value(0);
        const QString text = file->string("Account", "signature").value_or(QString());
        readBacks[mailbox.section('<', 1).section('>', 0, 0)] = {
            text, file->boolean("Account", "use_signature").value_or(false), text.contains('<'),
            name};
    }
    return readBacks;
}

bool WriteGearyAccount(const QString& gearyFolder, const QString& account, const QString& email,
                       const std::optional<QString>& signature) {
    auto file = GLibKeyFile::parse(ReadDataText("clients/linux/geary.ini").toUtf8());
    file->setString("Account", "sender_mailboxes", "Tim Example <" + email + ">;");
    file->setString("Account", "signature", signature.value_or(QString()));
    file->setRawValue("Account", "use_signature", signature ? "true" : "false");
    return WriteFile(gearyFolder + "/" + account + "/geary.ini", file->contents());
}

QString LinuxClientsHome::unavailableReason() {
    if (!QFileInfo::exists("/usr/libexec/evolution-source-registry"))
        return "Evolution's source registry is not installed";
    if (QString(QUILLET_EVOLUTION_SOURCES_TOOL).isEmpty())
        return "the clients' libraries were not found when this build was configured";
    QProcess probe;
    probe.start("unshare", {"--net", "dbus-run-session", "--", "true"});
    if (!probe.waitForFinished(30000) || probe.exitStatus() != QProcess::NormalExit ||
        probe.exitCode() != 0)
        return "no session bus in a network namespace here (unshare --net dbus-run-session; "
               "tools/install-deps.sh installs them)";
    return {};
}

LinuxClientsHome::~LinuxClientsHome() {
    _bus.closeWriteChannel();  // the shell's cat ends, and dbus-run-session ends the bus
    if (_bus.state() != QProcess::NotRunning && !_bus.waitForFinished(30000))
        _bus.kill(), _bus.waitForFinished(5000);
}

QProcessEnvironment LinuxClientsHome::environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, folder] : {std::pair{"HOME", ""},
                                       {"XDG_CONFIG_HOME", "/.config"},
                                       {"XDG_DATA_HOME", "/.local/share"},
                                       {"XDG_CACHE_HOME", "/.cache"},
                                       {"XDG_RUNTIME_DIR", "/.runtime"}})
        environment.insert(name, _home + folder);
    environment.insert("GSETTINGS_BACKEND", "memory");
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("DBUS_SESSION_BUS_ADDRESS", _busAddress);
    return environment;
}

bool LinuxClientsHome::start() {
    const QString folder = _home + "/.bus";
    QDir().mkpath(_home + "/.runtime");
    QFile::setPermissions(_home + "/.runtime",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!InstallLinuxClientPackage(systemRoot(), ClientKind::evolution) ||
        !InstallLinuxClientPackage(systemRoot(), ClientKind::kmail) ||
        !InstallLinuxClientPackage(systemRoot(), ClientKind::geary) ||
        !WriteFile(folder + "/session.conf",
                   ReadDataText("clients/linux/session.conf").replace("FOLDER", folder).toUtf8()))
        return Failed("cannot write below " + _home);
    _bus.setProcessEnvironment(environment());
    _bus.start("unshare",
               {"--net", "--", "dbus-run-session", "--config-file=" + folder + "/session.conf",
                "--", "sh", "-c", "echo \"$DBUS_SESSION_BUS_ADDRESS\"; exec cat >/dev/null"});
    const QDeadlineTimer deadline(60000);
    while (!_bus.canReadLine() && _bus.state() != QProcess::NotRunning && !deadline.hasExpired())
        _bus.waitForReadyRead(1000);
    _busAddress = QString::fromUtf8(_bus.readLine()).trimmed();
    return !_busAddress.isEmpty() ||
           Failed("the bus did not start: " + QString::fromUtf8(_bus.readAllStandardError()));
}

std::optional<QString> LinuxClientsHome::runTool(ClientKind kind, const QStringList& arguments) {
    const QString program =
        kind == ClientKind::kmail ? QUILLET_KMAIL_IDENTITIES_TOOL : QUILLET_EVOLUTION_SOURCES_TOOL;
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(program, arguments);
    process.closeWriteChannel();
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
        process.exitCode() == 0)
        return QString::fromUtf8(process.readAllStandardOutput());
    Failed(QFileInfo(program).fileName() + " " + arguments.join(' ') +
           " failed: " + QString::fromUtf8(process.readAllStandardError()));
    return std::nullopt;
}

bool LinuxClientsHome::addIdentity(ClientKind kind, const QString& email,
                                   const std::optional<QString>& signature) {
    if (kind == ClientKind::geary) {
        const QString folder = settingsFolder(kind);
        const int accounts = int(QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
        return WriteGearyAccount(folder, QString("account_%1").arg(accounts + 1, 2, 10, QChar('0')),
                                 email, signature);
    }
    return runTool(kind, QStringList{"add", email, email.section('@', 0, 0)} +
                             (signature ? QStringList{*signature} : QStringList()))
        .has_value();
}

ReadBacks LinuxClientsHome::signatures(ClientKind kind) {
    if (kind == ClientKind::geary)
        return ReadGearySignatures(settingsFolder(kind));
    ReadBacks readBacks;
    for (const QString& line :
         runTool(kind, {"read"}).value_or("").split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split('\t');
        if (fields.size() >= 5 && !fields[0].isEmpty())
            readBacks[fields[0]] = {QString::fromUtf8(QByteArray::fromBase64(fields[4].toLatin1())),
                                    fields[2] == "enabled", fields[3] == "html", fields[1]};
    }
    return readBacks;
}

QString LinuxClientsHome::settingsFolder(ClientKind kind) const {
    return _home + (kind == ClientKind::evolution ? "/.config/evolution"
                    : kind == ClientKind::kmail   ? "/.config"
                                                  : "/.config/geary");
}

}  // namespace quillet
