#pragma once
// The Outlook sync: Outlook's signatures (known to it only by name, reached only through the
// AppleScript resources) brought in line with the signatures selected for it, then each
// account's default signatures set. The script runs a sync would make are its plan
// (PlanOutlookSignatureRuns), worked out from Outlook's signature names before any run.

#include <QString>
#include <QStringList>
#include <optional>
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

// One step of the sync, in order: delete a signature from Outlook, or create one. An install
// whose name Outlook already has for another signature (the person's own, or another Quillet
// signature's) is refused and ends the sync: Quillet never writes over a signature it did not
// create, nor makes two signatures of one name.
struct OutlookSignatureRun {
    enum class Kind { uninstall, install, reinstall };
    Kind kind;
    SignatureId id;
    QString appName;         // the signature's current name
    QString clientName;      // uninstall: the name it bears in Outlook
    bool nameTaken = false;  // install, reinstall: refused as a duplicate
};

// The runs that bring Outlook's signatures (by their names) in line with the selections.
std::vector<OutlookSignatureRun> PlanOutlookSignatureRuns(const IdToSignatureMap& idToSignatureMap,
                                                          const QStringList& clientNames);

// What Outlook holds under one name (the first signature of exactly that name).
struct OutlookSignatureContent {
    bool found = false;
    QString content;
};
// Absent when the script failed.
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
