#include "app/demo/FakeMacAccounts.h"

#include <QDir>
#include <QFile>
#include <nlohmann/json.hpp>

#include "app/demo/FakeMacDatabase.h"

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
    std::vector<QVariantList> values;
    for (const auto& row : rows) {
        values.push_back({row.pk ? QVariant(*row.pk) : QVariant(), row.accountTitle,
                          row.ownerFullName, row.additionalInfo});
    }
    const QString path =
        mac.paths().userLibrary() +
        "/Group Containers/3L68KQB4HG.group.com.readdle.smartemail/databases/messages.sqlite";
    CreateFakeDatabase(path,
                       "CREATE TABLE accounts (pk INTEGER PRIMARY KEY, accountTitle TEXT, "
                       "ownerFullName TEXT, additionalInfo TEXT)",
                       "INSERT INTO accounts (pk, accountTitle, ownerFullName, additionalInfo) "
                       "VALUES (?, ?, ?, ?)",
                       values);
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
