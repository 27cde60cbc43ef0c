#pragma once
// Where a client sync's changes to the client's storage go. The sync pass writes them
// (DirectClientWrites); a preview collects them instead, so that the same sync, with every rule
// and every read, shows what it would change and changes nothing.
//
// Each operation answers as the real one would: a preview that cannot tell a write from a
// failure (a folder where a file should be) answers with the failure the write would meet.

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "app/base/AppleScript.h"
#include "platform/FileFailure.h"

struct sqlite3;

namespace quillet {

class EvolutionRegistry;

// A change of one source that a desktop service keeps for its client (Evolution's registry):
// made through the service, which writes the source's file itself.
struct RegistrySourceChange {
    enum class Kind { create, write, remove };
    Kind kind;
    QString uid;
    QString path;     // the file the service keeps the source in
    QByteArray data;  // the source's new key file (create, write)
};

// One whole file of several written together.
struct ClientFileWrite {
    QString path;
    QByteArray contents;
};

// The file of such a batch whose write failed, and what failed.
struct ClientBatchFailure {
    std::size_t index;
    FileFailure failure;
};

// Rows of a table chosen by the text values of some of their columns: (column, value).
using SqliteRowKey = std::vector<std::pair<QString, QString>>;

class ClientWrites {
public:
    virtual ~ClientWrites() = default;
    // A whole file, atomically; nothing, or what failed (its cause tells a full or read-only
    // disk from the rest).
    virtual std::optional<FileFailure> writeFile(const QString& path,
                                                 const QByteArray& contents) = 0;
    // Several files, each as writeFile writes it, in order: those before a failure are written,
    // the failed one and those after it are not. Written together, they share the waits for
    // the disk that one file would need alone. Nothing, or the first that failed.
    virtual std::optional<ClientBatchFailure> writeFiles(std::span<const ClientFileWrite> files);
    // An existing file; false when it could not be removed.
    virtual bool removeFile(const QString& path) = 0;
    // A folder and everything in it (a client's cache), never following a symbolic link: a
    // link there is removed itself. False when it could not be removed.
    virtual bool removeFolder(const QString& path) = 0;
    // A folder that must exist before files are written into it; false when it cannot.
    virtual bool makeFolder(const QString& path) = 0;
    // A file of Quillet's own that is not there yet, made its owner's alone and holding
    // `contents`, so that its first change through writeFile (which keeps the mode of the file
    // it replaces) is its owner's alone too. A preview only notes the file as new. Nothing, or
    // what failed.
    virtual std::optional<FileFailure> makeOwnersFile(const QString& path,
                                                      const QByteArray& contents);
    // Ends a transaction whose statements all succeeded: COMMIT, or a preview's ROLLBACK.
    virtual QString transactionEnd() const = 0;
    // The rows of `table` that have `key` are about to be deleted (and written anew) by the
    // transaction open on `database`. A restore point keeps them first; false when it could not,
    // and the transaction must end without the change.
    virtual bool rowsWillChange(sqlite3* database, const QString& table, const SqliteRowKey& key) {
        (void)database, (void)table, (void)key;
        return true;
    }
    // The transaction open on `database` is about to end (with transactionEnd()): its rows are
    // as it leaves them. A restore point reads what the changed rows now hold; false when it could
    // not, and the transaction must end without the change.
    virtual bool transactionWillEnd(sqlite3* database) {
        (void)database;
        return true;
    }
    // A signature that only the client holds, known by name (Outlook's), is about to be created or
    // deleted by the next changing script. False when it cannot be kept: the run is not made.
    virtual bool signatureWillChange(const AppleScriptRunner& runner, const QString& name) {
        (void)runner, (void)name;
        return true;
    }
    // An account's default signatures that only the client holds (Outlook's, by the names its
    // pop-ups show, a line each: OutlookDefaultsText) are about to change from `before` to `after`
    // by the next changing script. False when that cannot be kept: the run is not made.
    virtual bool defaultSignaturesWillChange(const QString& accountIdString, const QString& before,
                                             const QString& after) {
        (void)accountIdString, (void)before, (void)after;
        return true;
    }
    // Makes the change through the registry (what the sync pass does); a preview records the
    // source's file as changing instead, a restore point keeps that file first. Nothing, or a
    // description of what failed.
    virtual std::optional<QString> changeRegistrySource(const EvolutionRegistry& registry,
                                                        const RegistrySourceChange& change);
    // Tells a running client that its files changed (KMail's identitiesChanged); a preview
    // tells no one.
    virtual void announceChange(const std::function<void()>& announce) { announce(); }
    // A statement of that transaction ran, with its values bound (sqlite3_expanded_sql's text).
    virtual void statementRan(const QString& expandedSql) = 0;
    // Runs a script that changes the client (nothing of what reads it goes through here); the
    // output as runAppleScript gives it.
    virtual std::optional<QString> runChangingScript(const AppleScriptRunner& runner,
                                                     const QString& name,
                                                     const Replacements& replacements,
                                                     bool treatEmptyOutputAsError) = 0;
};

// The writes of the sync pass: straight to the client's storage, each after the lines logged
// before it are on disk.
ClientWrites& DirectClientWrites();

// Whether the file holds exactly these bytes already. A sync writes (and logs, and keeps in a
// restore point) only the files it changes: the others keep their bytes and their dates.
bool FileHolds(const QString& path, const QByteArray& contents);

}  // namespace quillet
