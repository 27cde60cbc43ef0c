#include "app/cli/DryRun.h"

#include <dtl/dtl.hpp>
#include <nlohmann/json.hpp>
#include <string>

#include "app/cli/Output.h"
#include "platform/Plist.h"

namespace quillet {

namespace {

using nlohmann::json;

// A binary property list as its XML text: a person can read that, and a diff of it.
QByteArray Readable(const QByteArray& bytes) {
    if (!bytes.startsWith("bplist"))
        return bytes;
    const auto plist = Plist::parse(bytes);
    return plist ? plist->toXml() : bytes;
}

struct Lines {
    std::vector<std::string> lines;
    bool endsWithNewline = true;
};

Lines SplitLines(const QByteArray& bytes) {
    Lines result;
    if (bytes.isEmpty())
        return result;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) {
            result.lines.emplace_back(bytes.constData() + start, bytes.size() - start);
            result.endsWithNewline = false;
            break;
        }
        result.lines.emplace_back(bytes.constData() + start, end - start);
        start = end + 1;
    }
    return result;
}

const char* ChangeName(PlannedFile::Change change) {
    switch (change) {
        case PlannedFile::Change::create:
            return "create";
        case PlannedFile::Change::modify:
            return "modify";
        case PlannedFile::Change::remove:
            return "delete";
    }
    return "modify";
}

json ReplacementsJson(const Replacements& replacements) {
    json object = json::object();
    for (const auto& [key, value] : replacements)
        object[key.toStdString()] = value.toStdString();
    return object;
}

}  // namespace

QStringList PreviewWorkspace::runningBundleIdentifiers() const {
    QStringList running;
    for (const QString& identifier : _machine.runningBundleIdentifiers()) {
        if (!_closed.contains(identifier))
            running << identifier;
    }
    return running;
}

bool PreviewWorkspace::forceTerminate(const QString& bundleIdentifier) {
    _closed.insert(bundleIdentifier);
    return true;
}

Answer RecordingPrompter::ask(const Alert& alert) {
    _shown.push_back(alert);
    return _inner.ask(alert);
}

bool DryRunAllowed(const QString& command) {
    return QStringList{"install", "update", "rename", "uninstall", "refresh", "restore"}.contains(
        command);
}

QString UnifiedDiff(const QString& path, const QByteArray& before, const QByteArray& after) {
    const Lines a = SplitLines(Readable(before));
    const Lines b = SplitLines(Readable(after));
    if (a.lines == b.lines && a.endsWithNewline == b.endsWithNewline)
        return {};
    dtl::Diff<std::string> diff(a.lines, b.lines);
    diff.compose();
    diff.composeUnifiedHunks();
    std::string text = "--- " + path.toStdString() + "\n+++ " + path.toStdString() + "\n";
    const auto line = [&](const std::pair<std::string, dtl::elemInfo>& element) {
        const auto type = element.second.type;
        text += type == dtl::SES_ADD ? '+' : type == dtl::SES_DELETE ? '-' : ' ';
        text += element.first + "\n";
        // The last line of a file without a final line feed says so, as diff and patch expect.
        const bool lastOfBefore =
            type != dtl::SES_ADD && !a.endsWithNewline &&
            element.second.beforeIdx == static_cast<long long>(a.lines.size());
        const bool lastOfAfter = type != dtl::SES_DELETE && !b.endsWithNewline &&
                                 element.second.afterIdx == static_cast<long long>(b.lines.size());
        if (lastOfBefore || lastOfAfter)
            text += "\\ No newline at end of file\n";
    };
    for (const auto& hunk : diff.getUniHunks()) {
        text += "@@ -" + std::to_string(hunk.a) + "," + std::to_string(hunk.b) + " +" +
                std::to_string(hunk.c) + "," + std::to_string(hunk.d) + " @@\n";
        for (const auto& element : hunk.common[0])
            line(element);
        for (const auto& element : hunk.change)
            line(element);
        for (const auto& element : hunk.common[1])
            line(element);
    }
    return QString::fromStdString(text);
}

void PrintDryRunPlan(const DryRun& dryRun, const std::vector<ClientKind>& clientOrder,
                     bool asJson) {
    json clients = json::array();
    QStringList text;
    for (ClientKind kind : clientOrder) {
        const auto plan = dryRun.preview.plans().find(kind);
        if (plan == dryRun.preview.plans().end() || plan->second.empty())
            continue;
        json files = json::array(), sql = json::array(), scripts = json::array();
        text << "== " + DisplayName(kind);
        for (const PlannedFile& file : plan->second.files) {
            // The engine writes Quillet's own files (the person's replaced settings) into the
            // copy of the support folder; the plan names them where the command will write them.
            QString path = file.path;
            const QString copy = dryRun.supportCopy.path() + "/";
            if (path.startsWith(copy))
                path = dryRun.supportFolder + "/" + path.mid(copy.size());
            const QString diff = UnifiedDiff(path, file.before, file.after);
            if (diff.isEmpty() && file.change == PlannedFile::Change::modify)
                continue;  // written again as it was
            files.push_back({{"path", path.toStdString()},
                             {"change", ChangeName(file.change)},
                             {"diff", diff.toStdString()}});
            text << diff.chopped(diff.endsWith('\n') ? 1 : 0);
        }
        for (const QString& statement : plan->second.sql) {
            sql.push_back(statement.toStdString());
            text << statement + ";";
        }
        for (const PlannedScript& script : plan->second.scripts) {
            scripts.push_back({{"name", script.name.toStdString()},
                               {"replacements", ReplacementsJson(script.replacements)}});
            text << "run script " + script.name;
            for (const auto& [key, value] : script.replacements)
                text << "    " + key + " = " + value;
        }
        clients.push_back({{"client", StoredText(kind).toStdString()},
                           {"files", files},
                           {"sql", sql},
                           {"scripts", scripts}});
    }
    json alerts = json::array();
    for (const Alert& alert : dryRun.prompter->shown())
        alerts.push_back(
            {{"title", alert.title.toStdString()}, {"text", alert.informativeText.toStdString()}});
    if (asJson) {
        PrintJson({{"clients", clients}, {"alerts", alerts}});
    } else if (!text.isEmpty()) {
        PrintText(text.join('\n'));
    } else {
        PrintText("Nothing would change.");
    }
}

}  // namespace quillet
