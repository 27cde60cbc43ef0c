// A Thunderbird sync of 100 identities over a 20,000-line prefs.js, with the real logger and
// store, side by side with what it cannot do without: one read and one atomic write of that
// file. After one signature's text changed (a refresh) the sync should stay within three times
// the read and write; a sync that finds the file as planned writes nothing.
#include <benchmark/benchmark.h>

#include "app/clients/sync/ThunderbirdSync.h"
#include "bench/LargeProfile.h"

namespace quillet {
namespace {

void BM_ThunderbirdSyncOneOf100Changed(benchmark::State& state) {
    BenchLog log;
    LargeProfile profile;
    int revision = 0;
    for (auto _ : state) {
        profile.changeText(50, ++revision);
        benchmark::DoNotOptimize(SyncThunderbirdSignatures(profile.inputs()));
    }
}
BENCHMARK(BM_ThunderbirdSyncOneOf100Changed)->Unit(benchmark::kMillisecond);

void BM_ThunderbirdSyncNothingChanged(benchmark::State& state) {
    BenchLog log;
    LargeProfile profile;
    SyncThunderbirdSignatures(profile.inputs());
    for (auto _ : state)
        benchmark::DoNotOptimize(SyncThunderbirdSignatures(profile.inputs()));
}
BENCHMARK(BM_ThunderbirdSyncNothingChanged)->Unit(benchmark::kMillisecond);

void BM_ReadAndAtomicWriteOfPrefsJs(benchmark::State& state) {
    LargeProfile profile;
    for (auto _ : state) {
        const auto lines = ReadPrefsFileLines(profile.prefsPath());
        benchmark::DoNotOptimize(WritePrefsFileLines(profile.prefsPath(), *lines));
    }
}
BENCHMARK(BM_ReadAndAtomicWriteOfPrefsJs)->Unit(benchmark::kMillisecond);

// The parts of the sync, to see where its time goes.
void BM_PlanThunderbirdSync(benchmark::State& state) {
    LargeProfile profile;
    const QStringList lines = *ReadPrefsFileLines(profile.prefsPath());
    for (auto _ : state)
        benchmark::DoNotOptimize(PlanThunderbirdSync(profile.inputs(), lines, {}));
}
BENCHMARK(BM_PlanThunderbirdSync)->Unit(benchmark::kMillisecond);

void BM_FinishThunderbirdSyncOneChanged(benchmark::State& state) {
    BenchLog log;
    LargeProfile profile;
    FinishSync(ClientKind::thunderbird, profile.inputs(), "bench", true);
    int revision = 0;
    for (auto _ : state) {
        profile.changeText(50, ++revision);
        FinishSync(ClientKind::thunderbird, profile.inputs(), "bench", true);
    }
}
BENCHMARK(BM_FinishThunderbirdSyncOneChanged)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillet

BENCHMARK_MAIN();
