#pragma once
// The processes of this user as the process table (/proc) shows them: what each runs, with
// which arguments, environment and working folder, so that one can be started again the same way.

#include <QString>
#include <QStringList>
#include <vector>

namespace quillet {

struct ProcessEntry {
    qint64 pid = 0;
    qint64 parentPid = 0;
    QString executable;       // the program file; empty when it cannot be read
    QStringList arguments;    // argv, argv[0] included
    QStringList environment;  // "NAME=value" as the process was started
    QString workingFolder;
};

// The live processes (no zombies) of the calling user whose program can be read. Entries that
// vanish while being read are left out.
std::vector<ProcessEntry> ReadProcessTable();

// The process runs: it exists and is not a zombie waiting for its parent to collect it.
bool ProcessIsAlive(qint64 pid);

// The value of NAME in an environment list; empty when unset.
QString EnvironmentValue(const QStringList& environment, const QString& name);

}  // namespace quillet
