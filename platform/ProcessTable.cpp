#include "platform/ProcessTable.h"

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace quillet {

namespace {

QByteArray ReadWhole(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// NUL-separated strings, as in /proc/PID/cmdline and /proc/PID/environ.
QStringList SplitAtNul(QByteArray data) {
    QStringList parts;
    if (data.isEmpty())
        return parts;
    if (data.endsWith('\0'))
        data.chop(1);
    for (const QByteArray& part : data.split('\0'))
        parts.append(QString::fromLocal8Bit(part));
    return parts;
}

// The fields after the command name, which may itself hold ")": state, then the parent's pid.
QList<QByteArray> StatFieldsAfterName(const QByteArray& stat) {
    const qsizetype close = stat.lastIndexOf(')');
    return close < 0 ? QList<QByteArray>() : stat.mid(close + 2).split(' ');
}

qint64 ParentPid(const QByteArray& stat) {
    const QList<QByteArray> fields = StatFieldsAfterName(stat);
    return fields.size() > 1 ? fields[1].toLongLong() : 0;
}

}  // namespace

std::vector<ProcessEntry> ReadProcessTable() {
    std::vector<ProcessEntry> entries;
    const uint user = getuid();
    const QDir proc("/proc");
    for (const QString& name : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isNumber = false;
        const qint64 pid = name.toLongLong(&isNumber);
        if (!isNumber)
            continue;
        const QString folder = "/proc/" + name;
        const QFileInfo info(folder);
        if (info.ownerId() != user || !ProcessIsAlive(pid))
            continue;
        ProcessEntry entry;
        entry.pid = pid;
        entry.parentPid = ParentPid(ReadWhole(folder + "/stat"));
        entry.executable = QFile::symLinkTarget(folder + "/exe");
        // A program replaced by an upgrade while it runs shows as "PATH (deleted)".
        if (entry.executable.endsWith(" (deleted)"))
            entry.executable.chop(10);
        if (entry.executable.isEmpty())
            continue;
        entry.arguments = SplitAtNul(ReadWhole(folder + "/cmdline"));
        entry.environment = SplitAtNul(ReadWhole(folder + "/environ"));
        entry.workingFolder = QFile::symLinkTarget(folder + "/cwd");
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool ProcessIsAlive(qint64 pid) {
    const QList<QByteArray> fields =
        StatFieldsAfterName(ReadWhole("/proc/" + QString::number(pid) + "/stat"));
    return !fields.isEmpty() && fields[0] != "Z";
}

QString EnvironmentValue(const QStringList& environment, const QString& name) {
    const QString prefix = name + "=";
    for (const QString& variable : environment) {
        if (variable.startsWith(prefix))
            return variable.mid(prefix.size());
    }
    return {};
}

}  // namespace quillet
