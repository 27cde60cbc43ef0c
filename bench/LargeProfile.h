#pragma once
// A Thunderbird profile for benchmarks: a prefs.js of a given number of lines holding some
// identities among other settings, one signature selected for each identity, and a real store
// holding the signatures, which the syncs save into.

#include <QTemporaryDir>
#include <QUuid>
#include <memory>

#include "app/clients/PrefsFile.h"
#include "app/clients/sync/SyncPlan.h"
#include "bench/BenchSupport.h"
#include "platform/Paths.h"

namespace quillet {

inline QString BenchEmail(int identity) {
    return QString("user%1@example.org").arg(identity);
}

// `identities` identities among `lines` lines; each other setting's value is `padding`
// characters long.
class LargeProfile {
public:
    explicit LargeProfile(int lines = 20'000, int identities = 100, int padding = 0) {
        clientInfo.mozillaBasedClientProfilePathQ = _folder.path();
        QStringList text{"// Mozilla User Preferences", ""};
        for (int i = 1; i <= identities; ++i) {
            const QString prefix = QString("mail.identity.id%1.").arg(i);
            text.append(PrefsLine(prefix + "useremail", PrefsStringRawValue(BenchEmail(i))));
            text.append(PrefsLine(prefix + "fullName", QString("\"User %1\"").arg(i)));
            accounts.accounts.push_back(std::make_shared<MozillaBasedClientAccount>(
                BenchEmail(i), QString::number(i), std::nullopt));

            auto signature = std::make_shared<Signature>();
            signature->active = true;
            signature->uuidX = QUuid::createUuid();
            signature->mainTextQe = QString("<p>User %1</p>\n<p>Example \"Org\"</p>").arg(i);
            signature->clientKindToSelectedInstallationsInfoMap[ClientKind::thunderbird]
                .accountEmailToPayloadMap[BenchEmail(i)] = {};
            ids.push_back(SignatureId{i});
            map.emplace(SignatureId{i}, signature);
        }
        const QString value = padding > 0 ? "\"" + QString(padding, 'x') + "\"" : QString();
        for (int i = 0; text.size() < lines; ++i)
            text.append(PrefsLine(QString("extensions.some.setting%1").arg(i),
                                  padding > 0 ? value : QString::number(i)));
        text.append("");
        WritePrefsFileLines(prefsPath(), text);
        accounts.status = AccountsInfoStatus::discoverySucceeded;
        store = std::make_unique<BenchStore>(map);
    }

    // A new text for the identity's signature, as a refresh brings one.
    void changeText(int identity, int revision) {
        map.at(SignatureId{identity})->mainTextQe =
            QString("<p>User %1</p>\n<p>Revision %2</p>").arg(identity).arg(revision);
    }

    QString prefsPath() const { return _folder.path() + "/prefs.js"; }
    SyncInputs inputs(ClientWrites& writes = DirectClientWrites()) {
        return SyncInputs{clientInfo, accounts, ids, map, *store, paths, writes};
    }

    ClientInfo clientInfo{"/Applications/Thunderbird.app", "115.0", "115.0"};
    AccountsInfo accounts;
    SignatureIds ids;
    IdToSignatureMap map;
    std::unique_ptr<BenchStore> store;
    Paths paths{"/home", "/"};

private:
    QTemporaryDir _folder;
};

}  // namespace quillet
