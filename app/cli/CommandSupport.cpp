#include "app/cli/CommandSupport.h"

#include <cstdio>

#include "common/Localization.h"

namespace quillet {

void PrintError(const QString& text) {
    std::fprintf(stderr, "quillet: %s\n", text.toUtf8().constData());
}

std::optional<CommandArguments> Arguments(Session& session, const QStringList& values,
                                          const QStringList& switches, int maxPositional) {
    auto arguments = ParseCommandArguments(session.line().arguments, values, switches);
    if (!arguments) {
        PrintError(arguments.error());
        return std::nullopt;
    }
    if (arguments->positional.size() > maxPositional) {
        PrintError("too many arguments");
        return std::nullopt;
    }
    return *arguments;
}

OutcomeMark MarkOutcomes(const Core& core) {
    return {core.refreshOutcomes().size(), core.syncOutcomes().size(),
            core.reinstallSourceOutcomes().size(), core.failedSaves().size()};
}

int StatusSince(const Core& core, const OutcomeMark& mark, bool countRefreshes) {
    int status = core.failedSaves().size() > mark.failedSaves ? 1 : 0;
    const auto& refreshes = core.refreshOutcomes();
    for (size_t i = mark.refreshes; countRefreshes && i < refreshes.size(); ++i) {
        if (!refreshes[i].success)
            status = 1;
    }
    // "update" reads the signature again (the service's, the file's) and reinstalls it: the
    // stored copy written again is not the update.
    const auto& fetches = core.reinstallSourceOutcomes();
    for (size_t i = mark.fetches; i < fetches.size(); ++i) {
        if (!fetches[i].success)
            status = 1;
    }
    const auto& syncs = core.syncOutcomes();
    for (size_t i = mark.syncs; i < syncs.size(); ++i) {
        if (!syncs[i].success)
            status = 1;
        if (syncs[i].postponed) {
            PrintError(
                "the email clients were not updated now (Later); the next refresh writes the "
                "change");
        }
    }
    return status;
}

std::optional<ClientKind> ClientKindFromArgument(const QString& text) {
    for (ClientKind kind : kAllClientKinds) {
        if (StoredText(kind).compare(text, Qt::CaseInsensitive) == 0)
            return kind;
    }
    return std::nullopt;
}

int RunAndWait(Session& session, const std::function<void()>& work) {
    const OutcomeMark mark = MarkOutcomes(session.core());
    work();
    session.waitUntilIdle();
    return StatusSince(session.core(), mark, false);
}

std::optional<std::int64_t> ColorIndexFromArgument(const QString& text, const QString& name) {
    bool ok = false;
    const std::int64_t index = text.toLongLong(&ok);
    if (ok && index >= 0)
        return index;
    PrintError(name + " takes a colour index (0 or more)");
    return std::nullopt;
}

void ShowAlert(Core& core, AlertStyle style, const QString& title, const QString& text) {
    core.platform().prompter.ask(Alert{style, title, text, {Localized("OK")}, {}});
}

}  // namespace quillet
