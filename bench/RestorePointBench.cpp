// What a restore point costs a pass: a Thunderbird sync over a 2 MB prefs.js after one text
// changed (with the real logger and store) written straight to the profile, side by side with
// the same sync whose writes go through a restore point's recorder (a new point each time: the
// store's copy, the file's copy written durably, the manifest). The point adds one copy of the
// file the pass changes.
#include <benchmark/benchmark.h>

#include <sqlite3.h>
#include <QDir>
#include <QFileInfo>

#include "app/clients/sync/ThunderbirdSync.h"
#include "app/core/RestorePoints.h"
#include "app/core/StoreCopy.h"
#include "bench/LargeProfile.h"

namespace quillet {
namespace {

// About 2 MB: 20,000 lines of about 100 bytes.
constexpr int kLines = 20'000;
constexpr int kPadding = 64;

// A small store for the point's copy of it.
class SmallStore {
public:
    SmallStore() {
        sqlite3* database = nullptr;
        sqlite3_open(path().toUtf8().constData(), &database);
        sqlite3_exec(database,
                     "CREATE TABLE signatures (id INTEGER PRIMARY KEY, name TEXT, text TEXT);"
                     "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100)"
                     " INSERT INTO signatures (name, text) SELECT 'Signature ' || i,"
                     " '<p>User ' || i || '</p>' FROM n;",
                     nullptr, nullptr, nullptr);
        sqlite3_close(database);
        _snapshot = DatabaseSnapshot::Take(path(), nullptr);
    }
    QString path() const { return _folder.path() + "/" + kStoreFileName; }
    StoreKeeper keeper() const {
        return [this](const QString& to) { return _snapshot->writeTo(to); };
    }

private:
    QTemporaryDir _folder;
    std::unique_ptr<DatabaseSnapshot> _snapshot;
};

void BM_ThunderbirdPass2MB(benchmark::State& state) {
    BenchLog log;
    LargeProfile profile(kLines, 100, kPadding);
    state.counters["prefs.js bytes"] = double(QFileInfo(profile.prefsPath()).size());
    int revision = 0;
    for (auto _ : state) {
        profile.changeText(50, ++revision);
        benchmark::DoNotOptimize(SyncThunderbirdSignatures(profile.inputs()));
    }
}
BENCHMARK(BM_ThunderbirdPass2MB)->Unit(benchmark::kMillisecond);

void BM_ThunderbirdPass2MBWithRestorePoint(benchmark::State& state) {
    BenchLog log;
    LargeProfile profile(kLines, 100, kPadding);
    SmallStore store;
    QTemporaryDir support;
    const RestorePoints points = RestorePoints::InSupportFolder(support.path());
    state.counters["prefs.js bytes"] = double(QFileInfo(profile.prefsPath()).size());
    int revision = 0;
    for (auto _ : state) {
        profile.changeText(50, ++revision);
        RestorePointRecorder recorder(points, "bench", store.keeper());
        benchmark::DoNotOptimize(
            SyncThunderbirdSignatures(profile.inputs(recorder.writesFor(ClientKind::thunderbird))));
        state.PauseTiming();
        QDir(points.folder()).removeRecursively();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ThunderbirdPass2MBWithRestorePoint)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillet

BENCHMARK_MAIN();
