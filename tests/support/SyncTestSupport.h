#pragma once
// Signatures, accounts and a recording store for the tests of the client syncs.

#include <QString>
#include <QStringList>
#include <ostream>
#include <vector>

#include "app/clients/sync/SyncPlan.h"
#include "app/demo/FakeMac.h"
#include "common/Accounts.h"
#include "common/Signature.h"

// Texts in failure messages as text, not as arrays of code units.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace quillet {

// The store's side of a sync: every save it was asked for, with the descriptions of the saved
// signatures at that moment.
class RecordingSignatureSaver : public SignatureSaver {
public:
    void saveSignatures(const SignatureIds& ids, const IdToSignatureMap& map) override;

    std::vector<SignatureIds> savedIds;
    std::vector<QStringList> savedDescriptions;
};

// The signatures of a test store, numbered from 1 in the engine's order.
class TestSignatures {
public:
    // A new active signature with that service text; its uuid is TestUuidText(number).
    Signature& add(const QString& mainText, const QString& name = {});
    Signature& operator[](int number) { return *_map.at(SignatureId{number}); }
    SignatureId id(int number) const { return SignatureId{number}; }

    const SignatureIds& ids() const { return _ids; }
    const IdToSignatureMap& map() const { return _map; }

private:
    SignatureIds _ids;
    IdToSignatureMap _map;
};

// "00000000-0000-0000-0000-0000000000NN": the canonical uuid text of test signature NN.
QString TestUuidText(int number);

// Selects the signature for those accounts of the client (replacing an earlier selection).
void SelectAccounts(Signature& signature, ClientKind kind, const QStringList& emails,
                    bool pendingReinstallation = false);
void SelectAllAccounts(Signature& signature, ClientKind kind, bool pendingReinstallation = false);
// Records the signature as installed for that account (or all accounts, for an empty email).
void RecordInstalled(Signature& signature, ClientKind kind, const QString& email,
                     const QString& idString, const QString& text);

// Mozilla accounts "EMAIL" with identity numbers 1, 2, ... in order.
AccountsInfo MozillaAccountsInfo(
    const QStringList& emails, AccountsInfoStatus status = AccountsInfoStatus::discoverySucceeded);
AccountsInfo SparkAccountsInfo(const QStringList& emails,
                               AccountsInfoStatus status = AccountsInfoStatus::discoverySucceeded);

// One client sync's world: a fake Mac, the client as detected, its accounts, the signatures,
// the store they are saved to and the file of the person's replaced settings.
struct SyncWorld {
    SyncInputs inputs() {
        return SyncInputs{clientInfo, accounts,    signatures.ids(),     signatures.map(),
                          saver,      mac.paths(), DirectClientWrites(), replaced};
    }
    // Every signature's description, in order: what a failed sync must leave unchanged.
    QStringList descriptions() const;

    FakeMac mac;
    ClientInfo clientInfo{"/Applications/Client.app", "1.0", "1"};
    AccountsInfo accounts;
    TestSignatures signatures;
    RecordingSignatureSaver saver;
    QString supportFolder = mac.homePath("Library/Application Support/Quillet");
    ReplacedSettings replaced{ReplacedSettingsPath(supportFolder)};
};

}  // namespace quillet
