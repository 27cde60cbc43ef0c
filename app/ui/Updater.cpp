#include "app/ui/Updater.h"

#include "app/ui/LinkAlert.h"
#include "common/Log.h"
#include "platform/Workspace.h"

namespace quillet {

ReleasePageUpdater::ReleasePageUpdater(Workspace& workspace, Prompter& prompter, QUrl releasePage)
    : _workspace(workspace), _prompter(prompter), _releasePage(std::move(releasePage)) {}

void ReleasePageUpdater::checkForUpdates() {
    if (_releasePage.isValid() && _workspace.openUrl(_releasePage))
        return;
    LogWarning("Check for updates: could not open the release page " + _releasePage.toString());
    AlertLinkNotOpened(_prompter, _releasePage);
}

}  // namespace quillet
