#include "app/base/AppleScript.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include "app/base/RunProcess.h"
#include "common/Log.h"
#include "common/Text.h"
#include "platform/Bundle.h"
#include "platform/Paths.h"
#include "platform/PrivateFile.h"
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

AppleScriptRunner::AppleScriptRunner(const Paths& paths, const Bundle& bundle)
    : _paths(paths), _bundle(bundle) {}

namespace {

// The placeholders of the script's own text replaced in one pass: a value put in is never
// searched again, so a signature whose HTML holds "**SIGNATURE_NAME**" keeps that text, and an
// account named "**SIGNATURE_NAME**" stays that name. Where two placeholders start at one place,
// the longer one is taken.
QString ReplacedPlaceholders(const QString& text, const Replacements& replacements) {
    QString result;
    qsizetype from = 0;
    while (true) {
        qsizetype next = -1;
        const std::pair<const QString, QString>* found = nullptr;
        for (const auto& entry : replacements) {
            if (entry.first.isEmpty())
                continue;
            const qsizetype at = text.indexOf(entry.first, from);
            if (at >= 0 && (next < 0 || at < next ||
                            (at == next && entry.first.size() > found->first.size()))) {
                next = at;
                found = &entry;
            }
        }
        if (!found)
            break;
        result += QStringView(text).mid(from, next - from);
        result += found->second;
        from = next + found->first.size();
    }
    result += QStringView(text).mid(from);
    return result;
}

}  // namespace

QString AppleScriptRunner::osascriptPath() const {
    return _paths.system("/usr/bin/osascript");
}

std::optional<QString> AppleScriptRunner::appleScriptText(const QString& name,
                                                          const Replacements& replacements) const {
    const QString path = _bundle.resourcePath(name, "applescript");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        LogError("Could not read AppleScript \"" + name + "\" at " + path);
        return std::nullopt;
    }
    return ReplacedPlaceholders(QString::fromUtf8(file.readAll()), replacements);
}

std::optional<QString> AppleScriptRunner::runAppleScript(const QString& name,
                                                         const Replacements& replacements,
                                                         bool treatEmptyOutputAsError) const {
    // A resource missing from the bundle is a broken installation: nothing is run, and the
    // caller gets a failure rather than the empty answer of an empty script.
    const std::optional<QString> text = appleScriptText(name, replacements);
    if (!text) {
        LogError("Could not execute AppleScript from \"" + name + "\":\n");
        return std::nullopt;
    }
    const QString& scriptText = *text;
    QString scriptPath = _bundle.resourcePath(name, "applescript");
    QString temporaryPath;
    if (replacements.empty()) {
        LogInfo("Running AppleScript \"" + name + "\"...");
    } else {
        LogInfo("Running AppleScript \"" + name + "\" with " +
                QString::number(replacements.size()) + " replacement(s)...");
        // The text carries signatures, names and addresses, and an Automation prompt can keep
        // the run waiting for minutes: the file is the user's alone, and always a new one.
        QDir().mkpath(_paths.temporary());
        temporaryPath = _paths.temporary() + "/" + CanonicalUuidText(QUuid::createUuid());
        if (!WriteNewPrivateFile(temporaryPath, scriptText.toUtf8())) {
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
