#pragma once
// One account per email address: a client may report an address twice (two Apple Mail accounts
// for one mailbox, Outlook's Gmail listing repeating a main account).

#include "common/Accounts.h"
#include "common/ClientKind.h"

namespace quillet {

// Keeps the first account of each email (exact, case-sensitive comparison), in input order; each
// dropped account is logged with the one kept for its email.
Accounts RemoveDuplicateAccounts(ClientKind kind, const Accounts& accounts);

// The two Warning lines of a dropped duplicate.
void LogDuplicateAccount(ClientKind kind, const Account& dropped, const Account& kept);

}  // namespace quillet
