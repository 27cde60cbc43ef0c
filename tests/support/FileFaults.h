#pragma once
// Faults in the file system for tests: through the test-only library in tests/support/file-faults,
// the Nth operation (open, write, synchronise, rename, link, delete; read when asked) on a file
// under a folder fails, or kills the process. A test executable uses it in its own process when it
// links quillet_file_faults (tests/CMakeLists.txt); a child process gets it preloaded through
// FileFaultsEnvironment.

#include <QProcessEnvironment>
#include <QString>

namespace quillet {

enum class FileFaultAction { count = 0, fail = 1, kill = 2 };
// How a failing read fails: at once, or cut short (it gives the first half of what it read,
// and every later read of that file fails), as a disk that gives up part way does.
enum class FileReadFault { fail = 1, cutShort = 2 };

// In this process, for as long as the object lives: counts the operations under the folder
// (files ending in the ignored suffix aside) and acts on the Nth (0: never).
class FileFaults {
public:
    FileFaults(const QString& folder, FileFaultAction action, long target,
               const QString& ignoredSuffix = ".log");
    ~FileFaults();
    FileFaults(const FileFaults&) = delete;
    FileFaults& operator=(const FileFaults&) = delete;

    // The failing operation fails with this errno (EROFS: a read-only disk; EDQUOT) instead of
    // its own (EIO, or ENOSPC for a write: a full disk).
    void failWith(int errorNumber);
    // Reads count as operations too, and the Nth, when it is a read, fails so.
    void faultReads(FileReadFault fault);

    long count() const;         // operations counted so far
    bool fired() const;         // whether the Nth operation came and failed
    QString lastFault() const;  // "write PATH (operation N)"

    // Whether this test executable has the library (a test without it cannot inject faults).
    static bool Available();
};

// The path of the preload library, and an environment that preloads it into a child with the
// action at the Nth operation under the folder (logs aside); with a report path, the child writes
// the number of operations it counted there when it exits normally.
QString FileFaultsLibraryPath();
QProcessEnvironment FileFaultsEnvironment(QProcessEnvironment environment, const QString& folder,
                                          FileFaultAction action, long target,
                                          const QString& reportPath = {});

// A power cut after a kill: the environment makes the child note, in the journal, which files it
// wrote since they were last synchronised; CutPower then takes off the files under the folder
// what was written to them since (what a write appended, or all of a file never synchronised),
// as a disk's cache lost with the power would. Overwritten bytes are not put back.
QProcessEnvironment NoteUnsyncedWrites(QProcessEnvironment environment, const QString& journal);
void CutPower(const QString& folder, const QString& journal);

}  // namespace quillet
