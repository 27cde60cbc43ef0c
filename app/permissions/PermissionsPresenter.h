#pragma once
// Where `validate` shows the permissions it found missing. The application puts its assistant
// window behind this; without one (the command line) the missing permissions are listed in one
// alert of the context's prompter.

#include <vector>

namespace quillet {

enum class AccessibilityRequirementType;
struct PermissionContext;

class PermissionsPresenter {
public:
    virtual ~PermissionsPresenter() = default;
    // Shows the missing requirements (in sort order) and returns when the person has closed
    // them. The context is the one validate probed with; it lives until this returns.
    virtual void present(const PermissionContext& context,
                         const std::vector<AccessibilityRequirementType>& missing) = 0;
};

}  // namespace quillet
