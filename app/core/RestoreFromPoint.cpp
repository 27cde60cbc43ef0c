#include <QFile>
#include <map>

#include "app/base/Sqlite.h"
#include "app/clients/linux/EvolutionSources.h"
#include "app/clients/sync/OutlookSync.h"
#include "app/core/Core.h"
#include "app/core/RestorePointRows.h"
#include "app/core/RestorePoints.h"
#include "app/core/StoreCopy.h"
#include "app/core/SyncPass.h"
#include "common/Localization.h"
#include "platform/FileLock.h"

namespace quillet {

namespace {

const QString kLogPrefix = "Restore: ";

ClientSyncReport Failed(const char* text, const QString& value) {
    return ClientSyncReport::Failed(FillPlaceholders(Localized(text), {value}));
}

// Each file as it was: the copy written atomically, or the file removed when there was none.
std::optional<QString> PutBackFiles(const RestorePoint& point, ClientKind kind,
                                    ClientWrites& writes) {
    for (const KeptFile& file : point.files) {
        if (file.client != kind)
            continue;
        LogInfo(kLogPrefix + "putting back " + file.path);
        if (kind == ClientKind::evolution && IsEvolutionSourceFile(file.path)) {
            // Evolution's sources go back through its registry.
            std::optional<QByteArray> contents;
            QFile copy(point.folder + "/" + file.copy.value_or(QString()));
            if (file.copy && !copy.open(QIODevice::ReadOnly))
                return file.path;
            if (file.copy)
                contents = copy.readAll();
            if (PutBackEvolutionSource(EvolutionRegistry(), writes, file.path, contents))
                return file.path;
            continue;
        }
        if (!file.copy) {
            if (QFile::exists(file.path) && !writes.removeFile(file.path))
                return file.path;
            continue;
        }
        QFile copy(point.folder + "/" + *file.copy);
        if (!copy.open(QIODevice::ReadOnly) || writes.writeFile(file.path, copy.readAll()))
            return file.path;
    }
    return std::nullopt;
}

// The kept rows of each database, in one transaction per database.
std::optional<QString> PutBackDatabaseRows(const RestorePoint& point, ClientKind kind,
                                           ClientWrites& writes) {
    std::map<QString, std::vector<const KeptRows*>> byDatabase;
    for (const KeptRows& rows : point.rows) {
        if (rows.client == kind)
            byDatabase[rows.database].push_back(&rows);
    }
    for (const auto& [path, kept] : byDatabase) {
        LogInfo(kLogPrefix + "putting back rows of " + path);
        const auto database = OpenSqliteDatabase(path);
        if (!database)
            return path;
        bool written = ExecuteSqliteStatement(*database, "BEGIN");
        for (const KeptRows* rows : kept) {
            written = written && writes.rowsWillChange(*database, rows->table, rows->key) &&
                      PutBackRows(*database, rows->table, rows->key, rows->rows, writes);
        }
        written = written && ExecuteSqliteStatement(*database, writes.transactionEnd());
        if (!written)
            ExecuteSqliteStatement(*database, "ROLLBACK");
        CloseSqliteDatabase(*database);
        if (!written)
            return path;
    }
    return std::nullopt;
}

ClientSyncReport PutBackClient(const RestorePoint& point, ClientKind kind,
                               const AppleScriptRunner& runner, ClientWrites& writes) {
    if (const auto path = PutBackFiles(point, kind, writes))
        return Failed("Could not restore file %@.", *path);
    if (const auto path = PutBackDatabaseRows(point, kind, writes))
        return Failed("Could not restore database file: %@.", *path);
    for (const KeptSignature& signature : point.signatures) {
        if (signature.client != kind)
            continue;
        LogInfo(kLogPrefix + "putting back the signature \"" + signature.name + "\"");
        if (!PutBackOutlookSignature(runner, writes, signature.name, signature.content))
            return Failed("Could not restore signature: \"%@\".", signature.name);
    }
    return ClientSyncReport::Succeeded();
}

RestorePointError Error(RestorePointError::Kind kind, const QString& message) {
    return RestorePointError{kind, message};
}

// The clients to put back: all the point holds, or those asked for (each must be in the point
// and detected, or the request is refused as a whole).
RestorePointResult<std::vector<ClientKind>> ChooseClients(const Core& core,
                                                          const RestorePoint& point,
                                                          const std::vector<ClientKind>& asked) {
    const std::vector<ClientKind>& chosen = asked.empty() ? point.clients : asked;
    for (ClientKind kind : chosen) {
        if (std::find(point.clients.begin(), point.clients.end(), kind) == point.clients.end()) {
            return Error(RestorePointError::Kind::refused,
                         "Restore point " + point.id + " holds nothing of " + DisplayName(kind) +
                             ". Nothing was changed.");
        }
        if (!core.clientKindToInfoMap().count(kind)) {
            return Error(
                RestorePointError::Kind::refused,
                FillPlaceholders(Localized("Email client unavailable (%@)"), {DisplayName(kind)}) +
                    ". Nothing was changed.");
        }
    }
    std::vector<ClientKind> ordered(chosen.begin(), chosen.end());
    std::sort(ordered.begin(), ordered.end());
    ordered.erase(std::unique(ordered.begin(), ordered.end()), ordered.end());
    return ordered;
}

// The store last, under the pass lock, and the engine reads it again.
std::optional<QString> PutBackStore(Core& core, const RestorePoint& point) {
    const FileLock lock(core.dataFolder() + "/" + kSyncPassLockFileName, [] {});
    LogInfo(kLogPrefix + "putting back the store of " + point.id);
    const auto error = OverwriteDatabase(point.folder + "/" + kStoreFileName,
                                         core.dataFolder() + "/" + kStoreFileName);
    core.reloadSignatures();
    core.takeStoreAsBefore();
    return error;
}

}  // namespace

void RestoreFromPoint(Core& core, const QString& id, const std::vector<ClientKind>& clients,
                      std::function<void(std::optional<RestorePointError>)> done) {
    auto read = core.restorePoints().read(id);
    if (auto* error = std::get_if<RestorePointError>(&read)) {
        LogError(kLogPrefix + error->message);
        done(*error);
        return;
    }
    const auto point = std::make_shared<RestorePoint>(std::get<RestorePoint>(std::move(read)));
    auto chosen = ChooseClients(core, *point, clients);
    if (auto* error = std::get_if<RestorePointError>(&chosen)) {
        done(*error);
        return;
    }
    LogInfo(kLogPrefix + "restoring " + point->id + " (" + point->reason + ")");
    const auto syncs = std::make_shared<std::vector<ClientSync>>();
    const AppleScriptRunner& runner = core.scriptRunner();
    for (ClientKind kind : std::get<std::vector<ClientKind>>(chosen)) {
        syncs->push_back(ClientSync{kind, [point, kind, &runner](const SyncInputs& inputs) {
                                        return PutBackClient(*point, kind, runner, inputs.writes);
                                    }});
    }
    SyncPass::StartOverClients(
        core, std::get<std::vector<ClientKind>>(chosen), "restore", core.lifetime(), *syncs,
        [&core, syncs, point, done = std::move(done)](WorkOutcome outcome) {
            if (outcome.postponed) {
                done(Error(RestorePointError::Kind::postponed,
                           "The restore was postponed. Nothing was changed."));
            } else if (!outcome.success) {
                done(Error(RestorePointError::Kind::failed, outcome.title));
            } else if (const auto error = PutBackStore(core, *point)) {
                LogError(kLogPrefix + "could not put back the store: " + *error);
                done(Error(RestorePointError::Kind::failed,
                           "Could not restore the signature store: " + *error));
            } else {
                LogInfo(kLogPrefix + "restored " + point->id);
                done(std::nullopt);
            }
        });
}

}  // namespace quillet
