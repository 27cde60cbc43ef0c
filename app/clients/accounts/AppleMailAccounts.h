#pragma once
// Apple Mail's accounts, listed by the "AppleMail-ListAccounts-1012Plus" script.

#include <QString>
#include <optional>

#include "common/Accounts.h"

namespace quillet {

class AppleScriptRunner;

// The accounts, one per email; an iCloud account gives way to an imap account of the same
// email. Absent when the script failed; malformed records are logged and skipped.
std::optional<Accounts> DiscoverAppleMailAccounts(const AppleScriptRunner& runner);
// The same accounts from the script's output.
Accounts ParseAppleMailAccounts(const QString& output);

}  // namespace quillet
