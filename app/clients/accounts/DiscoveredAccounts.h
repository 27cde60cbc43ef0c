#pragma once
// What one discovery result does to a client's AccountsInfo; the core engine applies it on the
// main thread before it saves the cache and tells the interface.

#include <optional>

#include "common/Accounts.h"

namespace quillet {

// Absent: the discovery failed, both lists stay. Partial: accounts with emails not yet listed
// are appended, the status stays. Complete: both lists become the result, discovery succeeded.
void ApplyDiscoveredAccounts(AccountsInfo& info, const std::optional<Accounts>& accounts,
                             bool partial);

}  // namespace quillet
