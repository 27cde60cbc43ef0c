#pragma once
// Which macOS privacy permissions a client needs for a kind of work, how each is probed, and
// telling the person which are missing. The checks are advisory: the work that asked goes ahead
// either way. No probe fails its caller; a probe that cannot tell answers false.

#include <QString>
#include <optional>
#include <set>
#include <vector>

#include "app/base/AppleScript.h"
#include "app/permissions/PermissionsPresenter.h"
#include "common/ClientKind.h"
#include "platform/Accessibility.h"
#include "platform/Prompter.h"

namespace quillet {

// Declared in the order of its raw values; sorting and equality go through the sort rank,
// which puts `accessibility` first.
enum class AccessibilityRequirementType {
    fullDiskAccess,
    automationAppleMail,
    automationOutlook,
    automationSystemEvents,
    accessibility,
};

int SortRank(AccessibilityRequirementType r);
QString RawValue(AccessibilityRequirementType r);  // the case name, "fullDiskAccess"
// Exactly the five raw values; any other text gives nothing.
std::optional<AccessibilityRequirementType> AccessibilityRequirementTypeFromRawValue(
    const QString& text);

bool operator<(AccessibilityRequirementType a, AccessibilityRequirementType b);
bool operator==(AccessibilityRequirementType a, AccessibilityRequirementType b);

// The title and explanation that the person sees for a missing requirement.
QString RequirementTitle(AccessibilityRequirementType r);
QString RequirementDescription(AccessibilityRequirementType r, const QString& appName);

// What the checks look at: the engine's detected clients (in client order) and the one thing
// they need to know of them, the runner for the check scripts, the trust test, and where the
// missing permissions are shown.
struct PermissionContext {
    const std::vector<ClientKind>& clientKinds;
    std::optional<QString> appleMailDataPathQ;  // the detected Apple Mail's MailData folder
    const AppleScriptRunner& runner;
    const Accessibility& accessibility;
    Prompter& prompter;
    QString appName = "Quillet";                // the brand's application name, shown in the alert
    PermissionsPresenter* presenter = nullptr;  // the assistant; null: one alert instead
};

class AccessibilityHelper {
public:
    enum class ValidationKind { accountDiscovery, signatureSync };

    // The fixed, ordered list of what the client needs for the kind of work.
    static std::vector<AccessibilityRequirementType> requirements(ValidationKind kind,
                                                                  ClientKind client);
    // "Mail", "Microsoft Outlook", "System Events"; empty for the two others.
    static QString automationTargetName(AccessibilityRequirementType r);

    // Reading Apple Mail's VIPMailboxes.plist is possible only with Full Disk Access; false
    // without a detected Apple Mail data folder.
    static bool hasFullDiskAccess(const PermissionContext& c);
    // Runs the requirement's check script; true for the two requirements without one.
    static bool checkAutomation(const PermissionContext& c, AccessibilityRequirementType r);
    // The trust test without the system's prompt; logged.
    static bool hasAssistive(const PermissionContext& c);
    static bool isGranted(const PermissionContext& c, AccessibilityRequirementType r);
    // What the client still needs for discovering its accounts and for writing its signatures,
    // in sort order; each requirement is probed once.
    static std::vector<AccessibilityRequirementType> missingRequirements(const PermissionContext& c,
                                                                         ClientKind client);
    // Probes the client's requirements in order and stops at the first one missing.
    static bool isSatisfied(const PermissionContext& c, ValidationKind kind, ClientKind client);
    // Finds what the detected clients of the set are missing and shows it, in sort order, through
    // the context's presenter (else in one alert); returns when that is closed, or at once when
    // nothing is missing.
    static void validate(const PermissionContext& c, ValidationKind kind,
                         const std::set<ClientKind>& clients);
};

}  // namespace quillet
