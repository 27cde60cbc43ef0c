#include "app/demo/FakeMacOutlook.h"

#include <nlohmann/json.hpp>

#include "app/demo/FakeMacAccounts.h"

namespace quillet {

namespace {

using nlohmann::json;

json ReadOutlook(const FakeMac& mac, json* state) {
    *state = json::parse(FakeClientsState(mac).toStdString(), nullptr, false);
    if (!state->is_object())
        *state = json::object();
    if (!(*state)["Outlook"].is_object())
        (*state)["Outlook"] = json::object();
    return (*state)["Outlook"];
}

void WriteOutlook(const FakeMac& mac, json state, json outlook) {
    state["Outlook"] = std::move(outlook);
    mac.writeFile("/var/fake-mac/clients.json", QByteArray::fromStdString(state.dump(2) + "\n"));
}

QString Text(const json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string()
               ? QString::fromStdString(found->get<std::string>())
               : QString();
}

}  // namespace

void SetFakeOutlookSignatures(const FakeMac& mac,
                              const std::vector<FakeOutlookSignature>& signatures) {
    json state;
    json outlook = ReadOutlook(mac, &state);
    json list = json::array();
    for (const auto& signature : signatures) {
        list.push_back(
            {{"name", signature.name.toStdString()}, {"content", signature.content.toStdString()}});
    }
    outlook["signatures"] = std::move(list);
    WriteOutlook(mac, std::move(state), std::move(outlook));
}

std::vector<FakeOutlookSignature> FakeOutlookSignatures(const FakeMac& mac) {
    json state;
    const json outlook = ReadOutlook(mac, &state);
    std::vector<FakeOutlookSignature> result;
    if (outlook.contains("signatures") && outlook["signatures"].is_array()) {
        for (const json& signature : outlook["signatures"])
            result.push_back({Text(signature, "name"), Text(signature, "content")});
    }
    return result;
}

void SetFakeOutlookDefaultSignatures(const FakeMac& mac,
                                     const std::map<QString, FakeOutlookDefaults>& defaults) {
    json state;
    json outlook = ReadOutlook(mac, &state);
    json byEmail = json::object();
    for (const auto& [email, names] : defaults) {
        byEmail[email.toStdString()] = {{"newMessages", names.newMessages.toStdString()},
                                        {"repliesForwards", names.repliesForwards.toStdString()}};
    }
    outlook["defaults"] = std::move(byEmail);
    WriteOutlook(mac, std::move(state), std::move(outlook));
}

std::map<QString, FakeOutlookDefaults> FakeOutlookDefaultSignatures(const FakeMac& mac) {
    json state;
    const json outlook = ReadOutlook(mac, &state);
    std::map<QString, FakeOutlookDefaults> result;
    if (outlook.contains("defaults") && outlook["defaults"].is_object()) {
        for (const auto& [email, defaults] : outlook["defaults"].items()) {
            result[QString::fromStdString(email)] = {Text(defaults, "newMessages"),
                                                     Text(defaults, "repliesForwards")};
        }
    }
    return result;
}

void FailFakeOutlookScript(const FakeMac& mac, const QString& scriptName, int runs) {
    json state;
    json outlook = ReadOutlook(mac, &state);
    outlook["failingScripts"][scriptName.toStdString()] = runs < 0 ? json(true) : json(runs);
    WriteOutlook(mac, std::move(state), std::move(outlook));
}

}  // namespace quillet
