#pragma once
// Restore points: before a sync pass first changes a client, it keeps what it is about to change,
// so that the person can put the store and the clients back as they were. A point is a folder
// "Restore Points/<id>" in the support folder holding "manifest.json", a consistent copy of the
// store ("DataV2.sqlite", through SQLite's online backup) and a durable copy of each client file
// as it was ("files/<n>"); the Spark rows and the Outlook signatures it changes are kept in the
// manifest. The manifest is rewritten (atomically) after each thing kept and before the change
// itself, so a pass that dies half-way still leaves a usable point. A pass that changes nothing
// leaves none.
//
// Restoring checks the whole point first (manifest, every copy's size and digest, the store
// copy's integrity) and refuses a damaged or incomplete one before changing anything. It runs as
// a sync pass does (the pass lock, closing running clients after asking, re-opening them), and
// its own changes go through a recorder like any pass's, so a restore can itself be undone.

#include <QDateTime>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <variant>
#include <vector>

#include "app/clients/sync/ClientWrites.h"
#include "common/ClientKind.h"

namespace quillet {

class Core;

inline const QString kRestorePointsFolderName = QStringLiteral("Restore Points");
inline const QString kRestorePointManifestFileName = QStringLiteral("manifest.json");
// The reason of the points that refreshes (and the application's own passes) make.
inline const QString kRefreshRestorePointReason = QStringLiteral("refresh");
// Pruning: points older than this many days go, and only the newest kept-count stay.
inline constexpr int kRestorePointMaxAgeDays = 30;
inline constexpr int kRestorePointsKept = 50;

// A client file as it was before the pass.
struct KeptFile {
    ClientKind client;
    QString path;                 // the client's file
    std::optional<QString> copy;  // its copy, relative to the point; absent: there was no file
                                  // (restoring removes it)
    qint64 size = 0;
    QString sha256;  // hex digest of the copy
};

// Rows of a client's database table, chosen by the text values of some columns, as they were:
// restoring deletes the rows that have that key now and inserts these, in one transaction.
struct KeptRows {
    ClientKind client;
    QString database;                              // the database file
    QString table;                                 // a plain identifier
    std::vector<std::pair<QString, QString>> key;  // column, value
    // Each row an object of column to value: null, integer, real, text, or {"blob": base64}.
    nlohmann::json rows = nlohmann::json::array();
};

// A signature that only its client holds, known by name (Outlook's), as it was.
struct KeptSignature {
    ClientKind client;
    QString name;
    std::optional<QString> content;  // absent: there was none (restoring deletes it)
};

struct RestorePoint {
    QString id;
    QDateTime time;                   // UTC
    QString reason;                   // the command that made it ("install", …) or "refresh"
    std::vector<ClientKind> clients;  // the clients it holds, in client order
    std::vector<KeptFile> files;      // in the order first changed
    std::vector<KeptRows> rows;
    std::vector<KeptSignature> signatures;
    QString folder;  // where it lies
};

struct RestorePointError {
    enum class Kind {
        notFound,  // no point of that id
        damaged,   // incomplete or damaged: refused, nothing changed
        refused,   // the request does not fit the point (a client it does not hold)
        failed,    // restoring started and something failed (a problems alert says what)
        postponed  // the person chose "Later" on closing the clients: nothing changed
    };
    Kind kind;
    QString message;  // for the person
};

template <typename T>
using RestorePointResult = std::variant<T, RestorePointError>;

// The restore points of one support folder.
class RestorePoints {
public:
    // `folder`: "<support folder>/Restore Points".
    explicit RestorePoints(QString folder);
    static RestorePoints InSupportFolder(const QString& supportFolder);
    const QString& folder() const { return _folder; }

    // Every point whose manifest can be read, newest first (points of the same second by id).
    std::vector<RestorePoint> list() const;
    // One point, checked whole: the manifest, every kept file's copy (present, its size and
    // digest), the store copy (SQLite's integrity check). damaged or notFound otherwise.
    RestorePointResult<RestorePoint> read(const QString& id) const;
    // Removes points older than kRestorePointMaxAgeDays before `now` and all but the newest
    // kRestorePointsKept, and the leftovers of points that never kept anything.
    void prune(const QDateTime& now) const;

private:
    QString _folder;
};

// Writes the store as it was before the pass into a new file at the given path; nothing on
// success, else what failed. The engine hands in a copy of the store taken before the changes
// that the pass carries.
using StoreKeeper = std::function<std::optional<QString>(const QString& to)>;

// Keeps what one pass changes: each client's writes go through writesFor(kind), which keeps what
// is there before its first change of each file, row key and signature, and then hands the change
// on to `target`. The point is made at the first change (with the store copy); when keeping
// fails, the change is not made and fails as a write would.
class RestorePointRecorder {
public:
    RestorePointRecorder(RestorePoints points, QString reason, StoreKeeper keepStore,
                         ClientWrites& target = DirectClientWrites());
    ~RestorePointRecorder();
    RestorePointRecorder(const RestorePointRecorder&) = delete;
    RestorePointRecorder& operator=(const RestorePointRecorder&) = delete;

    ClientWrites& writesFor(ClientKind kind);
    // The point made so far; absent while nothing has changed.
    std::optional<QString> pointId() const;

private:
    class State;
    class Writes;
    std::unique_ptr<State> _state;
    std::map<ClientKind, std::unique_ptr<Writes>> _writes;
};

// Puts the store and the point's clients (all when `clients` is empty) back as the point holds
// them: checks the point, then runs as a sync pass (closing running clients after asking), files
// written atomically, rows in one transaction per database, signatures deleted and created, the
// store last, and the engine reloads it. `done` runs once on the main thread: nothing on success.
// The engine's own recorder keeps a point of the restore's changes (reason "restore").
void RestoreFromPoint(Core& core, const QString& id, const std::vector<ClientKind>& clients,
                      std::function<void(std::optional<RestorePointError>)> done);

}  // namespace quillet
