#pragma once
// The accounts found in each client, and what the engine knows of a client's accounts.

#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "common/ClientKind.h"

namespace quillet {

class Account {
public:
    virtual ~Account() = default;
    virtual QString email() const = 0;
    virtual QString displayName() const = 0;  // for menus
    virtual QString description() const = 0;  // for logs
};

using AccountPtr = std::shared_ptr<const Account>;
using Accounts = std::vector<AccountPtr>;

class AppleMailAccount : public Account {
public:
    // accountUrlQ: the "AccountURL" of the account's entry in Mail's accounts map when the
    // account was listed, by which a later pass that cannot list the accounts (that would start
    // Mail) sees that the account has changed since.
    AppleMailAccount(QString email, QString uuid, QString type, std::optional<QString> fullNameQ,
                     std::optional<QString> accountUrlQ = std::nullopt);
    QString email() const override { return _email; }
    QString displayName() const override;
    QString description() const override;
    const QString& uuid() const { return _uuid; }
    const QString& type() const { return _type; }
    const std::optional<QString>& fullNameQ() const { return _fullNameQ; }
    const std::optional<QString>& accountUrlQ() const { return _accountUrlQ; }

private:
    QString _email, _uuid, _type;
    std::optional<QString> _fullNameQ, _accountUrlQ;
};

class OutlookAccount : public Account {
public:
    OutlookAccount(QString email, std::optional<QString> fullNameQ,
                   std::optional<QString> userNameQ);
    QString email() const override { return _email; }
    QString displayName() const override;
    QString description() const override;
    const std::optional<QString>& fullNameQ() const { return _fullNameQ; }
    const std::optional<QString>& userNameQ() const { return _userNameQ; }

private:
    QString _email;
    std::optional<QString> _fullNameQ, _userNameQ;
};

class MozillaBasedClientAccount : public Account {
public:
    MozillaBasedClientAccount(QString email, QString idString, std::optional<QString> fullNameQ);
    QString email() const override { return _email; }
    QString displayName() const override;
    QString description() const override;
    const QString& idString() const { return _idString; }
    const std::optional<QString>& fullNameQ() const { return _fullNameQ; }

private:
    QString _email, _idString;
    std::optional<QString> _fullNameQ;
};

class SparkAccount : public Account {
public:
    SparkAccount(QString email, std::optional<QString> accountTitleQ,
                 std::optional<QString> ownerFullNameQ);
    QString email() const override { return _email; }
    QString displayName() const override;
    QString description() const override;
    const std::optional<QString>& accountTitleQ() const { return _accountTitleQ; }
    const std::optional<QString>& ownerFullNameQ() const { return _ownerFullNameQ; }

private:
    QString _email;
    std::optional<QString> _accountTitleQ, _ownerFullNameQ;
};

// One identity of a client of the Linux desktop: an Evolution mail identity, a KMail identity, a
// Geary account. `idString` is the client's own name for it: the identity source's uid, KMail's
// uoid, Geary's account folder.
class LinuxClientAccount : public Account {
public:
    LinuxClientAccount(QString email, QString idString, std::optional<QString> fullNameQ);
    QString email() const override { return _email; }
    QString displayName() const override;
    QString description() const override;
    const QString& idString() const { return _idString; }
    const std::optional<QString>& fullNameQ() const { return _fullNameQ; }

private:
    QString _email, _idString;
    std::optional<QString> _fullNameQ;
};

enum class AccountsInfoStatus {
    loadedFromCacheOrEmpty,
    discovering,
    discoverySucceeded,
    discoveryFailed
};
QString CaseName(AccountsInfoStatus status);

struct AccountsInfo {
    AccountsInfoStatus status = AccountsInfoStatus::loadedFromCacheOrEmpty;
    Accounts accounts;        // the latest discovered
    Accounts cachedAccounts;  // what the accounts cache held at start
};

}  // namespace quillet
