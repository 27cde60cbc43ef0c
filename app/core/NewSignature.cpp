#include "app/core/NewSignature.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include "app/managed/ManagedSignatures.h"
#include "app/store/Store.h"

#include "common/Localization.h"
#include "common/Text.h"

namespace quillet {

namespace {

const QString kDashboardHint =
    "\n\nYou can find your signature keys in the Dashboard of your account.";

Alert OneButtonAlert(AlertStyle style, const QString& title, const QString& text) {
    return Alert{style, Localized(title), text, {Localized("OK")}, {}};
}

}  // namespace

Alert RefusalAlert(NewSignatureRefusal refusal) {
    switch (refusal) {
        case NewSignatureRefusal::userSignaturesNotAllowed:
            return OneButtonAlert(
                AlertStyle::critical, "Your organisation manages the signatures on this computer.",
                Localized("Only the signatures that your organisation deploys can be installed."));
        case NewSignatureRefusal::noClient:
            return OneButtonAlert(
                AlertStyle::critical, "No email client selected.",
                Localized("Please select an email client for which to install the signature."));
        case NewSignatureRefusal::noAccount:
            return OneButtonAlert(
                AlertStyle::critical, "No email account selected.",
                Localized("Please select an email account for which to install the signature."));
        case NewSignatureRefusal::noFile:
            return OneButtonAlert(
                AlertStyle::critical, "No HTML file selected.",
                Localized("Please select an HTML file with a signature, or use a signature key."));
        case NewSignatureRefusal::unreadableFile:
            return OneButtonAlert(AlertStyle::critical, "Could not load the HTML file.",
                                  Localized("Please check that you can access the file and that "
                                            "it is encoded using UTF-8."));
        case NewSignatureRefusal::noKey:
            return OneButtonAlert(
                AlertStyle::critical, "No signature key provided.",
                Localized("Please enter a signature key, or select an HTML file with a "
                          "signature.") +
                    Localized(kDashboardHint));
        case NewSignatureRefusal::keyNotFound:
            return OneButtonAlert(
                AlertStyle::warning, "Signature key not found.",
                Localized("Please check that the key you've entered is correct and try again.") +
                    Localized(kDashboardHint));
    }
    return {};
}

std::optional<NewSignatureRefusal> UserSignatureRefusal(const ManagedSignatures& managed) {
    if (managed.configuration().allowUserSignatures)
        return std::nullopt;
    return NewSignatureRefusal::userSignaturesNotAllowed;
}

Alert KeyRequestFailedAlert() {
    return Alert{AlertStyle::critical,
                 Localized("Could not get signature by key."),
                 Localized("Please check that you are connected to the internet and try again."),
                 {Localized("Retry"), Localized("Later")},
                 {}};
}

bool NeedsAccount(ClientKind kind) {
    // A client that keeps no selection of all its accounts would take such a signature nowhere.
    return !AcceptsAllAccountsSelection(kind);
}

std::optional<QString> ReadUtf8File(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return DecodeUtf8(file.readAll());
}

std::variant<QString, NewSignatureRefusal> ReadSignatureFile(const QString& path) {
    const QString trimmed = TrimmedText(path);
    if (trimmed.isEmpty())
        return NewSignatureRefusal::noFile;
    if (auto text = ReadUtf8File(trimmed))
        return *std::move(text);
    return NewSignatureRefusal::unreadableFile;
}

std::optional<QString> FetchedSignatureText(const KeyFetchResult& result) {
    if (result.error || !result.text)
        return std::nullopt;
    const QString text = TrimmedText(*result.text);
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

std::int64_t NewSignatureColorIndex(std::size_t listedSignatures) {
    return (static_cast<std::int64_t>(listedSignatures) + 12) % kSignatureColorCount;
}

void FillNewSignature(Signature& signature, const NewSignatureChoices& choices,
                      const NewSignatureSource& source) {
    SelectedInstallationsInfo selection;
    if (choices.accountEmail.isEmpty()) {
        selection.allAccountsSelected = true;
        selection.allAccountsPayloadX = SelectedInstallationPayload{};
    } else {
        selection.accountEmailToPayloadMap[choices.accountEmail] = SelectedInstallationPayload{};
    }
    signature.clientKindToSelectedInstallationsInfoMap = {{choices.client, selection}};
    signature.colorIndex = choices.colorIndex;
    SetInsertOptions(signature, {choices.client}, choices.insertForReplies,
                     choices.insertForForwards);
    signature.lastUpdateUnixTimeQz = source.unixTime;
    if (source.fileMode) {
        signature.fileNameQe = FileSignatureName(QDateTime::fromSecsSinceEpoch(source.unixTime));
        signature.filePathQe = QFileInfo(source.keyOrPath).absoluteFilePath();
        signature.keyQe.clear();
        signature.localTextQe = source.text;
    } else {
        signature.fileNameQe.clear();
        signature.filePathQe.clear();
        signature.keyQe = source.keyOrPath;
        signature.mainTextQe = source.text;
    }
}

}  // namespace quillet
