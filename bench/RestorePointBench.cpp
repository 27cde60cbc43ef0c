// What a restore point costs a pass: a Thunderbird sync over a 2 MB prefs.js after one text
// changed (with the real logger and store) written straight to the profile, side by side with
// the same sync whose writes go through a restore point's recorder (a new point each time: the
// preferences the pass changes, the manifest; no store records, which a pass keeps only for the
// signatures its command changed).
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFileInfo>

#include "app/clients/sync/ThunderbirdSync.h"
#include "app/restore/RestorePoints.h"
#include "bench/LargeProfile.h"

namespace quillet {
namespace {

// About 2 MB: 20,000 lines of about 100 bytes.
constexpr int kLines = 20'000;
constexpr int kPadding = 64;

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
    QTemporaryDir support;
    const RestorePoints points = RestorePoints::InSupportFolder(support.path());
    state.counters["prefs.js bytes"] = double(QFileInfo(profile.prefsPath()).size());
    int revision = 0;
    for (auto _ : state) {
        profile.changeText(50, ++revision);
        RestorePointRecorder recorder(points, "bench",
                                      [] { return std::vector<KeptStoreRecord>(); });
        benchmark::DoNotOptimize(
            SyncThunderbirdSignatures(profile.inputs(recorder.writesFor(ClientKind::thunderbird))));
        recorder.finish();
        state.PauseTiming();
        QDir(points.folder()).removeRecursively();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ThunderbirdPass2MBWithRestorePoint)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillet

BENCHMARK_MAIN();
