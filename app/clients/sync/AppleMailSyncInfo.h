#pragma once
// The Apple Mail sync's plan: which Quillet signatures each account gets and loses, worked out
// from the selections and performed installations before any file is read or written.

#include <QString>
#include <map>
#include <set>

#include "app/clients/sync/SyncPlan.h"
#include "common/Accounts.h"

namespace quillet {

using SignatureIdSet = std::set<SignatureId>;
using EmailToSignatureIdSetMap = std::map<QString, SignatureIdSet>;

struct AppleMailSyncInfo {
    std::map<QString, std::shared_ptr<const AppleMailAccount>> accountEmailToAccountMap;
    // Selected and installable, by every selected email (known to discovery or not).
    EmailToSignatureIdSetMap signatureAccountEmailTo_SignatureIdToInstallSet_Map;
    // Performed for an email but no longer to be installed there.
    EmailToSignatureIdSetMap signatureAccountEmailTo_SignatureIdToUninstallSet_Map;
    std::set<QString> knownAccountEmailSet;
    EmailToSignatureIdSetMap knownAccountEmailTo_SignatureIdToInstallSet_Map;
    SignatureIdSet signatureOverallSignatureIdToInstallSet;
    SignatureIdSet knownOverallSignatureIdToInstallSet;
    // Leaves Apple Mail as a whole: uninstalled somewhere and installed nowhere.
    SignatureIdSet signatureOverallSignatureIdToUninstallSet;
    // Stay in Mail's lists: installed for a known account, or, while discovery failed, selected
    // for an address it did not report. Once discovery succeeds, a signature that only waits for
    // an address no account carries leaves the lists: the account that carried it may now be
    // another person's, and the store keeps no installation of it to answer for.
    SignatureIdSet listedSignatureIdSet;

    // Lookups: Apple Mail account UUID <-> email, and a signature's UUID text to its id.
    std::map<QString, QString> accountUuidToEmailMap;
    // The email of every account of Mail's accounts map as its "AccountURL" names it: how an
    // account that discovery did not report (its cache lost, Mail's accounts unread) gets its
    // person's kept default back when Quillet's signature leaves it.
    std::map<QString, QString> accountUuidToUrlEmailMap;
    std::map<QString, QString> emailToAccountUuidMap;
    std::map<QString, SignatureId> uuidTextToSignatureIdMap;

    // The set for the email, or an empty one.
    const SignatureIdSet& knownInstallSet(const QString& email) const;
    const SignatureIdSet& uninstallSet(const QString& email) const;
};

// The accounts the pass may write. After a successful discovery, all of them. When they come from
// the accounts cache (a command, which may not list Mail's accounts as that would start Mail),
// those whose entry in Mail's accounts map has changed since they were listed are left out: the
// person may have given the account to another address, and the pass would otherwise put the
// former owner's signature and default in it.
AccountsInfo AccountsStillAsListed(const AccountsInfo& accountsInfo,
                                   const std::map<QString, QString>& accountUuidToUrlMap);

AppleMailSyncInfo MakeAppleMailSyncInfo(const AccountsInfo& accountsInfo,
                                        const IdToSignatureMap& idToSignatureMap);

}  // namespace quillet
