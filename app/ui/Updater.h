#pragma once
// Software updates: an updater framework where one is built in; otherwise "Check for Updates"
// opens the brand's release page, where the person downloads a newer build.

#include <QUrl>

namespace quillet {

class Prompter;
class Workspace;

class Updater {
public:
    virtual ~Updater() = default;
    virtual void checkForUpdates() = 0;
};

// Says so, with the page's address, when no browser could open it.
class ReleasePageUpdater : public Updater {
public:
    ReleasePageUpdater(Workspace& workspace, Prompter& prompter, QUrl releasePage);
    void checkForUpdates() override;

private:
    Workspace& _workspace;
    Prompter& _prompter;
    QUrl _releasePage;
};

}  // namespace quillet
