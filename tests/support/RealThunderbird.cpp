#include "tests/support/RealThunderbird.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTcpServer>
#include <csignal>

#include "platform/EventLoop.h"
#include "platform/ProcessTable.h"

namespace quillet {

const QString kProgram = "/usr/lib/thunderbird/thunderbird";

bool RealThunderbird::isInstalled() {
    return QFileInfo(kProgram).isExecutable();
}

RealThunderbird::RealThunderbird(QString home) : _home(std::move(home)) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME",
                             "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(name);
    environment.insert("HOME", _home);
    environment.insert("MOZ_HEADLESS", "1");
    _process.setProcessEnvironment(environment);
    _process.setStandardOutputFile(QProcess::nullDevice());
    _process.setStandardErrorFile(QProcess::nullDevice());
}

RealThunderbird::~RealThunderbird() {
    for (const qint64 pid : {_process.processId(), _marionette.processId()}) {
        if (pid > 0 && ProcessIsAlive(pid)) {
            ::kill(static_cast<pid_t>(pid), SIGTERM);
            waitForExit(pid, 20000);
        }
    }
}

bool RealThunderbird::createProfiles() {
    _process.start(kProgram, {"--headless"});
    const auto ended = [&] { return _process.state() == QProcess::NotRunning; };
    if (!RunEventLoopUntil(
            [&] { return ended() || QFileInfo::exists(installProfile() + "/compatibility.ini"); },
            60) ||
        ended())
        return fail("Thunderbird made no profile");
    _process.terminate();
    return _process.waitForFinished(30000) || fail("Thunderbird did not end");
}

QString RealThunderbird::installProfile() const {
    const QString folder = _home + "/.thunderbird";
    QSettings installs(folder + "/installs.ini", QSettings::IniFormat);
    const QStringList groups = installs.childGroups();
    if (groups.isEmpty())
        return {};
    const QString profile = installs.value(groups.first() + "/Default").toString();
    return profile.isEmpty() ? QString() : folder + "/" + profile;
}

bool RealThunderbird::start() {
    if (_port == 0) {
        QTcpServer server;  // a port free now, for Thunderbird to listen on
        server.listen(QHostAddress::LocalHost, 0);
        _port = server.serverPort();
    }
    QFile userJs(installProfile() + "/user.js");
    if (!userJs.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail("could not write user.js");
    userJs.write("user_pref(\"marionette.port\", " + QByteArray::number(_port) + ");\n");
    userJs.close();
    _process.waitForFinished(30000);  // one closed by someone else may not have been reaped yet
    _process.start(kProgram, {"--headless", "--marionette", "-remote-allow-system-access"});
    return _process.waitForStarted() ? attach() : fail("Thunderbird did not start");
}

bool RealThunderbird::attach() {
    return _marionette.connect(_port, 60000) || fail(_marionette.lastError());
}

bool RealThunderbird::quit() {
    const qint64 pid = _marionette.processId();
    _marionette.quit();
    if (_process.state() != QProcess::NotRunning && _process.processId() == pid)
        return _process.waitForFinished(30000);
    return waitForExit(pid, 30000);
}

bool RealThunderbird::waitForExit(qint64 pid, int timeoutMs) {
    return RunEventLoopUntil([pid] { return !ProcessIsAlive(pid); }, timeoutMs / 1000.0);
}

}  // namespace quillet
