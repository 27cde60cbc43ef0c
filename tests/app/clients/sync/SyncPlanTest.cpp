// The bookkeeping every client's sync shares, told as stories under tests/data/sync/plan (see
// the README there).
#include <gtest/gtest.h>

#include "app/clients/sync/SyncPlan.h"
#include "tests/support/SyncTestSupport.h"

namespace quillet {
namespace {

constexpr ClientKind kPostbox = ClientKind::postbox;

class PlanWorld {
public:
    explicit PlanWorld(const QString& = {}) {}

    void apply(const QStringList& row) {
        const QString& what = row[0];
        const auto cell = [&](int i) { return row.value(i); };
        const auto signature = [&]() -> Signature& { return store.signatures[cell(1).toInt()]; };
        const auto described = [&](const auto& map) {
            return map.count(kPostbox) ? Describe(map.at(kPostbox)) : QString("none");
        };
        if (what == "accounts") {
            accounts = MozillaAccountsInfo(
                row.mid(2), cell(1) == "failed" ? AccountsInfoStatus::discoveryFailed
                                                : AccountsInfoStatus::discoverySucceeded);
        } else if (what == "local-text") {
            signature().localTextQe = cell(2);
        } else if (what == "update") {
            UpdateInstallations(kPostbox, DiscoveryStateOf(accounts), signature());
        } else if (what == "effective") {
            EXPECT_EQ(EffectiveText(signature()).value_or("-"), cell(2));
        } else if (what == "installable") {
            EXPECT_EQ(IsInstallable(signature(), kPostbox), cell(2) == "yes");
        } else if (what == "installable-ids") {
            std::set<SignatureId> ids;
            for (const QString& number : row.mid(1))
                ids.insert(SignatureId{number.toInt()});
            EXPECT_EQ(InstallableSignatureIds(kPostbox, accounts, store.signatures.map()), ids);
        } else if (what == "winners") {
            QStringList winners;
            for (const auto& [email, id] : AccountEmailToSignatureIdMap(
                     kPostbox, accounts, store.signatures.ids(), store.signatures.map()))
                winners << email + "=" + id.toString();
            EXPECT_EQ(winners, row.mid(1));
        } else if (what == "performed-is") {
            EXPECT_EQ(described(signature().clientKindToPerformedInstallationsInfoMap), cell(2));
        } else if (what == "selected-is") {
            EXPECT_EQ(described(signature().clientKindToSelectedInstallationsInfoMap), cell(2));
        } else if (what == "releases") {
            EXPECT_EQ(ReleasesAccountDefault(kPostbox, signature(), cell(2) == "stays", cell(3)),
                      cell(4) == "yes");
        } else {
            ADD_FAILURE() << "no such row: " << what.toStdString();
        }
    }

    StoreRows store{kPostbox};
    AccountsInfo accounts;
};

TEST(SyncPlanTest, EveryStoryEndsAsItsRowsSay) {
    PlayStories<PlanWorld>("sync/plan");
}

}  // namespace
}  // namespace quillet
