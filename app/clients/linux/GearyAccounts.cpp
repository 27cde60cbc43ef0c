#include "app/clients/linux/GearyAccounts.h"

#include <QDir>

#include "app/clients/linux/GLibKeyFile.h"
#include "app/clients/linux/LinuxSyncSupport.h"

namespace quillet {

namespace {

// "Ann Example <ann@example.com>", "\"Example, Ann\" <ann@example.com>" or "ann@example.com".
std::pair<QString, std::optional<QString>> ParseMailbox(const QString& mailbox) {
    const qsizetype open = mailbox.lastIndexOf('<');
    const qsizetype close = mailbox.lastIndexOf('>');
    if (open < 0 || close < open)
        return {mailbox.trimmed(), std::nullopt};
    QString name = mailbox.left(open).trimmed();
    if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"'))
        name = name.mid(1, name.size() - 2);
    return {mailbox.mid(open + 1, close - open - 1).trimmed(),
            name.isEmpty() ? std::nullopt : std::optional<QString>(name)};
}

}  // namespace

QString GearyAccountFilePath(const ClientInfo& clientInfo, const QString& folder) {
    return clientInfo.linuxConfigFolderQ.value_or(QString()) + "/" + folder + "/geary.ini";
}

std::optional<GearyAccount> ParseGearyAccount(const QString& folder, const QByteArray& contents) {
    const auto file = GLibKeyFile::parse(contents);
    if (!file)
        return std::nullopt;
    const auto mailboxes = file->stringList(kGearyAccountGroup, "sender_mailboxes");
    if (!mailboxes || mailboxes->isEmpty())
        return std::nullopt;
    auto [email, name] = ParseMailbox(mailboxes->first());
    if (email.isEmpty())
        return std::nullopt;
    return GearyAccount{folder, email, name};
}

std::optional<std::vector<GearyAccount>> ReadGearyAccounts(const ClientInfo& clientInfo) {
    const QDir folder(clientInfo.linuxConfigFolderQ.value_or(QString()));
    if (!folder.exists())
        return std::nullopt;
    std::vector<GearyAccount> accounts;
    for (const QString& name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const auto contents = ReadClientFile(GearyAccountFilePath(clientInfo, name));
        if (!contents)
            continue;
        if (auto account = ParseGearyAccount(name, *contents))
            accounts.push_back(std::move(*account));
    }
    return accounts;
}

}  // namespace quillet
