#include "app/clients/sync/ThunderbirdSync.h"

#include <map>

#include "app/clients/PrefsFile.h"
#include "app/clients/linux/IdentitySignatures.h"
#include "app/clients/sync/MozillaSync.h"
#include "common/Log.h"

namespace quillet {

namespace {

constexpr ClientKind kThunderbird = ClientKind::thunderbird;
const QString kHtmlSigText = QStringLiteral("htmlSigText");
const QString kHtmlSigFormat = QStringLiteral("htmlSigFormat");

}  // namespace

ThunderbirdSyncPlan PlanThunderbirdSync(const SyncInputs& inputs, const QStringList& lines,
                                        const std::map<QString, ClientSettings>& kept) {
    const QString name = SyncName(QStringLiteral("SyncThunderbirdSignatures"));
    const auto currentTexts = IdentityStringValues(lines, kHtmlSigText);
    ThunderbirdSyncPlan plan;
    PrefsEdits edits;
    plan.unwrittenEmails = VisitAssignedIdentities(
        kThunderbird, inputs, lines, name,
        [&](const MozillaBasedClientAccount& identity, const QString& prefix,
            const Signature* assigned) {
            const QString email = identity.email();
            const auto found = currentTexts.find(prefix + kHtmlSigText);
            const std::optional<QString> current =
                found == currentTexts.end() ? std::nullopt : std::optional(found->second);
            const bool holdsQuillets =
                current && !current->isEmpty() &&
                IsInstalledText(kThunderbird, inputs.idToSignatureMap, email, *current);
            const auto keptHere = kept.find(email);
            if (assigned) {
                const QString text = EffectiveText(*assigned).value_or(QString());
                if (!holdsQuillets && current != text) {
                    plan.replaced.remembered[email] =
                        IdentitySettings(lines, prefix, kThunderbirdSignatureSettings);
                }
                edits.settings.push_back(
                    {prefix + kHtmlSigText, PrefsStringRawValue(text), prefix});
                edits.settings.push_back(
                    {prefix + kHtmlSigFormat, PrefsBoolRawValue(true), prefix});
                AppendInsertionSettings(edits.settings, prefix, *assigned);
            } else if (holdsQuillets) {
                if (keptHere != kept.end()) {
                    PutBackIdentitySettings(edits, prefix, keptHere->second);
                } else {
                    for (const QString& setting : kThunderbirdSignatureSettings)
                        edits.removedKeys.insert(prefix + setting);
                }
            } else if (keptHere != kept.end()) {
                plan.replaced.forgotten.insert(email);
            }
        });
    plan.prefsLines = edits.appliedTo(lines);
    return plan;
}

std::optional<SyncThunderbirdSignaturesError> SyncThunderbirdSignatures(const SyncInputs& inputs) {
    const QString name = SyncName(QStringLiteral("SyncThunderbirdSignatures"));
    LogInfo(name);
    const QString path = PrefsFilePath(inputs.clientInfo);
    const auto failed = [](const QString& failedPath) {
        return SyncThunderbirdSignaturesError{SyncThunderbirdSignaturesError::Kind::fileSystem,
                                              failedPath};
    };
    const auto lines = ReadSyncPrefsFile(name, path);
    if (!lines)
        return failed(path);
    const QString profile = ProfileFolder(inputs.clientInfo);
    const auto kept = inputs.replaced.read(kThunderbird, profile);
    if (!kept)
        return failed(inputs.replaced.path());
    const ThunderbirdSyncPlan plan = PlanThunderbirdSync(inputs, *lines, *kept);
    if (!KeepReplacedSettings(inputs, kThunderbird, profile, plan.replaced, name))
        return failed(inputs.replaced.path());
    if (const auto failure = WriteSyncPrefsFile(name, path, plan.prefsLines, inputs.writes))
        return SyncThunderbirdSignaturesError{SyncThunderbirdSignaturesError::Kind::fileSystem,
                                              path, failure->cause};
    FinishSync(kThunderbird, inputs, name, true, plan.unwrittenEmails);
    return std::nullopt;
}

}  // namespace quillet
