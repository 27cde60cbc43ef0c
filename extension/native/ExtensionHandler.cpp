#include "extension/native/ExtensionHandler.h"

#include <QRegularExpression>

#include "common/Log.h"

namespace quillet::web {

namespace {

// The text under key, when there is one.
std::optional<QString> TextItem(const nlohmann::json& userInfo, const char* key) {
    const auto found = userInfo.find(key);
    if (found == userInfo.end() || !found->is_string())
        return std::nullopt;
    return QString::fromStdString(found->get<std::string>());
}

nlohmann::json Entry(const Signature& signature) {
    return {{"account", signature.accountEmailQe.toStdString()},
            {"html", signature.html().toStdString()},
            {"insertForRepliesForwards", signature.insertForRepliesForwards}};
}

}  // namespace

bool IsPlainCallbackToken(const QString& token) {
    static const QRegularExpression kToken("\\A[A-Za-z0-9_-]{1,128}\\z");
    return kToken.match(token).hasMatch();
}

ExtensionHandler::ExtensionHandler(Core& core) : _core(core) {
    _core.start();
}

std::optional<nlohmann::json> ExtensionHandler::messageReceived(const QString& name,
                                                                const nlohmann::json* userInfo) {
    if (name != "GetSignatures")
        return std::nullopt;
    if (!userInfo || !userInfo->is_object()) {
        LogError("GetSignatures message: no userInfo");
        return std::nullopt;
    }
    const std::optional<QString> clientText = TextItem(*userInfo, "client");
    if (!clientText) {
        LogError("GetSignatures message: no client string");
        return std::nullopt;
    }
    const std::optional<ClientKind> client = ClientKindFromStoredText(*clientText);
    if (!client) {
        LogError("GetSignatures message: bad client string");
        return std::nullopt;
    }
    const std::optional<QString> token = TextItem(*userInfo, "callbackToken");
    if (!token) {
        LogError("GetSignatures message: no callback token");
        return std::nullopt;
    }
    // The token goes back to the browser unchanged; only a plain one is worth routing.
    if (!IsPlainCallbackToken(*token)) {
        LogError("GetSignatures message: bad callback token");
        return std::nullopt;
    }

    _core.loadSignatures();
    nlohmann::json signatures = nlohmann::json::array();
    for (SignatureId id : _core.visibleSignatureIds()) {
        const Signature& signature = *_core.idToSignatureMap().at(id);
        // A signature the service switched off must not reach any page.
        if (!signature.active)
            continue;
        if (signature.clientKindQ && *signature.clientKindQ != *client)
            continue;
        signatures.push_back(Entry(signature));
    }
    return nlohmann::json{
        {"name", "message"},
        {"userInfo", {{"signatures", signatures}, {"callbackToken", token->toStdString()}}}};
}

}  // namespace quillet::web
