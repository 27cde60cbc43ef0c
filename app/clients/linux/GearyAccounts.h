#pragma once
// Geary's accounts: one folder per account in Geary's settings folder ("account_01", ...), each
// with its settings in "geary.ini", a GLib key file whose "[Account]" group holds the sender
// addresses ("sender_mailboxes", the first is the account's own) and the account's one signature
// ("use_signature", "signature").

#include <QString>
#include <optional>
#include <vector>

#include "app/clients/ClientInfo.h"

namespace quillet {

inline const QString kGearyAccountGroup = QStringLiteral("Account");

struct GearyAccount {
    QString folder;  // the account's folder name, such as "account_01"
    QString email;
    std::optional<QString> name;
};

// CONFIG/FOLDER/geary.ini (CONFIG: Geary's settings folder from detection).
QString GearyAccountFilePath(const ClientInfo& clientInfo, const QString& folder);

// The accounts of the folder, by folder name; folders without a readable geary.ini or without a
// sender address are skipped. Absent when the folder cannot be listed.
std::optional<std::vector<GearyAccount>> ReadGearyAccounts(const ClientInfo& clientInfo);

// The account whose geary.ini holds: its address and name from the file's text; absent when the
// text is no key file or has no sender address.
std::optional<GearyAccount> ParseGearyAccount(const QString& folder, const QByteArray& contents);

}  // namespace quillet
