#pragma once
// Restore points: what each sync pass changed, so that the person can give back Quillet's own
// changes and nothing else. A point is a folder "Restore Points/<id>" in the support folder:
// "manifest.json" (what the point is), one record per place of a client's storage that the pass
// changed ("unit-<n>.json": a prefs.js, a property list, Postbox's signatures file, a file
// that is Quillet's own whole, rows of a database, an Outlook signature) and "store.json", the
// signature records the pass's command changed. A record holds only the entries that changed,
// each with its value before and after (prefs.js preferences by key, property-list members,
// list entries and members by their identifiers, row values by row key), so a point grows with
// the change and not with the files. The manifest is written when the pass first changes
// something (so that a pass killed half-way still leaves a point to restore) and when it ends;
// each record once, before its change. A pass that changes no client but adds or removes a
// signature or changes where it is installed (the client held its text already) keeps a point
// of the store alone, so that restoring an earlier point undoes that record too. A pass that
// changes nothing leaves none.
//
// Restoring a point (the engine's, app/core/RestoreFromPoint.h) undoes the passes from the newest
// point down to it, in that order, each entry against what the client holds now: an entry still
// holding what the pass wrote gets its earlier value back; one that the person changed since keeps
// the person's value, and the restore says so. The store's records go back field by field, so that
// the store and the clients agree afterwards. A restore runs as a sync pass does (the pass lock,
// closing running clients after asking, re-opening them), and its own changes make a point of their
// own, so a restore can itself be undone.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <variant>
#include <vector>

#include "app/clients/sync/ClientWrites.h"
#include "app/store/StoreRecord.h"
#include "common/ClientKind.h"

namespace quillet {

inline const QString kRestorePointsFolderName = QStringLiteral("Restore Points");
inline const QString kRestorePointManifestFileName = QStringLiteral("manifest.json");
// What the points of a restore name as their cause.
inline const QString kRestoreRestorePointReason = QStringLiteral("restore");
// Pruning: points older than this many days go, and only the newest kept-count stay.
inline constexpr int kRestorePointMaxAgeDays = 30;
inline constexpr int kRestorePointsKept = 50;

// A value of an entry as bytes; absent when there was no such entry (no preference of that
// key, no file, no row).
using EntryValue = std::optional<QByteArray>;

// One entry that a pass changed.
struct EntryChange {
    std::string key;  // the entry within its place (see RestorePointEntries.h)
    EntryValue before;
    EntryValue after;
    // False when the pass ended before the value it wrote could be read back (an Outlook
    // signature of a killed pass): restoring then treats what is there as the pass's.
    bool afterKnown = true;
};

// One place of a client's storage that a pass changed, with the entries it changed there.
struct KeptUnit {
    enum class Kind {
        prefsFile,         // Thunderbird's and Postbox's prefs.js: preferences by key
        propertyList,      // Apple Mail's lists and preferences: members by their path
        postboxList,       // Postbox's signatures file: entries by their key
        replacedSettings,  // the person's settings Quillet's signatures replaced: by place
        kconfigFile,       // KMail's identities: values by their group and key
        wholeFile,         // a file that is Quillet's own whole (a .mailsignature file)
        databaseRows,      // the rows of a table that have one key: their value, or its members
        outlookSignature,  // an Outlook signature by name: its content
        outlookDefaults    // an Outlook account's default signatures, by the account's
                           // identifier: their two names, a line each
    };
    // Whether the unit is a file (the others are rows, or what only the client holds).
    bool isFile() const {
        return kind != Kind::databaseRows && kind != Kind::outlookSignature &&
               kind != Kind::outlookDefaults;
    }
    KeptUnit(ClientKind client, Kind kind) : client(client), kind(kind) {}

