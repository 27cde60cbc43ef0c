#include "tests/support/ui/AppProcess.h"

#include <QDir>
#include <QProcessEnvironment>

#include "platform/EventLoop.h"

namespace quillet {

AppProcess::AppProcess(const QString& home, const QString& runtimeFolder)
    : _process(std::make_unique<QProcess>()) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home);
    environment.remove("QUILLET_HOME");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QUILLET_SERVICE_URL", "http://127.0.0.1:9");
    if (runtimeFolder.isEmpty())
        environment.remove("XDG_RUNTIME_DIR");
    else
        environment.insert("XDG_RUNTIME_DIR", runtimeFolder);
    _process->setProcessEnvironment(environment);
    _process->setProgram(QUILLET_APP_PATH);
    _process->setProcessChannelMode(QProcess::SeparateChannels);
}

AppProcess::~AppProcess() {
    if (isRunning()) {
        _process->terminate();
        if (!_process->waitForFinished(10000))
            _process->kill();
        _process->waitForFinished(10000);
    }
}

void AppProcess::start() {
    _process->start();
    _process->waitForStarted();
}

bool AppProcess::waitForEnd(double seconds) {
    return RunEventLoopUntil([this] { return !isRunning(); }, seconds);
}

bool AppProcess::isRunning() const {
    return _process->state() != QProcess::NotRunning;
}

QString AppProcess::output() const {
    return QString::fromUtf8(_process->readAllStandardError());
}

bool AppProcess::EngineStarted(const QString& home) {
    const QDir logs(home + "/Library/Logs");
    for (const QString& folder : logs.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (QFileInfo::exists(logs.filePath(folder + "/Quillet.log")))
            return true;
    }
    return false;
}

}  // namespace quillet
