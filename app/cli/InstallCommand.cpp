#include "app/cli/InstallCommand.h"

#include "app/cli/CommandSupport.h"
#include "app/cli/Output.h"
#include "app/core/NewSignature.h"
#include "common/Localization.h"
#include "common/Text.h"
#include "platform/EventLoop.h"

namespace quillet {

namespace {

// What the person chose on the command line, checked for usage only.
struct InstallChoices {
    std::optional<ClientKind> client;
    QString account;
    bool fileMode = false;
    QString keyOrPath;
    bool replies = true;
    bool forwards = true;
    std::optional<std::int64_t> color;
};

std::optional<bool> Switch(const CommandArguments& arguments, const QString& option) {
    const auto value = arguments.values.find(option);
    if (value == arguments.values.end())
        return true;
    if (value->second == "on")
        return true;
    if (value->second == "off")
        return false;
    PrintError(option + " takes on or off");
    return std::nullopt;
}

std::optional<InstallChoices> ReadChoices(const CommandArguments& arguments) {
    InstallChoices choices;
    const auto& values = arguments.values;
    if (values.contains("--key") && values.contains("--file")) {
        PrintError("--key and --file exclude each other");
        return std::nullopt;
    }
    choices.fileMode = values.contains("--file");
    if (const auto text = values.find(choices.fileMode ? "--file" : "--key"); text != values.end())
        choices.keyOrPath = text->second;
    if (const auto client = values.find("--client"); client != values.end()) {
        choices.client = ClientKindFromArgument(client->second);
        if (!choices.client) {
            PrintError("unknown client " + client->second);
            return std::nullopt;
        }
    }
    if (const auto account = values.find("--account"); account != values.end())
        choices.account = NormaliseTypedText(account->second);
    const auto replies = Switch(arguments, "--replies");
    const auto forwards = Switch(arguments, "--forwards");
    if (!replies || !forwards)
        return std::nullopt;
    choices.replies = *replies;
    choices.forwards = *forwards;
    if (const auto color = values.find("--color"); color != values.end()) {
        choices.color = ColorIndexFromArgument(color->second, "--color");
        if (!choices.color)
            return std::nullopt;
    }
    return choices;
}

void Refuse(Core& core, NewSignatureRefusal refusal) {
    core.platform().prompter.ask(RefusalAlert(refusal));
}

// The account as the client knows it (discovered, else cached); absent when unknown.
std::optional<QString> KnownAccount(const AccountsInfo& info, const QString& email,
                                    QStringList* known) {
    for (const Accounts* list : {&info.accounts, &info.cachedAccounts}) {
        for (const auto& account : *list) {
            if (account->email().compare(email, Qt::CaseInsensitive) == 0)
                return account->email();
            if (!known->contains(account->email()))
                known->append(account->email());
        }
    }
    return std::nullopt;
}

// The text of the signature: the file's, or the service's for the key. Absent, with the alert
// shown, when there is none.
std::optional<NewSignatureSource> ReadFile(Core& core, const QString& path) {
    const auto read = ReadSignatureFile(path);
    if (const auto* refusal = std::get_if<NewSignatureRefusal>(&read)) {
        Refuse(core, *refusal);
        return std::nullopt;
    }
    return NewSignatureSource{true, path, std::get<QString>(read),
                              static_cast<std::int64_t>(core.platform().mainQueue.now())};
}

std::optional<NewSignatureSource> FetchKey(Session& session, const QString& key) {
    Core& core = session.core();
    if (key.isEmpty()) {
        Refuse(core, NewSignatureRefusal::noKey);
        return std::nullopt;
    }
    for (;;) {
        const auto requestTime = static_cast<std::int64_t>(core.platform().mainQueue.now());
        std::optional<KeyFetchResult> result;
        core.serviceClient().FetchSignatureByKey(
            key, [&result](const KeyFetchResult& fetched) { result = fetched; });
        RunEventLoopUntil([&result] { return result.has_value(); });
        if (!result->error) {
            const auto text = FetchedSignatureText(*result);
            if (!text) {
                Refuse(core, NewSignatureRefusal::keyNotFound);
                return std::nullopt;
            }
            return NewSignatureSource{false, key, *text, requestTime};
        }
        ShowAlert(core, AlertStyle::critical, result->errorTitle.value_or(QString()),
                  result->errorDetails.value_or(QString()));
        if (core.platform().prompter.ask(KeyRequestFailedAlert()).buttonIndex != 0)
            return std::nullopt;
    }
}

}  // namespace

int RunInstallCommand(Session& session) {
    const auto arguments = Arguments(
        session, {"--key", "--file", "--client", "--account", "--replies", "--forwards", "--color"},
        {}, 0);
    if (!arguments)
        return 2;
    const auto choices = ReadChoices(*arguments);
    if (!choices)
        return 2;
    Core& core = session.core();
    if (const auto refusal = UserSignatureRefusal(core.managed())) {
        Refuse(core, *refusal);
        return 1;
    }
    const bool detected =
        choices->client && core.clientKindToAccountsInfoMap().contains(*choices->client);
    if (detected) {
        // The form has the client's accounts discovered before the person picks one.
        core.rediscoverAccounts({*choices->client});
        session.waitUntilIdle();
    }

    if (!choices->client) {
        Refuse(core, NewSignatureRefusal::noClient);
        return 1;
    }
    const ClientKind kind = *choices->client;
    if (!detected) {
        ShowAlert(core, AlertStyle::critical,
                  FillPlaceholders(Localized("Email client unavailable (%@)"), {DisplayName(kind)}),
                  RefusalAlert(NewSignatureRefusal::noClient).informativeText);
        return 1;
    }
    QString account = choices->account;
    if (account.isEmpty() && NeedsAccount(kind)) {
        Refuse(core, NewSignatureRefusal::noAccount);
        return 1;
    }
    if (!account.isEmpty()) {
        QStringList known;
        const auto found =
            KnownAccount(core.clientKindToAccountsInfoMap().at(kind), account, &known);
        if (!found) {
            ShowAlert(core, AlertStyle::critical,
                      FillPlaceholders(Localized("Unknown email account %@"), {account}),
                      known.isEmpty()
                          ? FillPlaceholders(Localized("%@ has no known email accounts."),
                                             {DisplayName(kind)})
                          : FillPlaceholders(Localized("The known email accounts of %@: %@."),
                                             {DisplayName(kind), known.join(", ")}));
            return 1;
        }
        account = *found;
    }
    const QString keyOrPath = choices->fileMode ? TrimmedText(choices->keyOrPath)
                                                : NormaliseTypedText(choices->keyOrPath);
    const auto source =
        choices->fileMode ? ReadFile(core, keyOrPath) : FetchKey(session, keyOrPath);
    if (!source)
        return 1;

    const auto colorIndex = choices->color.value_or(core.newSignatureColorIndex());
    SignatureId id;
    const int status = RunAndWait(session, [&] {
        id = core.addSignature([&](Signature& signature) {
            FillNewSignature(
                signature,
                NewSignatureChoices{kind, account, choices->replies, choices->forwards, colorIndex},
                *source);
        });
        core.saveSignature(id, true, true);
    });
    // A signature whose first save failed still has its stand-in id: the store's alert has
    // said so, and a script must not take the install for done.
    if (id.value < 0)
        return 1;
    if (session.line().json) {
        PrintJson(SignatureJson(id, *core.signature(id)));
    } else {
        PrintText(SignatureLine(id, *core.signature(id)));
    }
    return status;
}

}  // namespace quillet
