#pragma once
// What the syncs of Evolution, KMail and Geary share beyond the identity rule: their error
// record, and reading a client file whole.

#include <QByteArray>
#include <QString>
#include <optional>

#include "app/clients/sync/SyncPlan.h"

namespace quillet {

// Why a Linux client's sync failed; nothing was recorded then, and the next sync tries again.
struct SyncLinuxClientSignaturesError {
    enum class Kind {
        fileSystem,  // a file could not be read or written (pathX)
        registry,    // Evolution's registry could not be reached or refused a change
        busy,        // the client held its file locked for longer than a sync waits
    };
    Kind kind = Kind::fileSystem;
    QString pathX;   // the file concerned
    QString detail;  // what failed, for the log and the person
};

// Keeps the person's settings the plan replaces, in this storage (a file or folder of the
// client), before the client is written; the error when they cannot be kept (logged as
// "SYNCNAME: Could not keep the replaced signature settings: WHAT"): the client must not be
// written then, or the person's own settings would be lost.
std::optional<SyncLinuxClientSignaturesError> KeepPersonsSettings(
    const SyncInputs& inputs, ClientKind kind, const QString& storage,
    const ReplacedSettingsChanges& changes, const QString& syncName);

// The whole file; absent when it is missing or cannot be read.
std::optional<QByteArray> ReadClientFile(const QString& path);

}  // namespace quillet
