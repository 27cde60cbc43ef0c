#include "app/cli/Commands.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>

#include "app/base/RunProcess.h"
#include "app/cli/CommandSupport.h"
#include "app/cli/Output.h"
#include "app/clients/Detection.h"
#include "app/managed/ManagedSignatures.h"

namespace quillet {

std::optional<SignatureId> ResolveSignature(Core& core, const QString& text) {
    // Only the identifier exactly as list prints it: " 1", "+1" and "01" are names.
    bool isNumber = false;
    const qint64 number = text.toLongLong(&isNumber);
    if (isNumber && SignatureId{number}.toString() == text && core.signature(SignatureId{number}))
        return SignatureId{number};
    SignatureIds matches;
    for (SignatureId id : core.visibleSignatureIds()) {
        if (core.signature(id)->nameQe == text)
            matches.push_back(id);
    }
    if (matches.size() == 1)
        return matches.front();
    if (matches.empty()) {
        PrintError("no signature " + text);
    } else {
        QStringList ids;
        for (SignatureId id : matches)
            ids << id.toString();
        PrintError("several signatures are named " + text + ": " + ids.join(", "));
    }
    return std::nullopt;
}

int RunClientsCommand(Session& session) {
    if (!Arguments(session, {}, {}, 0))
        return 2;
    Core& core = session.core();
    if (session.line().json) {
        nlohmann::json list = nlohmann::json::array();
        for (ClientKind kind : core.clientKinds()) {
            list.push_back(ClientJson(kind, *core.clientKindToInfoMap().at(kind)));
        }
        PrintJson(list);
        return 0;
    }
    for (ClientKind kind : core.clientKinds()) {
        const ClientInfo& info = *core.clientKindToInfoMap().at(kind);
        PrintText(StoredText(kind) + "\t" + ClientDescription(kind, info) + "\t" + info.path);
    }
    return 0;
}

int RunAccountsCommand(Session& session) {
    const auto arguments = Arguments(session, {}, {"--discover"}, 5);
    if (!arguments)
        return 2;
    Core& core = session.core();
    std::vector<ClientKind> kinds;
    for (const QString& name : arguments->positional) {
        const std::optional<ClientKind> kind = ClientKindFromArgument(name);
        if (!kind) {
            PrintError("unknown client " + name);
            return 2;
        }
        if (!core.clientKindToAccountsInfoMap().contains(*kind)) {
            PrintError("Email client unavailable (" + DisplayName(*kind) + ")");
            return 1;
        }
        kinds.push_back(*kind);
    }
    if (kinds.empty())
        kinds = core.clientKinds();
    bool discoveryFailed = false;
    if (arguments->flags.contains("--discover")) {
        core.rediscoverAccounts(kinds);
        session.waitUntilIdle();
        for (ClientKind kind : kinds) {
            discoveryFailed |= core.clientKindToAccountsInfoMap().at(kind).status ==
                               AccountsInfoStatus::discoveryFailed;
        }
    }
    nlohmann::json document = nlohmann::json::object();
    for (ClientKind kind : kinds) {
        const AccountsInfo& info = core.clientKindToAccountsInfoMap().at(kind);
        if (session.line().json) {
            nlohmann::json accounts = nlohmann::json::array(), cached = nlohmann::json::array();
            for (const auto& account : info.accounts)
                accounts.push_back(AccountJson(*account));
            for (const auto& account : info.cachedAccounts)
                cached.push_back(AccountJson(*account));
            document[StoredText(kind).toStdString()] = {
                {"status", CaseName(info.status).toStdString()},
                {"accounts", accounts},
                {"cachedAccounts", cached}};
        } else {
            PrintText(StoredText(kind) + " (" + CaseName(info.status) + ")");
            for (const auto& account : info.accounts)
                PrintText("    " + account->displayName());
        }
    }
    if (session.line().json)
        PrintJson(document);
    return discoveryFailed ? 1 : 0;
}

int RunListCommand(Session& session) {
    const auto arguments = Arguments(session, {}, {"--all"}, 0);
    if (!arguments)
        return 2;
    Core& core = session.core();
    const SignatureIds ids =
        arguments->flags.contains("--all") ? core.signatureIds() : core.visibleSignatureIds();
    const std::set<SignatureId> managed = core.managed().managedSignatureIds();
    if (session.line().json) {
        nlohmann::json list = nlohmann::json::array();
        for (SignatureId id : ids)
            list.push_back(SignatureJson(id, *core.signature(id), managed.contains(id)));
        PrintJson(list);
        return 0;
    }
    for (SignatureId id : ids)
        PrintText(SignatureLine(id, *core.signature(id), managed.contains(id)));
    return 0;
}

int RunShowCommand(Session& session) {
    const auto arguments = Arguments(session, {}, {}, 1);
    if (!arguments)
        return 2;
    if (arguments->positional.size() != 1) {
        PrintError("show needs one signature");
        return 2;
    }
    Core& core = session.core();
    const auto id = ResolveSignature(core, arguments->positional.first());
    if (!id)
        return 1;
    const bool managed = core.managed().isManaged(*id);
    if (session.line().json) {
        PrintJson(SignatureJson(*id, *core.signature(*id), managed));
    } else {
        PrintText(SignatureDetails(*id, *core.signature(*id), managed));
    }
    return 0;
}

int RunRefreshCommand(Session& session) {
    if (!Arguments(session, {}, {}, 0))
        return 2;
    Core& core = session.core();
    const OutcomeMark mark = MarkOutcomes(core);
    core.refreshFromServer();
    session.waitUntilIdle();
    for (size_t i = mark.refreshes; i < core.refreshOutcomes().size(); ++i) {
        const WorkOutcome& outcome = core.refreshOutcomes()[i];
        if (!outcome.success)
            PrintError(outcome.title + ": " + outcome.details);
    }
    return StatusSince(core, mark, true);
}

namespace {

int gSignalPipe[2] = {-1, -1};

void ForwardSignal(int number) {
    // A request to end: a script that never answers must not keep the command waiting, on the
    // main thread or in account discovery. Done here, since the main loop may be the one blocked.
    if (number != SIGHUP)
        EndChildProcesses();
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const auto written = ::write(gSignalPipe[1], &byte, 1);
}

}  // namespace

int RunRunCommand(Session& session) {
    if (!Arguments(session, {}, {}, 0))
        return 2;
    Core& core = session.core();
    // Signals arrive at any point; a socket pair turns them into events of the main loop.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalPipe) != 0) {
        PrintError("cannot watch for signals");
        return 1;
    }
    QSocketNotifier notifier(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&core] {
        char byte = 0;
        if (::read(gSignalPipe[0], &byte, 1) != 1)
            return;
        if (byte == SIGHUP) {
            core.refreshFromServerIfPossible();  // a wake
        } else {
            QCoreApplication::quit();
        }
    });
    struct sigaction action {};
    action.sa_handler = ForwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGHUP, SIGINT, SIGTERM})
        sigaction(number, &action, nullptr);
    core.start();
    QCoreApplication::exec();
    session.waitUntilIdle();
    return 0;
}

}  // namespace quillet
