#include "app/permissions/AccessibilityHelper.h"

#include <QFileInfo>
#include <algorithm>

#include "common/Localization.h"
#include "common/Log.h"

namespace quillet {

namespace {

using Requirement = AccessibilityRequirementType;

constexpr Requirement kAllRequirements[] = {
    Requirement::fullDiskAccess, Requirement::automationAppleMail, Requirement::automationOutlook,
    Requirement::automationSystemEvents, Requirement::accessibility};

QString CheckScriptName(Requirement r) {
    switch (r) {
        case Requirement::automationAppleMail:
            return "Accessibility-CheckAutomationAppleMail";
        case Requirement::automationOutlook:
            return "Accessibility-CheckAutomationOutlook";
        case Requirement::automationSystemEvents:
            return "Accessibility-CheckAutomationSystemEvents";
        case Requirement::fullDiskAccess:
        case Requirement::accessibility:
            return {};
    }
    return {};
}

}  // namespace

int SortRank(Requirement r) {
    switch (r) {
        case Requirement::accessibility:
            return 0;
        case Requirement::fullDiskAccess:
            return 1;
        case Requirement::automationAppleMail:
            return 2;
        case Requirement::automationOutlook:
            return 3;
        case Requirement::automationSystemEvents:
            return 4;
    }
    return 5;
}

QString RawValue(Requirement r) {
    switch (r) {
        case Requirement::fullDiskAccess:
            return "fullDiskAccess";
        case Requirement::automationAppleMail:
            return "automationAppleMail";
        case Requirement::automationOutlook:
            return "automationOutlook";
        case Requirement::automationSystemEvents:
            return "automationSystemEvents";
        case Requirement::accessibility:
            return "accessibility";
    }
    return {};
}

std::optional<Requirement> AccessibilityRequirementTypeFromRawValue(const QString& text) {
    for (Requirement r : kAllRequirements) {
        if (RawValue(r) == text)
            return r;
    }
    return std::nullopt;
}

bool operator<(Requirement a, Requirement b) {
    return SortRank(a) < SortRank(b);
}
bool operator==(Requirement a, Requirement b) {
    return SortRank(a) == SortRank(b);
}

QString RequirementTitle(Requirement r) {
    switch (r) {
        case Requirement::fullDiskAccess:
            return Localized("Full Disk Access (for Apple Mail)");
        case Requirement::accessibility:
            return Localized("Accessibility (for Outlook)");
        case Requirement::automationAppleMail:
        case Requirement::automationOutlook:
        case Requirement::automationSystemEvents:
            return FillPlaceholders(Localized("Control %@"),
                                    {AccessibilityHelper::automationTargetName(r)});
    }
    return {};
}

QString RequirementDescription(Requirement r, const QString& appName) {
    switch (r) {
        case Requirement::fullDiskAccess:
            return FillPlaceholders(Localized("Lets %@ write your signature into Apple Mail."),
                                    {appName});
        case Requirement::accessibility:
            return FillPlaceholders(Localized("Lets %@ set your default signature in Outlook."),
                                    {appName});
        case Requirement::automationAppleMail:
        case Requirement::automationOutlook:
        case Requirement::automationSystemEvents:
            return FillPlaceholders(
                Localized("Click Allow, then choose OK when macOS asks whether %@ may control %@."),
                {appName, AccessibilityHelper::automationTargetName(r)});
    }
    return {};
}

std::vector<Requirement> AccessibilityHelper::requirements(ValidationKind kind, ClientKind client) {
    switch (client) {
        case ClientKind::appleMail:
            return {kind == ValidationKind::accountDiscovery ? Requirement::automationAppleMail
                                                             : Requirement::fullDiskAccess};
        case ClientKind::outlook:
            return {Requirement::automationSystemEvents, Requirement::automationOutlook,
                    Requirement::accessibility};
        case ClientKind::postbox:
        case ClientKind::spark:
        case ClientKind::thunderbird:
        case ClientKind::evolution:
        case ClientKind::kmail:
        case ClientKind::geary:
            return {};
    }
    return {};
}

QString AccessibilityHelper::automationTargetName(Requirement r) {
    switch (r) {
        case Requirement::automationAppleMail:
            return "Mail";
        case Requirement::automationOutlook:
            return "Microsoft Outlook";
        case Requirement::automationSystemEvents:
            return "System Events";
        case Requirement::fullDiskAccess:
        case Requirement::accessibility:
            return {};
    }
    return {};
}

bool AccessibilityHelper::hasFullDiskAccess(const PermissionContext& c) {
    if (!c.appleMailDataPathQ)
        return false;
    const QFileInfo vipMailboxes(*c.appleMailDataPathQ + "/VIPMailboxes.plist");
    return vipMailboxes.isFile() && vipMailboxes.isReadable();
}

bool AccessibilityHelper::checkAutomation(const PermissionContext& c, Requirement r) {
    const QString script = CheckScriptName(r);
    if (script.isEmpty())
        return true;
    // Any output counts, even none: the script only has to get its Apple event through.
    return c.runner.runAppleScript(script, {}, false).has_value();
}

bool AccessibilityHelper::hasAssistive(const PermissionContext& c) {
    const bool trusted = c.accessibility.isProcessTrusted();
    LogInfo(QString("AccessibilityHelper: hasAssistive(): ") + (trusted ? "true" : "false"));
    return trusted;
}

bool AccessibilityHelper::isGranted(const PermissionContext& c, Requirement r) {
    switch (r) {
        case Requirement::fullDiskAccess:
            return hasFullDiskAccess(c);
        case Requirement::accessibility:
            return hasAssistive(c);
        case Requirement::automationAppleMail:
        case Requirement::automationOutlook:
        case Requirement::automationSystemEvents:
            return checkAutomation(c, r);
    }
    return false;
}

std::vector<Requirement> AccessibilityHelper::missingRequirements(const PermissionContext& c,
                                                                  ClientKind client) {
    // Both kinds of work need most of the same permissions; a probe runs a script, so each is
    // asked once.
    std::vector<Requirement> needed;
    for (const auto kind : {ValidationKind::accountDiscovery, ValidationKind::signatureSync}) {
        for (const Requirement r : requirements(kind, client)) {
            if (std::find(needed.begin(), needed.end(), r) == needed.end())
                needed.push_back(r);
        }
    }
    std::vector<Requirement> missing;
    for (const Requirement r : needed) {
        if (!isGranted(c, r))
            missing.push_back(r);
    }
    std::sort(missing.begin(), missing.end());
    return missing;
}

bool AccessibilityHelper::isSatisfied(const PermissionContext& c, ValidationKind kind,
                                      ClientKind client) {
    for (Requirement r : requirements(kind, client)) {
        if (!isGranted(c, r))
            return false;
    }
    return true;
}

void AccessibilityHelper::validate(const PermissionContext& c, ValidationKind kind,
                                   const std::set<ClientKind>& clients) {
    std::vector<Requirement> needed;
    for (ClientKind client : c.clientKinds) {
        if (!clients.count(client) || isSatisfied(c, kind, client))
            continue;
        for (Requirement r : requirements(kind, client)) {
            if (std::find(needed.begin(), needed.end(), r) == needed.end())
                needed.push_back(r);
        }
    }
    if (needed.empty())
        return;
    std::sort(needed.begin(), needed.end());

    // Probed again: what the person granted while the first round ran gets no mention.
    std::vector<Requirement> missing;
    for (Requirement r : needed) {
        if (!isGranted(c, r))
            missing.push_back(r);
    }
    if (missing.empty())
        return;
    if (c.presenter) {
        c.presenter->present(c, missing);
        return;
    }

    QStringList paragraphs;
    for (Requirement r : missing) {
        paragraphs.append(RequirementTitle(r) + "\n" + RequirementDescription(r, c.appName));
    }
    Alert alert;
    alert.style = AlertStyle::warning;
    alert.title = FillPlaceholders(Localized("%@ needs your permission"), {c.appName});
    alert.informativeText = paragraphs.join("\n\n");
    alert.buttons = {Localized("OK")};
    c.prompter.ask(alert);
}

}  // namespace quillet
