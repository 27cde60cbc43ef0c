#include "app/clients/sync/ThunderbirdSync.h"

#include <set>

#include "app/clients/PrefsFile.h"
#include "app/clients/sync/MozillaSync.h"
#include "common/Log.h"

namespace quillet {

namespace {

constexpr ClientKind kThunderbird = ClientKind::thunderbird;
const QString kHtmlSigText = QStringLiteral("htmlSigText");
const QString kHtmlSigFormat = QStringLiteral("htmlSigFormat");

// Whether a signature's recorded installation into this identity wrote exactly this text.
bool IsQuilletsText(const IdToSignatureMap& map, const QString& email, const QString& text) {
    for (const auto& [id, signature] : map) {
        const auto& performedMap = signature->clientKindToPerformedInstallationsInfoMap;
        const auto performed = performedMap.find(kThunderbird);
        if (performed == performedMap.end())
            continue;
        const auto& payloads = performed->second.accountEmailToPayloadMap;
        const auto payload = payloads.find(email);
        if (payload != payloads.end() && payload->second.textQe == text)
            return true;
    }
    return false;
}

}  // namespace

QStringList PlanThunderbirdPrefsLines(const SyncInputs& inputs, const QStringList& lines) {
    PrefsEdits edits;
    VisitAssignedIdentities(
        kThunderbird, inputs,
        [&](const MozillaBasedClientAccount& identity, const QString& prefix,
            const Signature* assigned) {
            if (assigned) {
                edits.settings.push_back(
                    {prefix + kHtmlSigText,
                     PrefsStringRawValue(EffectiveText(*assigned).value_or(QString())), prefix});
                edits.settings.push_back(
                    {prefix + kHtmlSigFormat, PrefsBoolRawValue(true), prefix});
                AppendInsertionSettings(edits.settings, prefix, *assigned);
                return;
            }
            const auto current = GetPrefsStringValue(lines, prefix + kHtmlSigText);
            if (current && !current->isEmpty() &&
                IsQuilletsText(inputs.idToSignatureMap, identity.email(), *current)) {
                for (const QString& setting :
                     {kHtmlSigText, kHtmlSigFormat, kSigOnReplySetting, kSigOnFwdSetting}) {
                    edits.removedKeys.insert(prefix + setting);
                }
            }
        });
    return edits.appliedTo(lines);
}

std::optional<SyncThunderbirdSignaturesError> SyncThunderbirdSignatures(const SyncInputs& inputs) {
    const QString name = SyncName(QStringLiteral("SyncThunderbirdSignatures"));
    LogInfo(name);
    const QString path = PrefsFilePath(inputs.clientInfo);
    const auto lines = ReadSyncPrefsFile(name, path);
    if (!lines)
        return SyncThunderbirdSignaturesError{SyncThunderbirdSignaturesError::Kind::fileSystem,
                                              path};
    if (const auto failure = WriteSyncPrefsFile(
            name, path, PlanThunderbirdPrefsLines(inputs, *lines), inputs.writes))
        return SyncThunderbirdSignaturesError{SyncThunderbirdSignaturesError::Kind::fileSystem,
                                              path, failure->cause};
    FinishSync(kThunderbird, inputs, name, true);
    return std::nullopt;
}

}  // namespace quillet
