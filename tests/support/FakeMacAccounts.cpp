#include "tests/support/FakeMacAccounts.h"

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <nlohmann/json.hpp>

namespace quillet {

namespace {

using nlohmann::json;

QString StatePath(const FakeMac& mac) {
    return mac.rootPath("/var/fake-mac/clients.json");
}

json ReadState(const FakeMac& mac) {
    QFile file(StatePath(mac));
    if (!file.open(QIODevice::ReadOnly))
        return json::object();
    json state = json::parse(file.readAll().toStdString(), nullptr, false);
    return state.is_object() ? state : json::object();
}

void WriteState(const FakeMac& mac, const json& state) {
    mac.writeFile(StatePath(mac), QByteArray::fromStdString(state.dump(2) + "\n"));
}

void SetOptional(json& object, const char* key, const QString& value) {
    if (!value.isEmpty())
        object[key] = value.toStdString();
}

void SetAccounts(const FakeMac& mac, const char* clientKey, json accounts) {
    json state = ReadState(mac);
    if (!state[clientKey].is_object())
        state[clientKey] = json::object();
    state[clientKey]["accounts"] = std::move(accounts);
    WriteState(mac, state);
}

}  // namespace

void SetFakeAppleMailAccounts(const FakeMac& mac,
                              const std::vector<FakeAppleMailAccount>& accounts) {
    json list = json::array();
    for (const auto& account : accounts) {
        json entry{{"uuid", account.uuid.toStdString()},
                   {"email", account.email.toStdString()},
                   {"type", account.type.toStdString()},
                   {"enabled", account.enabled}};
        SetOptional(entry, "fullName", account.fullName);
        list.push_back(std::move(entry));
    }
    SetAccounts(mac, "AppleMail", std::move(list));
}

void SetFakeOutlookAccounts(const FakeMac& mac, const std::vector<FakeOutlookAccount>& accounts) {
    json list = json::array();
    for (const auto& account : accounts) {
        json entry{{"email", account.email.toStdString()}, {"kind", account.kind.toStdString()}};
        SetOptional(entry, "fullName", account.fullName);
        SetOptional(entry, "userName", account.userName);
        list.push_back(std::move(entry));
    }
    SetAccounts(mac, "Outlook", std::move(list));
}

void SetFakeAutomationDenied(const FakeMac& mac, const QString& clientKey, bool denied) {
    json state = ReadState(mac);
    const std::string key = clientKey.toStdString();
    if (!state[key].is_object())
        state[key] = json::object();
    state[key]["automationDenied"] = denied;
    WriteState(mac, state);
}

QByteArray FakeClientsState(const FakeMac& mac) {
    QFile file(StatePath(mac));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString CreateFakeSparkMessagesDatabase(const FakeMac& mac,
                                        const std::vector<FakeSparkAccountRow>& rows) {
    const QString path =
        mac.paths().userLibrary() +
        "/Group Containers/3L68KQB4HG.group.com.readdle.smartemail/databases/messages.sqlite";
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile::remove(path);
    sqlite3* database = nullptr;
    sqlite3_open(path.toUtf8().constData(), &database);
    sqlite3_exec(database,
                 "CREATE TABLE accounts (pk INTEGER PRIMARY KEY, accountTitle TEXT, "
                 "ownerFullName TEXT, additionalInfo TEXT)",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(database,
                       "INSERT INTO accounts (pk, accountTitle, ownerFullName, additionalInfo) "
                       "VALUES (?, ?, ?, ?)",
                       -1, &insert, nullptr);
    for (const auto& row : rows) {
        if (row.pk) {
            sqlite3_bind_int(insert, 1, *row.pk);
        } else {
            sqlite3_bind_null(insert, 1);
        }
        const QByteArray title = row.accountTitle.toUtf8();
        const QByteArray owner = row.ownerFullName.toUtf8();
        const QByteArray info = row.additionalInfo.toUtf8();
        sqlite3_bind_text(insert, 2, title.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, owner.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 4, info.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_close(database);
    return path;
}

QString SparkAdditionalInfo(const QString& accountAddress) {
    json info{{"accountAddress", accountAddress.toStdString()}, {"accountType", 1}};
    return QString::fromStdString(info.dump());
}

QString WriteFakePrefsFile(const QString& profilePath, const QStringList& lines) {
    const QString path = profilePath + "/prefs.js";
    QDir().mkpath(profilePath);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write((lines.join('\n') + "\n").toUtf8());
    }
    return path;
}

QStringList FakeIdentityPrefsLines(const QString& number, const QString& email,
                                   const QString& fullName) {
    QStringList lines;
    if (!fullName.isEmpty()) {
        lines.append("user_pref(\"mail.identity.id" + number + ".fullName\", \"" + fullName +
                     "\");");
    }
    if (!email.isEmpty()) {
        lines.append("user_pref(\"mail.identity.id" + number + ".useremail\", \"" + email + "\");");
    }
    return lines;
}

}  // namespace quillet
