#include "app/ui/LoginItem.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include "common/Log.h"
#include "platform/AtomicFile.h"

namespace quillet {

XdgAutostartLoginItem::XdgAutostartLoginItem(QString home, QString desktopFileName, QString appName,
                                             QString program)
    : _home(std::move(home)),
      _desktopFileName(std::move(desktopFileName)),
      _appName(std::move(appName)),
      _program(std::move(program)) {}

QString XdgAutostartLoginItem::entryPath() const {
    return _home + "/.config/autostart/" + _desktopFileName + ".desktop";
}

bool XdgAutostartLoginItem::enable() {
    const QString path = entryPath();
    // Exec takes a quoted program path: a path with blanks stays one argument.
    QString quoted = _program;
    quoted.replace("\\", "\\\\").replace("\"", "\\\"");
    const QString entry = "[Desktop Entry]\nType=Application\nName=" + _appName + "\nExec=\"" +
                          quoted + "\"\nX-GNOME-Autostart-enabled=true\n";
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) ||
        WriteFileAtomicallyOrFail(path, entry.toUtf8())) {
        LogError("Could not enable helper app");
        return false;
    }
    LogInfo("Helper app enabled");
    return true;
}

void StopCommandKeepingSignaturesCurrent() {
    QProcess systemctl;
    systemctl.setProgram("systemctl");
    systemctl.setArguments({"--user", "--no-block", "stop", "quillet.service"});
    systemctl.setStandardOutputFile(QProcess::nullDevice());
    systemctl.setStandardErrorFile(QProcess::nullDevice());
    systemctl.startDetached();
}

}  // namespace quillet
