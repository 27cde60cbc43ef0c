// The signature store with 10,000 signatures, with the real logger: loading them all, and saving
// after a change to one of them (the save must write and log that one record only).
#include <benchmark/benchmark.h>
#include <QTemporaryDir>
#include <QUuid>

#include "app/store/Store.h"
#include "bench/BenchSupport.h"
#include "common/Text.h"

namespace quillet {
namespace {

constexpr int kSignatureCount = 10000;

// A data folder whose store holds kSignatureCount signatures, each selected and installed in
// Apple Mail for one account.
class TenThousandSignatures {
public:
    TenThousandSignatures() {
        const QString text = "<table><tr><td>" + QString(2000, 'x') + "</td></tr></table>";
        std::vector<Signature> signatures;
        for (int key = 1; key <= kSignatureCount; ++key) {
            Signature signature;
            signature.active = true;
            signature.colorIndex = key % 13;
            signature.keyQe = "key-" + QString::number(key);
            signature.mainTextQe = text;
            signature.nameQe = "Signature " + QString::number(key);
            signature.uuidX = QUuid::createUuid();
            signature.lastUpdateUnixTimeQz = 1700000000;
            const QString email = "user" + QString::number(key) + "@example.com";
            signature.clientKindToSelectedInstallationsInfoMap[ClientKind::appleMail]
                .accountEmailToPayloadMap[email] = {};
            signature.clientKindToPerformedInstallationsInfoMap[ClientKind::appleMail]
                .accountEmailToPayloadMap[email] = {CanonicalUuidText(signature.uuid()), text};
            signatures.push_back(signature);
        }
        StoreSignatures(folder(), signatures);
    }

    QString folder() const { return _folder.path(); }

private:
    QTemporaryDir _folder;
};

const TenThousandSignatures& Data() {
    static const TenThousandSignatures data;
    return data;
}

void BM_LoadSignatures(benchmark::State& state) {
    BenchLog log;
    const QString folder = Data().folder();
    for (auto _ : state) {
        auto store = Store::OpenStoreChain(folder, folder + "/Documents", {});
        auto loaded = store->LoadSignatures();
        if (!loaded || loaded->first.size() != size_t(kSignatureCount))
            state.SkipWithError("count");
        benchmark::DoNotOptimize(loaded);
    }
}
BENCHMARK(BM_LoadSignatures)->Unit(benchmark::kMillisecond);

// The engine saves all signatures of a refresh at once; only the changed one differs.
void BM_SaveAllWithOneChanged(benchmark::State& state) {
    BenchLog log;
    const QString folder = Data().folder();
    auto store = Store::OpenStoreChain(folder, folder + "/Documents", {});
    auto [ids, map] = *store->LoadSignatures();
    std::int64_t revision = 0;
    for (auto _ : state) {
        map.at(ids[ids.size() / 2])->mainTextQe = "<p>revision " + QString::number(++revision);
        store->SaveSignatures(ids, map);
        if (store->hasChanges())
            state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_SaveAllWithOneChanged)->Unit(benchmark::kMillisecond);

void BM_SaveTheOneChanged(benchmark::State& state) {
    BenchLog log;
    const QString folder = Data().folder();
    auto store = Store::OpenStoreChain(folder, folder + "/Documents", {});
    auto [ids, map] = *store->LoadSignatures();
    const SignatureId changed = ids[ids.size() / 2];
    std::int64_t revision = 0;
    for (auto _ : state) {
        Signature& signature = *map.at(changed);
        signature.mainTextQe = "<p>revision " + QString::number(++revision);
        signature.clientKindToPerformedInstallationsInfoMap[ClientKind::appleMail]
            .accountEmailToPayloadMap.begin()
            ->second.textQe = signature.mainTextQe;
        store->SaveSignatures({changed}, map);
        if (store->hasChanges())
            state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_SaveTheOneChanged)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quillet

BENCHMARK_MAIN();
