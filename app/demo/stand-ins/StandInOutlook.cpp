#include "StandInOutlook.h"

#include <optional>
#include <set>
#include <vector>

namespace standin {

namespace {

using nlohmann::json;

const std::set<std::string> kDefaultScripts{
    "Outlook-SetDefaultSignatures14-Main",    "Outlook-SetDefaultSignatures15-Main",
    "Outlook-SetDefaultSignatures16-Main-A",  "Outlook-SetDefaultSignatures16-Main-B",
    "Outlook-ReadDefaultSignatures14-Main",   "Outlook-ReadDefaultSignatures15-Main",
    "Outlook-ReadDefaultSignatures16-Main-A", "Outlook-ReadDefaultSignatures16-Main-B"};
const char* const kGet = "Outlook-GetSignatures";
const char* const kCreate = "Outlook-CreateSignature";
const char* const kDelete = "Outlook-DeleteSignature";
const char* const kContent = "Outlook-GetSignatureContent";
// The handler calls of the default-signature scripts' per-account lines: setting and reading.
const std::string kAccountCall = "my setDefaultSignatures(";
const std::string kReadCall = "my defaultSignatures(";

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
std::vector<std::string> AccountForms(std::string mainScript, const json& account) {
    // The reading scripts find an account as the setting scripts of their version do.
    if (const auto read = mainScript.find("ReadDefault"); read != std::string::npos)
        mainScript.replace(read, 4, "Set");
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

// The string literals of a handler call's arguments from `at` (just past its opening
// parenthesis), at most `count` of them.
std::vector<std::string> CallArguments(const std::string& text, std::size_t at, std::size_t count) {
    std::vector<std::string> arguments;
    while (arguments.size() < count) {
        const auto literal = ReadLiteral(text, at);
        if (!literal)
            break;
        arguments.push_back(*literal);
        if (text.compare(at, 2, ", ") == 0)
            at += 2;
    }
    return arguments;
}

// A name as the pop-ups show it: a default never set is "None".
std::string Shown(const json& defaults, const char* key) {
    const std::string name = defaults.is_object() ? Text(defaults, key) : std::string();
    return name.empty() ? "None" : name;
}

// The account lines in order: a setting line names an account and two signatures, and an
// unknown account or signature makes it fail as Outlook's menus would; a reading line names an
// account and adds two lines to the answer, the names its pop-ups show. Any failed line makes the
// script answer "false".
ScriptAnswer DefaultSignatures(const std::string& scriptName, const std::string& text,
                               json& outlook) {
    bool allSucceeded = true;
    std::string read;
    std::size_t at = 0;
    while (true) {
        const auto setting = text.find(kAccountCall, at);
        const auto reading = text.find(kReadCall, at);
        if (setting == std::string::npos && reading == std::string::npos)
            break;
        const bool sets = setting < reading;
        at = sets ? setting + kAccountCall.size() : reading + kReadCall.size();
        const auto arguments = CallArguments(text, at, sets ? 3 : 1);
        const json* account =
            arguments.empty() ? nullptr : AccountOf(outlook, scriptName, arguments[0]);
        if (!sets) {
            if (!account) {
                allSucceeded = false;
                continue;
            }
            const json defaults =
                outlook.value("defaults", json::object()).value(Text(*account, "email"), json());
            for (const char* key : {"newMessages", "repliesForwards"})
                read.append("\n").append(Shown(defaults, key));
            continue;
        }
        if (arguments.size() != 3 || !account || !HasSignature(outlook, arguments[1]) ||
            !HasSignature(outlook, arguments[2])) {
            allSucceeded = false;
            continue;
        }
        outlook["defaults"][Text(*account, "email")] =
            json{{"newMessages", arguments[1]}, {"repliesForwards", arguments[2]}};
    }
    return Returned(allSucceeded ? "true" + read : "false");
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
    return DefaultSignatures(scriptName, scriptText, outlook);
}

}  // namespace standin
