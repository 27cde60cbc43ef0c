#include "app/clients/DetectionReport.h"

#include <QFileInfo>

#include "app/clients/Detection.h"
#include "common/Localization.h"
#include "common/Log.h"

namespace quillet {

void LogAvailableClients(const ClientInfoMap& map, const std::vector<ClientKind>& kinds) {
    LogInfo("Available clients:");
    for (ClientKind kind : kinds) {
        const auto entry = map.find(kind);
        if (entry == map.end() || !entry->second)
            continue;
        LogInfo("    " + ClientDescription(kind, *entry->second) + " at " + entry->second->path);
    }
}

void LogDetectedClients(const ClientInfoMap& map, const std::vector<ClientKind>& kinds,
                        const Paths& paths, const OutlookModeProbe& probe, const Brand& brand) {
    LogAvailableClients(map, kinds);
    if (QFileInfo::exists(paths.system("/Applications/Microsoft Outlook.app"))) {
        const OutlookModeResult& mode = probe.get();
        LogInfo("Outlook mode: " + OutlookModeName(mode.mode) + " (" + mode.probeText + ")");
    }
    if (IsNewOutlookDetected(probe, map)) {
        LogInfo("New Outlook detected: not offered as a client; users are directed to " +
                brand.newOutlookURL().toString());
    }
}

void ShowNewOutlookNotice(Prompter& prompter, Workspace& workspace, const Brand& brand) {
    Alert alert;
    alert.style = AlertStyle::informational;
    alert.title = Localized("New Outlook isn't supported by this app");
    alert.informativeText = brand.newOutlookMessage();
    alert.buttons = {brand.newOutlookButton(), Localized("Close")};
    if (prompter.ask(alert).buttonIndex == 0)
        workspace.openUrl(brand.newOutlookURL());
}

}  // namespace quillet
