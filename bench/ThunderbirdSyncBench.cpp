// A Thunderbird sync of 100 identities over a 20,000-line prefs.js, side by side with what it
// cannot do without: one read and one atomic write of that file. The sync should stay within
// three times the read and write.
#include <benchmark/benchmark.h>

#include "app/clients/sync/ThunderbirdSync.h"
#include "bench/LargeProfile.h"

namespace quillet {
namespace {

void BM_ThunderbirdSync(benchmark::State& state) {
    LargeProfile profile;
    for (auto _ : state)
        benchmark::DoNotOptimize(SyncThunderbirdSignatures(profile.inputs()));
}
BENCHMARK(BM_ThunderbirdSync)->Unit(benchmark::kMillisecond);

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

void BM_FinishThunderbirdSync(benchmark::State& state) {
    LargeProfile profile;
    for (auto _ : state)
        FinishSync(ClientKind::thunderbird, profile.inputs(), "bench", true);
}
BENCHMARK(BM_FinishThunderbirdSync)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillet

BENCHMARK_MAIN();
