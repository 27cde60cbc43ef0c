#pragma once
// The application's way of showing missing permissions: the assistant, modally. Only one is on
// screen at a time: a validate that comes while one is shown (a refresh after the person returns
// from System Settings, inside the sync pass that showed it) gets no second window and goes on.

#include <QString>

#include "app/permissions/PermissionsPresenter.h"

namespace quillet {

class MainQueue;
class Workspace;

class PermissionsAssistantPresenter : public PermissionsPresenter {
public:
    PermissionsAssistantPresenter(Workspace& workspace, MainQueue& mainQueue, QString appPath);

    void present(const PermissionContext& context,
                 const std::vector<AccessibilityRequirementType>& missing) override;
    bool isShowing() const { return _showing; }

private:
    Workspace& _workspace;
    MainQueue& _mainQueue;
    QString _appPath;
    bool _showing = false;
};

}  // namespace quillet
