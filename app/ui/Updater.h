#pragma once
// Software updates: an updater framework where one is built in; otherwise "Check for Updates"
// opens the brand's release page, where the person downloads a newer build.

#include <QUrl>

namespace quillet {

class Workspace;

class Updater {
public:
    virtual ~Updater() = default;
    virtual void checkForUpdates() = 0;
};

class ReleasePageUpdater : public Updater {
public:
    ReleasePageUpdater(Workspace& workspace, QUrl releasePage);
    void checkForUpdates() override;

private:
    Workspace& _workspace;
    QUrl _releasePage;
};

}  // namespace quillet
