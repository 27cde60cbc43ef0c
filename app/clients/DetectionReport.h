#pragma once
// What detection tells the log and the person: the "Available clients:" lines, the Outlook mode,
// and the notice that the new Outlook cannot be served.

#include <vector>

#include "app/clients/ClientInfo.h"
#include "app/clients/OutlookMode.h"
#include "common/Brand.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "platform/Workspace.h"

namespace quillet {

// Logs "Available clients:" with one line per detected kind (a Linux desktop has no Outlook).
void LogAvailableClients(const ClientInfoMap& map, const std::vector<ClientKind>& kinds);

// Logs "Available clients:" with one line per detected kind, the "Outlook mode: " line when
// ROOT/Applications/Microsoft Outlook.app exists, and the new-Outlook line when it applies.
void LogDetectedClients(const ClientInfoMap& map, const std::vector<ClientKind>& kinds,
                        const Paths& paths, const OutlookModeProbe& probe, const Brand& brand);

// The new-Outlook notice; its first button opens the brand's new-Outlook address.
void ShowNewOutlookNotice(Prompter& prompter, Workspace& workspace, const Brand& brand);

}  // namespace quillet
