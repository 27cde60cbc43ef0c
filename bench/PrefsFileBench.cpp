// The cost of a Thunderbird sync's prefs.js edits: four settings for each of 100 identities in a
// 20,000-line file, set in one pass, against setting them one by one (a pass per setting).
#include <benchmark/benchmark.h>

#include "app/clients/PrefsFile.h"

namespace {

using namespace quillet;

constexpr int kLines = 20'000;
constexpr int kIdentities = 100;

QStringList LargePrefsFile() {
    QStringList lines{"// Mozilla User Preferences", ""};
    for (int i = 1; i <= kIdentities; ++i) {
        const QString prefix = QString("mail.identity.id%1.").arg(i);
        lines.append(PrefsLine(prefix + "useremail", QString("\"user%1@example.org\"").arg(i)));
        lines.append(PrefsLine(prefix + "fullName", QString("\"User %1\"").arg(i)));
    }
    for (int i = 0; lines.size() < kLines; ++i) {
        lines.append(PrefsLine(QString("extensions.some.setting%1").arg(i), QString::number(i)));
    }
    lines.append("");
    return lines;
}

std::vector<PrefsLineSetting> SyncSettings() {
    std::vector<PrefsLineSetting> settings;
    const QString signature = PrefsStringRawValue("<p>Jane Doe</p>\n<p>Example</p>");
    for (int i = 1; i <= kIdentities; ++i) {
        const QString prefix = QString("mail.identity.id%1.").arg(i);
        settings.push_back({prefix + "htmlSigText", signature, prefix});
        settings.push_back({prefix + "htmlSigFormat", "true", prefix});
        settings.push_back({prefix + "sig_on_reply", "true", prefix});
        settings.push_back({prefix + "sig_on_fwd", "false", prefix});
    }
    return settings;
}

void BM_SetPrefsLinesInOnePass(benchmark::State& state) {
    const QStringList lines = LargePrefsFile();
    const auto settings = SyncSettings();
    for (auto _ : state)
        benchmark::DoNotOptimize(SetPrefsLines(lines, settings));
}
BENCHMARK(BM_SetPrefsLinesInOnePass)->Unit(benchmark::kMillisecond);

void BM_SetPrefsLineOneByOne(benchmark::State& state) {
    const QStringList lines = LargePrefsFile();
    const auto settings = SyncSettings();
    for (auto _ : state) {
        QStringList edited = lines;
        for (const auto& s : settings)
            edited = SetPrefsLine(edited, s.key, s.rawValue, s.groupPrefix);
        benchmark::DoNotOptimize(edited);
    }
}
BENCHMARK(BM_SetPrefsLineOneByOne)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ReadFileAsParsedLines(benchmark::State& state) {
    const QStringList lines = LargePrefsFile();
    for (auto _ : state) {
        int parsed = 0;
        for (const QString& line : lines)
            parsed += ParsePrefsLine(line).has_value();
        benchmark::DoNotOptimize(parsed);
    }
}
BENCHMARK(BM_ReadFileAsParsedLines)->Unit(benchmark::kMillisecond);

void BM_RemovePrefsLinesInOnePass(benchmark::State& state) {
    const QStringList lines = SetPrefsLines(LargePrefsFile(), SyncSettings());
    std::set<QString> keys;
    for (const auto& s : SyncSettings())
        keys.insert(s.key);
    for (auto _ : state)
        benchmark::DoNotOptimize(RemovePrefsLines(lines, keys));
}
BENCHMARK(BM_RemovePrefsLinesInOnePass)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
