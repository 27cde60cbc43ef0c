#pragma once
// Spark's accounts, read from the accounts table of its "messages.sqlite".

#include <QString>
#include <optional>

#include "common/Accounts.h"

namespace quillet {

class Paths;

// Spark's message database below the user's Library folder.
QString SparkMessagesDatabasePath(const Paths& paths);

// The accounts in ascending pk order, one per email. Absent when the database cannot be opened
// or read; rows whose additional information holds no address are logged and skipped.
std::optional<Accounts> DiscoverSparkAccounts(const Paths& paths);

}  // namespace quillet
