// The service's answer to a refresh: any body, with a success status and with a failing one.

#include <algorithm>

#include "common/ServiceClient.h"
#include "fuzz/FuzzSupport.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<QString> keys = {"KEY-1", "KEY-2", "ü ß", ""};
    for (int status : {200, 500}) {
        ServiceResponse response;
        response.statusCode = status;
        response.body = fuzz::Bytes(data, size);
        const UpdateOutcome outcome = InterpretUpdateResponse(response, keys);
        if (!outcome.success) {
            QUILLET_FUZZ_CHECK(outcome.updates.empty());
            continue;
        }
        QUILLET_FUZZ_CHECK(status == 200);
        // Every key asked for gets a flag, and only those.
        QUILLET_FUZZ_CHECK(outcome.activeFlags.size() == 4);
        for (const QString& key : keys)
            QUILLET_FUZZ_CHECK(outcome.activeFlags.at(key) == outcome.updates.contains(key));
        // Only a map of the keys asked for is read: anything else fails the refresh.
        for (const auto& [key, update] : outcome.updates) {
            QUILLET_FUZZ_CHECK(std::find(keys.begin(), keys.end(), key) != keys.end());
            QUILLET_FUZZ_CHECK(update.newMainTextQe == update.newMainTextQe.trimmed());
        }
    }
    return 0;
}
