#include "app/cli/InstallCommand.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include "app/cli/CommandSupport.h"
#include "app/cli/Output.h"
#include "app/core/ManagedSignatures.h"
#include "app/core/NewSignature.h"
#include "common/Localization.h"
#include "common/Text.h"
#include "platform/EventLoop.h"

namespace quillet {

namespace {

const QString kDashboardHint =
    "\n\nYou can find your signature keys in the Dashboard of your account.";

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

void Refuse(Core& core, const QString& title, const QString& text,
            AlertStyle style = AlertStyle::critical) {
    ShowAlert(core, style, Localized(title), text);
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
struct SignatureSource {
    QString text;
    std::int64_t time = 0;
};

std::optional<SignatureSource> ReadFile(Core& core, const QString& path) {
    if (path.isEmpty()) {
        Refuse(core, "No HTML file selected.",
               Localized("Please select an HTML file with a signature, or use a signature key."));
        return std::nullopt;
    }
    QFile file(path);
    std::optional<QString> text;
    if (QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly)) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = decoder.decode(file.readAll());
        if (!decoder.hasError())
            text = decoded;
    }
    if (!text) {
        Refuse(core, "Could not load the HTML file.",
               Localized("Please check that you can access the file and that it is encoded using "
                         "UTF-8."));
        return std::nullopt;
    }
    return SignatureSource{*text, static_cast<std::int64_t>(core.platform().mainQueue.now())};
}

std::optional<SignatureSource> FetchKey(Session& session, const QString& key) {
    Core& core = session.core();
    if (key.isEmpty()) {
        Refuse(core, "No signature key provided.",
               Localized("Please enter a signature key, or select an HTML file with a signature.") +
                   Localized(kDashboardHint));
        return std::nullopt;
    }
    for (;;) {
        const auto requestTime = static_cast<std::int64_t>(core.platform().mainQueue.now());
        std::optional<KeyFetchResult> result;
        core.serviceClient().FetchSignatureByKey(
            key, [&result](const KeyFetchResult& fetched) { result = fetched; });
        RunEventLoopUntil([&result] { return result.has_value(); });
        if (!result->error) {
            if (!result->text) {
                Refuse(core, "Signature key not found.",
                       Localized("Please check that the key you've entered is correct and try "
                                 "again.") +
                           Localized(kDashboardHint),
                       AlertStyle::warning);
                return std::nullopt;
            }
            // Trimmed as a refresh trims it: otherwise the refresh that saving starts would find
            // the text changed and write every client a second time.
            return SignatureSource{TrimmedText(*result->text), requestTime};
        }
        ShowAlert(core, AlertStyle::critical, result->errorTitle.value_or(QString()),
                  result->errorDetails.value_or(QString()));
        const Answer answer = core.platform().prompter.ask(
            Alert{AlertStyle::critical,
                  Localized("Could not get signature by key."),
                  Localized("Please check that you are connected to the internet and try again."),
                  {Localized("Retry"), Localized("Later")},
                  {}});
        if (answer.buttonIndex != 0)
            return std::nullopt;
    }
}

// The form's "Create" steps on the new record: the selection, colour, options and source.
void FillNewSignature(Signature& signature, ClientKind kind, const QString& account,
                      const InstallChoices& choices, const QString& keyOrPath,
                      const SignatureSource& source, std::int64_t colorIndex) {
    SelectedInstallationsInfo selection;
    if (account.isEmpty()) {
        selection.allAccountsSelected = true;
        selection.allAccountsPayloadX = SelectedInstallationPayload{};
    } else {
        selection.accountEmailToPayloadMap[account] = SelectedInstallationPayload{};
    }
    signature.clientKindToSelectedInstallationsInfoMap = {{kind, selection}};
    signature.colorIndex = colorIndex;
    SetInsertOptions(signature, {kind}, choices.replies, choices.forwards);
    signature.lastUpdateUnixTimeQz = source.time;
    if (choices.fileMode) {
        signature.fileNameQe = FileSignatureName(QDateTime::fromSecsSinceEpoch(source.time));
        signature.filePathQe = QFileInfo(keyOrPath).absoluteFilePath();
        signature.keyQe.clear();
        signature.localTextQe = source.text;
    } else {
        signature.fileNameQe.clear();
        signature.filePathQe.clear();
        signature.keyQe = keyOrPath;
        signature.mainTextQe = source.text;
    }
}

}  // namespace

QString FileSignatureName(const QDateTime& t) {
    return QString::asprintf("qlt%02d%02d%02d%02d%02d%02d", t.time().second(), t.time().minute(),
                             t.time().hour(), t.date().day(), t.date().month(),
                             t.date().year() % 100);
}

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
    if (!core.managed().configuration().allowUserSignatures) {
        ShowAlert(core, AlertStyle::critical, ManagedSignatures::userSignaturesRefusedTitle(),
                  ManagedSignatures::userSignaturesRefusedText());
        return 1;
    }
    const bool detected =
        choices->client && core.clientKindToAccountsInfoMap().contains(*choices->client);
    if (detected) {
        // The form has the client's accounts discovered before the person picks one.
        core.rediscoverAccounts({*choices->client});
        session.waitUntilIdle();
    }

    const QString pickClient =
        Localized("Please select an email client for which to install the signature.");
    if (!choices->client) {
        Refuse(core, "No email client selected.", pickClient);
        return 1;
    }
    const ClientKind kind = *choices->client;
    if (!detected) {
        ShowAlert(core, AlertStyle::critical,
                  FillPlaceholders(Localized("Email client unavailable (%@)"), {DisplayName(kind)}),
                  pickClient);
        return 1;
    }
    QString account = choices->account;
    if (account.isEmpty() && (kind == ClientKind::appleMail || kind == ClientKind::thunderbird)) {
        Refuse(core, "No email account selected.",
               Localized("Please select an email account for which to install the signature."));
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

    const auto colorIndex =
        choices->color.value_or(NewSignatureColorIndex(core.visibleSignatureIds().size()));
    SignatureId id;
    const int status = RunAndWait(session, [&] {
        id = core.addSignature();
        FillNewSignature(*core.signature(id), kind, account, *choices, keyOrPath, *source,
                         colorIndex);
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
