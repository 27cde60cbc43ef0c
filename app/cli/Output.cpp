#include "app/cli/Output.h"

#include <QStringList>
#include <cstdio>

#include "app/clients/Detection.h"
#include "common/Text.h"

namespace quillet {

namespace {

using nlohmann::json;

std::string Utf8(const QString& text) {
    return text.toStdString();
}

json OptionalText(const std::optional<QString>& text) {
    return text ? json(Utf8(*text)) : json(nullptr);
}

json SelectedPayloadJson(const SelectedInstallationPayload& payload) {
    return {{"pendingReinstallation", payload.pendingReinstallation}};
}

json PerformedPayloadJson(const PerformedInstallationPayload& payload) {
    return {{"id", Utf8(payload.idStringQe)}, {"text", Utf8(payload.textQe)}};
}

template <typename Info, typename PayloadJson>
json InstallationsJson(const std::map<ClientKind, Info>& map, bool Info::*all,
                       PayloadJson payloadJson) {
    json result = json::object();
    for (const auto& [kind, info] : map) {
        json accounts = json::object();
        for (const auto& [email, payload] : info.accountEmailToPayloadMap) {
            accounts[Utf8(email)] = payloadJson(payload);
        }
        result[Utf8(StoredText(kind))] = {
            {"allAccounts", info.*all},
            {"payload",
             info.allAccountsPayloadX ? payloadJson(*info.allAccountsPayloadX) : json(nullptr)},
            {"accounts", accounts}};
    }
    return result;
}

// Appended to a line that a listing makes for every signature: no list of parts on the way.
template <typename Info>
void AppendInstallationsText(QString& line, const std::map<ClientKind, Info>& map,
                             bool Info::*all) {
    if (map.empty()) {
        line += QLatin1String("none");
        return;
    }
    for (auto it = map.begin(); it != map.end(); ++it) {
        const auto& [kind, info] = *it;
        if (it != map.begin())
            line += u' ';
        line += StoredText(kind);
        line += u'[';
        if (info.*all) {
            line += QLatin1String("all accounts");
        } else {
            const auto& emails = info.accountEmailToPayloadMap;
            for (auto email = emails.begin(); email != emails.end(); ++email) {
                if (email != emails.begin())
                    line += QLatin1String(", ");
                line += email->first;
            }
        }
        line += u']';
    }
}

}  // namespace

json SignatureJson(SignatureId id, const Signature& s, bool managed) {
    return {
        {"id", Utf8(id.toString())},
        {"name", Utf8(s.nameQe)},
        {"key", Utf8(s.keyQe)},
        {"mainText", Utf8(s.mainTextQe)},
        {"localText", Utf8(s.localTextQe)},
        {"filePath", Utf8(s.filePathQe)},
        {"fileName", Utf8(s.fileNameQe)},
        {"active", s.active},
        {"colorIndex", s.colorIndex},
        {"insertForRepliesForwards", s.insertForRepliesForwards},
        {"insertForForwards", s.insertForForwards},
        {"lastUpdateUnixTime", s.lastUpdateUnixTimeQz},
        {"pendingDeletion", s.pendingDeletion},
        {"managed", managed},
        {"uuid", s.uuidX ? json(Utf8(CanonicalUuidText(*s.uuidX))) : json(nullptr)},
        {"selected",
         InstallationsJson(s.clientKindToSelectedInstallationsInfoMap,
                           &SelectedInstallationsInfo::allAccountsSelected, SelectedPayloadJson)},
        {"performed", InstallationsJson(s.clientKindToPerformedInstallationsInfoMap,
                                        &PerformedInstallationsInfo::allAccountsInstalled,
                                        PerformedPayloadJson)},
    };
}

json AccountJson(const Account& account) {
    json result = {{"email", Utf8(account.email())}, {"displayName", Utf8(account.displayName())}};
    if (const auto* mail = dynamic_cast<const AppleMailAccount*>(&account)) {
        result["uuid"] = Utf8(mail->uuid());
        result["type"] = Utf8(mail->type());
        result["fullName"] = OptionalText(mail->fullNameQ());
    } else if (const auto* outlook = dynamic_cast<const OutlookAccount*>(&account)) {
        result["fullName"] = OptionalText(outlook->fullNameQ());
        result["userName"] = OptionalText(outlook->userNameQ());
    } else if (const auto* mozilla = dynamic_cast<const MozillaBasedClientAccount*>(&account)) {
        result["idString"] = Utf8(mozilla->idString());
        result["fullName"] = OptionalText(mozilla->fullNameQ());
    } else if (const auto* spark = dynamic_cast<const SparkAccount*>(&account)) {
        result["accountTitle"] = OptionalText(spark->accountTitleQ());
        result["ownerFullName"] = OptionalText(spark->ownerFullNameQ());
    } else if (const auto* identity = dynamic_cast<const LinuxClientAccount*>(&account)) {
        result["idString"] = Utf8(identity->idString());
        result["fullName"] = OptionalText(identity->fullNameQ());
    }
    return result;
}

json ClientJson(ClientKind kind, const ClientInfo& info) {
    return {{"client", Utf8(StoredText(kind))},
            {"description", Utf8(ClientDescription(kind, info))},
            {"path", Utf8(info.path)},
            {"version", Utf8(info.bundleShortVersionString)},
            {"build", Utf8(info.bundleVersion)}};
}

QString SignatureLine(SignatureId id, const Signature& s, bool managed) {
    QString line;
    line.reserve(160 + s.nameQe.size() + s.keyQe.size() + s.filePathQe.size());
    line += id.toString();
    line += u'\t';
    line += s.nameQe;
    if (s.isServiceBased()) {
        line += QLatin1String("\tkey ");
        line += s.keyQe;
    } else {
        line += QLatin1String("\tfile ");
        line += s.filePathQe;
    }
    line += s.active ? QLatin1String("\tactive") : QLatin1String("\tinactive");
    if (s.pendingDeletion)
        line += QLatin1String("\tpending deletion");
    if (managed)
        line += QLatin1String("\tmanaged");
    line += QLatin1String("\tselected: ");
    AppendInstallationsText(line, s.clientKindToSelectedInstallationsInfoMap,
                            &SelectedInstallationsInfo::allAccountsSelected);
    line += QLatin1String("\tperformed: ");
    AppendInstallationsText(line, s.clientKindToPerformedInstallationsInfoMap,
                            &PerformedInstallationsInfo::allAccountsInstalled);
    return line;
}

QString SignatureDetails(SignatureId id, const Signature& s, bool managed) {
    QStringList lines;
    const json document = SignatureJson(id, s, managed);
    for (const auto& [name, value] : document.items()) {
        if (value.is_string()) {
            lines << QString::fromStdString(name) + ": " +
                         QString::fromStdString(value.get<std::string>());
        } else {
            lines << QString::fromStdString(name) + ": " + QString::fromStdString(value.dump());
        }
    }
    return lines.join('\n');
}

void PrintJson(const nlohmann::json& document) {
    std::printf("%s\n",
                document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

void PrintText(const QString& text) {
    std::printf("%s\n", text.toUtf8().constData());
}

}  // namespace quillet
