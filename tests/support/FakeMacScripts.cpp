#include "tests/support/FakeMacScripts.h"

#include <QStringList>

#include "app/demo/FakeMacMozilla.h"

namespace quillet {

namespace {

// What the stand-in noted about the script; empty when it noted nothing.
QString ScriptNote(const FakeMac& mac, const QString& file) {
    return QString::fromUtf8(ReadFakeFile(mac.rootPath("/var/fake-mac/" + file)).value_or(""))
        .trimmed();
}

}  // namespace

void SetFakeScriptHang(const FakeMac& mac, const QString& name, int seconds) {
    mac.writeFile("/var/fake-mac/osascript/" + name + "/sleep", QByteArray::number(seconds));
}

std::optional<qint64> FakeScriptProcessId(const FakeMac& mac, const QString& name) {
    bool isNumber = false;
    const qint64 pid = ScriptNote(mac, "osascript/" + name + "/pid").toLongLong(&isNumber);
    return isNumber ? std::optional(pid) : std::nullopt;
}

QString FakeScriptLastPath(const FakeMac& mac, const QString& name) {
    QString path;
    for (const QString& line : ScriptNote(mac, "osascript.log").split('\n', Qt::SkipEmptyParts)) {
        if (line.section('\t', 0, 0) == name)
            path = line.section('\t', 1);
    }
    return path;
}

QString FakeScriptLastMode(const FakeMac& mac, const QString& name) {
    return ScriptNote(mac, "osascript/" + name + "/last-script-mode");
}

}  // namespace quillet
