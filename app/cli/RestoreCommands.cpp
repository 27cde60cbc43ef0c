#include "app/cli/RestoreCommands.h"

#include <QStringList>

#include "app/cli/CommandSupport.h"
#include "app/cli/Output.h"
#include "app/core/RestoreFromPoint.h"
#include "app/restore/RestorePoints.h"
#include "platform/EventLoop.h"

namespace quillet {

namespace {

using nlohmann::json;

QStringList ClientTexts(const RestorePoint& point) {
    QStringList texts;
    for (ClientKind kind : point.clients)
        texts << StoredText(kind);
    return texts;
}

QString TimeText(const RestorePoint& point) {
    return point.time.toUTC().toString(Qt::ISODate);
}

json PointJson(const RestorePoint& point) {
    json clients = json::array();
    for (const QString& text : ClientTexts(point))
        clients.push_back(text.toStdString());
    json files = json::array();
    for (const QString& file : point.files)
        files.push_back(file.toStdString());
    return json{{"id", point.id.toStdString()},
                {"time", TimeText(point).toStdString()},
                {"reason", point.reason.toStdString()},
                {"clients", clients},
                {"files", files}};
}

// ID, then "--client" followed by one or more clients (the option may also repeat).
struct RestoreRequest {
    QString id;
    std::vector<ClientKind> clients;
};

std::optional<RestoreRequest> ParseRestoreArguments(const QStringList& arguments) {
    RestoreRequest request;
    bool afterClient = false;
    bool clientGiven = false;
    for (const QString& argument : arguments) {
        if (argument == "--client") {
            afterClient = true;
            clientGiven = true;
        } else if (argument.startsWith("--")) {
            PrintError("unknown option " + argument);
            return std::nullopt;
        } else if (afterClient) {
            const auto kind = ClientKindFromArgument(argument);
            if (!kind) {
                PrintError("unknown client " + argument);
                return std::nullopt;
            }
            request.clients.push_back(*kind);
        } else if (request.id.isEmpty()) {
            request.id = argument;
        } else {
            PrintError("too many arguments");
            return std::nullopt;
        }
    }
    if (request.id.isEmpty() || (clientGiven && request.clients.empty())) {
        PrintError(request.id.isEmpty() ? "restore needs the id of a restore point"
                                        : "--client needs a client");
        return std::nullopt;
    }
    return request;
}

}  // namespace

int RunBackupsCommand(Session& session) {
    if (!Arguments(session, {}, {}, 0))
        return 2;
    const auto points = session.core().restorePoints().list();
    if (session.line().json) {
        json list = json::array();
        for (const RestorePoint& point : points)
            list.push_back(PointJson(point));
        PrintJson(list);
        return 0;
    }
    if (points.empty())
        PrintText("No restore points.");
    for (const RestorePoint& point : points) {
        // A point of Quillet's records alone: its pass found the clients holding what it wrote.
        const QString clients = point.clients.empty() ? QStringLiteral("signatures only")
                                                      : ClientTexts(point).join(", ");
        PrintText(point.id + "  " + TimeText(point) + "  " + point.reason + "  " + clients +
                  (point.complete ? "" : "  (cut off)"));
        for (const QString& file : point.files)
            PrintText("    " + file);
    }
    return 0;
}

int RunRestoreCommand(Session& session) {
    const auto request = ParseRestoreArguments(session.line().arguments);
    if (!request)
        return 2;
    Core& core = session.core();
    std::optional<RestoreOutcome> result;
    RestoreFromPoint(core, request->id, request->clients,
                     [&result](RestoreOutcome outcome) { result = std::move(outcome); });
    RunEventLoopUntil([&] { return result.has_value() && core.isIdle(); });
    if (const auto& error = result->error) {
        PrintError(error->message);
        return 1;
    }
    PrintText("Restored " + request->id + ".");
    if (!result->alsoUndone.isEmpty())
        PrintText("Undone first, being later: " + result->alsoUndone.join(", ") + ".");
    for (const QString& line : result->keptChanges)
        PrintText(line);
    const auto points = core.restorePoints().list();
    if (!points.empty() && points.front().reason == "restore" && points.front().id != request->id)
        PrintText("What it replaced is kept as restore point " + points.front().id + ".");
    return 0;
}

}  // namespace quillet
