// Every client sync against a disk that fails: over the sample Mac, the Nth file operation (open,
// read, write, synchronise, rename, delete) under the fake Mac fails, a read by giving only part
// of the file before it fails, for every N from 1 until the sync no longer reaches an Nth
// operation. After each fault the sync must have returned its error, with the disk's own cause
// when a write failed (a full disk must not send the person to switch on Full Disk Access),
// every file must be as it was or as the whole sync leaves it, the signatures' installations
// must be unchanged, and a sync without faults must finish the work.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <cerrno>
#include <iostream>
#include <set>
#include <utility>
#include <vector>

#include "common/Log.h"
#include "tests/support/FileFaults.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

// Apple Mail writes its lists only for accounts by name.
const char* const kSteps[] = {"install", "install for each account", "remove"};

// Brings the world back to the state before the step's sync.
void Prepare(SampleClientWorld& world, int step) {
    world.reset(step == 1);
    if (step == 2) {
        EXPECT_EQ(world.sync(), std::nullopt);
        // The signature taken out of the client: the sync removes what it installed.
        world.store.signatures[1].clientKindToSelectedInstallationsInfoMap.erase(world.kind);
    }
}

// A full disk, a used-up quota, a read-only disk, and a failure of no cause of the disk's.
const std::pair<int, FileFailureCause> kDiskErrors[] = {{ENOSPC, FileFailureCause::noSpace},
                                                        {EDQUOT, FileFailureCause::quotaExceeded},
                                                        {EROFS, FileFailureCause::readOnlyDisk},
                                                        {EACCES, FileFailureCause::other}};

// Faults that the syncs ride over by design: Apple Mail's preferences only carry the default
// selection and never make its sync fail; a file that cannot be deleted (a removed signature's
// file, Mail's cache, a script file of Quillet's own) is logged and the sync goes on; SQLite does
// not fail a commit when it cannot synchronise the database's folder. Such a sync must then have
// done and recorded all the rest of its work.
bool FaultTheSyncRidesOver(const QString& fault) {
    static const QRegularExpression ridden(
        R"re(^delete |/\.?com\.apple\.mail\.plist[ .]|/Preferences \(|/databases \(|/Caches/com\.apple\.mail[ /])re");
    return ridden.match(fault).hasMatch();
}

// Walks N over one step of one client's sync; returns the number of faults injected.
int WalkFaults(ClientKind kind, int step, std::set<int>& causes) {
    // The whole step without faults: how many operations it makes and what it leaves.
    long operations = 0;
    FileStates after;
    QStringList descriptionsAfter;
    SampleClientWorld world(kind);
    {
        Prepare(world, step);
        FileFaults counting(world.mac.folder(), FileFaultAction::count, 0);
        counting.faultReads(FileReadFault::cutShort);
        EXPECT_EQ(world.sync(), std::nullopt);
        operations = counting.count();
        after = ReadFileStates(world.mac);
        descriptionsAfter = world.store.signatures.descriptions();
    }
    EXPECT_GT(operations, 0);
    int faults = 0;
    for (long target = 1; target <= operations; ++target) {
        Prepare(world, step);
        const FileStates before = ReadFileStates(world.mac);
        const QStringList descriptionsBefore = world.store.signatures.descriptions();
        std::optional<ClientSyncError> error;
        QString fault;
        {
            FileFaults faulty(world.mac.folder(), FileFaultAction::fail, target);
            faulty.faultReads(FileReadFault::cutShort);
            faulty.failWith(kDiskErrors[target % 4].first);
            error = world.sync();
            if (!faulty.fired())
                continue;  // a fault in a step that depends on timing: nothing to check
            fault = faulty.lastFault();
        }
        ++faults;
        SCOPED_TRACE(fault.toStdString());
        const FileStates now = ReadFileStates(world.mac);
        // A failed read of a file the sync only compares with its plan costs it nothing: it
        // writes the file anyway and finishes.
        const bool ridden = !error && (FaultTheSyncRidesOver(fault) || now == after);
        EXPECT_TRUE(error || ridden);
        static const QRegularExpression writing(R"re(^write |\.tmp )re");
        // The first failed write of each errno; later ones in a database's transaction may come
        // back as SQLite's own failure.
        const auto& [number, cause] = kDiskErrors[target % 4];
        if (error && kind != ClientKind::outlook && writing.match(fault).hasMatch() &&
            causes.insert(number).second) {
            EXPECT_EQ(error->cause, cause) << number;
        }
        for (const FileStates& states : {before, after, now}) {
            for (const auto& [path, contents] : states) {
                const auto state = [&path](const FileStates& of) {
                    const auto found = of.find(path);
                    return found == of.end() ? QByteArray("(none)") : found->second;
                };
                EXPECT_TRUE(state(now) == state(before) || state(now) == state(after))
                    << path.toStdString() << " is neither as before nor as after";
            }
        }
        // A sync may save what it is about to create before creating it (Outlook's record, so
        // that a sync killed in between finds its own signature); a failure puts the record back
        // and saves it again, so the records end as they were.
        EXPECT_EQ(world.store.signatures.descriptions(),
                  ridden ? descriptionsAfter : descriptionsBefore);

        EXPECT_EQ(world.sync(), std::nullopt);
        EXPECT_EQ(ReadFileStates(world.mac), after);
        EXPECT_EQ(world.store.signatures.descriptions(), descriptionsAfter);
    }
    return faults;
}

class SyncFileFaultsTest : public testing::TestWithParam<ClientKind> {
protected:
    void SetUp() override { ASSERT_TRUE(FileFaults::Available()); }
    LogTap log;
};

TEST_P(SyncFileFaultsTest, EveryFailedFileOperationLeavesWholeFilesAndTheNextSyncFinishes) {
    std::set<int> causes;
    for (int step = 0; step < int(std::size(kSteps)); ++step) {
        SCOPED_TRACE(kSteps[step]);
        const int faults = WalkFaults(GetParam(), step, causes);
        EXPECT_GT(faults, 0);
        // tools/fault-counts.sh shows these in CI's log, so that a walk that shrinks is seen.
        std::cout << StoredText(GetParam()).toStdString() << " " << kSteps[step]
                  << ": faults injected: " << faults << std::endl;
    }
    // Outlook's storage is reached through its scripts only.
    EXPECT_EQ(causes.size(), GetParam() == ClientKind::outlook ? 0 : std::size(kDiskErrors));
}

INSTANTIATE_TEST_SUITE_P(Clients, SyncFileFaultsTest, testing::ValuesIn(kSampleMacClients),
                         ClientName);

}  // namespace
}  // namespace quillet
