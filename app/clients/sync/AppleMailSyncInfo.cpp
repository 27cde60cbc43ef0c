#include "app/clients/sync/AppleMailSyncInfo.h"

#include "common/Log.h"

namespace quillet {

namespace {

const SignatureIdSet& SetOf(const EmailToSignatureIdSetMap& map, const QString& email) {
    static const SignatureIdSet kEmpty;
    const auto found = map.find(email);
    return found == map.end() ? kEmpty : found->second;
}

}  // namespace

const SignatureIdSet& AppleMailSyncInfo::knownInstallSet(const QString& email) const {
    return SetOf(knownAccountEmailTo_SignatureIdToInstallSet_Map, email);
}

const SignatureIdSet& AppleMailSyncInfo::uninstallSet(const QString& email) const {
    return SetOf(signatureAccountEmailTo_SignatureIdToUninstallSet_Map, email);
}

AccountsInfo AccountsStillAsListed(const AccountsInfo& accountsInfo,
                                   const std::map<QString, QString>& accountUuidToUrlMap) {
    if (accountsInfo.status == AccountsInfoStatus::discoverySucceeded)
        return accountsInfo;
    AccountsInfo still = accountsInfo;
    std::erase_if(still.accounts, [&](const AccountPtr& account) {
        const auto* mail = dynamic_cast<const AppleMailAccount*>(account.get());
        if (!mail || !mail->accountUrlQ())
            return false;
        const auto url = accountUuidToUrlMap.find(mail->uuid());
        if (url != accountUuidToUrlMap.end() && url->second == *mail->accountUrlQ())
            return false;
        LogWarning(DisplayName(ClientKind::appleMail) + ": the account " + mail->uuid() +
                   " has changed since Mail's accounts were listed; it is left as it is until "
                   "they are listed again");
        return true;
    });
    return still;
}

AppleMailSyncInfo MakeAppleMailSyncInfo(const AccountsInfo& accountsInfo,
                                        const IdToSignatureMap& idToSignatureMap) {
    AppleMailSyncInfo info;
    for (const AccountPtr& account : accountsInfo.accounts) {
        auto appleMailAccount = std::dynamic_pointer_cast<const AppleMailAccount>(account);
        if (!appleMailAccount)
            continue;
        const QString email = appleMailAccount->email();
        info.accountEmailToAccountMap.emplace(email, appleMailAccount);
        info.knownAccountEmailSet.insert(email);
        info.accountUuidToEmailMap.emplace(appleMailAccount->uuid(), email);
        info.emailToAccountUuidMap.emplace(email, appleMailAccount->uuid());
    }

    for (const auto& [id, signature] : idToSignatureMap) {
        if (!IsInstallable(*signature, ClientKind::appleMail))
            continue;
        const auto& selected =
            signature->clientKindToSelectedInstallationsInfoMap.at(ClientKind::appleMail);
        for (const auto& [email, payload] : selected.accountEmailToPayloadMap)
            info.signatureAccountEmailTo_SignatureIdToInstallSet_Map[email].insert(id);
    }

    for (const auto& [id, signature] : idToSignatureMap) {
        const auto performed =
            signature->clientKindToPerformedInstallationsInfoMap.find(ClientKind::appleMail);
        if (performed == signature->clientKindToPerformedInstallationsInfoMap.end())
            continue;
        const bool current = !signature->pendingDeletion && signature->active;
        for (const auto& [email, payload] : performed->second.accountEmailToPayloadMap) {
            const auto& installSet =
                SetOf(info.signatureAccountEmailTo_SignatureIdToInstallSet_Map, email);
            if (!current || !installSet.count(id))
                info.signatureAccountEmailTo_SignatureIdToUninstallSet_Map[email].insert(id);
        }
    }

    for (const auto& [email, ids] : info.signatureAccountEmailTo_SignatureIdToInstallSet_Map) {
        info.signatureOverallSignatureIdToInstallSet.insert(ids.begin(), ids.end());
        if (info.knownAccountEmailSet.count(email)) {
            info.knownAccountEmailTo_SignatureIdToInstallSet_Map.emplace(email, ids);
            info.knownOverallSignatureIdToInstallSet.insert(ids.begin(), ids.end());
        }
    }
    for (const auto& [email, ids] : info.signatureAccountEmailTo_SignatureIdToUninstallSet_Map) {
        for (const SignatureId id : ids) {
            if (!info.signatureOverallSignatureIdToInstallSet.count(id))
                info.signatureOverallSignatureIdToUninstallSet.insert(id);
        }
    }
    info.listedSignatureIdSet = accountsInfo.status == AccountsInfoStatus::discoverySucceeded
                                    ? info.knownOverallSignatureIdToInstallSet
                                    : info.signatureOverallSignatureIdToInstallSet;
    info.uuidTextToSignatureIdMap = UuidTextToSignatureIdMap(idToSignatureMap);
    return info;
}

}  // namespace quillet
