#pragma once
// The accounts of a fake Mac's clients: Apple Mail and Outlook in the state file that the
// stand-in osascript plays them from, Spark's message database, a Mozilla profile's prefs.js.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "app/demo/FakeMac.h"

namespace quillet {

struct FakeAppleMailAccount {
    QString uuid;
    QString email;
    QString fullName;  // empty: none
    QString type = "imap";
    bool enabled = true;
};

struct FakeOutlookAccount {
    QString email;
    QString fullName;           // empty: none
    QString userName;           // empty: none
    QString kind = "exchange";  // "exchange", "imap", "pop" or "google"
};

struct FakeSparkAccountRow {
    QString accountTitle;
    QString ownerFullName;
    QString additionalInfo;      // the JSON text as Spark stores it
    std::optional<int> pk = {};  // absent: the next one
};

// Replaces the client's accounts in ROOT/var/fake-mac/clients.json, keeping everything else; the
// client then counts as present for the stand-in osascript.
void SetFakeAppleMailAccounts(const FakeMac& mac,
                              const std::vector<FakeAppleMailAccount>& accounts);
void SetFakeOutlookAccounts(const FakeMac& mac, const std::vector<FakeOutlookAccount>& accounts);
// Makes the stand-in refuse (or allow again) Apple events to the client ("AppleMail", "Outlook").
void SetFakeAutomationDenied(const FakeMac& mac, const QString& clientKey, bool denied);
// The whole state file, for a test that wants to look.
QByteArray FakeClientsState(const FakeMac& mac);

// Spark's messages.sqlite with an accounts table (pk, accountTitle, ownerFullName,
// additionalInfo) holding the rows; replaces an earlier one. Returns its path.
QString CreateFakeSparkMessagesDatabase(const FakeMac& mac,
                                        const std::vector<FakeSparkAccountRow>& rows);
// An additional-information JSON text with the given account address.
QString SparkAdditionalInfo(const QString& accountAddress);

// Writes PROFILE/prefs.js with the lines joined by line feeds and a final line feed; returns its
// path.
QString WriteFakePrefsFile(const QString& profilePath, const QStringList& lines);
// The two lines of a Mozilla identity, as Mozilla writes them (values escaped by the caller).
QStringList FakeIdentityPrefsLines(const QString& number, const QString& email,
                                   const QString& fullName = {});

}  // namespace quillet
