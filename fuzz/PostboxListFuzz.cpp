// Postbox's "postbox-signatures" file: a list accepted is an array of objects with string
// members, and it survives being written and read again.

#include "app/clients/sync/PostboxSync.h"
#include "fuzz/FuzzSupport.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto list = ParsePostboxSignatureList(fuzz::Bytes(data, size));
    if (!list)
        return 0;
    QUILLET_FUZZ_CHECK(list->is_array());
    for (const auto& entry : *list) {
        QUILLET_FUZZ_CHECK(entry.is_object());
        for (const auto& member : entry)
            QUILLET_FUZZ_CHECK(member.is_string());
    }
    // The sync writes the list with the strict dump, which throws on text that is not UTF-8.
    const std::string written = list->dump();
    const auto reread = ParsePostboxSignatureList(QByteArray::fromStdString(written));
    QUILLET_FUZZ_CHECK(reread && reread->size() == list->size());
    return 0;
}
