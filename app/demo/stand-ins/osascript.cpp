// Stand-in for /usr/bin/osascript. It recognises the script it is given by the comment on the
// script's first line ("-- NAME"), records the run, and answers from the fake Mac:
//   ROOT/var/fake-mac/osascript/NAME/stdout, stderr, exit  canned output and exit status
//   ROOT/var/fake-mac/osascript/NAME/crash                 present: the tool dies by a signal
//   ROOT/var/fake-mac/osascript/NAME/sleep                 seconds to hang first (a modal dialog,
//                                                          an unanswered prompt); the stand-in
//                                                          writes its process id to NAME/pid
// Without a canned answer it plays Apple Mail and Outlook from ROOT/var/fake-mac/clients.json:
//   { "AppleMail": { "accounts": [ { "uuid", "email", "fullName", "type", "enabled" } ] },
//     "Outlook":   { "accounts": [ { "email", "fullName", "userName", "kind" } ] } }
// where an Outlook account's kind is "exchange", "imap", "pop" or "google" (its signatures and
// defaults: StandInOutlook.h). A client without an entry is not running and cannot start;
// "automationDenied": true in its entry refuses the Apple events as macOS does. Other scripts print
// nothing and succeed. Every run appends "NAME<TAB>script path" to ROOT/var/fake-mac/osascript.log
// and keeps the script text it was given in ROOT/var/fake-mac/osascript/NAME/last-script, and that
// file's permission bits (octal, "600") in NAME/last-script-mode.
#include <unistd.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "StandIn.h"
#include "StandInOutlook.h"

namespace {

using nlohmann::json;

std::string ScriptName(const std::string& text) {
    const std::string firstLine = text.substr(0, text.find('\n'));
    const auto start = firstLine.find_first_not_of("-# \t");
    if (start == std::string::npos)
        return {};
    auto name = firstLine.substr(start);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\r'))
        name.pop_back();
    return name;
}

struct Answer {
    std::string standardOutput;
    std::string standardError;
    int exitCode = 0;
};

// A script's answer as osascript gives it: the returned text and a line feed.
Answer Returned(const std::vector<std::string>& records) {
    std::string text;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (i > 0)
            text += ";;;";
        text += records[i];
    }
    return Answer{text + "\n", {}, 0};
}

// What the listing scripts do to every field so that it cannot read as a separator: commas or
// semicolons that follow one another get a blank between them, and one at either end of the
// field gets a blank beside it.
std::string CleanField(std::string text) {
    for (const char mark : {',', ';'}) {
        const std::string pair{mark, mark};
        for (auto at = text.find(pair); at != std::string::npos; at = text.find(pair, at))
            text.insert(at + 1, 1, ' ');
        if (!text.empty() && text.front() == mark)
            text.insert(0, 1, ' ');
        if (!text.empty() && text.back() == mark)
            text += ' ';
    }
    return text;
}

// A field of a client's account as the listing scripts print it.
std::string Field(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string())
        return {};
    return CleanField(found->get<std::string>());
}

// One client of the state file and the application name its scripts tell.
struct Client {
    const char* key;
    const char* applicationName;
};
constexpr Client kAppleMail{"AppleMail", "Mail"};
constexpr Client kOutlook{"Outlook", "Microsoft Outlook"};

// The client's entry, or the error that osascript reports when the application cannot be told.
const json* ClientState(const json& state, const Client& client, Answer* refusal) {
    const auto found = state.find(client.key);
    if (found == state.end() || !found->is_object()) {
        *refusal = Answer{{},
                          std::string("execution error: ") + client.applicationName +
                              " got an error: Application isn\u2019t running. (-600)\n",
                          1};
        return nullptr;
    }
    if (found->value("automationDenied", false)) {
        *refusal = Answer{{},
                          std::string("execution error: Not authorized to send Apple events to ") +
                              client.applicationName + ". (-1743)\n",
                          1};
        return nullptr;
    }
    return &*found;
}

std::vector<json> Accounts(const json& client) {
    const auto found = client.find("accounts");
    if (found == client.end() || !found->is_array())
        return {};
    return found->get<std::vector<json>>();
}

Answer ListAppleMailAccounts(const json& state) {
    Answer refusal;
    const json* mail = ClientState(state, kAppleMail, &refusal);
    if (!mail)
        return refusal;
    std::vector<std::string> records;
    for (const json& account : Accounts(*mail)) {
        const bool enabled = account.value("enabled", true);
        records.push_back(Field(account, "uuid") + ",,," + Field(account, "email") + ",,," +
                          Field(account, "fullName") + ",,," + (enabled ? "true" : "false") +
                          ",,," + Field(account, "type"));
    }
    return Returned(records);
}

// Outlook's A listings: user name, full name and email of the accounts of the given kinds.
Answer ListOutlookAccountsA(const json& state, bool google) {
    Answer refusal;
    const json* outlook = ClientState(state, kOutlook, &refusal);
    if (!outlook)
        return refusal;
    std::vector<std::string> records;
    for (const json& account : Accounts(*outlook)) {
        if ((Field(account, "kind") == "google") != google)
            continue;
        records.push_back(Field(account, "userName") + ",,," + Field(account, "fullName") + ",,," +
                          Field(account, "email"));
    }
    return Returned(records);
}

