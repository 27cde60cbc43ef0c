#include "app/base/AppleScript.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include "app/base/RunProcess.h"
#include "common/Log.h"
#include "common/Text.h"
#include "platform/AtomicFile.h"
#include "platform/Bundle.h"
#include "platform/Paths.h"
#include "platform/Workspace.h"

namespace quillet {

namespace {

void LogLastErrorLine(const ProcessOutput& output) {
    if (output.lastErrorLine) {
        LogError("Last error line: \"" + *output.lastErrorLine + "\"");
    } else {
        LogError("No last error line");
    }
}

// Removes the temporary script on every path out of a run.
class TemporaryFile {
public:
    explicit TemporaryFile(QString path) : _path(std::move(path)) {}
    ~TemporaryFile() {
        if (!_path.isEmpty())
            QFile::remove(_path);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

private:
    QString _path;
};

}  // namespace

QString EscapeForAppleScript(const QString& text) {
    QString result = text;
    result.replace("\\", "\\\\");
    result.replace("\"", "\\\"");
    return result;
}

QString UnescapeFromAppleScript(const QString& text) {
    QString result = text;
    result.replace("\\\"", "\"");
    result.replace("\\\\", "\\");
    return result;
}

AppleScriptRunner::AppleScriptRunner(const Paths& paths, const Bundle& bundle)
    : _paths(paths), _bundle(bundle) {}

QString AppleScriptRunner::osascriptPath() const {
    return _paths.system("/usr/bin/osascript");
}

QString AppleScriptRunner::appleScriptText(const QString& name,
                                           const Replacements& replacements) const {
    QFile file(_bundle.resourcePath(name, "applescript"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    // std::map iterates in ascending key order; each replacement sees the previous ones, so a
    // signature content holding "**SIGNATURE_NAME**" gets the name.
    for (const auto& [placeholder, value] : replacements)
        text.replace(placeholder, value);
    return text;
}

std::optional<QString> AppleScriptRunner::runAppleScript(const QString& name,
                                                         const Replacements& replacements,
                                                         bool treatEmptyOutputAsError) const {
    const QString scriptText = appleScriptText(name, replacements);
    QString scriptPath = _bundle.resourcePath(name, "applescript");
    QString temporaryPath;
    if (replacements.empty()) {
        LogInfo("Running AppleScript \"" + name + "\"...");
    } else {
        LogInfo("Running AppleScript \"" + name + "\" with " +
                QString::number(replacements.size()) + " replacement(s)...");
        QDir().mkpath(_paths.temporary());
        temporaryPath = _paths.temporary() + "/" + CanonicalUuidText(QUuid::createUuid());
        if (!WriteFileAtomically(temporaryPath, scriptText.toUtf8())) {
            LogError("Could not write AppleScript with replacements into temporary file at " +
                     temporaryPath);
            return std::nullopt;
        }
        scriptPath = temporaryPath;
    }

    ProcessOutput output;
    {
        TemporaryFile cleanup(temporaryPath);
        output = RunProcess(osascriptPath(), {scriptPath});
    }

    if (output.standardError &&
        output.standardError->contains("execution error: Not authorized to send Apple events to")) {
        LogInfo("Could not execute AppleScript \"" + name +
                "\": not authorized to send Apple events");
        return std::nullopt;
    }
    // A tool that did not start, crashed, or failed without printing anything has not run the
    // script: taking its empty output as an empty answer would report, say, no accounts at all.
    const bool failedRun =
        !output.started || output.crashed ||
        (output.exitCode != 0 && output.standardOutput && output.standardOutput->isEmpty());
    if (!output.standardOutput || failedRun) {
        LogError("Could not execute AppleScript from \"" + name + "\":\n" + scriptText);
        LogLastErrorLine(output);
        return std::nullopt;
    }
    QString result = *output.standardOutput;
    if (result.endsWith('\n'))
        result.chop(1);
    LogInfo("Raw output from AppleScript \"" + name + "\":\n" + result +
            "\n--- end of raw output ---");
    if (treatEmptyOutputAsError && result.isEmpty()) {
        LogError("Treating empty AppleScript \"" + name + "\" output as error");
        LogLastErrorLine(output);
        return std::nullopt;
    }
    return result;
}

bool IsApplicationRunning(const Workspace& workspace, const QString& bundleIdentifier) {
    return workspace.runningBundleIdentifiers().contains(bundleIdentifier);
}

}  // namespace quillet
