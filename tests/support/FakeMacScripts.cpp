#include "tests/support/FakeMacScripts.h"

#include <QFile>
#include <QStringList>

namespace quillet {

namespace {

QString ReadText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

QString ScriptFolder(const FakeMac& mac, const QString& name) {
    return mac.rootPath("/var/fake-mac/osascript/" + name);
}

}  // namespace

void SetFakeScriptHang(const FakeMac& mac, const QString& name, int seconds) {
    mac.writeFile("/var/fake-mac/osascript/" + name + "/sleep", QByteArray::number(seconds));
}

std::optional<qint64> FakeScriptProcessId(const FakeMac& mac, const QString& name) {
    bool isNumber = false;
    const qint64 pid = ReadText(ScriptFolder(mac, name) + "/pid").toLongLong(&isNumber);
    if (!isNumber)
        return std::nullopt;
    return pid;
}

QString FakeScriptLastPath(const FakeMac& mac, const QString& name) {
    QString path;
    const QString log = ReadText(mac.rootPath("/var/fake-mac/osascript.log"));
    for (const QString& line : log.split('\n', Qt::SkipEmptyParts)) {
        if (line.section('\t', 0, 0) == name)
            path = line.section('\t', 1);
    }
    return path;
}

QString FakeScriptLastMode(const FakeMac& mac, const QString& name) {
    return ReadText(ScriptFolder(mac, name) + "/last-script-mode");
}

}  // namespace quillet
