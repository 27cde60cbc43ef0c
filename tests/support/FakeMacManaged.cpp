#include "tests/support/FakeMacManaged.h"

#include <QDir>
#include <QFileInfo>

#include "platform/Bundle.h"

namespace quillet {

Plist ManagedEntryPlist(const QString& key, const QString& client, const QString& account,
                        std::optional<bool> replies, std::optional<bool> forwards) {
    Plist entry = Plist::dictionary();
    entry.node().set("Key", Plist::string(key));
    if (!client.isEmpty())
        entry.node().set("Client", Plist::string(client));
    if (!account.isEmpty())
        entry.node().set("Account", Plist::string(account));
    if (replies)
        entry.node().set("InsertForReplies", Plist::boolean(*replies));
    if (forwards)
        entry.node().set("InsertForForwards", Plist::boolean(*forwards));
    return entry;
}

QString ManagedConfigurationFile(const FakeMac& mac, ManagedScope scope) {
    const QString identifier =
        Bundle::open(mac.bundlePath())->infoString("CFBundleIdentifier").value_or(QString());
    const QString folder = mac.rootPath("/Library/Managed Preferences");
    const QString user = QFileInfo(mac.home()).fileName();
    return (scope == ManagedScope::user ? folder + "/" + user : folder) + "/" + identifier +
           ".plist";
}

void WriteManagedConfiguration(const FakeMac& mac, const Plist& configuration, ManagedScope scope,
                               bool binary) {
    const QString path = ManagedConfigurationFile(mac, scope);
    QDir().mkpath(QFileInfo(path).path());
    WritePlistFile(path, configuration, binary);
}

}  // namespace quillet
