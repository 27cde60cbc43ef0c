#include "StandInOutlook.h"

#include <optional>
#include <set>
#include <vector>

namespace standin {

namespace {

using nlohmann::json;

const std::set<std::string> kDefaultScripts{
    "Outlook-SetDefaultSignatures14-Main", "Outlook-SetDefaultSignatures15-Main",
    "Outlook-SetDefaultSignatures16-Main-A", "Outlook-SetDefaultSignatures16-Main-B"};
const char* const kGet = "Outlook-GetSignatures";
const char* const kCreate = "Outlook-CreateSignature";
const char* const kDelete = "Outlook-DeleteSignature";
const char* const kContent = "Outlook-GetSignatureContent";
// The handler call of the default-signature scripts' per-account lines.
const std::string kAccountCall = "my setDefaultSignatures(";

ScriptAnswer Returned(const std::string& text) {
    return ScriptAnswer{text + "\n", {}, 0};
}

std::string Text(const json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The string literal that starts at the quotation mark at `position`, unescaped as AppleScript
// reads it; `position` moves past its closing quotation mark. Absent when it is not closed.
std::optional<std::string> ReadLiteral(const std::string& text, std::size_t& position) {
    if (position >= text.size() || text[position] != '"')
        return std::nullopt;
    std::string value;
    for (std::size_t i = position + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            position = i + 1;
            return value;
        }
        if (c == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            value += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
            continue;
        }
        value += c;
    }
    return std::nullopt;
}

// The literal assigned by the first "set VARIABLE to "..."" at or after `from`.
std::optional<std::string> AssignedLiteral(const std::string& text, const std::string& variable,
                                           std::size_t& from) {
    const std::string statement = "set " + variable + " to ";
    const auto found = text.find(statement, from);
    if (found == std::string::npos)
        return std::nullopt;
    from = found + statement.size();
    return ReadLiteral(text, from);
}

ScriptAnswer ExecutionError(const std::string& message) {
    return ScriptAnswer{
        {}, "execution error: Microsoft Outlook got an error: " + message + "\n", 1};
}

// Counts down (or keeps) a failure the test asked for; true when this run fails.
bool TakeFailure(json& outlook, const std::string& scriptName) {
    auto failing = outlook.find("failingScripts");
    if (failing == outlook.end() || !failing->is_object() || !failing->contains(scriptName))
        return false;
    json& remaining = (*failing)[scriptName];
    if (remaining.is_boolean())
        return remaining.get<bool>();
    if (!remaining.is_number_integer() || remaining.get<int>() <= 0)
        return false;
    remaining = remaining.get<int>() - 1;
    return true;
}

json& Signatures(json& outlook) {
    if (!outlook["signatures"].is_array())
        outlook["signatures"] = json::array();
    return outlook["signatures"];
}

ScriptAnswer GetSignatures(json& outlook) {
    std::string output;
    bool first = true;
    for (const json& signature : Signatures(outlook)) {
        // As the script does: a name loses every ";;;" before the names are joined.
        std::string name = Text(signature, "name");
        for (auto at = name.find(";;;"); at != std::string::npos; at = name.find(";;;"))
            name.erase(at, 3);
        output += (first ? "" : ";;;") + name;
        first = false;
    }
    return Returned(output);
}

// What osascript says of a script whose string literal is not closed.
ScriptAnswer UnclosedLiteral() {
    return ScriptAnswer{{}, "syntax error: Expected \u201c\"\u201d but found end of script.\n", 1};
}

ScriptAnswer CreateSignature(const std::string& text, json& outlook) {
    std::size_t position = 0;
    const auto name = AssignedLiteral(text, "signatureName", position);
    const auto content = AssignedLiteral(text, "signatureContent", position);
    if (!name || !content)
        return UnclosedLiteral();
    // Outlook accepts a second signature of a name it already has.
    Signatures(outlook).push_back(json{{"name", *name}, {"content", *content}});
    return Returned("true");
}

ScriptAnswer DeleteSignature(const std::string& text, json& outlook) {
    std::size_t position = 0;
    const auto name = AssignedLiteral(text, "signatureName", position);
    if (!name)
        return UnclosedLiteral();
    json& signatures = Signatures(outlook);
    for (auto it = signatures.begin(); it != signatures.end(); ++it) {
        if (Text(*it, "name") == *name) {
            signatures.erase(it);
            return Returned("true");
        }
    }
    return Returned("false");
}

ScriptAnswer SignatureContent(const std::string& text, json& outlook) {
    std::size_t position = 0;
    const auto name = AssignedLiteral(text, "signatureName", position);
    if (!name)
        return UnclosedLiteral();
    for (const json& signature : Signatures(outlook)) {
        if (Text(signature, "name") == *name)
            return Returned("true\n" + Text(signature, "content"));
    }
    return Returned("false");
}

// How each version's default-signature window names an account, as the listing scripts print
// it: the texts a Main script's account lines must give (blanks at either end aside, as the
// listings' fields are trimmed when read).
std::vector<std::string> AccountForms(const std::string& mainScript, const json& account) {
    const std::string user = Text(account, "userName");
    const std::string full = Text(account, "fullName");
    const std::string email = Text(account, "email");
    // Outlook 16.80 and newer: the account pop-up, which lists what "Outlook-ListAccounts-B"
    // does (the address, after the full name when there is one).
    if (mainScript == "Outlook-SetDefaultSignatures16-Main-B") {
        if (full.empty() || full == email)
            return {email};
        return {full + " (" + email + ")"};
    }
    if (user.empty())
        return {};
    // Outlook 2011: the table's text field holds the user name.
    if (mainScript == "Outlook-SetDefaultSignatures14-Main")
        return {user};
    const std::string userFirst = user + " (" + full + ")";
    if (mainScript == "Outlook-SetDefaultSignatures15-Main")
        return {userFirst};
    // Outlook 16 before 16.80: from 16.41 the full name comes first (the user name alone when
    // the two are equal), before that the user name.
    return {full == user ? user : full + " (" + user + ")", userFirst};
}

// The account an identifier names in the version's window.
const json* AccountOf(const json& outlook, const std::string& mainScript,
                      const std::string& idString) {
    const auto accounts = outlook.find("accounts");
    if (accounts == outlook.end() || !accounts->is_array())
        return nullptr;
    for (const json& account : *accounts) {
        for (const std::string& form : AccountForms(mainScript, account)) {
            if (Trimmed(idString) == Trimmed(form))
                return &account;
        }
    }
    return nullptr;
}

bool HasSignature(json& outlook, const std::string& name) {
    if (name == "None")
        return true;
    for (const json& signature : Signatures(outlook)) {
        if (Text(signature, "name") == name)
            return true;
    }
    return false;
}

// Each per-account line names an account and two signatures; an unknown account or signature
// makes that line fail as Outlook's menus would, and the script answer "false".
ScriptAnswer SetDefaultSignatures(const std::string& scriptName, const std::string& text,
                                  json& outlook) {
    bool allSet = true;
    for (auto at = text.find(kAccountCall); at != std::string::npos;
         at = text.find(kAccountCall, at)) {
        at += kAccountCall.size();
        std::vector<std::string> arguments;
        while (arguments.size() < 3) {
            const auto literal = ReadLiteral(text, at);
            if (!literal)
                break;
            arguments.push_back(*literal);
            if (text.compare(at, 2, ", ") == 0)
                at += 2;
        }
        if (arguments.size() != 3) {
            allSet = false;
            continue;
        }
        const json* account = AccountOf(outlook, scriptName, arguments[0]);
        if (!account || !HasSignature(outlook, arguments[1]) ||
            !HasSignature(outlook, arguments[2])) {
            allSet = false;
            continue;
        }
        outlook["defaults"][Text(*account, "email")] =
            json{{"newMessages", arguments[1]}, {"repliesForwards", arguments[2]}};
    }
    return Returned(allSet ? "true" : "false");
}

}  // namespace

bool PlaysOutlookSignatures(const std::string& scriptName) {
    return scriptName == kGet || scriptName == kCreate || scriptName == kDelete ||
           scriptName == kContent || kDefaultScripts.count(scriptName) > 0;
}

ScriptAnswer PlayOutlookSignatureScript(const std::string& scriptName,
                                        const std::string& scriptText, json& outlook) {
    if (TakeFailure(outlook, scriptName))
        return ExecutionError("The operation couldn\u2019t be completed. (-10000)");
    if (scriptName == kGet)
        return GetSignatures(outlook);
    if (scriptName == kCreate)
        return CreateSignature(scriptText, outlook);
    if (scriptName == kDelete)
        return DeleteSignature(scriptText, outlook);
    if (scriptName == kContent)
        return SignatureContent(scriptText, outlook);
    return SetDefaultSignatures(scriptName, scriptText, outlook);
}

}  // namespace standin
