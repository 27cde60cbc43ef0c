#pragma once
// A SQLite VFS over the default one that makes commits fail as a broken disk would: the write
// that marks a transaction committed in a write-ahead log is refused with an I/O error, so
// SQLite itself rolls the transaction back. It can also stop a connection right after it has
// closed a database, so that another process's work happens right there. Everything else passes
// through.
// Tests hand its name to the code under test (StoreOptions::sqliteVfs).

#include <QString>
#include <atomic>
#include <functional>
#include <string>

struct sqlite3_vfs;

namespace quillet {

class FaultySqliteVfs {
public:
    // Registers the VFS under the name, not as the default.
    explicit FaultySqliteVfs(const char* name = "quillet-faulty");
    ~FaultySqliteVfs();
    FaultySqliteVfs(const FaultySqliteVfs&) = delete;
    FaultySqliteVfs& operator=(const FaultySqliteVfs&) = delete;

    QString name() const;
    // Lets `passing` more commits through, then refuses the next `count`.
    void failCommits(int count, int passing = 0);

    // Runs `hook` once, in the closing thread, once a connection has closed a database whose file
    // is named `fileName` (opened after this call).
    void afterClosing(const QString& fileName, std::function<void()> hook);

    // Called by the VFS for each commit: whether it may be written.
    bool admitCommit();
    // Called by the VFS when a database opened as afterClosing asked has been closed.
    void closed();
    // Whether the database at that path is watched for its closing.
    bool watches(const char* path) const;

private:
    std::string _name;
    sqlite3_vfs* _vfs;
    std::atomic<int> _passing{0};
    std::atomic<int> _failing{0};
    QString _watchedFileName;
    std::function<void()> _afterClosing;
};

}  // namespace quillet