    ClientKind client;
    Kind kind;
    QString path;               // the file, or the database
    bool existedBefore = true;  // a file: whether it was there before the pass
    // databaseRows: the table, the rows' key, and the rows as they were (each an object of
    // column to value; see RestorePointRows.h), so that they come back whole.
    QString table;
    SqliteRowKey key;
    nlohmann::json rowsBefore = nlohmann::json::array();
    QString name;  // outlookSignature, outlookDefaults
    // outlookSignature: another signature bore the same name before or after the pass, so what
    // was read under the name may be another signature than the one the pass changed.
    bool nameShared = false;
    std::vector<EntryChange> entries;

    // The same place in two points has the same identity.
    QString identity() const;
};

// A signature record as the pass's command found it and left it (absent: no record).
struct KeptStoreRecord {
    QString uuid;
    std::optional<SignatureRecord> before;
    std::optional<SignatureRecord> after;
    // Its key in the store (0: not known, in points of earlier versions): a record that comes
    // back takes it again, and with it its place in store order.
    std::int64_t primaryKey = 0;
};

struct RestorePoint {
    QString id;
    QDateTime time;                   // UTC
    QString reason;                   // what the pass did: "install", "refresh", "restore", …
    std::vector<ClientKind> clients;  // the clients it changed, in client order
    QStringList files;                // the files it changed, in the order first changed
    bool complete = false;            // false: the pass ended before the point was finished
    std::vector<KeptUnit> units;      // in the order first changed
    std::vector<KeptStoreRecord> store;
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

// The restore points of one support folder. A point is a real folder: a symbolic link in the
// points' folder is no point, and removing one removes the link, never what it points to.
class RestorePoints {
public:
    // `folder`: "<support folder>/Restore Points".
    explicit RestorePoints(QString folder);
    static RestorePoints InSupportFolder(const QString& supportFolder);
    const QString& folder() const { return _folder; }

    // Every point whose manifest can be read, newest first (points of the same second by id).
    std::vector<RestorePoint> list() const;
    // One point, read whole and checked (every record present and as written). damaged or
    // notFound otherwise.
    RestorePointResult<RestorePoint> read(const QString& id) const;
    // The point and every newer one, newest first, each read whole: what restoring it undoes.
    RestorePointResult<std::vector<RestorePoint>> readFrom(const QString& id) const;
    // Removes points older than kRestorePointMaxAgeDays before `now` and all but the newest
    // kRestorePointsKept, and the leftovers of points that never kept anything; never those in
    // `inUse`.
    void prune(const QDateTime& now, const std::set<QString>& inUse = {}) const;

private:
    QString _folder;
};

// The signature records that the store saves changed since the pass's command began.
using StoreChangesSource = std::function<std::vector<KeptStoreRecord>()>;

// Keeps what one pass changes: each client's writes go through writesFor(kind), which works out
// the entries each change makes (from what is there and what is written) and keeps them before
// handing the change on to `target`. The point is made at the first change; when keeping fails,
// the change is not made and fails as a write would. finish() completes the point.
class RestorePointRecorder {
public:
    RestorePointRecorder(RestorePoints points, QString reason, StoreChangesSource storeChanges,
                         ClientWrites& target = DirectClientWrites());
    ~RestorePointRecorder();
    RestorePointRecorder(const RestorePointRecorder&) = delete;
    RestorePointRecorder& operator=(const RestorePointRecorder&) = delete;

    ClientWrites& writesFor(ClientKind kind);
    // Reads back what the pass left where it could not know it before (Outlook's signatures),
    // keeps the store's changes and writes the manifest; a point whose changes all came to
    // nothing, and whose store changed no installation, is removed. Then points beyond the limits
    // are pruned (never those in `inUse`). The id of the point, absent when the pass changed
    // nothing.
    std::optional<QString> finish(const std::set<QString>& inUse = {});

private:
    class State;
    class Writes;
    std::unique_ptr<State> _state;
    std::map<ClientKind, std::unique_ptr<Writes>> _writes;
};

}  // namespace quillet
