#pragma once
// Restoring a point is the engine's own operation: it runs as a sync pass over the engine's
// clients and puts the engine's store back, so it lives with the engine, above the points it
// reads (app/restore).

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "app/restore/RestorePoints.h"
#include "common/ClientKind.h"

namespace quillet {

class Core;

// How a restore ended.
struct RestoreOutcome {
    std::optional<RestorePointError> error;  // absent: restored
    // The person's changes that the restore kept, one line each ("Thunderbird: …").
    QStringList keptChanges;
    // The later points it undid first, as "ID (reason)", newest first.
    QStringList alsoUndone;
};

// Undoes the passes of the point and every newer one, for every client they changed (or only
// those in `clients`), and the store with them: checks the points, then runs as a sync pass
// (closing running clients after asking), files written atomically, rows in one transaction per
// database, Outlook signatures deleted and created, the store last, and the engine reloads it.
// `done` runs once on the main thread. The engine's recorder keeps a point of the restore's
// changes (reason "restore"); pruning waits until the restore has finished.
void RestoreFromPoint(Core& core, const QString& id, const std::vector<ClientKind>& clients,
                      std::function<void(RestoreOutcome)> done);

}  // namespace quillet
