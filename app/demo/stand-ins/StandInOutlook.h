#pragma once
// The stand-in osascript's Outlook signatures. Outlook's entry of the fake Mac's state file keeps
//   "signatures": [ { "name", "content" } ]      in Outlook's order
//   "defaults": { EMAIL: { "newMessages", "repliesForwards" } }
//   "failingScripts": { NAME: COUNT or true }   the next COUNT runs (or every run) of the script
//                                               fail with an execution error
// The scripts are recognised by name; what they carry (names, content, the per-account lines of
// the default-signature scripts) is read back from the AppleScript string literals of the text.

#include <nlohmann/json.hpp>
#include <string>

namespace standin {

struct ScriptAnswer {
    std::string standardOutput;
    std::string standardError;
    int exitCode = 0;
};

// True for the scripts that list, read, create and delete signatures and set the defaults.
bool PlaysOutlookSignatures(const std::string& scriptName);

// Runs the script against Outlook's entry of the state file, changing it as Outlook would.
ScriptAnswer PlayOutlookSignatureScript(const std::string& scriptName,
                                        const std::string& scriptText, nlohmann::json& outlook);

}  // namespace standin
