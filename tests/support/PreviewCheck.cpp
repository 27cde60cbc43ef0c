#include "tests/support/PreviewCheck.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <set>

#include "app/demo/FakeMacDatabase.h"
#include "app/demo/FakeMacMozilla.h"
#include "app/demo/FakeMacSpark.h"
#include "platform/Plist.h"

namespace quillet {

namespace {

using Files = std::map<QString, QByteArray>;

// What a person can compare: a binary property list as its XML text.
QByteArray Comparable(const QByteArray& bytes) {
    if (!bytes.startsWith("bplist"))
        return bytes;
    const auto plist = Plist::parse(bytes);
    return plist ? plist->toXml() : bytes;
}

// Applies a unified diff to `before` with patch(1); absent when it does not apply.
std::optional<QByteArray> Patched(const QByteArray& before, const std::string& diff) {
    QTemporaryDir folder;
    QFile target(folder.filePath("file"));
    if (!target.open(QIODevice::WriteOnly))
        return std::nullopt;
    target.write(Comparable(before));
    target.close();
    QProcess patch;
    patch.start("patch", {"--quiet", "--force", folder.filePath("file")});
    patch.write(QByteArray::fromStdString(diff));
    patch.closeWriteChannel();
    if (!patch.waitForFinished(30000) || patch.exitCode() != 0)
        return std::nullopt;
    return ReadFakeFile(folder.filePath("file"));
}

// Spark's rows as key and value, without the times a sync writes (they move with the clock);
// after the statements ran on the database when there are any.
QStringList SparkRows(const QString& path, const nlohmann::json& statements = {}) {
    static const QRegularExpression date("\"(creation|modification)Date\":[0-9.e+]+");
    for (const auto& statement : statements)
        QueryFakeDatabase(path, QString::fromStdString(statement.get<std::string>()));
    QStringList result;
    for (const QString& row : FakeSparkSettingsRows(path))
        result << row.section('|', 1, 2).replace(date, "DATE");
    return result;
}

QSet<QString> Uuids(const QString& text) {
    static const QRegularExpression uuid(
        "[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}",
        QRegularExpression::CaseInsensitiveOption);
    QSet<QString> found;
    for (const auto& match : uuid.globalMatch(text))
        found.insert(match.captured().toUpper());
    return found;
}

// The Outlook scripts that change Outlook, in run order.
QStringList ChangingScripts(const QStringList& runs) {
    static const QRegularExpression changing(
        "^Outlook-(CreateSignature|DeleteSignature|SetDefaultSignatures)");
    return runs.filter(changing);
}

}  // namespace

PreviewCheck CheckPreview(const SampleMacCommand& command, const QStringList& arguments) {
    PreviewCheck check;
    const FakeMac& mac = command.mac;
    const QString spark = command.sample.sparkSettings;
    QTemporaryDir keep;
    const QString sparkBefore = keep.filePath("settings.sqlite");
    QFile::copy(spark, sparkBefore);
    const Files before = command.machineFiles();
    const QStringList workspace = mac.workspaceLog();
    const qsizetype scriptsBefore = mac.osascriptRuns().size();
    QString textBefore = QString::fromStdString(command.json({"list", "--all"}).dump());
    for (const auto& [path, bytes] : before)
        textBefore += "\n" + path + "\n" + QString::fromUtf8(bytes);
    const QSet<QString> uuidsBefore = Uuids(textBefore);

    check.preview = command.quillet(QStringList{"--yes", "--dry-run", "--json"} + arguments);
    if (command.machineFiles() != before || mac.workspaceLog() != workspace ||
        !ChangingScripts(mac.osascriptRuns().mid(scriptsBefore)).isEmpty())
        check.mismatches << "the preview changed the Mac";
    const qsizetype scriptsBeforeRun = mac.osascriptRuns().size();
    check.real = command.quillet(QStringList{"--yes"} + arguments);
    if (check.preview.exitCode != 0) {
        if (check.real.exitCode == 0)
            check.mismatches << "the preview refused, the command did it";
        return check;
    }
    const Files after = command.machineFiles();
    // A new signature gets a new random uuid in each run: the plan's stands for the real one.
    QString planText = check.preview.out;
    const QSet<QString> created =
        Uuids(QString::fromStdString(command.json({"list", "--all"}).dump())) - uuidsBefore;
    const QSet<QString> previewed = Uuids(planText) - uuidsBefore;
    if (created.size() == 1 && previewed.size() == 1)
        planText.replace(*previewed.begin(), *created.begin(), Qt::CaseInsensitive);
    const auto plan = nlohmann::json::parse(planText.toStdString(), nullptr, false);
    if (!plan.is_object() || !plan["clients"].is_array()) {
        check.mismatches << "the preview printed no plan";
        return check;
    }

    std::set<QString> planned;
    QStringList plannedScripts;
    nlohmann::json sparkStatements = nlohmann::json::array();
    for (const auto& client : plan["clients"]) {
        for (const auto& file : client["files"]) {
            const QString path = QString::fromStdString(file["path"]);
            planned.insert(path);
            const auto was = before.find(path);
            const auto is = after.find(path);
            if (file["change"] == "delete") {
                if (is != after.end())
                    check.mismatches << "previewed deletion did not happen: " + path;
            } else if (is == after.end()) {
                check.mismatches << "previewed file was not written: " + path;
            } else if (Patched(was == before.end() ? QByteArray() : was->second,
                               file["diff"].get<std::string>()) != Comparable(is->second)) {
                check.mismatches << "the file is not as previewed: " + path;
            }
        }
        if (client["client"] == "Spark")
            sparkStatements = client["sql"];
        for (const auto& script : client["scripts"])
            plannedScripts << QString::fromStdString(script["name"]);
    }
    // Every file the command changed was in the plan (Spark's database and the stand-in
    // Outlook's state aside: their statements and scripts are compared).
    const std::set<QString> described{command.sample.outlookState, spark};
    for (const auto& [path, bytes] : after) {
        const bool changed = !before.contains(path) || before.at(path) != bytes;
        if (changed && !described.contains(path) && !planned.contains(path))
            check.mismatches << "changed but not in the preview: " + path;
    }
    for (const auto& [path, bytes] : before) {
        if (!after.contains(path) && !planned.contains(path))
            check.mismatches << "deleted but not in the preview: " + path;
    }
    if (SparkRows(sparkBefore, sparkStatements) != SparkRows(spark))
        check.mismatches << "Spark's rows are not as previewed";
    if (ChangingScripts(mac.osascriptRuns().mid(scriptsBeforeRun)) != plannedScripts)
        check.mismatches << "Outlook's scripts are not the previewed ones";
    return check;
}

}  // namespace quillet
