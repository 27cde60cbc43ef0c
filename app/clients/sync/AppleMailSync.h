#pragma once
// The Apple Mail sync: Quillet's signatures as Mail's own signature files, its lists and its
// default selection, mirrored into Mail's iCloud folder. Working out the new files
// (PlanAppleMailSync) is apart from writing them (WriteAppleMailChanges), so that a preview or
// a backup can stand in between.

#include <QByteArray>
#include <QString>
#include <optional>
#include <variant>
#include <vector>

#include "app/clients/sync/SyncPlan.h"
#include "platform/FileFailure.h"

namespace quillet {

struct SyncAppleMailSignaturesError {
    enum class Kind { fileSystem, fileSystemCloud, badData };
    Kind kind;
    std::optional<QString> pathX;
    FileFailureCause cause = FileFailureCause::other;  // of a write that failed
};

struct AppleMailFileWrite {
    QString path;
    QByteArray contents;
};

// Everything one sync changes, in the order it is written.
struct AppleMailChanges {
    QString signaturesFolder;
    std::vector<AppleMailFileWrite> signatureFiles;  // every installed signature, every sync
    AppleMailFileWrite accountsMap;                  // XML
    AppleMailFileWrite allSignatures;                // XML
    std::vector<QString> deletedFileNames;           // in the signatures folder
    // The iCloud signatures folder; empty when the Mac has none. Its list (when it holds one)
    // gets the same merge as the local list; the signature files and deletions follow the local
    // ones by name.
    QString cloudFolder;
    std::optional<AppleMailFileWrite> cloudAllSignatures;
    // Mail's preferences with the new defaults, in the format they were read in; absent when
    // they could not be read.
    std::optional<AppleMailFileWrite> preferences;
    QString cacheFolder;
    // The accounts' own defaults that the new preferences replace (or no longer replace), by
    // account email, for Mail's data folder: kept before anything is written.
    ReplacedSettingsChanges replacedDefaults;
    // The accounts the plan wrote for (AccountsStillAsListed), which the bookkeeping follows: an
    // account left alone keeps what the store recorded of it.
    AccountsInfo accountsInfo;
};

// Reads Mail's lists and works out the new files; writes nothing. An error when a list exists
// but cannot be read (`fileSystem`) or understood (`badData`); the cloud list likewise
// (`fileSystemCloud`).
std::variant<AppleMailChanges, SyncAppleMailSignaturesError> PlanAppleMailSync(
    const SyncInputs& inputs);

// Writes the changes in order (signature files, the two lists, deletions, the iCloud mirror,
// the preferences), each only when the file does not hold those bytes already. Every write is
// whole and atomic; a failed preferences write or deletion is logged and passed over.
std::optional<SyncAppleMailSignaturesError> WriteAppleMailChanges(const AppleMailChanges& changes,
                                                                  ClientWrites& writes);

// The whole sync: plan, keep the replaced defaults, write, the closing bookkeeping, then Mail's
// cache folder removed so that Mail rereads its signatures. Absent on success.
std::optional<SyncAppleMailSignaturesError> SyncAppleMailSignatures(const SyncInputs& inputs);

}  // namespace quillet
