#include "app/clients/sync/SparkSync.h"

#include <QDateTime>
#include <algorithm>

#include "app/base/Sqlite.h"
#include "common/Log.h"
#include "common/Text.h"

namespace quillet {

namespace {

using Json = nlohmann::ordered_json;
using Error = SyncSparkSignaturesError;

constexpr ClientKind kSpark = ClientKind::spark;
// Seconds from 1970 to 1 January 2001, Spark's reference date.
constexpr double kReferenceDateUnixSeconds = 978307200;

std::string Utf8(const QString& text) {
    return text.toStdString();
}

// A signature's row as Quillet writes it, starting from the existing object so that what Spark
// added survives.
Json SignatureObject(const Signature& signature, const Json* existing, bool chosen,
                     double referenceSeconds) {
    Json object = existing ? *existing : Json::object();
    const auto existingMember = [&](const char* name) -> std::optional<Json> {
        if (existing && existing->contains(name))
            return existing->at(name);
        return std::nullopt;
    };
    object["creationDate"] = existingMember("creationDate").value_or(Json(referenceSeconds));
    object["deleted"] = !chosen;
    object["htmlContent"] = chosen ? Json(Utf8(EffectiveText(signature).value_or(QString())))
                                   : existingMember("htmlContent").value_or(Json(std::string()));
    object["identifier"] = Utf8(CanonicalUuidText(signature.uuid()));
    object["matchMessageFont"] = false;
    object["modificationDate"] =
        chosen ? Json(referenceSeconds)
               : existingMember("modificationDate").value_or(Json(referenceSeconds));
    object["type"] = 1;
    return object;
}

// Rows whose "deleted" member is the text "1" count as deleted already; anything else does not.
bool IsLiveRow(const Json& object) {
    const auto deleted = object.find("deleted");
    return deleted == object.end() || *deleted != Json("1");
}

QString Compact(const Json& json) {
    return QString::fromStdString(json.dump());
}

// Whether a planned row says what the existing one says, its modification date aside: the date
// changes only with the content, and a row written anew would be carried to every device of
// the person by Spark's own sync.
bool SameSignatureObject(Json planned, const Json& existing) {
    if (const auto date = existing.find("modificationDate"); date != existing.end())
        planned["modificationDate"] = *date;
    return planned == existing;
}

bool SameOrdering(const Json& planned, const std::vector<QString>& existing) {
    return std::equal(planned.begin(), planned.end(), existing.begin(), existing.end(),
                      [](const Json& identifier, const QString& text) {
                          return identifier.get<std::string>() == Utf8(text);
                      });
}

}  // namespace

SparkSyncTime SparkSyncTimeAt(double unixSeconds) {
    return SparkSyncTime{unixSeconds - kReferenceDateUnixSeconds, unixSeconds};
}

SparkSyncTime SparkSyncTimeNow() {
    return SparkSyncTimeAt(static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0);
}

SparkSyncPlan PlanSparkSync(const SyncInputs& inputs, const SparkSettings& settings,
                            const SparkSyncTime& time,
                            const std::map<QString, ClientSettings>& kept) {
    const auto& map = inputs.idToSignatureMap;
    const auto identifierToId = UuidTextToSignatureIdMap(map);
    const auto sparkIds = InstallableSignatureIds(kSpark, inputs.accountsInfo, map);
    const auto existingObject = [&](const QString& identifier) -> const Json* {
        const auto found = settings.signatureObjects.find(identifier);
        return found == settings.signatureObjects.end() ? nullptr : &found->second;
    };

    std::set<SignatureId> removedIds;
    for (const auto& [identifier, id] : identifierToId) {
        const Json* existing = existingObject(identifier);
        if (!sparkIds.count(id) && existing && IsLiveRow(*existing))
            removedIds.insert(id);
    }

    SparkSyncPlan plan;
    SparkSettingsRows& rows = plan.rows;
    for (const SignatureId id : inputs.signatureIds) {
        const bool chosen = sparkIds.count(id) > 0;
        if (!chosen && !removedIds.count(id))
            continue;
        const Signature& signature = *map.at(id);
        const QString identifier = CanonicalUuidText(signature.uuid());
        const Json* existing = existingObject(identifier);
        const Json object = SignatureObject(signature, existing, chosen, time.referenceSeconds);
        if (!existing || !SameSignatureObject(object, *existing))
            rows.signatureRows.push_back({identifier, Compact(object)});
    }

    // Serialised by the JSON library: an empty ordering is [], and any identifier is quoted
    // correctly.
    Json ordering = Json::array();
    std::set<SignatureId> ordered;
    for (const QString& identifier : settings.ordering) {
        const auto quillets = identifierToId.find(identifier);
        if (quillets != identifierToId.end()) {
            if (removedIds.count(quillets->second))
                continue;
            ordered.insert(quillets->second);
        }
        ordering.push_back(Utf8(identifier));
    }
    for (const SignatureId id : inputs.signatureIds) {
        if (sparkIds.count(id) && !ordered.count(id))
            ordering.push_back(Utf8(CanonicalUuidText(map.at(id)->uuid())));
    }
    rows.orderingJson = Compact(ordering);
    rows.orderingChanged = !SameOrdering(ordering, settings.ordering);

    // The person's own signature that an account was bound to before Quillet's, while Spark
    // still has it.
    const auto keptBinding = [&](const QString& email) -> std::optional<QString> {
        const auto place = kept.find(email);
        if (place == kept.end())
            return std::nullopt;
        const auto setting = place->second.find(kSparkBindingSetting);
        if (setting == place->second.end() || !setting->second)
            return std::nullopt;
        const Json* row = existingObject(*setting->second);
        if (identifierToId.count(*setting->second) || !row || !IsLiveRow(*row))
            return std::nullopt;
        return setting->second;
    };
    const auto assignment =
        AccountEmailToSignatureIdMap(kSpark, inputs.accountsInfo, inputs.signatureIds, map);
    std::map<QString, QString> binding;
    for (const auto& [email, identifier] : settings.binding) {
        const auto quillets = identifierToId.find(identifier);
        if (quillets == identifierToId.end()) {
            binding[email] = identifier;
            // The person's own binding: whatever was kept no longer applies.
            if (kept.count(email) && !assignment.count(email))
                plan.replaced.forgotten.insert(email);
        } else if (!ReleasesAccountDefault(kSpark, *map.at(quillets->second),
                                           sparkIds.count(quillets->second) > 0, email)) {
            binding[email] = identifier;
        } else if (const auto own = keptBinding(email)) {
            binding[email] = *own;
        }
    }
    for (const auto& [email, settingsKept] : kept) {
        if (!settings.binding.count(email) && !assignment.count(email))
            plan.replaced.forgotten.insert(email);
    }
    for (const auto& [email, id] : assignment) {
        const auto current = settings.binding.find(email);
        if (current == settings.binding.end() || !identifierToId.count(current->second)) {
            plan.replaced.remembered[email] = ClientSettings{
                {kSparkBindingSetting, current == settings.binding.end()
                                           ? std::nullopt
                                           : std::optional<QString>(current->second)}};
        }
        binding[email] = CanonicalUuidText(map.at(id)->uuid());
    }
    rows.bindingChanged = binding != settings.binding;
    if (!binding.empty()) {
        Json object = Json::object();
        for (const auto& [email, identifier] : binding)
            object[Utf8(email)] = Utf8(identifier);
        rows.bindingJson = Compact(object);
    }
    return plan;
}

bool UnbindDeletedSparkSignatures(sqlite3* database, const std::map<QString, QString>& before,
                                  ClientWrites& writes) {
    const auto settings = ReadSparkSettings(database, QStringLiteral("Restore"));
    if (!settings)
        return false;
    Json object = Json::object();
    bool unbound = false;
    for (const auto& [email, identifier] : settings->binding) {
        const auto was = before.find(email);
        const auto row = settings->signatureObjects.find(identifier);
        const bool live = row != settings->signatureObjects.end() && IsLiveRow(row->second);
        if (!live && (was == before.end() || was->second != identifier)) {
            unbound = true;
            continue;
        }
        object[Utf8(email)] = Utf8(identifier);
    }
    if (!unbound)
        return true;
    return WriteSparkBinding(database,
                             object.empty() ? std::nullopt : std::optional(Compact(object)),
                             SparkSyncTimeNow().unixSeconds, writes);
}

std::optional<SyncSparkSignaturesError> SyncSparkSignatures(const SyncInputs& inputs) {
    const QString name = SyncName(QStringLiteral("SyncSparkSignatures"));
    LogInfo(name);
    const QString path = SparkSettingsDatabasePath(inputs.paths);
    const auto database = OpenSqliteDatabase(path);
    if (!database)
        return Error{Error::Kind::fileSystem, path};

    const auto kept = inputs.replaced.read(kSpark, path);
    if (!kept) {
        CloseSqliteDatabase(*database);
        return Error{Error::Kind::fileSystem, inputs.replaced.path()};
    }
    const auto settings = ReadSparkSettings(*database, name);
    const SparkSyncTime time = SparkSyncTimeNow();
    std::optional<SparkSyncPlan> plan;
    if (settings)
        plan = PlanSparkSync(inputs, *settings, time, *kept);
    if (plan && !KeepReplacedSettings(inputs, kSpark, path, plan->replaced, name)) {
        CloseSqliteDatabase(*database);
        return Error{Error::Kind::fileSystem, inputs.replaced.path()};
    }
    const std::optional<FileFailureCause> failure =
        plan ? WriteSparkSettings(*database, plan->rows, time.unixSeconds, name, inputs.writes)
             : FileFailureCause::other;
    CloseSqliteDatabase(*database);
    if (failure)
        return Error{Error::Kind::database, path, *failure};
    FinishSync(kSpark, inputs, name, true);
    return std::nullopt;
}

}  // namespace quillet
