#include "app/ui/Updater.h"

#include "common/Log.h"
#include "platform/Workspace.h"

namespace quillet {

ReleasePageUpdater::ReleasePageUpdater(Workspace& workspace, QUrl releasePage)
    : _workspace(workspace), _releasePage(std::move(releasePage)) {}

void ReleasePageUpdater::checkForUpdates() {
    if (!_releasePage.isValid() || !_workspace.openUrl(_releasePage))
        LogWarning("Check for updates: could not open the release page " + _releasePage.toString());
}

}  // namespace quillet
