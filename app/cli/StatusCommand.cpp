#include "app/cli/StatusCommand.h"

#include <QDateTime>
#include <QStringList>

#include "app/cli/CommandSupport.h"
#include "app/cli/Output.h"
#include "app/core/PendingInstallations.h"
#include "app/managed/ManagedSignatures.h"
#include "app/permissions/AccessibilityHelper.h"

namespace quillet {

namespace {

using nlohmann::json;

QStringList StoredTexts(const std::vector<ClientKind>& kinds) {
    QStringList texts;
    for (ClientKind kind : kinds)
        texts << StoredText(kind);
    return texts;
}

json TextList(const QStringList& texts) {
    json list = json::array();
    for (const QString& text : texts)
        list.push_back(text.toStdString());
    return list;
}

// Each client with what keeps it pending when no pass can do it now.
QString PendingText(const Signature& signature, const PendingScope& scope) {
    QStringList clients;
    for (ClientKind kind : PendingClients(signature, scope)) {
        const PendingWork work = PendingWorkIn(signature, kind, scope);
        QString text = StoredText(kind);
        if (work.clientAway)
            text += " (client not detected)";
        else if (!work.passCanDo)
            text += " (accounts not found: " + work.awaitedAccounts.join(", ") + ")";
        clients << text;
    }
    return clients.isEmpty() ? QString("none") : clients.join(", ");
}

QString TimeText(std::int64_t unixTime) {
    return QDateTime::fromSecsSinceEpoch(unixTime).toString(Qt::ISODate);
}

}  // namespace

int RunStatusCommand(Session& session) {
    if (!Arguments(session, {}, {}, 0))
        return 2;
    Core& core = session.core();
    const PermissionContext permissions = core.permissionContext();
    const ActivityRecord activity = core.activityRecord();
    bool inOrder = !activity.lastRefresh || activity.lastRefresh->success;

    json clients = json::array(), missing = json::object(), signatures = json::array();
    QStringList lines;
    lines << "Clients: " + (core.clientKinds().empty()
                                ? QString("none")
                                : StoredTexts(core.clientKinds()).join(", "));
    for (ClientKind kind : core.clientKinds()) {
        clients.push_back(StoredText(kind).toStdString());
        QStringList needs;
        for (const auto requirement : AccessibilityHelper::missingRequirements(permissions, kind))
            needs << RawValue(requirement);
        missing[StoredText(kind).toStdString()] = TextList(needs);
        if (!needs.isEmpty())
            lines << "Permissions needed for " + StoredText(kind) + ": " + needs.join(", ");
    }
    // The listed signatures, and those on their way out that a client still holds.
    const std::set<SignatureId> managed = core.managed().managedSignatureIds();
    const PendingScope scope = core.pendingScope();
    for (SignatureId id : core.signatureIds()) {
        const Signature& signature = *core.signature(id);
        const QStringList pending = StoredTexts(PendingClients(signature, scope));
        if (signature.pendingDeletion && pending.isEmpty())
            continue;
        inOrder &= pending.isEmpty();
        const json full = SignatureJson(id, signature);
        signatures.push_back({{"id", full["id"]},
                              {"name", full["name"]},
                              {"managed", managed.contains(id)},
                              {"pendingDeletion", signature.pendingDeletion},
                              {"selected", full["selected"]},
                              {"performed", full["performed"]},
                              {"pending", TextList(pending)}});
        lines << SignatureLine(id, signature, managed.contains(id)) +
                     "\tpending: " + PendingText(signature, scope);
    }
    json lastRefresh = nullptr;
    if (activity.lastRefresh) {
        lastRefresh = {{"time", activity.lastRefresh->time},
                       {"success", activity.lastRefresh->success}};
        lines << "Last refresh: " + TimeText(activity.lastRefresh->time) +
                     (activity.lastRefresh->success ? " (succeeded)" : " (failed)");
    } else {
        lines << "Last refresh: none";
    }
    lines << "Last sync problems: " + (activity.problems.isEmpty() ? QString("none") : QString());
    for (const QString& problem : activity.problems)
        lines << "    " + QString(problem).replace("\n", "\n    ");

    if (session.line().json) {
        PrintJson({{"clients", clients},
                   {"permissions", missing},
                   {"signatures", signatures},
                   {"lastRefresh", lastRefresh},
                   {"problems", TextList(activity.problems)}});
    } else {
        PrintText(lines.join('\n'));
    }
    return inOrder ? 0 : 1;
}

}  // namespace quillet
