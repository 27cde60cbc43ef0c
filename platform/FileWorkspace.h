#pragma once
// The workspace of a machine without the platform's one (this Linux build): the running
// applications are the lines of ROOT/var/run/workspace/running, and every terminate, launch and
// URL opening is appended to ROOT/var/run/workspace/log.

#include "platform/Paths.h"
#include "platform/Workspace.h"

namespace quillet {

class FileWorkspace : public Workspace {
public:
    explicit FileWorkspace(const Paths& paths);

    QStringList runningBundleIdentifiers() const override;
    bool forceTerminate(const QString& bundleIdentifier) override;
    bool launch(const QString& bundlePath) override;
    bool openUrl(const QUrl& url) override;

    QString runningFilePath() const;
    QString logFilePath() const;

private:
    bool writeRunning(const QStringList& identifiers);
    bool appendLog(const QString& line);

    QString _folder;
};

}  // namespace quillet
