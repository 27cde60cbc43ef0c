#include "app/clients/accounts/SparkAccounts.h"

#include <sqlite3.h>
#include <QJsonDocument>
#include <QJsonObject>

#include "app/base/Sqlite.h"
#include "app/clients/accounts/DuplicateAccounts.h"
#include "common/Log.h"
#include "platform/Paths.h"

namespace quillet {

namespace {

std::optional<QString> TrimmedOrAbsent(const QString& text) {
    QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

void AppendAccountFromRow(sqlite3_stmt* statement, Accounts& accounts) {
    const QString title = GetSqliteColumnText(statement, 0);
    const QString owner = GetSqliteColumnText(statement, 1);
    const QString additionalInfo = GetSqliteColumnText(statement, 2);
    const QString context = "account title: " + title + ", owner full name: " + owner;

    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(additionalInfo.toUtf8(), &error);
    if (json.isNull()) {
        LogError("DiscoverSparkAccounts()(): Could not parse additional info JSON, " + context +
                 ", error: " + error.errorString());
        return;
    }
    // An array holds no named members, so it has no address either.
    const QJsonValue address =
        json.isObject() ? json.object().value("accountAddress") : QJsonValue();
    if (!address.isString()) {
        LogError(
            "DiscoverSparkAccounts()(): No account address in additional info JSON, " + context +
            ", additional info map: " + QString::fromUtf8(json.toJson(QJsonDocument::Compact)));
        return;
    }
    accounts.push_back(std::make_shared<SparkAccount>(address.toString(), TrimmedOrAbsent(title),
                                                      TrimmedOrAbsent(owner)));
}

}  // namespace

QString SparkMessagesDatabasePath(const Paths& paths) {
    return paths.userLibrary() +
           "/Group Containers/3L68KQB4HG.group.com.readdle.smartemail/databases/messages.sqlite";
}

std::optional<Accounts> DiscoverSparkAccounts(const Paths& paths) {
    const auto database = OpenSqliteDatabase(SparkMessagesDatabasePath(paths));
    if (!database)
        return std::nullopt;
    Accounts accounts;
    const bool read = ExecuteSqliteSelectStatement(
        *database,
        "SELECT accountTitle, ownerFullName, additionalInfo FROM accounts ORDER BY pk ASC",
        [&](sqlite3_stmt* statement, bool*) { AppendAccountFromRow(statement, accounts); });
    CloseSqliteDatabase(*database);
    if (!read)
        return std::nullopt;
    accounts = RemoveDuplicateAccounts(ClientKind::spark, accounts);
    LogInfo("Spark accounts obtained from a database:");
    for (const AccountPtr& account : accounts)
        LogInfo("    " + account->description());
    return accounts;
}

}  // namespace quillet
