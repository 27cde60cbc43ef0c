#pragma once
// A Thunderbird profile for benchmarks: a prefs.js of a given number of lines holding some
// identities among other settings, and one signature selected for each identity.

#include <QTemporaryDir>
#include <QUuid>

#include "app/clients/PrefsFile.h"
#include "app/clients/sync/SyncPlan.h"
#include "platform/Paths.h"

namespace quillet {

class DiscardingSaver : public SignatureSaver {
public:
    void saveSignatures(const SignatureIds&, const IdToSignatureMap&) override {}
};

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
    }

    QString prefsPath() const { return _folder.path() + "/prefs.js"; }
    SyncInputs inputs(ClientWrites& writes = DirectClientWrites()) {
        return SyncInputs{clientInfo, accounts, ids, map, saver, paths, writes};
    }

    ClientInfo clientInfo{"/Applications/Thunderbird.app", "115.0", "115.0"};
    AccountsInfo accounts;
    SignatureIds ids;
    IdToSignatureMap map;
    DiscardingSaver saver;
    Paths paths{"/home", "/"};

private:
    QTemporaryDir _folder;
};

}  // namespace quillet
