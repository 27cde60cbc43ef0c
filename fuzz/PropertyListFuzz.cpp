// The property lists Quillet reads, in XML or binary form: Apple Mail's accounts map, its
// all-signatures list and its preferences (rebuilt as the sync rebuilds them and written back),
// a client's Info.plist and the accounts cache.

#include "app/clients/Detection.h"
#include "app/clients/accounts/AccountsCache.h"
#include "app/clients/sync/AppleMailLists.h"
#include "fuzz/FuzzSupport.h"

using namespace quillet;

namespace {

// Two of Quillet's signatures: one installed for account A, one to leave account B.
struct AppleMailState {
    IdToSignatureMap signatures;
    AppleMailSyncInfo info;

    AppleMailState() {
        auto installed = std::make_shared<Signature>();
        installed->nameQe = "Installed";
        installed->localTextQe = "<p>Installed</p>";
        installed->uuidX = QUuid("{6f1c0ad2-1d53-4bd6-9b8e-0c7c1b0b3c11}");
        installed->clientKindToSelectedInstallationsInfoMap[ClientKind::appleMail]
            .accountEmailToPayloadMap["a@x.org"] = {};
        auto leaving = std::make_shared<Signature>();
        leaving->nameQe = "Leaving";
        leaving->localTextQe = "<p>Leaving</p>";
        leaving->uuidX = QUuid("{0b7e3c55-2f6a-4a1e-8d3b-5c2e9f4a7d22}");
        leaving->clientKindToPerformedInstallationsInfoMap[ClientKind::appleMail]
            .accountEmailToPayloadMap["b@x.org"] = {"", "<p>Leaving</p>"};
        signatures = {{SignatureId{1}, installed}, {SignatureId{2}, leaving}};
        AccountsInfo accounts;
        accounts.status = AccountsInfoStatus::discoverySucceeded;
        accounts.accounts = {
            std::make_shared<AppleMailAccount>("a@x.org", "ACC-A", "imap", std::nullopt),
            std::make_shared<AppleMailAccount>("b@x.org", "ACC-B", "imap", "B")};
        info = MakeAppleMailSyncInfo(accounts, signatures);
    }
};

// What the sync writes reads back.
void CheckWrittenBack(const Plist& plist) {
    QUILLET_FUZZ_CHECK(Plist::parse(plist.toXml()).has_value());
    QUILLET_FUZZ_CHECK(Plist::parse(plist.toBinary()).has_value());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const AppleMailState state;
    const auto plist = Plist::parse(fuzz::Bytes(data, size));
    if (!plist)
        return 0;
    CachedAccountsFromPlist(*plist);
    ClientInfoFromInfoPlist("/Applications/Mail.app", *plist);
    if (plist->isDictionary()) {
        CheckWrittenBack(NewAccountsMap(*plist, state.info));
        Plist preferences = *plist;
        const auto selected = preferences.node().get("SignaturesSelected");
        if (selected && selected->isDictionary()) {
            ReplacedSettingsChanges replaced;
            UpdateSignaturesSelected(*selected, state.info, {}, {}, replaced);
        }
        CheckWrittenBack(preferences);
    } else if (plist->node().isArray()) {
        if (const auto merged = NewAllSignaturesArray(*plist, state.info, state.signatures))
            CheckWrittenBack(*merged);
    }
    return 0;
}
