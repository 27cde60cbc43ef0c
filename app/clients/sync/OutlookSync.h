#pragma once
// The Outlook sync: Outlook's signatures (known to it only by name, reached only through the
// AppleScript resources) brought in line with the signatures selected for it, then each
// account's default signatures set. The script runs a sync would make are its plan
// (PlanOutlookSignatureRuns), worked out from Outlook's signature names before any run.

#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "app/clients/sync/OutlookDefaults.h"
#include "app/clients/sync/SyncPlan.h"

namespace quillet {

struct SyncOutlookSignaturesError {
    enum class Kind { appleScript, uninstallation, duplicate, defaultSignature };
    Kind kind;
    std::optional<QString> appSignatureNameX;     // the Quillet name whose removal failed
    std::optional<QString> clientSignatureNameX;  // the name it bears in Outlook
    std::optional<QString> signatureNameX;        // the name that another signature already has
};

// One step of the sync, in order: delete a signature from Outlook, or create one. A step that
// would touch another signature than Quillet's own is refused, and a refusal ends the sync; it
// comes after every step that may go ahead, and a signature whose new copy is refused keeps its
// old one. Quillet never writes over a signature it did not create, never deletes one whose
// content is not its own, and never makes two signatures of one name.
struct OutlookSignatureRun {
    enum class Kind { uninstall, install, reinstall };
    Kind kind;
    SignatureId id;
    QString appName;       // the signature's current name
    QString clientName;    // uninstall: the name it bears in Outlook
    bool refused = false;  // another signature has the name: install, reinstall: the name is
                           // taken; uninstall: Outlook's first signature of the name, the one
                           // its delete script would take, is not Quillet's copy
};

// What Outlook's first signature of a name holds (the one its delete script takes).
struct OutlookSignatureContent {
    bool found = false;
    QString content;
};
// By name as Outlook lists it.
using OutlookFirstSignatures = std::map<QString, OutlookSignatureContent>;

// Outlook's signatures as the plan sees them: every name it lists (a name twice when two
// signatures bear it), and the content of the first signature of each name the plan may delete.
// A name whose content was not read counts as Quillet's copy.
struct OutlookClientSignatures {
    QStringList names;
    OutlookFirstSignatures firstOfName;
};

struct OutlookSignaturePlan {
    std::vector<OutlookSignatureRun> runs;
    // Quillet's signatures whose copy stands in Outlook before the runs.
    std::set<SignatureId> inOutlook;
};

// The runs that bring Outlook's signatures in line with the selections.
OutlookSignaturePlan PlanOutlookSignatureRuns(const AccountsInfo& accountsInfo,
                                              const IdToSignatureMap& idToSignatureMap,
                                              const OutlookClientSignatures& outlook);

// Every name Outlook lists, a name once per signature that bears it; absent when the script
// failed.
std::optional<QStringList> ReadOutlookSignatureNames(const AppleScriptRunner& runner);

// What Outlook holds under one name (the first signature of exactly that name); absent when the
// script failed.
std::optional<OutlookSignatureContent> ReadOutlookSignatureContent(const AppleScriptRunner& runner,
                                                                   const QString& name);

// Creates one signature through `writes`; false when Outlook did not answer "true".
bool CreateOutlookSignature(const AppleScriptRunner& runner, ClientWrites& writes,
                            const QString& name, const QString& content);

// Puts a signature back as it was: the one of that name deleted, then the content (if any)
// created again. False at the first failed run.
bool PutBackOutlookSignature(const AppleScriptRunner& runner, ClientWrites& writes,
                             const QString& name, const std::optional<QString>& content);

// The whole sync. Absent on success.
std::optional<SyncOutlookSignaturesError> SyncOutlookSignatures(
    const SyncInputs& inputs, const OutlookSyncEnvironment& environment);

}  // namespace quillet
