#include "extension/native/PopupCommands.h"

#include <QDateTime>
#include <QRegularExpression>

#include "app/store/Store.h"
#include "common/Localization.h"
#include "common/Log.h"
#include "common/Text.h"

namespace quillet::web {

namespace {

const char* kListSignatures = "ListSignatures";
const char* kAddSignature = "AddSignature";
const char* kSaveSignature = "SaveSignature";
const char* kRemoveSignature = "RemoveSignature";

QString Text(const nlohmann::json& userInfo, const char* key) {
    const auto found = userInfo.find(key);
    if (found == userInfo.end() || !found->is_string())
        return {};
    return QString::fromStdString(found->get<std::string>());
}

bool Flag(const nlohmann::json& userInfo, const char* key) {
    const auto found = userInfo.find(key);
    return found != userInfo.end() && found->is_boolean() && found->get<bool>();
}

std::optional<std::int64_t> Integer(const nlohmann::json& userInfo, const char* key) {
    const auto found = userInfo.find(key);
    if (found == userInfo.end() || !found->is_number_integer())
        return std::nullopt;
    return found->get<std::int64_t>();
}

// The file's text: base64 of non-empty UTF-8, else absent.
std::optional<QString> FileText(const QString& base64) {
    const QByteArray::FromBase64Result bytes = QByteArray::fromBase64Encoding(
        base64.toLatin1(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!bytes || bytes.decoded.isEmpty())
        return std::nullopt;
    return DecodeUtf8(bytes.decoded);
}

nlohmann::json Refused(const QString& message) {
    return {{"name", "Refused"}, {"userInfo", {{"message", Localized(message).toStdString()}}}};
}

nlohmann::json SignatureList(Core& core) {
    nlohmann::json list = nlohmann::json::array();
    for (SignatureId id : core.visibleSignatureIds()) {
        const Signature& s = *core.idToSignatureMap().at(id);
        list.push_back({{"id", id.value},
                        {"name", s.nameQe.toStdString()},
                        {"colorIndex", s.colorIndex},
                        {"active", s.active},
                        {"client", s.clientKindQ ? StoredText(*s.clientKindQ).toStdString() : ""},
                        {"clientName", s.clientKindQ ? DisplayName(*s.clientKindQ).toStdString()
                                                     : Localized("All").toStdString()},
                        {"account", s.accountEmailQe.toStdString()},
                        {"key", s.keyQe.toStdString()},
                        {"fileName", s.filePathQe.toStdString()},
                        {"insertForRepliesForwards", s.insertForRepliesForwards},
                        {"lastUpdateUnixTime", s.lastUpdateUnixTimeQz},
                        {"html", s.html().toStdString()}});
    }
    return list;
}

nlohmann::json Answer(const char* name, Core& core,
                      nlohmann::json extra = nlohmann::json::object()) {
    extra["signatures"] = SignatureList(core);
    extra["feedbackURL"] = core.brand().feedbackURL().toString().toStdString();
    extra["helpURL"] = core.brand().helpURL().toString().toStdString();
    return {{"name", name}, {"userInfo", extra}};
}

// The form's choices, checked.
struct NewSignature {
    std::optional<ClientKind> clientKindQ;
    QString accountEmailQe;
    bool insertForRepliesForwards = true;
};

void Create(Core& core, const NewSignature& form, const std::function<void(Signature&)>& fill,
            const Reply& reply) {
    // The colour the popup showed for the pending signature: the one before the first.
    const auto colorIndex =
        (static_cast<std::int64_t>(core.visibleSignatureIds().size()) + kSignatureColorCount - 1) %
        kSignatureColorCount;
    const SignatureId id = core.addSignature();
    Signature& signature = *core.signature(id);
    signature.clientKindQ = form.clientKindQ;
    signature.accountEmailQe = form.accountEmailQe;
    signature.colorIndex = colorIndex;
    signature.insertForRepliesForwards = form.insertForRepliesForwards;
    signature.insertForForwards = form.insertForRepliesForwards;
    fill(signature);
    core.saveSignature(id);
    reply(Answer("Added", core, {{"id", id.value}}));
}

void AddSignature(Core& core, const nlohmann::json& userInfo, const Reply& reply) {
    NewSignature form;
    const auto client = userInfo.find("client");
    if (client == userInfo.end() || !client->is_string())
        return reply(Refused("Please select an email client for which to install the signature."));
    const QString clientText = QString::fromStdString(client->get<std::string>());
    if (clientText != "All") {
        form.clientKindQ = ClientKindFromStoredText(clientText);
        if (!form.clientKindQ)
            return reply(
                Refused("Please select an email client for which to install the signature."));
    }
    form.accountEmailQe = TrimmedText(Text(userInfo, "account"));
    if (!form.accountEmailQe.isEmpty() && !IsValidAccountEmail(form.accountEmailQe))
        return reply(Refused("Please enter a valid email address."));
    form.insertForRepliesForwards = Flag(userInfo, "insertForRepliesForwards");

    if (Text(userInfo, "mode") == "file") {
        const QString fileName = TrimmedText(Text(userInfo, "fileName"));
        if (fileName.isEmpty())
            return reply(
                Refused("Please select an HTML file with a signature, or use a signature key."));
        // The popup sends an empty text when it could not read the file; an empty file is no
        // signature either.
        const std::optional<QString> text = FileText(Text(userInfo, "fileBase64"));
        if (!text)
            return reply(Refused(
                "Could not load the HTML file. Please check that it is encoded using UTF-8."));
        const auto now = static_cast<std::int64_t>(core.mainQueue().now());
        return Create(
            core, form,
            [&](Signature& s) {
                s.fileNameQe = FileSignatureName(QDateTime::fromSecsSinceEpoch(now));
                s.filePathQe = fileName;
                s.lastUpdateUnixTimeQz = now;
                s.localTextQe = *text;
            },
            reply);
    }

    const QString key = NormaliseTypedText(Text(userInfo, "key"));
    if (key.isEmpty())
        return reply(
            Refused("Please enter a signature key, or select an HTML file with a signature."));
    const auto requestTime = static_cast<std::int64_t>(core.mainQueue().now());
    core.fetchSignatureByKey(key, [&core, form, key, requestTime,
                                   reply](const KeyFetchResult& result) {
        if (result.error)
            return reply(
                Refused("Could not get signature by key. Please check your internet connection and "
                        "try again."));
        if (!result.text)
            return reply(Refused(
                "Signature key not found. Please check that the key is correct and try again."));
        Create(
            core, form,
            [&](Signature& s) {
                s.keyQe = key;
                s.mainTextQe = TrimmedText(*result.text);
                s.lastUpdateUnixTimeQz = requestTime;
            },
            reply);
    });
}

void SaveSignature(Core& core, const nlohmann::json& userInfo, const Reply& reply) {
    const SignatureId id{Integer(userInfo, "id").value_or(0)};
    const SignaturePtr signature = core.signature(id);
    if (!signature)
        return reply(Refused("This signature no longer exists."));
    const QString name = NormaliseTypedText(Text(userInfo, "name"));
    if (!name.isEmpty())
        signature->nameQe = name;
    if (const auto color = Integer(userInfo, "colorIndex");
        color && *color >= 0 && *color < kSignatureColorCount) {
        signature->colorIndex = *color;
    }
    if (userInfo.contains("insertForRepliesForwards")) {
        signature->insertForRepliesForwards = Flag(userInfo, "insertForRepliesForwards");
        signature->insertForForwards = signature->insertForRepliesForwards;
    }
    if (!core.saveSignature(id))
        return reply(Refused("Could not save signatures"));
    reply(Answer("Saved", core));
}

void RemoveSignature(Core& core, const nlohmann::json& userInfo, const Reply& reply) {
    const SignatureId id{Integer(userInfo, "id").value_or(0)};
    if (!core.signature(id))
        return reply(Refused("This signature no longer exists."));
    if (!core.removeSignature(id))
        return reply(Refused("Could not save signatures"));
    reply(Answer("Removed", core));
}

}  // namespace

bool IsValidAccountEmail(const QString& text) {
    static const QRegularExpression kEmail(
        "\\A(?:[A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,64})\\z");
    return kEmail.match(text).hasMatch();
}

bool IsPopupCommand(const QString& name) {
    return name == kListSignatures || name == kAddSignature || name == kSaveSignature ||
           name == kRemoveSignature;
}

void RunPopupCommand(Core& core, const QString& name, const nlohmann::json& userInfo, Reply reply) {
    const nlohmann::json info = userInfo.is_object() ? userInfo : nlohmann::json::object();
    LogInfo("Popup: " + name);
    // Another host process may have changed the store since this one read it.
    core.loadSignatures();
    if (name == kListSignatures) {
        // The popup opening is the extension's "becoming active": the one host of the browser
        // lives long, and pages take what its last refresh stored.
        core.refreshFromServerIfPossible();
        return reply(Answer("Signatures", core));
    }
    if (name == kAddSignature)
        return AddSignature(core, info, reply);
    if (name == kSaveSignature)
        return SaveSignature(core, info, reply);
    RemoveSignature(core, info, reply);
}

}  // namespace quillet::web
