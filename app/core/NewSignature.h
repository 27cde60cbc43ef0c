#pragma once
// What the new-signature form decides for a signature it creates, shared by the form (the
// install command) and the organisation's managed signatures: the insertion options a client
// offers, and the colour the main window gives the next signature.

#include <cstdint>
#include <vector>

#include "common/Signature.h"

namespace quillet {

// Sets insertForRepliesForwards and insertForForwards as the form does for the clients: a
// client without options takes both; one switch for replies and forwards sets both from the
// replies choice; separate switches set each. Over several clients the most detailed wins.
void SetInsertOptions(Signature& signature, const std::vector<ClientKind>& kinds, bool replies,
                      bool forwards);

// (number of listed signatures + 12) mod the number of colours.
std::int64_t NewSignatureColorIndex(std::size_t listedSignatures);

}  // namespace quillet
