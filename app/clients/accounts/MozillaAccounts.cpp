#include "app/clients/accounts/MozillaAccounts.h"

#include <QRegularExpression>
#include <map>

#include "app/clients/ClientInfo.h"
#include "app/clients/PrefsFile.h"
#include "app/clients/accounts/DuplicateAccounts.h"
#include "common/Log.h"

namespace quillet {

namespace {

const QString kIdentityPrefix = QStringLiteral("mail.identity.id");

struct Info {
    std::optional<QString> emailQ;
    std::optional<QString> fullNameQ;
};

// Every identity's key with its value as written between the quotation marks (no unescaping); a
// later line overrides an earlier one.
std::map<QString, QString> IdentityKeyToValueMap(const QStringList& lines) {
    static const QRegularExpression keyPattern(QStringLiteral("\"(.+)\", "));
    static const QRegularExpression quotedValuePattern(QStringLiteral(", \"?(.*)\"\\);"));
    static const QRegularExpression unquotedValuePattern(QStringLiteral(", \"?(.*)\"?\\);"));
    std::map<QString, QString> map;
    const QString quotedPrefix = '"' + kIdentityPrefix;
    for (const QString& line : lines) {
        // A key starts after a quotation mark: a line without one before the identity prefix
        // holds no identity's key, and most of a profile's thousands of lines are skipped
        // before the expressions run.
        if (!line.contains(quotedPrefix))
            continue;
        const QStringList keys = RegexFirstGroups(keyPattern, line);
        if (keys.isEmpty())
            continue;
        QStringList values = RegexFirstGroups(quotedValuePattern, line);
        if (values.isEmpty())
            values = RegexFirstGroups(unquotedValuePattern, line);
        if (values.isEmpty())
            continue;
        map[keys.first()] = values.first();
    }
    return map;
}

// Identity number (as text, so "10" sorts before "2") to what its keys say.
std::map<QString, Info> IdentityInfos(const std::map<QString, QString>& keyToValue) {
    static const QRegularExpression digitRuns(QStringLiteral("(\\d+)"));
    std::map<QString, Info> infos;
    for (const auto& [key, value] : keyToValue) {
        if (!key.startsWith(kIdentityPrefix))
            continue;
        const QString rest = key.mid(kIdentityPrefix.size());
        const qsizetype dot = rest.indexOf('.');
        if (dot < 0)
            continue;
        const QString number = rest.left(dot);
        const QString setting = rest.mid(dot + 1);
        if (number.isEmpty())
            continue;
        if (RegexFirstGroups(digitRuns, number).size() != 1)
            continue;
        Info& info = infos[number];
        if (setting == "useremail") {
            info.emailQ = value;
        } else if (setting == "fullName") {
            info.fullNameQ = value;
        }
    }
    return infos;
}

}  // namespace

std::optional<Accounts> DiscoverMozillaBasedClientAccounts(ClientKind kind,
                                                           const ClientInfo& clientInfo) {
    const QString clientName = DisplayName(kind);
    if (!clientInfo.mozillaBasedClientProfilePathQ) {
        LogError("No profile of " + clientName + " to read accounts from");
        return std::nullopt;
    }
    const QString path = *clientInfo.mozillaBasedClientProfilePathQ + "/prefs.js";
    const auto lines = ReadPrefsFileLines(path);
    if (!lines) {
        LogError("Could not read " + path);
        return std::nullopt;
    }
    return ParseMozillaBasedClientAccounts(kind, *lines);
}

Accounts ParseMozillaBasedClientAccounts(ClientKind kind, const QStringList& prefsLines) {
    const QString clientName = DisplayName(kind);
    Accounts accounts;
    for (const auto& [number, info] : IdentityInfos(IdentityKeyToValueMap(prefsLines))) {
        if (!info.emailQ) {
            LogWarning("Got a " + clientName + " account without an email, ID: \"" + number + "\"");
            continue;
        }
        accounts.push_back(
            std::make_shared<MozillaBasedClientAccount>(*info.emailQ, number, info.fullNameQ));
    }
    LogInfo(clientName + " accounts obtained from a preferences file:");
    for (const AccountPtr& account : accounts)
        LogInfo("    " + account->description());
    return RemoveDuplicateAccounts(kind, accounts);
}

}  // namespace quillet
