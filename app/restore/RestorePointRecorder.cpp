#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <set>

#include "app/clients/sync/OutlookSync.h"
#include "app/restore/RestorePointEntries.h"
#include "app/restore/RestorePointManifest.h"
#include "app/restore/RestorePointRows.h"
#include "app/restore/RestorePointStore.h"
#include "app/restore/RestorePoints.h"
#include "common/Log.h"
#include "platform/AtomicFile.h"
#include "platform/FileAccess.h"
#include "platform/WholeFile.h"

namespace quillet {

namespace {

// A new point's folder: its time to the second (UTC), and a count when that name is taken.
QString NewPointFolder(const QString& pointsFolder, const QDateTime& time) {
    // Copies of the clients' files and of the store: their owner's alone.
    MakeOwnerOnlyFolder(pointsFolder);  // a failure shows as no folder made below
    const QString stem = time.toString("yyyyMMdd-HHmmss");
    for (int count = 1; count < 1000; ++count) {
        const QString id = count == 1 ? stem : stem + "-" + QString::number(count);
        if (QDir(pointsFolder).mkdir(id, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            return pointsFolder + "/" + id;
    }
    return {};
}

QString DatabasePath(sqlite3* database) {
    const char* file = sqlite3_db_filename(database, "main");
    return QString::fromUtf8(file ? file : "");
}

// The entries of a place before and after, kept whole when either side is not of its kind.
void SetEntries(KeptUnit& unit, const EntryValue& before, const EntryValue& after) {
    auto changes = ChangedEntries(unit.kind, before, after);
    if (!changes) {
        unit.kind = KeptUnit::Kind::wholeFile;
        changes = ChangedEntries(unit.kind, before, after);
    }
    unit.entries = std::move(*changes);
}

}  // namespace

// The point being made, and what of it is kept already.
class RestorePointRecorder::State {
public:
    State(RestorePoints points, QString reason, StoreChangesSource storeChanges,
          ClientWrites& target)
        : target(target),
          _points(std::move(points)),
          _reason(std::move(reason)),
          _storeChanges(std::move(storeChanges)) {}

    // A file is about to be written (or removed: no contents). Its record's name may be left to
    // synchronisePoint(), before the change.
    std::optional<QString> fileWillChange(ClientKind client, const QString& path,
                                          const EntryValue& contents,
                                          Durability durability = Durability::powerLoss) {
        auto [file, first] = _files.try_emplace(path);
        if (first) {
            if (QFileInfo(path).isFile()) {
                // Kept cut short, a restore would put back half the file.
                auto existing = ReadWholeFile(path);
                if (!existing)
                    return "cannot read " + path;
                file->second.before = std::move(*existing);
            }
        }
        KeptUnit unit{client, contents ? FileUnitKind(path) : KeptUnit::Kind::wholeFile};
        unit.path = path;
        unit.existedBefore = file->second.before.has_value();
        SetEntries(unit, file->second.before, contents);
        if (unit.entries.empty() && !file->second.unit)
            return std::nullopt;  // the same entries again: nothing to keep
        return keep(std::move(unit), file->second.unit, durability);
    }

    // Makes the names of the records written without it (and the manifest before the first)
    // survive a power loss: one wait for the disk for all the files of a batch.
    std::optional<QString> synchronisePoint() {
        if (!_unsynchronised)
            return std::nullopt;
        if (const auto failure = SynchroniseFolderOrFail(_point->folder))
            return failure->description;
        _unsynchronised = false;
        return std::nullopt;
    }

    std::optional<QString> rowsWillChange(ClientKind client, sqlite3* database,
                                          const QString& table, const SqliteRowKey& key) {
        const QString path = DatabasePath(database);
        QStringList identity{path, table};
        for (const auto& [column, value] : key)
            identity << column << value;
        const QString identityText = identity.join(QChar(0));
        if (_rowsKept.count(identityText))
            return std::nullopt;
        const auto pending =
            std::find_if(_pendingRows.begin(), _pendingRows.end(),
                         [&](const PendingRows& rows) { return rows.identity == identityText; });
        if (pending != _pendingRows.end()) {
            pending->database = database;  // an earlier transaction ended without the change
            return std::nullopt;
        }
        auto rows = ReadRowsWithKey(database, table, key);
        if (!rows)
            return "cannot read the rows of " + table + " in " + path;
        KeptUnit unit{client, KeptUnit::Kind::databaseRows};
        unit.path = path;
        unit.table = table;
        unit.key = key;
        unit.rowsBefore = std::move(*rows);
        _pendingRows.push_back(PendingRows{identityText, database, std::move(unit)});
        return std::nullopt;
    }

    // The rows of the transaction as it leaves them: the entries it changed are kept now.
    std::optional<QString> transactionWillEnd(sqlite3* database) {
        std::vector<PendingRows> ending;
        std::erase_if(_pendingRows, [&](PendingRows& rows) {
            if (rows.database != database)
                return false;
            ending.push_back(std::move(rows));
            return true;
        });
        for (PendingRows& rows : ending) {
            KeptUnit& unit = rows.unit;
            const auto after = ReadRowsWithKey(database, unit.table, unit.key);
            if (!after)
                return "cannot read the rows of " + unit.table + " in " + unit.path;
            unit.entries = ChangedEntries(*ReadEntries(unit.kind, RowsEntryValue(unit.rowsBefore)),
                                          *ReadEntries(unit.kind, RowsEntryValue(*after)));
            _rowsKept.insert(rows.identity);
            if (unit.entries.empty())
                continue;
            if (auto error = keep(std::move(unit), std::nullopt))
                return error;
        }
        return std::nullopt;
    }

    // An Outlook signature is about to be created or deleted: what it holds now is kept at once,
    // what the pass leaves there is read when the pass ends.
    std::optional<QString> signatureWillChange(ClientKind client, const AppleScriptRunner& runner,
                                               const QString& name) {
        if (_signatureNames.count(name))
            return std::nullopt;
        const auto present = ReadOutlookSignatureContent(runner, name);
        // The names as the pass found them, listed once: what the pass itself creates or
        // deletes does not make a name shared.
        if (!_namesBeforePass)
            _namesBeforePass = ReadOutlookSignatureNames(runner);
        if (!present || !_namesBeforePass)
            return "cannot read the signature \"" + name + "\"";
        KeptUnit unit{client, KeptUnit::Kind::outlookSignature};
        unit.name = name;
        unit.nameShared = _namesBeforePass->count(name) > 1;
        const EntryValue before =
            present->found ? EntryValue(present->content.toUtf8()) : EntryValue();
        unit.entries.push_back(EntryChange{{}, before, std::nullopt, false});
        if (auto error = keep(std::move(unit), std::nullopt))
            return error;
        _signatureNames.insert(name);
        _pendingSignatures.push_back(PendingSignature{_units.size() - 1, &runner});
        return std::nullopt;
    }

    // An Outlook account's defaults are about to be set: what it shows now and what it will show
    // are kept at once. Set twice in a pass (a retry), the account keeps its first value.
    std::optional<QString> defaultSignaturesWillChange(ClientKind client,
                                                       const QString& accountIdString,
                                                       const QString& before,
                                                       const QString& after) {
        KeptUnit unit{client, KeptUnit::Kind::outlookDefaults};
        unit.name = accountIdString;
        const auto known = _defaultsUnits.find(accountIdString);
        if (known != _defaultsUnits.end()) {
            const std::size_t index = known->second;
            unit.entries.push_back(
                EntryChange{{}, _units[index].entries.front().before, after.toUtf8(), true});
            return keep(std::move(unit), index);
        }
        unit.entries.push_back(EntryChange{{}, before.toUtf8(), after.toUtf8(), true});
        if (auto error = keep(std::move(unit), std::nullopt))
            return error;
        _defaultsUnits.emplace(accountIdString, _units.size() - 1);
        return std::nullopt;
    }

    std::optional<QString> finish(const std::set<QString>& inUse) {
        if (!_pendingSignatures.empty()) {
            const auto namesAfterPass =
                ReadOutlookSignatureNames(*_pendingSignatures.front().runner);
            for (const PendingSignature& pending : _pendingSignatures)
                readBackSignature(pending, namesAfterPass);
        }
        const bool clientChanged =
            std::any_of(_units.begin(), _units.end(),
                        [](const KeptUnit& unit) { return !unit.entries.empty(); });
        const auto storeChanges = _storeChanges();
        const bool changed = clientChanged || std::any_of(storeChanges.begin(), storeChanges.end(),
                                                          ChangesInstallations);
        if (!changed) {
            if (_point)
                RemoveRestorePointFolder(_point->folder);
            return std::nullopt;
        }
        // The store alone changed: its point is made now, with no client in it.
        if (const auto error = makePoint()) {
            LogWarning("Restore points: cannot keep the store's changes: " + *error);
            return std::nullopt;
        }
        RestorePoint& point = *_point;
        std::copy_if(_units.begin(), _units.end(), std::back_inserter(point.units),
                     [](const KeptUnit& unit) { return !unit.entries.empty(); });
        SummariseRestorePoint(point);
        point.units.clear();
        // The manifest, written next in the same folder, makes both names durable.
        auto store = WriteKeptStore(point.folder, storeChanges, true, Durability::contentsOnly);
        if (const auto* error = std::get_if<QString>(&store)) {
            LogWarning("Restore points: cannot finish " + point.id + ": " + *error);
        } else {
            point.complete = true;
            if (const auto error =
                    WriteRestorePointManifest(point, _digests, std::get<KeptFileDigest>(store))) {
                LogWarning("Restore points: cannot finish " + point.id + ": " + *error);
            }
        }
        std::set<QString> keep = inUse;
        keep.insert(point.id);
        _points.prune(point.time, keep);
        return point.id;
    }

    ClientWrites& target;

private:
    struct PendingRows {
        QString identity;
        sqlite3* database;
        KeptUnit unit;
    };
    struct PendingSignature {
        std::size_t unit;
        const AppleScriptRunner* runner;
    };
    struct FileState {
        EntryValue before;
        std::optional<std::size_t> unit;
    };

    // The folder and the manifest that says a pass is under way, with the store's changes so
    // far: before the first change, so that a pass that dies half-way leaves a point to restore.
    // What is written next in the folder (the first record, or the finished manifest)
    // synchronises it: the manifest's name reaches the disk with that record's, before the
    // change the record keeps.
    std::optional<QString> makePoint() {
        if (_point)
            return std::nullopt;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QString folder = NewPointFolder(_points.folder(), now);
        if (folder.isEmpty())
            return "cannot make a folder in " + _points.folder();
        RestorePoint point;
        point.id = QFileInfo(folder).fileName();
        point.time = now;
        point.reason = _reason;
        point.folder = folder;
        if (const auto error = WriteUnfinishedRestorePointManifest(point, _storeChanges(),
                                                                   Durability::contentsOnly)) {
            RemoveRestorePointFolder(folder);
            return error;
        }
        _point = std::move(point);
        return std::nullopt;
    }

    // Writes the unit's record before its change (over its earlier record when it has one).
    std::optional<QString> keep(KeptUnit unit, std::optional<std::size_t> replacing,
                                Durability durability = Durability::powerLoss) {
        if (auto error = makePoint())
            return error;
        const std::size_t index = replacing.value_or(_units.size());
        const QString file = KeptUnitFileName(index + 1);
        auto written = WriteKeptUnit(_point->folder, file, unit, durability);
        if (const auto* error = std::get_if<QString>(&written))
            return *error;
        _unsynchronised = durability != Durability::powerLoss;
        if (replacing) {
            _units[index] = std::move(unit);
            _digests[index] = std::get<KeptFileDigest>(written);
        } else {
            if (unit.isFile())
                _files[unit.path].unit = index;
            _units.push_back(std::move(unit));
            _digests.push_back(std::get<KeptFileDigest>(written));
        }
        return std::nullopt;
    }

    void readBackSignature(const PendingSignature& pending,
                           const std::optional<QStringList>& names) {
        KeptUnit& unit = _units[pending.unit];
        const auto present = ReadOutlookSignatureContent(*pending.runner, unit.name);
        if (!present || !names)
            return;  // stays unknown: a restore treats what is there as the pass's
        unit.nameShared = unit.nameShared || names->count(unit.name) > 1;
        EntryChange change = unit.entries.front();
        change.after = present->found ? EntryValue(present->content.toUtf8()) : EntryValue();
        change.afterKnown = true;
        unit.entries.clear();
        if (change.after != change.before)
            unit.entries.push_back(std::move(change));
        auto written = WriteKeptUnit(_point->folder, _digests[pending.unit].file, unit);
        if (const auto* digest = std::get_if<KeptFileDigest>(&written))
            _digests[pending.unit] = *digest;
    }

    RestorePoints _points;
    QString _reason;
    StoreChangesSource _storeChanges;
    std::optional<RestorePoint> _point;  // the header while the pass runs
    bool _unsynchronised = false;        // records written since the folder's last synchronisation
    std::vector<KeptUnit> _units;        // in the order kept
    std::vector<KeptFileDigest> _digests;
    std::map<QString, FileState> _files;
    std::vector<PendingRows> _pendingRows;
    std::set<QString> _rowsKept;
    std::vector<PendingSignature> _pendingSignatures;
    std::set<QString> _signatureNames;
    std::optional<QStringList> _namesBeforePass;
    std::map<QString, std::size_t> _defaultsUnits;  // by account identifier
};

// One client's writes: what each change changes is kept, then the change goes on to the target.
class RestorePointRecorder::Writes final : public ClientWrites {
public:
    Writes(State& state, ClientKind client) : _state(state), _client(client) {}

    std::optional<FileFailure> writeFile(const QString& path, const QByteArray& contents) override {
        if (auto error = _state.fileWillChange(_client, path, contents))
            return FileFailure{"cannot keep a restore point: " + *error};
        return _state.target.writeFile(path, contents);
    }
    // Every file's record first, with one synchronisation of the point for them all, then the
    // files. A record that cannot be kept fails its file: those before it are written.
    std::optional<ClientBatchFailure> writeFiles(std::span<const ClientFileWrite> files) override {
        std::size_t kept = 0;
        std::optional<QString> error;
        for (; kept < files.size() && !error; ++kept) {
            error = _state.fileWillChange(_client, files[kept].path, files[kept].contents,
                                          Durability::contentsOnly);
        }
        if (error)
            --kept;
        if (const auto unsynchronised = _state.synchronisePoint()) {
            error = unsynchronised;
            kept = 0;
        }
        if (auto failure = _state.target.writeFiles(files.first(kept)))
            return failure;
        if (error)
            return ClientBatchFailure{kept, FileFailure{"cannot keep a restore point: " + *error}};
        return std::nullopt;
    }
    bool removeFile(const QString& path) override {
        return !_state.fileWillChange(_client, path, std::nullopt) &&
               _state.target.removeFile(path);
    }
    // Mail's cache: Mail builds it again, so a restore need not bring it back.
    bool removeFolder(const QString& path) override { return _state.target.removeFolder(path); }
    bool makeFolder(const QString& path) override { return _state.target.makeFolder(path); }
    // Made before its first change, which the point keeps from the file as made.
    std::optional<FileFailure> makeOwnersFile(const QString& path,
                                              const QByteArray& contents) override {
        return _state.target.makeOwnersFile(path, contents);
    }
    QString transactionEnd() const override { return _state.target.transactionEnd(); }
    bool rowsWillChange(sqlite3* database, const QString& table, const SqliteRowKey& key) override {
        return !_state.rowsWillChange(_client, database, table, key) &&
               _state.target.rowsWillChange(database, table, key);
    }
    bool transactionWillEnd(sqlite3* database) override {
        if (const auto error = _state.transactionWillEnd(database)) {
            LogError("Restore points: cannot keep a restore point: " + *error);
            return false;
        }
        return _state.target.transactionWillEnd(database);
    }
    bool signatureWillChange(const AppleScriptRunner& runner, const QString& name) override {
        return !_state.signatureWillChange(_client, runner, name) &&
               _state.target.signatureWillChange(runner, name);
    }
    bool defaultSignaturesWillChange(const QString& accountIdString, const QString& before,
                                     const QString& after) override {
        if (const auto error =
                _state.defaultSignaturesWillChange(_client, accountIdString, before, after)) {
            LogError("Restore points: cannot keep a restore point: " + *error);
            return false;
        }
        return _state.target.defaultSignaturesWillChange(accountIdString, before, after);
    }
    std::optional<QString> changeRegistrySource(const EvolutionRegistry& registry,
                                                const RegistrySourceChange& change) override {
        // The service writes the source's file: what it will hold is the change's data.
        const auto contents = change.kind == RegistrySourceChange::Kind::remove
                                  ? std::nullopt
                                  : std::optional<QByteArray>(change.data);
        if (auto error = _state.fileWillChange(_client, change.path, contents))
            return "cannot keep a restore point: " + *error;
        return _state.target.changeRegistrySource(registry, change);
    }
    void announceChange(const std::function<void()>& announce) override {
        _state.target.announceChange(announce);
    }
    void statementRan(const QString& expandedSql) override {
        _state.target.statementRan(expandedSql);
    }
    std::optional<QString> runChangingScript(const AppleScriptRunner& runner, const QString& name,
                                             const Replacements& replacements,
                                             bool treatEmptyOutputAsError) override {
        return _state.target.runChangingScript(runner, name, replacements, treatEmptyOutputAsError);
    }

private:
    State& _state;
    ClientKind _client;
};

RestorePointRecorder::RestorePointRecorder(RestorePoints points, QString reason,
                                           StoreChangesSource storeChanges, ClientWrites& target)
    : _state(std::make_unique<State>(std::move(points), std::move(reason), std::move(storeChanges),
                                     target)) {}

RestorePointRecorder::~RestorePointRecorder() = default;

ClientWrites& RestorePointRecorder::writesFor(ClientKind kind) {
    auto& writes = _writes[kind];
    if (!writes)
        writes = std::make_unique<Writes>(*_state, kind);
    return *writes;
}

std::optional<QString> RestorePointRecorder::finish(const std::set<QString>& inUse) {
    return _state->finish(inUse);
}

}  // namespace quillet
