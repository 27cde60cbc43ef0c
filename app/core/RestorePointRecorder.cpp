#include <sqlite3.h>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <set>

#include "app/clients/sync/OutlookSync.h"
#include "app/core/RestorePointManifest.h"
#include "app/core/RestorePointRows.h"
#include "app/core/RestorePoints.h"
#include "app/core/StoreCopy.h"
#include "platform/AtomicFile.h"

namespace quillet {

namespace {

// A new point's id: its time to the second (UTC), and a count when that folder is taken.
QString NewPointFolder(const QString& pointsFolder, const QDateTime& time) {
    QDir().mkpath(pointsFolder);
    const QString stem = time.toString("yyyyMMdd-HHmmss");
    for (int count = 1; count < 1000; ++count) {
        const QString id = count == 1 ? stem : stem + "-" + QString::number(count);
        if (QDir(pointsFolder).mkdir(id))
            return pointsFolder + "/" + id;
    }
    return {};
}

}  // namespace

// The point being made, and what of it is kept already.
class RestorePointRecorder::State {
public:
    State(RestorePoints points, QString reason, StoreKeeper keepStore, ClientWrites& target)
        : points(std::move(points)),
          reason(std::move(reason)),
          keepStore(std::move(keepStore)),
          target(target) {}

    // The file as it is now, before the first change of it; nothing when kept.
    std::optional<QString> keepFile(ClientKind client, const QString& path) {
        if (_files.count(path))
            return std::nullopt;
        if (auto error = makePoint())
            return error;
        KeptFile kept{client, path, std::nullopt, 0, {}};
        if (QFileInfo(path).isFile()) {
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                return "cannot read " + path;
            const QByteArray bytes = file.readAll();
            const QString copy = "files/" + QString::number(_point->files.size() + 1);
            if (auto error = WriteFileAtomicallyOrDescribeError(_point->folder + "/" + copy, bytes))
                return error;
            kept.copy = copy;
            kept.size = bytes.size();
            kept.sha256 = QString::fromLatin1(
                QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        }
        _point->files.push_back(kept);
        _files.insert(path);
        return save(client);
    }

    std::optional<QString> keepRows(ClientKind client, sqlite3* database, const QString& table,
                                    const SqliteRowKey& key) {
        const char* file = sqlite3_db_filename(database, "main");
        const QString path = QString::fromUtf8(file ? file : "");
        QStringList identity{path, table};
        for (const auto& [column, value] : key)
            identity << column << value;
        const QString keyText = identity.join(QChar(0));
        if (_rows.count(keyText))
            return std::nullopt;
        if (auto error = makePoint())
            return error;
        auto rows = ReadRowsWithKey(database, table, key);
        if (!rows)
            return "cannot read the rows of " + table + " in " + path;
        _point->rows.push_back(KeptRows{client, path, table, key, std::move(*rows)});
        _rows.insert(keyText);
        return save(client);
    }

    std::optional<QString> keepSignature(ClientKind client, const AppleScriptRunner& runner,
                                         const QString& name) {
        if (_signatures.count(name))
            return std::nullopt;
        if (auto error = makePoint())
            return error;
        const auto present = ReadOutlookSignatureContent(runner, name);
        if (!present)
            return "cannot read the signature \"" + name + "\"";
        _point->signatures.push_back(KeptSignature{
            client, name, present->found ? std::optional(present->content) : std::nullopt});
        _signatures.insert(name);
        return save(client);
    }

    std::optional<QString> pointId() const {
        return _point ? std::optional(_point->id) : std::nullopt;
    }

    RestorePoints points;
    QString reason;
    StoreKeeper keepStore;
    ClientWrites& target;

private:
    // At the pass's first change: the folder and the store as it was before.
    std::optional<QString> makePoint() {
        if (_point)
            return std::nullopt;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QString folder = NewPointFolder(points.folder(), now);
        if (folder.isEmpty())
            return "cannot make a folder in " + points.folder();
        RestorePoint point;
        point.id = QFileInfo(folder).fileName();
        point.time = now;
        point.reason = reason;
        point.folder = folder;
        // The manifest comes with the first thing kept, before the change: a folder without one
        // holds nothing to restore and is pruned.
        if (const auto error = keepStore(folder + "/" + kStoreFileName)) {
            QDir(folder).removeRecursively();
            return error;
        }
        _point = std::move(point);
        return std::nullopt;
    }

    std::optional<QString> save(ClientKind client) {
        auto& clients = _point->clients;
        if (std::find(clients.begin(), clients.end(), client) == clients.end()) {
            clients.push_back(client);
            std::sort(clients.begin(), clients.end());  // the enumeration is in client order
        }
        auto error = WriteRestorePointManifest(*_point);
        // Once the new point counts among them, the oldest beyond the limits go.
        if (!error && !_pruned) {
            _pruned = true;
            points.prune(_point->time);
        }
        return error;
    }

    std::optional<RestorePoint> _point;
    bool _pruned = false;
    std::set<QString> _files;
    std::set<QString> _rows;
    std::set<QString> _signatures;
};

// One client's writes: what is there is kept, then the change goes on to the target.
class RestorePointRecorder::Writes final : public ClientWrites {
public:
    Writes(State& state, ClientKind client) : _state(state), _client(client) {}

    std::optional<QString> writeFile(const QString& path, const QByteArray& contents) override {
        if (auto error = _state.keepFile(_client, path))
            return "cannot keep a restore point: " + *error;
        return _state.target.writeFile(path, contents);
    }
    bool removeFile(const QString& path) override {
        return !_state.keepFile(_client, path) && _state.target.removeFile(path);
    }
    bool removeFolder(const QString& path) override {
        QDirIterator files(path, QDir::Files | QDir::Hidden | QDir::System,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            if (_state.keepFile(_client, files.next()))
                return false;
        }
        return _state.target.removeFolder(path);
    }
    bool makeFolder(const QString& path) override { return _state.target.makeFolder(path); }
    QString transactionEnd() const override { return _state.target.transactionEnd(); }
    bool rowsWillChange(sqlite3* database, const QString& table, const SqliteRowKey& key) override {
        return !_state.keepRows(_client, database, table, key) &&
               _state.target.rowsWillChange(database, table, key);
    }
    bool signatureWillChange(const AppleScriptRunner& runner, const QString& name) override {
        return !_state.keepSignature(_client, runner, name) &&
               _state.target.signatureWillChange(runner, name);
    }
    std::optional<QString> changeRegistrySource(const EvolutionRegistry& registry,
                                                const RegistrySourceChange& change) override {
        if (auto error = _state.keepFile(_client, change.path))
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
                                           StoreKeeper keepStore, ClientWrites& target)
    : _state(std::make_unique<State>(std::move(points), std::move(reason), std::move(keepStore),
                                     target)) {}

RestorePointRecorder::~RestorePointRecorder() = default;

ClientWrites& RestorePointRecorder::writesFor(ClientKind kind) {
    auto& writes = _writes[kind];
    if (!writes)
        writes = std::make_unique<Writes>(*_state, kind);
    return *writes;
}

std::optional<QString> RestorePointRecorder::pointId() const {
    return _state->pointId();
}

}  // namespace quillet
