#pragma once
// Which email clients are installed: each client's bundle in its fixed folders, its versions from
// the bundle's Info.plist, and what its later steps need (Apple Mail's data folder, the Outlook
// version class, the Mozilla profile). A client that is missing or cannot be completed is simply
// not in the map; nothing here is an error to the caller.

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "app/clients/ClientInfo.h"
#include "app/clients/DetectionReport.h"
#include "app/clients/OutlookMode.h"
#include "common/ClientKind.h"
#include "platform/Paths.h"
#include "platform/Plist.h"

namespace quillet {

// "Mail.app", "Microsoft Outlook.app", ...
QString ApplicationBundleName(ClientKind kind);
// The folders searched for the bundle, in order, as absolute system paths ("/Applications").
QStringList ApplicationFolders(ClientKind kind);

// The client's versions from its bundle's Info.plist; null when it is not a dictionary or lacks a
// version text (then it is not the client's bundle).
ClientInfoPtr ClientInfoFromInfoPlist(const QString& bundlePath, const Plist& info);

// Every client found and completed, keyed by kind.
ClientInfoMap FindInstalledClients(const Paths& paths, const OutlookModeProbe& outlookMode);

// Fills the kind's optional field of a fresh info; false when the client cannot be offered.
bool CompleteClientInfo(ClientKind kind, ClientInfo& info, const Paths& paths,
                        const OutlookModeProbe& outlookMode);

// The first ".default" profile in the first candidate profiles folder that exists; later
// candidates are never looked at. Logs why when there is none.
std::optional<QString> FindMozillaProfilePath(ClientKind kind, const QStringList& candidateFolders);

// The kinds present in the map, in client order.
std::vector<ClientKind> AvailableClientKinds(const ClientInfoMap& map);

// Negative, zero or positive as a is below, equal to or above b; runs of digits compare as
// numbers ("16.9" < "16.41"), everything else character by character.
int CompareVersions(const QString& a, const QString& b);

// The version class of an Outlook by its short version string.
OutlookVersionKind OutlookVersionKindFor(const QString& shortVersion);

// "Thunderbird 128.5.0 (12824.11.27)"; the build only when set and different from the version.
QString ClientDescription(ClientKind kind, const ClientInfo& info);

// The new (or an undeterminable) Outlook is in use and no Outlook was offered.
bool IsNewOutlookDetected(const OutlookModeProbe& probe, const ClientInfoMap& map);

}  // namespace quillet
