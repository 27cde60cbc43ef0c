#pragma once
// One email client of a fake Mac as the person sees it and works in it: its accounts, its
// signatures in its own order, and the signature each account uses by default, read back from
// the client's own files (prefs.js, property lists, SQLite, the stand-in Outlook's state); and
// the few things a person does there, each a small edit of those files as the client would make
// it. The same shape for all five clients lets a test state its rules once.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "app/demo/FakeMac.h"
#include "common/ClientKind.h"

namespace quillet {

struct FakeClientSignature {
    QString id;          // the client's key for it (UUID, list key, Outlook name, identity)
    QString name;        // empty where the client keeps no name
    QByteArray body;     // the HTML as stored
    QStringList offers;  // the accounts that offer it; empty: every account
    bool operator==(const FakeClientSignature&) const = default;
};

struct FakeClientState {
    std::map<QString, QString> accounts;          // account key -> email
    std::vector<FakeClientSignature> signatures;  // in the client's order
    std::map<QString, QString> defaults;          // account key -> signature id; no entry: none
    bool operator==(const FakeClientState&) const = default;
};

// The state a line a thing, for a failure to show.
QString ClientStateText(const FakeClientState& state);

class FakeMacClient {
public:
    explicit FakeMacClient(const FakeMac& mac, ClientKind kind) : _mac(mac), _kind(kind) {}
    virtual ~FakeMacClient() = default;

    ClientKind kind() const { return _kind; }
    // Thunderbird keeps a signature inside each identity: there an account's signature has the
    // account's key as its id and is its default.
    virtual bool signaturesLiveInAccounts() const { return false; }
    // Spark keeps rows as bytes, so a row can hold text that is not UTF-8.
    virtual bool keepsRawBytes() const { return false; }
    // The key of the client's Nth account (for an account the person adds).
    virtual QString accountKey(int n) const { return "ACC-" + QString::number(n); }

    virtual FakeClientState read() const = 0;
    // Adds (`before` absent), changes or removes (`after` absent) one signature as the person
    // does in the client; removing one also clears the defaults that used it.
    virtual void replaceSignature(const std::optional<FakeClientSignature>& before,
                                  const std::optional<FakeClientSignature>& after) const = 0;
    // Sets the account's default signature; an empty id: none.
    virtual void setDefault(const QString& account, const QString& signatureId) const = 0;
    // Adds an account, or gives an existing one another address.
    virtual void setAccount(const QString& account, const QString& email) const = 0;
    // Removes the account with everything the client keeps for it.
    virtual void removeAccount(const QString& account) const = 0;

    // Moves the application away (the client is then not detected) and back.
    virtual void setInstalled(bool installed) const;
    virtual bool installed() const;

protected:
    // Clears the defaults that name the signature, as the client does when it goes.
    void forgetDefaultsOf(const QString& signatureId) const;

    const FakeMac& _mac;
    ClientKind _kind;
};

// The client's adapter on a fake Mac laid out as the sample Mac is; none for a Linux client.
std::unique_ptr<FakeMacClient> MakeFakeMacClient(const FakeMac& mac, ClientKind kind);

}  // namespace quillet
