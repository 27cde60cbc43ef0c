#pragma once
// Running the AppleScript resources of the application bundle with the system's osascript:
// placeholders filled in, every step logged, the output handed back or nothing on failure.

#include <QString>
#include <map>
#include <optional>

namespace quillet {

class Bundle;
class Paths;
class Workspace;

// Placeholder to value. Only the script's own text is searched for placeholders: a value goes in
// as it is, whatever it holds.
using Replacements = std::map<QString, QString>;

// Makes a text safe between double quotes of an AppleScript string literal (and of a prefs.js
// string): backslashes doubled, then quotation marks escaped.
QString EscapeForAppleScript(const QString& text);

class AppleScriptRunner {
public:
    AppleScriptRunner(const Paths& paths, const Bundle& bundle);

    // The named script's text with its placeholders replaced in one pass. Absent, with an Error
    // line, when the resource is missing or unreadable.
    std::optional<QString> appleScriptText(const QString& name,
                                           const Replacements& replacements = {}) const;

    // Runs the named script; its output without one trailing newline, or nothing when the run
    // failed (the resource is missing, the tool could not start, crashed, exited non-zero with no
    // output, was refused Apple events, printed no valid UTF-8, or printed nothing where that
    // counts as an error). With replacements the text goes through a new file in the user's
    // temporary folder that only the user can read, removed before returning.
    std::optional<QString> runAppleScript(const QString& name,
                                          const Replacements& replacements = {},
                                          bool treatEmptyOutputAsError = false) const;

    QString osascriptPath() const;
    // The bundle whose resources hold the scripts and their tables.
    const Bundle& bundle() const { return _bundle; }

private:
    const Paths& _paths;
    const Bundle& _bundle;
};

// True when a running application has exactly this bundle identifier.
bool IsApplicationRunning(const Workspace& workspace, const QString& bundleIdentifier);

}  // namespace quillet
