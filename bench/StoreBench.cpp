// The signature store with 10,000 signatures: loading them all, and saving after a change to
// one of them (the save must write that one record only).
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include "app/core/Store.h"
#include "common/Text.h"

namespace quillet {
namespace {

constexpr int kSignatureCount = 10000;

// A data folder whose store holds kSignatureCount signatures, each selected and installed in
// Apple Mail for one account. Written with one transaction, as adding them one by one would
// measure 10,000 commits instead.
class TenThousandSignatures {
public:
    TenThousandSignatures() {
        Store::OpenStoreChain(folder(), folder() + "/Documents", {});
        sqlite3* database = nullptr;
        sqlite3_open(QFile::encodeName(folder() + "/DataV2.sqlite").constData(), &database);
        sqlite3_exec(database, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* signature = nullptr;
        sqlite3_prepare_v2(database,
                           "INSERT INTO ZSIGNATUREENTITYV2 (Z_PK, Z_ENT, Z_OPT, ZACTIVE, "
                           "ZCOLORINDEX, ZKEYQE, ZMAINTEXTQE, ZNAMEQE, ZPENDINGDELETION, "
                           "ZUUIDSTRING, ZLASTUPDATEUNIXTIMEQZ) VALUES (?1, 3, 1, 1, ?1 % 13, "
                           "'key-' || ?1, ?2, 'Signature ' || ?1, 0, ?3, 1700000000)",
                           -1, &signature, nullptr);
        sqlite3_stmt* selected = nullptr;
        sqlite3_prepare_v2(database,
                           "INSERT INTO ZSELECTEDINSTALLATIONENTITYV2 (Z_PK, Z_ENT, Z_OPT, "
                           "ZSIGNATURE, ZCLIENT, ZACCOUNTEMAILQE, ZPENDINGREINSTALLATION) VALUES "
                           "(?1, 2, 1, ?1, 'AppleMail', 'user' || ?1 || '@example.com', 0)",
                           -1, &selected, nullptr);
        sqlite3_stmt* performed = nullptr;
        sqlite3_prepare_v2(database,
                           "INSERT INTO ZPERFORMEDINSTALLATIONENTITYV2 (Z_PK, Z_ENT, Z_OPT, "
                           "ZSIGNATURE, ZCLIENT, ZACCOUNTEMAILQE, ZIDSTRINGQE, ZTEXTQE) VALUES "
                           "(?1, 1, 1, ?1, 'AppleMail', 'user' || ?1 || '@example.com', ?3, ?2)",
                           -1, &performed, nullptr);
        const QByteArray text =
            QByteArray("<table><tr><td>") + QByteArray(2000, 'x') + "</td></tr></table>";
        for (int key = 1; key <= kSignatureCount; ++key) {
            const QByteArray uuid = CanonicalUuidText(QUuid::createUuid()).toUtf8();
            for (sqlite3_stmt* statement : {signature, selected, performed}) {
                sqlite3_bind_int(statement, 1, key);
                sqlite3_bind_text(statement, 2, text.constData(), int(text.size()), SQLITE_STATIC);
                sqlite3_bind_text(statement, 3, uuid.constData(), int(uuid.size()),
                                  SQLITE_TRANSIENT);
                sqlite3_step(statement);
                sqlite3_reset(statement);
            }
        }
        for (sqlite3_stmt* statement : {signature, selected, performed}) {
            sqlite3_finalize(statement);
        }
        sqlite3_exec(database,
                     QString("UPDATE Z_PRIMARYKEY SET Z_MAX = %1; COMMIT")
                         .arg(kSignatureCount)
                         .toUtf8()
                         .constData(),
                     nullptr, nullptr, nullptr);
        sqlite3_close(database);
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
    const QString folder = Data().folder();
    for (auto _ : state) {
        auto store = Store::OpenStoreChain(folder, folder + "/Documents", {});
        auto loaded = store->LoadSignatures();
        if (loaded.first.size() != size_t(kSignatureCount))
            state.SkipWithError("count");
        benchmark::DoNotOptimize(loaded);
    }
}
BENCHMARK(BM_LoadSignatures)->Unit(benchmark::kMillisecond);

// The engine saves all signatures of a refresh at once; only the changed one differs.
void BM_SaveAllWithOneChanged(benchmark::State& state) {
    const QString folder = Data().folder();
    auto store = Store::OpenStoreChain(folder, folder + "/Documents", {});
    auto [ids, map] = store->LoadSignatures();
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
    const QString folder = Data().folder();
    auto store = Store::OpenStoreChain(folder, folder + "/Documents", {});
    auto [ids, map] = store->LoadSignatures();
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