Answer ListOutlookAccountsB(const json& state) {
    Answer refusal;
    const json* outlook = ClientState(state, kOutlook, &refusal);
    if (!outlook)
        return refusal;
    std::vector<std::string> records;
    for (const json& account : Accounts(*outlook)) {
        const std::string fullName = Field(account, "fullName");
        const std::string email = Field(account, "email");
        records.push_back(fullName.empty() ? email : fullName + " (" + email + ")");
    }
    return Returned(records);
}

// The permission checks send one harmless event: refused only where the state denies automation
// of that application (an application the state does not know starts when told).
Answer CheckAutomation(const json& state, const Client& client) {
    const auto found = state.find(client.key);
    if (found != state.end() && found->is_object() && found->value("automationDenied", false)) {
        Answer refusal;
        ClientState(state, client, &refusal);
        return refusal;
    }
    return Returned({"0"});
}

constexpr Client kSystemEvents{"SystemEvents", "System Events"};

using Emulation = std::function<Answer(json& state)>;

const std::map<std::string, Emulation>& Emulations() {
    static const std::map<std::string, Emulation> emulations{
        {"AppleMail-ListAccounts-1012Plus", [](json& s) { return ListAppleMailAccounts(s); }},
        {"Outlook-ListAccounts-A-Main", [](json& s) { return ListOutlookAccountsA(s, false); }},
        {"Outlook-ListAccounts-A-Gmail", [](json& s) { return ListOutlookAccountsA(s, true); }},
        {"Outlook-ListAccounts-B", [](json& s) { return ListOutlookAccountsB(s); }},
        {"Accessibility-CheckAutomationAppleMail",
         [](json& s) { return CheckAutomation(s, kAppleMail); }},
        {"Accessibility-CheckAutomationOutlook",
         [](json& s) { return CheckAutomation(s, kOutlook); }},
        {"Accessibility-CheckAutomationSystemEvents",
         [](json& s) { return CheckAutomation(s, kSystemEvents); }},
    };
    return emulations;
}

bool HasCannedAnswer(const standin::fs::path& folder) {
    for (const char* file : {"stdout", "stderr", "exit", "crash", "sleep"}) {
        if (standin::fs::exists(folder / file))
            return true;
    }
    return false;
}

std::string PermissionText(const char* path) {
    const auto permissions = standin::fs::status(path).permissions();
    char text[8];
    std::snprintf(text, sizeof text, "%o", static_cast<unsigned>(permissions) & 07777u);
    return text;
}

// Outlook's signatures and defaults (StandInOutlook) once Outlook can be told at all.
Answer PlayOutlookSignatures(json& state, const std::string& name, const std::string& text) {
    Answer refusal;
    if (!ClientState(state, kOutlook, &refusal))
        return refusal;
    const auto played = standin::PlayOutlookSignatureScript(name, text, state[kOutlook.key]);
    return Answer{played.standardOutput, played.standardError, played.exitCode};
}

int Emit(const Answer& answer) {
    std::fputs(answer.standardError.c_str(), stderr);
    std::fputs(answer.standardOutput.c_str(), stdout);
    return answer.exitCode;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: osascript FILE\n");
        return 1;
    }
    const auto root = standin::RootFromArgv0(argv[0]);
    const auto fakeMac = root / "var/fake-mac";
    const auto text = standin::ReadFile(argv[1]);
    if (!text) {
        std::fprintf(stderr, "osascript: %s: No such file or directory\n", argv[1]);
        return 1;
    }
    const std::string name = ScriptName(*text);
    standin::AppendLine(fakeMac / "osascript.log", name + "\t" + argv[1]);
    const auto folder = fakeMac / "osascript" / name;
    standin::WriteFile(folder / "last-script", *text);
    standin::WriteFile(folder / "last-script-mode", PermissionText(argv[1]));

    if (HasCannedAnswer(folder)) {
        if (const auto seconds = standin::ReadFile(folder / "sleep")) {
            standin::WriteFile(folder / "pid", std::to_string(::getpid()));
            std::this_thread::sleep_for(std::chrono::seconds(std::atoi(seconds->c_str())));
        }
        if (standin::fs::exists(folder / "crash"))
            std::raise(SIGKILL);
        if (const auto err = standin::ReadFile(folder / "stderr"))
            std::fputs(err->c_str(), stderr);
        if (const auto out = standin::ReadFile(folder / "stdout"))
            std::fputs(out->c_str(), stdout);
        if (const auto code = standin::ReadFile(folder / "exit"))
            return std::atoi(code->c_str());
        return 0;
    }

    const auto emulation = Emulations().find(name);
    const bool outlookSignatures = standin::PlaysOutlookSignatures(name);
    if (emulation == Emulations().end() && !outlookSignatures)
        return 0;
    const auto statePath = fakeMac / "clients.json";
    json state = json::object();
    if (const auto stateText = standin::ReadFile(statePath)) {
        state = json::parse(*stateText, nullptr, false);
        if (state.is_discarded() || !state.is_object()) {
            std::fprintf(stderr, "osascript: the fake Mac's clients.json is not a JSON object\n");
            return 1;
        }
    }
    const json before = state;
    const Answer answer =
        outlookSignatures ? PlayOutlookSignatures(state, name, *text) : emulation->second(state);
    // Scripts that change a client (signatures, defaults) leave their effect for the next run.
    if (state != before)
        standin::WriteFile(statePath, state.dump(2) + "\n");
    return Emit(answer);
}
