#include "app/clients/sync/PostboxSync.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <variant>

#include "app/clients/PrefsFile.h"
#include "app/clients/sync/ClientText.h"
#include "app/clients/sync/JsonShapes.h"
#include "app/clients/sync/MozillaSync.h"
#include "common/Log.h"
#include "common/Text.h"
#include "platform/AtomicFile.h"
#include "platform/WholeFile.h"

namespace quillet {

namespace {

using Json = nlohmann::ordered_json;
using Error = SyncPostboxSignaturesError;

constexpr ClientKind kPostbox = ClientKind::postbox;
const QString kPbSignatureKey = QStringLiteral("pbSignatureKey");
const std::string kKeyMember = "key";

std::string Utf8(const QString& text) {
    return text.toStdString();
}

QString FromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

// The list as read: empty when there is no file, else the parsed array, else the error.
std::variant<Json, Error> ReadSignatureList(const QString& name, const QString& path) {
    if (!QFileInfo::exists(path)) {
        LogInfo(name + ": No signatures file " + path);
        return Json::array();
    }
    // A read that stopped early is a reading failure, not a list that is no JSON.
    const std::optional<QByteArray> bytes = ReadWholeFile(path);
    if (!bytes) {
        LogError(name + ": Could not read signatures file " + path);
        return Error{Error::Kind::fileSystem, path};
    }
    auto list = ParsePostboxSignatureList(*bytes);
    if (!list) {
        LogError(name + ": Bad signatures file " + path);
        return Error{Error::Kind::badData, path};
    }
    LogInfo(name + ": Read signatures file " + path);
    return std::move(*list);
}

void SetEntryText(Json& entry, const Signature& signature) {
    entry["name"] = Utf8(TextForClients(signature.nameQe));
    entry["body"] = Utf8(EffectiveText(signature).value_or(QString()));
}

struct NewList {
    Json list = Json::array();
    std::set<QString> ownKeys;  // the keys of the entries that are not Quillet's
};

NewList PlanSignatureList(const SyncInputs& inputs, const Json& existing,
                          const std::map<QString, SignatureId>& keyToId,
                          const std::set<SignatureId>& postboxIds) {
    NewList result;
    std::set<SignatureId> written;
    for (const Json& entry : existing) {
        const auto key = entry.find(kKeyMember);
        if (key == entry.end()) {
            LogWarning(
                "SyncPostboxSignatures(_:_:_:_:_:)(): Got an existing signature without a key "
                "(leaving as is): " +
                FromUtf8(entry.dump()));
            result.list.push_back(entry);
            continue;
        }
        const QString keyText = FromUtf8(key->get<std::string>());
        const auto quillets = keyToId.find(keyText);
        if (quillets == keyToId.end()) {
            result.ownKeys.insert(keyText);
            result.list.push_back(entry);
            continue;
        }
        if (!postboxIds.count(quillets->second))
            continue;  // Quillet's signature leaves Postbox
        Json updated = entry;
        SetEntryText(updated, *inputs.idToSignatureMap.at(quillets->second));
        result.list.push_back(std::move(updated));
        written.insert(quillets->second);
    }
    for (const SignatureId id : inputs.signatureIds) {
        if (!postboxIds.count(id) || written.count(id))
            continue;
        const Signature& signature = *inputs.idToSignatureMap.at(id);
        Json entry = Json::object();
        entry[kKeyMember] = Utf8(CanonicalUuidText(signature.uuid()));
        SetEntryText(entry, signature);
        result.list.push_back(std::move(entry));
    }
    return result;
}

// An identity whose signature is not in the list: Postbox's default where the list has it, else
// none.
void PointAtPostboxDefault(PrefsEdits& edits, const QString& prefix,
                           const std::set<QString>& listKeys) {
    const QString keyKey = prefix + kPbSignatureKey;
    if (listKeys.count(kPostboxDefaultSignatureKey))
        edits.settings.push_back(
            {keyKey, PrefsStringRawValue(kPostboxDefaultSignatureKey), prefix});
    else
        edits.removedKeys.insert(keyKey);
}

// Where an identity's default goes when Quillet's signature leaves it: the person's own, kept
// when Quillet replaced it, while its entry is still in the list (or none, as before), else
// Postbox's default, else none.
void ReleaseIdentity(PrefsEdits& edits, const QString& prefix, const ClientSettings* kept,
                     const std::set<QString>& ownKeys) {
    if (kept) {
        const auto previous = kept->find(kPbSignatureKey);
        const std::optional<QString> rawKey =
            previous == kept->end() ? std::nullopt : previous->second;
        const auto key = rawKey ? PrefsStringOfRawValue(*rawKey) : std::nullopt;
        if (!rawKey || (key && ownKeys.count(*key))) {
            PutBackIdentitySettings(edits, prefix, *kept);
            return;
        }
    }
    PointAtPostboxDefault(edits, prefix, ownKeys);
}

void PlanPrefsLines(const SyncInputs& inputs, const QStringList& lines,
                    const std::map<QString, ClientSettings>& kept,
                    const std::map<QString, SignatureId>& keyToId,
                    const std::set<SignatureId>& postboxIds, const std::set<QString>& ownKeys,
                    PostboxSyncPlan& plan) {
    const QString name = SyncName(QStringLiteral("SyncPostboxSignatures"));
    const auto currentKeys = IdentityStringValues(lines, kPbSignatureKey);
    PrefsEdits edits;
    plan.unwrittenEmails = VisitAssignedIdentities(
        kPostbox, inputs, lines, name,
        [&](const MozillaBasedClientAccount& identity, const QString& prefix,
            const Signature* assigned) {
            const QString keyKey = prefix + kPbSignatureKey;
            const QString email = identity.email();
            const auto current = currentKeys.find(keyKey);
            const auto quillets =
                current != currentKeys.end() ? keyToId.find(current->second) : keyToId.end();
            const auto keptHere = kept.find(email);
            if (assigned) {
                if (quillets == keyToId.end()) {
                    plan.replaced.remembered[email] =
                        IdentitySettings(lines, prefix, kPostboxSignatureSettings);
                }
                edits.settings.push_back(
                    {keyKey, PrefsStringRawValue(CanonicalUuidText(assigned->uuid())), prefix});
                AppendInsertionSettings(edits.settings, prefix, *assigned);
                return;
            }
            if (quillets == keyToId.end()) {
                // Postbox's own signature, or none: whatever was kept no longer applies.
                if (keptHere != kept.end())
                    plan.replaced.forgotten.insert(email);
                return;
            }
            const Signature& signature = *inputs.idToSignatureMap.at(quillets->second);
            if (!ReleasesAccountDefault(kPostbox, signature, postboxIds.count(quillets->second) > 0,
                                        email)) {
                return;  // the person picked it
            }
            ReleaseIdentity(edits, prefix, keptHere == kept.end() ? nullptr : &keptHere->second,
                            ownKeys);
        });
    plan.prefsLines = edits.appliedTo(lines);
}

}  // namespace

PostboxSyncPlan PlanPostboxSync(const SyncInputs& inputs, const Json& signatureList,
                                const QStringList& prefsLines,
                                const std::map<QString, ClientSettings>& kept) {
    const auto keyToId = UuidTextToSignatureIdMap(inputs.idToSignatureMap);
    const auto postboxIds =
        InstallableSignatureIds(kPostbox, inputs.accountsInfo, inputs.idToSignatureMap);
    NewList list = PlanSignatureList(inputs, signatureList, keyToId, postboxIds);
    PostboxSyncPlan plan;
    PlanPrefsLines(inputs, prefsLines, kept, keyToId, postboxIds, list.ownKeys, plan);
    plan.signatureList = std::move(list.list);
    return plan;
}

std::optional<QByteArray> PostboxPrefsPointingIntoList(const QByteArray& restored,
                                                       const std::optional<QByteArray>& current,
                                                       const std::optional<QByteArray>& list) {
    const auto lines = SplitPrefsFileText(restored);
    const auto currentLines = current ? SplitPrefsFileText(*current) : QStringList();
    const auto entries = list ? ParsePostboxSignatureList(*list) : Json::array();
    if (!lines || !currentLines || !entries)
        return std::nullopt;
    std::set<QString> listKeys;
    for (const Json& entry : *entries) {
        if (entry.contains(kKeyMember))
            listKeys.insert(FromUtf8(entry.at(kKeyMember).get<std::string>()));
    }
    const auto now = IdentityStringValues(*currentLines, kPbSignatureKey);
    PrefsEdits edits;
    for (const auto& [keyKey, key] : IdentityStringValues(*lines, kPbSignatureKey)) {
        const auto was = now.find(keyKey);
        if (listKeys.count(key) || (was != now.end() && was->second == key))
            continue;  // in the list, or as the person has it now
        PointAtPostboxDefault(edits, keyKey.chopped(kPbSignatureKey.size()), listKeys);
    }
    if (edits.settings.empty() && edits.removedKeys.empty())
        return restored;
    return PrefsFileContents(edits.appliedTo(*lines));
}

std::optional<nlohmann::ordered_json> ParsePostboxSignatureList(const QByteArray& bytes) {
    Json list = Json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
    // A list of another shape would make the sync drop the person's own entries; it is refused
    // like a list that is no JSON at all.
    if (list.is_discarded() || !list.is_array() ||
        !std::all_of(list.begin(), list.end(), IsObjectOfTexts))
        return std::nullopt;
    return list;
}

std::optional<SyncPostboxSignaturesError> SyncPostboxSignatures(const SyncInputs& inputs) {
    const QString name = SyncName(QStringLiteral("SyncPostboxSignatures"));
    LogInfo(name);
    const QString listPath = ProfileFilePath(inputs.clientInfo, kPostboxSignaturesFileName);
    auto list = ReadSignatureList(name, listPath);
    if (const auto* error = std::get_if<Error>(&list))
        return *error;
    const QString prefsPath = PrefsFilePath(inputs.clientInfo);
    const auto lines = ReadSyncPrefsFile(name, prefsPath);
    if (!lines)
        return Error{Error::Kind::fileSystem, prefsPath};

    const QString profile = ProfileFolder(inputs.clientInfo);
    const auto kept = inputs.replaced.read(kPostbox, profile);
    if (!kept)
        return Error{Error::Kind::fileSystem, inputs.replaced.path()};
    const PostboxSyncPlan plan = PlanPostboxSync(inputs, std::get<Json>(list), *lines, *kept);
    if (!KeepReplacedSettings(inputs, kPostbox, profile, plan.replaced, name))
        return Error{Error::Kind::fileSystem, inputs.replaced.path()};

    // Written whole and atomically: a crash mid-write must not cost the person their own
    // signatures.
    const QByteArray data = QByteArray::fromStdString(plan.signatureList.dump());
    if (!FileHolds(listPath, data)) {
        LogInfo(name + ": Writing out " + listPath + "...");
        if (const auto failure = inputs.writes.writeFile(listPath, data)) {
            LogError(name + ": Could not write out " + listPath + ": " + failure->description);
            return Error{Error::Kind::fileSystem, listPath, failure->cause};
        }
    }
    if (const auto failure = WriteSyncPrefsFile(name, prefsPath, plan.prefsLines, inputs.writes))
        return Error{Error::Kind::fileSystem, prefsPath, failure->cause};
    FinishSync(kPostbox, inputs, name, true, plan.unwrittenEmails);
    return std::nullopt;
}

}  // namespace quillet
