#pragma once
// What the ways the person adds a signature share (the window's form and `quillet install`): the
// checks' refusals with their texts (the organisation's refusal of the person's own signatures
// among them), reading the HTML file, the text a key fetch gives, the file signature's name, the
// next colour, and filling the new record.

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

#include "common/ClientKind.h"
#include "common/InsertOptions.h"  // SetInsertOptions, as FillNewSignature applies it
#include "common/ServiceClient.h"
#include "common/Signature.h"
#include "common/Text.h"  // FileSignatureName, DecodeUtf8
#include "platform/Prompter.h"

namespace quillet {

class ManagedSignatures;

// Why the form does not install, in the order the form checks.
enum class NewSignatureRefusal {
    userSignaturesNotAllowed,  // the organisation allows only the signatures it deploys
    noClient,
    noAccount,
    noFile,
    unreadableFile,
    noKey,
    keyNotFound,
};

// The one-button alert the person sees for a refusal.
Alert RefusalAlert(NewSignatureRefusal refusal);
// The first check of every signature the person adds (not the organisation's own): refused when
// the organisation's configuration, read now, allows only the signatures it deploys.
std::optional<NewSignatureRefusal> UserSignatureRefusal(const ManagedSignatures& managed);
// The alert after a key request that got no answer: "Retry" (first) and "Later".
Alert KeyRequestFailedAlert();

// Apple Mail and Thunderbird need one account; for the others no account means all accounts.
bool NeedsAccount(ClientKind kind);

// The file's text when it is wholly valid UTF-8; absent when it cannot be read or is not UTF-8
// (a legacy 8-bit file with non-ASCII bytes).
std::optional<QString> ReadUtf8File(const QString& path);

// The text of a signature's HTML file as the form reads it (the path trimmed), or why it is
// refused: no path, or a file that cannot be read or is not UTF-8.
std::variant<QString, NewSignatureRefusal> ReadSignatureFile(const QString& path);

// The signature a key fetch found: its text trimmed as a refresh trims it (otherwise the refresh
// that saving starts would find the text changed and write every client a second time). Absent
// for an error, for "not found", and for a text that is only blanks.
std::optional<QString> FetchedSignatureText(const KeyFetchResult& result);

// (number of listed signatures + 12) mod the number of colours.
std::int64_t NewSignatureColorIndex(std::size_t listedSignatures);

struct NewSignatureChoices {
    ClientKind client = ClientKind::appleMail;
    QString accountEmail;  // empty: every account of the client
    bool insertForReplies = true;
    bool insertForForwards = true;
    std::int64_t colorIndex = 0;
};

struct NewSignatureSource {
    bool fileMode = false;
    QString keyOrPath;          // the key, or the file's path
    QString text;               // the signature's HTML
    std::int64_t unixTime = 0;  // the key's request time, or the creation time of a file signature
};

// The new record's selection, colour, options and source, as the form creates it.
void FillNewSignature(Signature& signature, const NewSignatureChoices& choices,
                      const NewSignatureSource& source);

}  // namespace quillet
