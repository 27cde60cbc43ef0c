// A Thunderbird sync of 100 identities over a 20,000-line prefs.js, side by side with what it
// cannot do without: one read and one atomic write of that file. The sync should stay within
// three times the read and write.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <QUuid>

#include "app/clients/PrefsFile.h"
#include "app/clients/sync/SyncPlan.h"
#include "app/clients/sync/ThunderbirdSync.h"
#include "platform/Paths.h"

namespace quillet {
namespace {

constexpr int kLines = 20'000;
constexpr int kIdentities = 100;

class DiscardingSaver : public SignatureSaver {
public:
    void saveSignatures(const SignatureIds&, const IdToSignatureMap&) override {}
};

QString Email(int identity) {
    return QString("user%1@example.org").arg(identity);
}

// A profile whose prefs.js holds kIdentities identities among kLines lines, and one signature
// selected for each identity.
class LargeProfile {
public:
    LargeProfile() {
        clientInfo.mozillaBasedClientProfilePathQ = _folder.path();
        QStringList lines{"// Mozilla User Preferences", ""};
        for (int i = 1; i <= kIdentities; ++i) {
            const QString prefix = QString("mail.identity.id%1.").arg(i);
            lines.append(PrefsLine(prefix + "useremail", PrefsStringRawValue(Email(i))));
            lines.append(PrefsLine(prefix + "fullName", QString("\"User %1\"").arg(i)));
            accounts.accounts.push_back(std::make_shared<MozillaBasedClientAccount>(
                Email(i), QString::number(i), std::nullopt));

            auto signature = std::make_shared<Signature>();
            signature->active = true;
            signature->uuidX = QUuid::createUuid();
            signature->mainTextQe = QString("<p>User %1</p>\n<p>Example \"Org\"</p>").arg(i);
            signature->clientKindToSelectedInstallationsInfoMap[ClientKind::thunderbird]
                .accountEmailToPayloadMap[Email(i)] = {};
            ids.push_back(SignatureId{i});
            map.emplace(SignatureId{i}, signature);
        }
        for (int i = 0; lines.size() < kLines; ++i)
            lines.append(
                PrefsLine(QString("extensions.some.setting%1").arg(i), QString::number(i)));
        lines.append("");
        WritePrefsFileLines(prefsPath(), lines);
        accounts.status = AccountsInfoStatus::discoverySucceeded;
    }

    QString prefsPath() const { return _folder.path() + "/prefs.js"; }
    SyncInputs inputs() { return SyncInputs{clientInfo, accounts, ids, map, saver, paths}; }

    ClientInfo clientInfo{"/Applications/Thunderbird.app", "115.0", "115.0"};
    AccountsInfo accounts;
    SignatureIds ids;
    IdToSignatureMap map;
    DiscardingSaver saver;
    Paths paths{"/home", "/"};

private:
    QTemporaryDir _folder;
};

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
void BM_PlanThunderbirdPrefsLines(benchmark::State& state) {
    LargeProfile profile;
    const QStringList lines = *ReadPrefsFileLines(profile.prefsPath());
    for (auto _ : state)
        benchmark::DoNotOptimize(PlanThunderbirdPrefsLines(profile.inputs(), lines));
}
BENCHMARK(BM_PlanThunderbirdPrefsLines)->Unit(benchmark::kMillisecond);

void BM_FinishThunderbirdSync(benchmark::State& state) {
    LargeProfile profile;
    for (auto _ : state)
        FinishSync(ClientKind::thunderbird, profile.inputs(), "bench", true);
}
BENCHMARK(BM_FinishThunderbirdSync)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillet

BENCHMARK_MAIN();
