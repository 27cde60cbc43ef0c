#pragma once
// The client syncs the pass can run, in the fixed order Apple Mail, Outlook, Postbox, Spark,
// Thunderbird, Evolution, KMail, Geary: for each, the call with its inputs and the translation of
// its error record into what the person is told.

#include <functional>
#include <optional>
#include <vector>

#include "app/clients/linux/EvolutionSync.h"
#include "app/clients/linux/GearySync.h"
#include "app/clients/linux/KMailSync.h"
#include "app/clients/sync/AppleMailSync.h"
#include "app/clients/sync/OutlookSync.h"
#include "app/clients/sync/PostboxSync.h"
#include "app/clients/sync/SparkSync.h"
#include "app/clients/sync/SyncPlan.h"
#include "app/clients/sync/ThunderbirdSync.h"
#include "app/core/SyncReport.h"

namespace quillet {

class AppleScriptRunner;
class Bundle;

struct ClientSync {
    ClientKind kind;
    std::function<ClientSyncReport(const SyncInputs&)> run;
};

// What some syncs need beyond their inputs: the script runner and the application's resources.
struct ClientSyncEnvironment {
    const AppleScriptRunner& runner;
    const Bundle& bundle;
};

// The syncs of this build, in the fixed order.
std::vector<ClientSync> ClientSyncs(const ClientSyncEnvironment& environment);

// What each client's error record tells the person (nothing on success).
ClientSyncReport ReportOf(const std::optional<SyncAppleMailSignaturesError>& error);
ClientSyncReport ReportOf(const std::optional<SyncOutlookSignaturesError>& error);
ClientSyncReport ReportOf(const std::optional<SyncPostboxSignaturesError>& error);
ClientSyncReport ReportOf(const std::optional<SyncSparkSignaturesError>& error);
ClientSyncReport ReportOf(const std::optional<SyncThunderbirdSignaturesError>& error);
ClientSyncReport ReportOf(const std::optional<SyncLinuxClientSignaturesError>& error);

}  // namespace quillet
