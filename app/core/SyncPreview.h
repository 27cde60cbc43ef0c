#pragma once
// A preview of sync passes: the client syncs run with every rule and every read, and their
// writes are collected here instead of made. Files keep their bytes before and after, Spark's
// statements run inside a transaction that is rolled back, and Outlook's changing scripts are
// recorded with their replacements and answered as a successful run would be.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <vector>

#include "app/clients/sync/ClientWrites.h"
#include "common/ClientKind.h"

namespace quillet {

struct PlannedFile {
    enum class Change { create, modify, remove };
    QString path;
    Change change;
    QByteArray before;  // empty for a file that does not exist
    QByteArray after;   // empty for a removed file
};

struct PlannedScript {
    QString name;
    Replacements replacements;
};

struct ClientPlan {
    std::vector<PlannedFile> files;  // in the order first written
    QStringList sql;                 // every statement with its values, in order
    std::vector<PlannedScript> scripts;
    bool empty() const { return files.empty() && sql.isEmpty() && scripts.empty(); }
};

class SyncPreview {
public:
    SyncPreview();
    ~SyncPreview();
    // Where the client's sync hands its writes.
    ClientWrites& writesFor(ClientKind kind);
    // What each client's syncs would have changed, by client.
    const std::map<ClientKind, ClientPlan>& plans() const { return _plans; }

private:
    std::map<ClientKind, ClientPlan> _plans;
    std::map<ClientKind, std::unique_ptr<ClientWrites>> _writes;
};

}  // namespace quillet
