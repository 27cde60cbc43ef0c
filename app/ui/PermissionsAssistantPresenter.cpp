#include "app/ui/PermissionsAssistantPresenter.h"

#include <QCoreApplication>

#include "app/ui/PermissionsAssistant.h"
#include "common/Log.h"

namespace quillet {

PermissionsAssistantPresenter::PermissionsAssistantPresenter(Workspace& workspace,
                                                             MainQueue& mainQueue, QString appPath)
    : _workspace(workspace), _mainQueue(mainQueue), _appPath(std::move(appPath)) {}

void PermissionsAssistantPresenter::present(
    const PermissionContext& context, const std::vector<AccessibilityRequirementType>& missing) {
    if (_showing) {
        LogInfo("PermissionsAssistant: already shown; not showing a second one");
        return;
    }
    _showing = true;
    {
        PermissionsAssistant assistant(context, missing, _workspace, _mainQueue, _appPath);
        assistant.runModal();
    }
    _showing = false;
    // What queued up during the modal session is handled before validate's caller goes on.
    QCoreApplication::processEvents();
}

}  // namespace quillet
