#include "common/Signature.h"

#include <QStringList>
#include <cassert>

#include "common/Text.h"

namespace quillet {

namespace {

QString Flag(bool value) {
    return value ? "true" : "false";
}

template <typename Key, typename Value, typename KeyText>
QString DescribeMap(const std::map<Key, Value>& map, KeyText keyText) {
    if (map.empty())
        return "[:]";
    QStringList entries;
    for (const auto& [key, value] : map)
        entries.append(keyText(key) + ": " + Describe(value));
    return "[" + entries.join(", ") + "]";
}

QString QuotedKey(const QString& key) {
    return "\"" + key + "\"";
}
QString ClientKindKey(ClientKind kind) {
    return "Quillet.ClientKind." + CaseName(kind);
}

}  // namespace

const QUuid& Signature::uuid() const {
    assert(uuidX.has_value());
    return *uuidX;
}

void Signature::markForReinstallation() {
    for (const auto& [kind, info] : clientKindToSelectedInstallationsInfoMap)
        markForReinstallation(kind);
}

void Signature::markForReinstallation(ClientKind kind) {
    const auto found = clientKindToSelectedInstallationsInfoMap.find(kind);
    if (found == clientKindToSelectedInstallationsInfoMap.end())
        return;
    SelectedInstallationsInfo& info = found->second;
    if (info.allAccountsSelected) {
        if (!info.allAccountsPayloadX)
            info.allAccountsPayloadX = SelectedInstallationPayload{};
        info.allAccountsPayloadX->pendingReinstallation = true;
    } else {
        for (auto& [email, payload] : info.accountEmailToPayloadMap)
            payload.pendingReinstallation = true;
    }
}

QString Describe(const SelectedInstallationPayload& payload) {
    return "SelectedInstallationPayload{pendingReinstallation: " +
           Flag(payload.pendingReinstallation) + "}";
}

QString Describe(const SelectedInstallationsInfo& info) {
    if (info.allAccountsSelected) {
        const auto payload = info.allAccountsPayloadX.value_or(SelectedInstallationPayload{});
        return "SelectedInstallationsInfo{all accounts selected, payload: " + Describe(payload) +
               "}";
    }
    return "SelectedInstallationsInfo{selected accounts and payloads: " +
           DescribeMap(info.accountEmailToPayloadMap, QuotedKey) + "}";
}

QString Describe(const PerformedInstallationPayload& payload) {
    return "PerformedInstallationPayload{id: \"" + payload.idStringQe +
           "\", text length: " + QString::number(CharacterCount(payload.textQe)) + "}";
}

QString Describe(const PerformedInstallationsInfo& info) {
    if (info.allAccountsInstalled) {
        const auto payload = info.allAccountsPayloadX.value_or(PerformedInstallationPayload{});
        return "PerformedInstallationsInfo{all accounts installed, payload: " + Describe(payload) +
               "}";
    }
    return "PerformedInstallationsInfo{installed accounts and payloads: " +
           DescribeMap(info.accountEmailToPayloadMap, QuotedKey) + "}";
}

QString Describe(const Signature& s) {
    QStringList items;
    items << "active: " + Flag(s.active) << "color index: " + QString::number(s.colorIndex)
          << "insert for replies/replies & forwards: " + Flag(s.insertForRepliesForwards)
          << "insert for forwards: " + Flag(s.insertForForwards);
    items << DescribeSourceFields(s);
    items << "pending deletion: " + Flag(s.pendingDeletion);
    items << "uuid: " + (s.uuidX ? CanonicalUuidText(*s.uuidX) : QString());
    items << "selected installations: " +
                 DescribeMap(s.clientKindToSelectedInstallationsInfoMap, ClientKindKey);
    items << "performed installations: " +
                 DescribeMap(s.clientKindToPerformedInstallationsInfoMap, ClientKindKey);
    return items.join(", ");
}

}  // namespace quillet
