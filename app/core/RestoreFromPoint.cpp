#include "app/core/RestoreFromPoint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <map>
#include <variant>

#include "app/base/Sqlite.h"
#include "app/clients/linux/EvolutionSources.h"
#include "app/clients/sync/AppleMailLists.h"
#include "app/clients/sync/OutlookSync.h"
#include "app/clients/sync/PostboxSync.h"
#include "app/clients/sync/SparkSync.h"
#include "app/core/Core.h"
#include "app/core/SyncPass.h"
#include "app/restore/RestorePointEntries.h"
#include "app/restore/RestorePointRows.h"
#include "app/restore/RestorePointStore.h"
#include "app/restore/RestorePoints.h"
#include "app/store/Store.h"
#include "common/Localization.h"
#include "platform/WholeFile.h"

namespace quillet {

namespace {

const QString kLogPrefix = "Restore: ";

// A restore under way: the points it undoes, newest first, and what it has found so far.
struct Restore {
    std::vector<RestorePoint> points;
    std::vector<ClientKind> clients;
    bool someClientsOnly = false;          // the person named the clients to put back
    std::set<ClientKind> restoredClients;  // those whose entries all went back (or were kept)
    QStringList kept;
    std::optional<QString> storeError;
};

// One place of a client's storage with the points' changes to it, newest first.
struct Place {
    std::vector<const KeptUnit*> units;
    const KeptUnit& oldest() const { return *units.back(); }
};

// The places of a client that the points changed, in the order they were first changed.
std::vector<Place> PlacesOf(const Restore& restore, ClientKind kind) {
    std::vector<Place> places;
    std::map<QString, std::size_t> indexes;
    for (auto point = restore.points.rbegin(); point != restore.points.rend(); ++point) {
        for (const KeptUnit& unit : point->units) {
            if (unit.client != kind)
                continue;
            const auto [index, added] = indexes.emplace(unit.identity(), places.size());
            if (added)
                places.emplace_back();
            auto& units = places[index->second].units;
            units.insert(units.begin(), &unit);
        }
    }
    return places;
}

// Undoes the place's changes, newest first, on what it holds now (contents); absent when the
// contents cannot be read as the place's kind. The person's later changes are noted.
std::optional<EntryValue> UndoPlace(const Place& place, EntryValue contents, Restore& restore) {
    std::set<std::string> keptKeys;
    for (const KeptUnit* unit : place.units) {
        std::vector<EntryChange> changes;
        std::copy_if(
            unit->entries.begin(), unit->entries.end(), std::back_inserter(changes),
            [&keptKeys](const EntryChange& change) { return !keptKeys.count(change.key); });
        const auto entries = ReadEntries(unit->kind, contents);
        if (!entries)
            return std::nullopt;
        const UndoneEntries undone = UndoEntryChanges(*entries, {&changes});
        for (const std::string& key : undone.kept) {
            keptKeys.insert(key);
            const QString line = DisplayName(unit->client) + ": " + DescribeEntry(*unit, key) +
                                 " was changed since; it is kept as it is.";
            LogWarning(kLogPrefix + line);
            restore.kept << line;
        }
        if (undone.guessed) {
            LogWarning(kLogPrefix + "the pass that changed " + DescribeEntry(*unit, {}) +
                       " ended before it finished; what is there is taken for its change");
        }
        if (undone.changes.empty())
            continue;
        auto written = WriteEntries(unit->kind, contents, undone.changes);
        if (!written)
            return std::nullopt;
        contents = std::move(*written);
    }
    // A file that the passes created and that holds nothing of anyone's any more goes.
    const KeptUnit& oldest = place.oldest();
    if (oldest.isFile() && !oldest.existedBefore && contents) {
        const auto left = ReadEntries(oldest.kind, contents);
        if (left && left->empty())
            contents.reset();
    }
    return contents;
}

ClientSyncReport Failed(const char* text, const QString& value) {
    return ClientSyncReport::Failed(FillPlaceholders(Localized(text), {value}));
}

// What the file holds now (no value: there is none); absent when it cannot be read.
std::optional<EntryValue> CurrentFileValue(const QString& path) {
    if (!QFileInfo::exists(path))
        return EntryValue();
    auto whole = QFileInfo(path).isFile() ? ReadWholeFile(path) : std::nullopt;
    if (!whole)
        return std::nullopt;
    return EntryValue(std::move(*whole));
}

// A file of the client as it is now, and as the restore is to leave it.
struct UndoneFile {
    QString path;
    ClientKind client;
    EntryValue current;
    EntryValue undone;
    bool changedSince = false;  // the person changed an entry the points changed
};

// Every file of the client undone, before any is written: a file that cannot be read or undone
// refuses the client's restore while nothing has changed. Or the path of that file.
std::variant<std::vector<UndoneFile>, QString> UndoFiles(const std::vector<Place>& places,
                                                         Restore& restore) {
    std::vector<UndoneFile> files;
    for (const Place& place : places) {
        if (!place.oldest().isFile())
            continue;
        const QString& path = place.oldest().path;
        auto current = CurrentFileValue(path);
        if (!current)
            return path;
        const auto keptBefore = restore.kept.size();
        auto undone = UndoPlace(place, *current, restore);
        if (!undone)
            return path;
        files.push_back({path, place.oldest().client, std::move(*current), std::move(*undone),
                         restore.kept.size() > keptBefore});
    }
    return files;
}

// Postbox's identities and Mail's accounts point at entries of the client's signature list: a
// default that the restore would point at an entry the person has deleted since goes where a
// sync puts it (Postbox's default, or none). Or the path of a file that cannot be read as it
// should.
std::optional<QString> SettleAccountSettings(std::vector<UndoneFile>& files,
                                             const ClientInfo& clientInfo) {
    // What a file holds once the restore is done; absent when it cannot be read.
    const auto after = [&files](const QString& path) -> std::optional<EntryValue> {
        const auto undone = std::find_if(files.begin(), files.end(),
                                         [&](const UndoneFile& file) { return file.path == path; });
        return undone != files.end() ? std::optional(undone->undone) : CurrentFileValue(path);
    };
    for (UndoneFile& file : files) {
        if (!file.undone || file.undone == file.current)
            continue;
        const QFileInfo info(file.path);
        std::optional<QByteArray> settled;
        if (file.client == ClientKind::postbox && info.fileName() == "prefs.js") {
            const QString listPath = info.dir().filePath(kPostboxSignaturesFileName);
            const auto list = after(listPath);
            if (!list)
                return listPath;
            settled = PostboxPrefsPointingIntoList(*file.undone, file.current, *list);
        } else if (file.client == ClientKind::appleMail &&
                   info.fileName() == "com.apple.mail.plist" && clientInfo.appleMailDataPathQ) {
            const QString listPath =
                *clientInfo.appleMailDataPathQ + "/Signatures/" + kAllSignaturesFileName;
            const auto list = after(listPath);
            if (!list)
                return listPath;
            settled = AppleMailPreferencesPointingIntoList(*file.undone, file.current, *list);
        } else {
            continue;
        }
        if (!settled)
            return file.path;
        file.undone = std::move(*settled);
    }
    return std::nullopt;
}

std::optional<QString> PutBackFile(const UndoneFile& file, ClientWrites& writes) {
    if (file.undone == file.current)
        return std::nullopt;
    LogInfo(kLogPrefix + "putting back " + file.path);
    if (file.client == ClientKind::evolution && IsEvolutionSourceFile(file.path)) {
        // Evolution's sources go back through its registry.
        if (PutBackEvolutionSource(EvolutionRegistry(), writes, file.path, file.undone))
            return file.path;
        return std::nullopt;
    }
    if (file.undone ? writes.writeFile(file.path, *file.undone).has_value()
                    : !writes.removeFile(file.path))
        return file.path;
    return std::nullopt;
}

// The rows a place's value comes back in: the rows as they were when the value is theirs, else
// the rows there now (or as they were) holding the value; none for no value.
std::optional<nlohmann::json> RowsFor(const Place& place, const EntryValue& value,
                                      const nlohmann::json& current) {
    const KeptUnit& oldest = place.oldest();
    const EntryValue before = RowsEntryValue(oldest.rowsBefore);
    if (value == before || ReadEntries(oldest.kind, value) == ReadEntries(oldest.kind, before))
        return oldest.rowsBefore;
    if (!value)
        return nlohmann::json::array();
    const nlohmann::json& rows = current.empty() ? oldest.rowsBefore : current;
    if (rows.empty())
        return std::nullopt;
    return RowsWithValue(rows, *value);
}

bool UndoRows(sqlite3* database, const Place& place, ClientWrites& writes, Restore& restore) {
    const KeptUnit& unit = place.oldest();
    if (!writes.rowsWillChange(database, unit.table, unit.key))
        return false;
    const auto current = ReadRowsWithKey(database, unit.table, unit.key);
    if (!current)
        return false;
    const auto value = UndoPlace(place, RowsEntryValue(*current), restore);
    if (!value)
        return false;
    const auto rows = RowsFor(place, *value, *current);
    if (!rows)
        return false;
    return *rows == *current || PutBackRows(database, unit.table, unit.key, *rows, writes);
}

// The rows of each database, in one transaction per database.
std::optional<QString> UndoDatabases(const std::vector<Place>& places, ClientWrites& writes,
                                     Restore& restore) {
    std::map<QString, std::vector<const Place*>> byDatabase;
    for (const Place& place : places) {
        if (place.oldest().kind == KeptUnit::Kind::databaseRows)
            byDatabase[place.oldest().path].push_back(&place);
    }
    for (const auto& [path, databasePlaces] : byDatabase) {
        LogInfo(kLogPrefix + "putting back rows of " + path);
        const auto database = OpenSqliteDatabase(path);
        if (!database)
            return path;
        bool written = ExecuteSqliteStatement(*database, "BEGIN");
        // Spark's accounts point at its signature rows: the binding as it is now tells what the
        // restore changes in it.
        const bool spark = databasePlaces.front()->oldest().client == ClientKind::spark;
        const auto sparkBefore =
            spark ? ReadSparkSettings(*database, kLogPrefix + "Spark") : std::nullopt;
        written = written && (!spark || sparkBefore);
        for (const Place* place : databasePlaces)
            written = written && UndoRows(*database, *place, writes, restore);
        written = written &&
                  (!spark || UnbindDeletedSparkSignatures(*database, sparkBefore->binding, writes));
        written = written && writes.transactionWillEnd(*database) &&
                  ExecuteSqliteStatement(*database, writes.transactionEnd());
        if (!written)
            ExecuteSqliteStatement(*database, "ROLLBACK");
        CloseSqliteDatabase(*database);
        if (!written)
            return path;
    }
    return std::nullopt;
}

std::optional<QString> UndoSignature(const Place& place, const AppleScriptRunner& runner,
                                     ClientWrites& writes, Restore& restore) {
    const QString& name = place.oldest().name;
    const auto present = ReadOutlookSignatureContent(runner, name);
    if (!present)
        return name;
    const EntryValue current =
        present->found ? EntryValue(present->content.toUtf8()) : EntryValue();
    const auto undone = UndoPlace(place, current, restore);
    if (!undone)
        return name;
    if (*undone == current)
        return std::nullopt;
    LogInfo(kLogPrefix + "putting back the signature \"" + name + "\"");
    const auto content = *undone ? std::optional(QString::fromUtf8(**undone)) : std::nullopt;
    if (!PutBackOutlookSignature(runner, writes, name, content))
        return name;
    return std::nullopt;
}

// Outlook's default signatures of the accounts the points changed: what they show now is read
// before any signature changes (Outlook may show "None" once a default signature is deleted),
// and they are set when the signatures are back. The accounts to set, or the identifiers of those
// that could not be read.
using DefaultsUndo = std::vector<OutlookAccountDefaults>;

std::variant<DefaultsUndo, QString> PlanDefaultsUndo(const std::vector<Place>& places,
                                                     const ClientInfo& clientInfo,
                                                     const AppleScriptRunner& runner,
                                                     Restore& restore) {
    std::vector<const Place*> accounts;
    QStringList idStrings;
    for (const Place& place : places) {
        if (place.oldest().kind != KeptUnit::Kind::outlookDefaults)
            continue;
        accounts.push_back(&place);
        idStrings << place.oldest().name;
    }
    DefaultsUndo undo;
    if (accounts.empty())
        return undo;
    const auto shown = ReadDefaultSignatures(clientInfo, idStrings, runner);
    if (!shown)
        return idStrings.join(", ");
    for (std::size_t index = 0; index < accounts.size(); ++index) {
        const QString current = OutlookDefaultsText((*shown)[index]);
        const auto undone = UndoPlace(*accounts[index], EntryValue(current.toUtf8()), restore);
        const auto names =
            undone && *undone ? OutlookDefaultsFromText(QString::fromUtf8(**undone)) : std::nullopt;
        if (!names)
            return idStrings[index];
        if (*names != (*shown)[index])
            undo.push_back({idStrings[index], *names, (*shown)[index]});
    }
    return undo;
}

// Outlook tells signatures apart by name alone: where another signature bore the name of one
// that the points changed (then or now), the signature under that name may be the person's own,
// and it is not Quillet's to replace. The first such name, found before anything is written so
// that a refused restore changes nothing; or the name whose signatures could not be listed.
std::optional<QString> SignatureNotOursToPutBack(const std::vector<Place>& places,
                                                 const AppleScriptRunner& runner) {
    std::optional<QStringList> names;
    for (const Place& place : places) {
        if (place.oldest().kind != KeptUnit::Kind::outlookSignature)
            continue;
        const QString& name = place.oldest().name;
        if (!names)
            names = ReadOutlookSignatureNames(runner);
        if (!names) {
            LogWarning(kLogPrefix + "cannot list Outlook's signatures");
            return name;
        }
        const bool shared = std::any_of(place.units.begin(), place.units.end(),
                                        [](const KeptUnit* unit) { return unit->nameShared; });
        if (shared || names->count(name) > 1) {
            LogWarning(kLogPrefix + "not putting back the signature \"" + name +
                       "\": more than one signature bears that name");
            return name;
        }
    }
    return std::nullopt;
}

// Whether putting the store back gives the client an installation of Quillet's that it does not
// record now: the restore undoes an uninstall, a deselection, a text switched off.
bool PutsBackAnInstallation(const Restore& restore, ClientKind kind) {
    const QString client = StoredText(kind);
    const auto installations = [&client](const std::optional<SignatureRecord>& record) {
        std::vector<PerformedInstallationRecord> found;
        for (const auto& performed :
             record ? record->performedInstallations : std::vector<PerformedInstallationRecord>())
            if (performed.client == client)
                found.push_back(performed);
        return found;
    };
    for (const RestorePoint& point : restore.points) {
        for (const KeptStoreRecord& change : point.store) {
            const auto before = installations(change.before);
            if (!before.empty() && before != installations(change.after))
                return true;
        }
    }
    return false;
}

// A default that the points would give back, whose signature the person has deleted since, goes
// to "None": Outlook cannot show a signature it no longer has, and refuses to be set to one.
void WithoutDeletedSignatures(DefaultsUndo& undo, const QStringList& names, const QString& none) {
    for (OutlookAccountDefaults& account : undo) {
        for (QString* name : {&account.names.newMessages, &account.names.repliesForwards}) {
            if (*name != none && !names.contains(*name))
                *name = none;
        }
    }
}

ClientSyncReport UndoClient(Restore& restore, ClientKind kind, const ClientInfo& clientInfo,
                            const AppleScriptRunner& runner, ClientWrites& writes) {
    const std::vector<Place> places = PlacesOf(restore, kind);
    if (const auto name = SignatureNotOursToPutBack(places, runner))
        return Failed("Could not restore signature: \"%@\".", *name);
    const auto defaults = PlanDefaultsUndo(places, clientInfo, runner, restore);
    if (const auto* accounts = std::get_if<QString>(&defaults))
        return Failed("Could not restore the default signatures of %@.", *accounts);
    auto undoneFiles = UndoFiles(places, restore);
    if (const auto* path = std::get_if<QString>(&undoneFiles))
        return Failed("Could not restore file %@.", *path);
    auto& files = std::get<std::vector<UndoneFile>>(undoneFiles);
    // Where the restore gives the client an installation back, a later change of the person's
    // is in its way: put back over it, the person's change would be lost; kept, the store would
    // record a signature the client does not hold, and the next pass would write it over theirs.
    const auto changed = std::find_if(files.begin(), files.end(),
                                      [](const UndoneFile& file) { return file.changedSince; });
    if (changed != files.end() && PutsBackAnInstallation(restore, kind)) {
        LogWarning(kLogPrefix + "not putting back " + DisplayName(kind) + ": " + changed->path +
                   " was changed since where Quillet's signature would go back");
        return Failed("Could not restore file %@.", changed->path);
    }
    if (const auto path = SettleAccountSettings(files, clientInfo))
        return Failed("Could not restore file %@.", *path);
    for (const UndoneFile& file : files) {
        if (const auto path = PutBackFile(file, writes))
            return Failed("Could not restore file %@.", *path);
    }
    if (const auto path = UndoDatabases(places, writes, restore))
        return Failed("Could not restore database file: %@.", *path);
    for (const Place& place : places) {
        if (place.oldest().kind != KeptUnit::Kind::outlookSignature)
            continue;
        if (const auto name = UndoSignature(place, runner, writes, restore))
            return Failed("Could not restore signature: \"%@\".", *name);
    }
    DefaultsUndo undo = std::get<DefaultsUndo>(defaults);
    if (!undo.empty()) {
        const auto names = ReadOutlookSignatureNames(runner);
        if (!names)
            return Failed("Could not restore the default signatures of %@.",
                          undo[0].accountIdString);
        WithoutDeletedSignatures(undo, *names, OutlookNoneSignatureName(runner.bundle()));
        LogInfo(kLogPrefix + "putting back the default signatures of Outlook's accounts");
        if (!SetDefaultSignatures(clientInfo, undo, runner, writes)) {
            QStringList idStrings;
            for (const auto& account : undo)
                idStrings << account.accountIdString;
            return Failed("Could not restore the default signatures of %@.", idStrings.join(", "));
        }
    }
    restore.restoredClients.insert(kind);
    return ClientSyncReport::Succeeded();
}

// The store's records, field by field, for the clients that were restored: the whole record
// where a point's clients all were, their installations only otherwise. In the pass, so that
// the restore's own point keeps what it changed.
std::optional<QString> UndoStore(Core& core, const Restore& restore) {
    Store& store = core.store();
    std::map<QString, SignatureId> ids;
    std::map<QString, std::optional<SignatureRecord>> records;
    for (auto& [id, record] : store.LoadRecords()) {
        ids[record.attributes.uuidString] = id;
        records[record.attributes.uuidString] = std::move(record);
    }
    const auto original = records;
    // Undone as an undo goes, newest point and its last change first. Records that come back take
    // their former keys where points know them, and so their old places among the others (the
    // earlier signature wins an account); others are added in the reverse of the order they went.
    std::vector<QString> order;
    std::set<QString> met;
    std::map<QString, std::int64_t> formerKeys;
    for (const RestorePoint& point : restore.points) {
        // A point of the store alone goes back whole, unless only some clients are put back:
        // then only their installations do.
        StoreRestoreScope scope{!(point.clients.empty() && restore.someClientsOnly),
                                restore.restoredClients};
        for (ClientKind kind : point.clients)
            scope.everything = scope.everything && restore.restoredClients.count(kind);
        for (auto kept = point.store.rbegin(); kept != point.store.rend(); ++kept) {
            const KeptStoreRecord& change = *kept;
            auto& record = records[change.uuid];
            record = UndoStoreRecordChange(record, change, point.complete, scope);
            if (met.insert(change.uuid).second)
                order.push_back(change.uuid);
            if (change.primaryKey > 0)
                formerKeys[change.uuid] = change.primaryKey;
        }
    }
    bool saved = true;
    for (const QString& uuid : order) {
        const std::optional<SignatureRecord>& record = records[uuid];
        const auto was = original.find(uuid);
        const bool existed = was != original.end() && was->second;
        if (existed && record == was->second)
            continue;
        LogInfo(kLogPrefix + "putting back the signature record " + uuid);
        if (!record && existed)
            saved = store.RemoveRecord(ids.at(uuid)) && saved;
        else if (record && !existed)
            store.AddRecord(*record, formerKeys[uuid]);
        else if (record)
            saved = store.SaveRecord(ids.at(uuid), *record) && saved;
    }
    saved = store.SaveManagedObjectContext() && saved;
    // The records are back either way; an engine that cannot read them keeps what it held.
    if (const auto unread = core.reloadSignatures())
        LogError(kLogPrefix + "could not read the signatures again: " + unread->error);
    if (!saved)
        return QStringLiteral("the signatures could not be saved");
    return std::nullopt;
}

RestoreOutcome Failure(RestorePointError::Kind kind, const QString& message) {
    return RestoreOutcome{RestorePointError{kind, message}, {}, {}};
}

// The clients to put back: all the points changed, or those asked for (each must be among
// them and detected, or the request is refused as a whole).
RestorePointResult<std::vector<ClientKind>> ChooseClients(const Core& core,
                                                          const std::vector<RestorePoint>& points,
                                                          const std::vector<ClientKind>& asked) {
    std::set<ClientKind> changed;
    for (const RestorePoint& point : points)
        changed.insert(point.clients.begin(), point.clients.end());
    const std::vector<ClientKind> chosen =
        asked.empty() ? std::vector<ClientKind>(changed.begin(), changed.end()) : asked;
    for (ClientKind kind : chosen) {
        if (!changed.count(kind)) {
            return RestorePointError{RestorePointError::Kind::refused,
                                     "Restore point " + points.back().id + " holds nothing of " +
                                         DisplayName(kind) + ". Nothing was changed."};
        }
        if (!core.clientKindToInfoMap().count(kind)) {
            return RestorePointError{
                RestorePointError::Kind::refused,
                FillPlaceholders(Localized("Email client unavailable (%@)"), {DisplayName(kind)}) +
                    ". Nothing was changed."};
        }
    }
    std::set<ClientKind> ordered(chosen.begin(), chosen.end());
    return std::vector<ClientKind>(ordered.begin(), ordered.end());
}

}  // namespace

void RestoreFromPoint(Core& core, const QString& id, const std::vector<ClientKind>& clients,
                      std::function<void(RestoreOutcome)> done) {
    auto read = core.restorePoints().readFrom(id);
    if (auto* error = std::get_if<RestorePointError>(&read)) {
        LogError(kLogPrefix + error->message);
        done(RestoreOutcome{*error, {}, {}});
        return;
    }
    // Everything the restore needs is read now: a point pruned meanwhile (by another process)
    // takes nothing from it.
    const auto restore = std::make_shared<Restore>();
    restore->points = std::get<std::vector<RestorePoint>>(std::move(read));
    auto chosen = ChooseClients(core, restore->points, clients);
    if (auto* error = std::get_if<RestorePointError>(&chosen)) {
        done(RestoreOutcome{*error, {}, {}});
        return;
    }
    restore->clients = std::get<std::vector<ClientKind>>(std::move(chosen));
    restore->someClientsOnly = !clients.empty();
    QStringList alsoUndone;
    std::set<QString> inUse;
    for (const RestorePoint& point : restore->points) {
        inUse.insert(point.id);
        if (point.id != id)
            alsoUndone << point.id + " (" + point.reason + ")";
    }
    LogInfo(kLogPrefix + "restoring " + id + " (" + restore->points.back().reason + ")" +
            (alsoUndone.isEmpty() ? QString() : ", undoing first " + alsoUndone.join(", ")));
    core.setRestorePointsInUse(inUse);
    const auto syncs = std::make_shared<std::vector<ClientSync>>();
    const AppleScriptRunner& runner = core.scriptRunner();
    for (ClientKind kind : restore->clients) {
        syncs->push_back(ClientSync{kind, [restore, kind, &runner](const SyncInputs& inputs) {
                                        return UndoClient(*restore, kind, inputs.clientInfo, runner,
                                                          inputs.writes);
                                    }});
    }
    SyncPass::StartOverClients(
        core, restore->clients, kRestoreRestorePointReason, core.lifetime(), *syncs,
        [&core, restore] { restore->storeError = UndoStore(core, *restore); },
        [&core, syncs, restore, id, alsoUndone, done = std::move(done)](WorkOutcome outcome) {
            core.setRestorePointsInUse({});
            core.pruneRestorePoints();
            if (outcome.postponed) {
                done(Failure(RestorePointError::Kind::postponed,
                             "The restore was postponed. Nothing was changed."));
            } else if (restore->storeError) {
                LogError(kLogPrefix + "could not put back the store: " + *restore->storeError);
                done(Failure(RestorePointError::Kind::failed,
                             "Could not restore the signature store: " + *restore->storeError));
            } else if (!outcome.success) {
                done(Failure(RestorePointError::Kind::failed, outcome.title));
            } else {
                LogInfo(kLogPrefix + "restored " + id);
                done(RestoreOutcome{std::nullopt, restore->kept, alsoUndone});
            }
        });
}

}  // namespace quillet
