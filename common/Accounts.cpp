#include "common/Accounts.h"

namespace quillet {

namespace {

QString NameDashEmail(const std::optional<QString>& name, const QString& email) {
    return name ? *name + " - " + email : email;
}

QString Optional(const char* label, const std::optional<QString>& value) {
    return value ? QString(", %1: %2").arg(label, *value) : QString();
}

}  // namespace

AppleMailAccount::AppleMailAccount(QString email, QString uuid, QString type,
                                   std::optional<QString> fullNameQ,
                                   std::optional<QString> accountUrlQ)
    : _email(std::move(email)),
      _uuid(std::move(uuid)),
      _type(std::move(type)),
      _fullNameQ(std::move(fullNameQ)),
      _accountUrlQ(std::move(accountUrlQ)) {}

QString AppleMailAccount::displayName() const {
    return NameDashEmail(_fullNameQ, _email);
}

QString AppleMailAccount::description() const {
    return "email: " + _email + ", uuid: " + _uuid + ", type: " + _type +
           Optional("full name", _fullNameQ);
}

OutlookAccount::OutlookAccount(QString email, std::optional<QString> fullNameQ,
                               std::optional<QString> userNameQ)
    : _email(std::move(email)),
      _fullNameQ(std::move(fullNameQ)),
      _userNameQ(std::move(userNameQ)) {}

QString OutlookAccount::displayName() const {
    return NameDashEmail(_userNameQ, _email);
}

QString OutlookAccount::description() const {
    return "email: " + _email + Optional("full name", _fullNameQ) +
           Optional("user name", _userNameQ);
}

MozillaBasedClientAccount::MozillaBasedClientAccount(QString email, QString idString,
                                                     std::optional<QString> fullNameQ)
    : _email(std::move(email)), _idString(std::move(idString)), _fullNameQ(std::move(fullNameQ)) {}

QString MozillaBasedClientAccount::displayName() const {
    return NameDashEmail(_fullNameQ, _email);
}

QString MozillaBasedClientAccount::description() const {
    return "email: " + _email + ", id: " + _idString + Optional("full name", _fullNameQ);
}

LinuxClientAccount::LinuxClientAccount(QString email, QString idString,
                                       std::optional<QString> fullNameQ)
    : _email(std::move(email)), _idString(std::move(idString)), _fullNameQ(std::move(fullNameQ)) {}

QString LinuxClientAccount::displayName() const {
    return NameDashEmail(_fullNameQ, _email);
}

QString LinuxClientAccount::description() const {
    return "email: " + _email + ", id: " + _idString + Optional("full name", _fullNameQ);
}

SparkAccount::SparkAccount(QString email, std::optional<QString> accountTitleQ,
                           std::optional<QString> ownerFullNameQ)
    : _email(std::move(email)),
      _accountTitleQ(std::move(accountTitleQ)),
      _ownerFullNameQ(std::move(ownerFullNameQ)) {}

QString SparkAccount::displayName() const {
    return NameDashEmail(_accountTitleQ ? _accountTitleQ : _ownerFullNameQ, _email);
}

QString SparkAccount::description() const {
    return "email: " + _email + Optional("account title", _accountTitleQ) +
           Optional("owner full name", _ownerFullNameQ);
}

QString CaseName(AccountsInfoStatus status) {
    switch (status) {
        case AccountsInfoStatus::loadedFromCacheOrEmpty:
            return "loadedFromCacheOrEmpty";
        case AccountsInfoStatus::discovering:
            return "discovering";
        case AccountsInfoStatus::discoverySucceeded:
            return "discoverySucceeded";
        case AccountsInfoStatus::discoveryFailed:
            return "discoveryFailed";
    }
    return {};
}

}  // namespace quillet
