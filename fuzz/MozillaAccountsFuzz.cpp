// The identities of a Thunderbird or Postbox prefs.js: the account discovery's patterns over
// every line of the file.

#include <set>

#include "app/clients/PrefsFile.h"
#include "app/clients/accounts/MozillaAccounts.h"
#include "fuzz/FuzzSupport.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto lines = SplitPrefsFileText(fuzz::Bytes(data, size));
    if (!lines)
        return 0;
    std::set<QString> emails;
    for (const AccountPtr& account :
         ParseMozillaBasedClientAccounts(ClientKind::thunderbird, *lines))
        QUILLET_FUZZ_CHECK(emails.insert(account->email()).second);  // one account per email
    return 0;
}
