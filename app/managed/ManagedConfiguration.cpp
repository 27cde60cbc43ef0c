#include "app/managed/ManagedConfiguration.h"

#include <arpa/inet.h>

#include <QFileInfo>
#include <QRegularExpression>
#include <map>

#include "common/Log.h"
#include "common/ServiceClient.h"
#include "common/Text.h"
#include "platform/Plist.h"

namespace quillet {

namespace {

const QString kLogPrefix = "Managed configuration: ";

// Something@something.something, without spaces: what a person would take for an address.
bool LooksLikeEmail(const QString& text) {
    static const QRegularExpression kEmail(R"(^[^@\s]+@[^@\s]+\.[^@\s]+$)");
    return kEmail.match(text).hasMatch();
}

// An optional string or boolean member; a member of another type is the entry's fault.
struct EntryReader {
    const PlistNode& node;
    QString* reason;

    std::optional<std::optional<QString>> string(const QString& name) const {
        const auto member = node.get(name);
        if (!member)
            return std::optional<QString>();
        if (auto text = member->asString())
            return std::optional<QString>(*text);
        *reason = name + " is not a string";
        return std::nullopt;
    }
    std::optional<bool> boolean(const QString& name) const {
        const auto member = node.get(name);
        if (!member)
            return true;
        if (auto value = member->asBool())
            return *value;
        *reason = name + " is not a boolean";
        return std::nullopt;
    }
};

std::optional<ManagedEntry> ReadEntry(const PlistNode& node, int index, QString* reason) {
    if (!node.isDictionary()) {
        *reason = "not a dictionary";
        return std::nullopt;
    }
    const EntryReader read{node, reason};
    const auto key = read.string("Key");
    const auto client = read.string("Client");
    const auto account = read.string("Account");
    const auto replies = read.boolean("InsertForReplies");
    const auto forwards = read.boolean("InsertForForwards");
    if (!key || !client || !account || !replies || !forwards)
        return std::nullopt;
    ManagedEntry entry;
    entry.index = index;
    entry.key = NormaliseTypedText(key->value_or(QString()));
    if (entry.key.isEmpty()) {
        *reason = "no Key";
        return std::nullopt;
    }
    if (*client) {
        entry.client = ClientKindFromStoredText(**client);
        if (!entry.client) {
            *reason = "unknown Client \"" + **client + "\"";
            return std::nullopt;
        }
    }
    if (*account) {
        entry.account = NormaliseTypedText(**account);
        if (!LooksLikeEmail(entry.account)) {
            *reason = "Account \"" + **account + "\" is not an email address";
            return std::nullopt;
        }
    }
    entry.insertForReplies = *replies;
    entry.insertForForwards = *forwards;
    return entry;
}

void ReadEntries(const PlistNode& root, ManagedConfiguration& configuration) {
    const auto list = root.get("ManagedSignatures");
    if (!list)
        return;
    if (!list->isArray()) {
        LogError(kLogPrefix + "ManagedSignatures in " + configuration.path +
                 " is not an array; no entry applies");
        return;
    }
    std::map<QString, int> seenKeys;
    for (int index = 0; index < list->size(); ++index) {
        QString reason;
        auto entry = ReadEntry(*list->at(index), index, &reason);
        if (!entry) {
            LogError(kLogPrefix + "ManagedSignatures[" + QString::number(index) +
                     "] skipped: " + reason);
            continue;
        }
        entry->ordinal = seenKeys[entry->key]++;
        configuration.entries.push_back(std::move(*entry));
    }
}

void ReadServiceUrl(const PlistNode& root, ManagedConfiguration& configuration) {
    const auto member = root.get("ServiceURL");
    if (!member)
        return;
    const auto text = member->asString();
    const QUrl url(text.value_or(QString()).trimmed(), QUrl::StrictMode);
    std::optional<QString> problem =
        text ? ServiceBaseUrlProblem(url) : QStringLiteral("not a string");
    if (!problem && !IsAcceptedServiceUrl(url))
        problem = QStringLiteral("only https, or http to this machine, is accepted");
    if (!problem) {
        configuration.serviceUrl = url;
        return;
    }
    LogError(kLogPrefix + "ServiceURL \"" + text.value_or("(not a string)") +
             "\" refused: " + *problem + "; using the default service");
}

}  // namespace

QStringList ManagedConfigurationPaths(const Paths& paths, SystemLayout layout,
                                      const QString& bundleIdentifier) {
    if (layout == SystemLayout::linuxDesktop)
        return {paths.system("/etc/quillet/managed.plist")};
    const QString folder = paths.system("/Library/Managed Preferences");
    const QString user = QFileInfo(paths.home()).fileName();
    return {folder + "/" + user + "/" + bundleIdentifier + ".plist",
            folder + "/" + bundleIdentifier + ".plist"};
}

ManagedConfiguration ReadManagedConfiguration(const Paths& paths, SystemLayout layout,
                                              const QString& bundleIdentifier) {
    ManagedConfiguration configuration;
    for (const QString& path : ManagedConfigurationPaths(paths, layout, bundleIdentifier)) {
        if (QFileInfo::exists(path)) {
            configuration.path = path;
            break;
        }
    }
    if (configuration.path.isEmpty())
        return configuration;
    const auto plist = ReadPlistFile(configuration.path);
    if (!plist || !plist->isDictionary()) {
        configuration.state = ManagedConfiguration::State::unreadable;
        LogError(kLogPrefix + "could not read " + configuration.path + " as a property list (" +
                 (plist ? QStringLiteral("not a dictionary") : plist.failureText()) +
                 "); the managed signatures are left as they are");
        return configuration;
    }
    configuration.state = ManagedConfiguration::State::read;
    const PlistNode root = plist->node();
    ReadEntries(root, configuration);
    ReadServiceUrl(root, configuration);
    if (const auto allow = root.get("AllowUserSignatures")) {
        if (const auto value = allow->asBool()) {
            configuration.allowUserSignatures = *value;
        } else {
            LogError(kLogPrefix + "AllowUserSignatures is not a boolean; signatures of the " +
                     "person's own stay allowed");
        }
    }
    return configuration;
}

namespace {

// A loopback address as QUrl gives a host (IPv4 already in dotted quads; IPv6 without brackets):
// 127.0.0.0/8, ::1, or an IPv4-mapped 127.x. Read here rather than by Qt's network library, which
// the process does not load to read its configuration.
bool IsLoopbackAddress(const QString& host) {
    const QByteArray text = host.toLatin1();
    in_addr v4{};
    if (inet_pton(AF_INET, text.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.constData(), &v6) != 1)
        return false;
    return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
}

}  // namespace

bool IsAcceptedServiceUrl(const QUrl& url) {
    if (ServiceBaseUrlProblem(url))
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == "https")
        return true;
    if (scheme != "http")
        return false;
    const QString host = url.host().toLower();
    if (host == "localhost")
        return true;
    return IsLoopbackAddress(host);
}

}  // namespace quillet
