#pragma once
// Which insertion options a new signature takes in its clients, the same for every way of adding
// one: the person's form and command, and the organisation's entries.

#include <vector>

#include "common/ClientKind.h"
#include "common/Signature.h"

namespace quillet {

// Sets insertForRepliesForwards and insertForForwards from the choices for replies and forwards:
// a client without options takes both; one switch for replies and forwards sets both from the
// replies choice; separate switches set each. Over several clients the most detailed wins.
void SetInsertOptions(Signature& signature, const std::vector<ClientKind>& kinds, bool replies,
                      bool forwards);

}  // namespace quillet
