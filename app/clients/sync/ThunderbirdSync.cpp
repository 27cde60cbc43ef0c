#include "app/clients/sync/ThunderbirdSync.h"

#include <map>
#include <set>

#include "app/clients/PrefsFile.h"
#include "app/clients/sync/MozillaSync.h"
#include "common/Log.h"

namespace quillet {

namespace {

constexpr ClientKind kThunderbird = ClientKind::thunderbird;
const QString kHtmlSigText = QStringLiteral("htmlSigText");
const QString kHtmlSigFormat = QStringLiteral("htmlSigFormat");

// The texts that Quillet's recorded installations wrote into each identity (by email).
std::map<QString, std::set<QString>> QuilletsTexts(const IdToSignatureMap& map) {
    std::map<QString, std::set<QString>> texts;
    for (const auto& [id, signature] : map) {
        const auto& performedMap = signature->clientKindToPerformedInstallationsInfoMap;
        const auto performed = performedMap.find(kThunderbird);
        if (performed == performedMap.end())
            continue;
        for (const auto& [email, payload] : performed->second.accountEmailToPayloadMap)
            texts[email].insert(payload.textQe);
    }
    return texts;
}

}  // namespace

QStringList PlanThunderbirdPrefsLines(const SyncInputs& inputs, const QStringList& lines) {
    const auto currentTexts = IdentityStringValues(inputs.accountsInfo, lines, kHtmlSigText);
    const auto quilletsTexts = QuilletsTexts(inputs.idToSignatureMap);
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
            const auto current = currentTexts.find(prefix + kHtmlSigText);
            const auto quillets = quilletsTexts.find(identity.email());
            if (current != currentTexts.end() && !current->second.isEmpty() &&
                quillets != quilletsTexts.end() && quillets->second.count(current->second)) {
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
    if (!WriteSyncPrefsFile(name, path, PlanThunderbirdPrefsLines(inputs, *lines), inputs.writes))
        return SyncThunderbirdSignaturesError{SyncThunderbirdSignaturesError::Kind::fileSystem,
                                              path};
    FinishSync(kThunderbird, inputs, name, true);
    return std::nullopt;
}

}  // namespace quillet
