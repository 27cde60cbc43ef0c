// What the account-listing scripts print: Apple Mail's listing and Outlook's A and B listings.

#include <set>

#include "app/clients/accounts/AppleMailAccounts.h"
#include "app/clients/accounts/OutlookAccounts.h"
#include "app/clients/accounts/ScriptRecords.h"
#include "fuzz/FuzzSupport.h"

using namespace quillet;

namespace {

void CheckOnePerEmail(const Accounts& accounts) {
    std::set<QString> emails;
    for (const AccountPtr& account : accounts) {
        QUILLET_FUZZ_CHECK(!account->email().isEmpty());
        QUILLET_FUZZ_CHECK(emails.insert(account->email()).second);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString output = fuzz::Text(data, size);
    for (const QString& record : SplitScriptRecords(output)) {
        QUILLET_FUZZ_CHECK(!record.isEmpty() && record == record.trimmed());
        for (const auto& field : SplitScriptFields(record))
            QUILLET_FUZZ_CHECK(!field || (!field->isEmpty() && *field == field->trimmed()));
    }
    CheckOnePerEmail(ParseAppleMailAccounts(output));
    CheckOnePerEmail(ParseOutlookAccountsA(output, "A-Main"));
    CheckOnePerEmail(ParseOutlookAccountsB(output));
    return 0;
}
