#include "common/InsertOptions.h"

#include <algorithm>

namespace quillet {

void SetInsertOptions(Signature& signature, const std::vector<ClientKind>& kinds, bool replies,
                      bool forwards) {
    const auto offers = [&kinds](ClientOptions options) {
        return std::any_of(kinds.begin(), kinds.end(),
                           [options](ClientKind kind) { return OptionsOf(kind) == options; });
    };
    if (offers(ClientOptions::separateInsertForRepliesAndForwards)) {
        signature.insertForRepliesForwards = replies;
        signature.insertForForwards = forwards;
    } else if (offers(ClientOptions::combinedInsertForRepliesAndForwards)) {
        signature.insertForRepliesForwards = signature.insertForForwards = replies;
    } else {
        signature.insertForRepliesForwards = signature.insertForForwards = true;
    }
}

}  // namespace quillet
