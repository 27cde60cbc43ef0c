#pragma once
// A SQLite VFS over the default one that makes commits fail as a broken disk would: the write
// that marks a transaction committed in a write-ahead log is refused with an I/O error, so
// SQLite itself rolls the transaction back. Everything else passes through. Tests hand its name
// to the code under test (StoreOptions::sqliteVfs).

#include <QString>
#include <atomic>
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

    // Called by the VFS for each commit: whether it may be written.
    bool admitCommit();

private:
    std::string _name;
    sqlite3_vfs* _vfs;
    std::atomic<int> _passing{0};
    std::atomic<int> _failing{0};
};

}  // namespace quillet
