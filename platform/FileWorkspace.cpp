#include "platform/FileWorkspace.h"

#include <QDir>
#include <QFile>

#include "platform/AtomicFile.h"
#include "platform/Plist.h"

namespace quillet {

FileWorkspace::FileWorkspace(const Paths& paths) : _folder(paths.system("/var/run/workspace")) {}

QString FileWorkspace::runningFilePath() const {
    return _folder + "/running";
}
QString FileWorkspace::logFilePath() const {
    return _folder + "/log";
}

QStringList FileWorkspace::runningBundleIdentifiers() const {
    QFile file(runningFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList identifiers;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
        const QString identifier = line.trimmed();
        if (!identifier.isEmpty())
            identifiers.append(identifier);
    }
    return identifiers;
}

bool FileWorkspace::forceTerminate(const QString& bundleIdentifier) {
    QStringList running = runningBundleIdentifiers();
    running.removeAll(bundleIdentifier);
    appendLog("terminate " + bundleIdentifier);
    return writeRunning(running);
}

bool FileWorkspace::launch(const QString& bundlePath) {
    appendLog("launch " + bundlePath);
    const auto info = ReadPlistFile(bundlePath + "/Contents/Info.plist");
    const QString identifier =
        info ? info->dictionaryString("CFBundleIdentifier").value_or(QString()) : QString();
    if (identifier.isEmpty())
        return false;
    QStringList running = runningBundleIdentifiers();
    running.append(identifier);
    return writeRunning(running);
}

bool FileWorkspace::openUrl(const QUrl& url) {
    return appendLog("open " + url.toString());
}

bool FileWorkspace::writeRunning(const QStringList& identifiers) {
    QString text;
    for (const QString& identifier : identifiers)
        text += identifier + '\n';
    return !WriteFileAtomicallyOrFail(runningFilePath(), text.toUtf8());
}

bool FileWorkspace::appendLog(const QString& line) {
    QDir().mkpath(_folder);
    QFile file(logFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    return file.write((line + '\n').toUtf8()) >= 0;
}

}  // namespace quillet
