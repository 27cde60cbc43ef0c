#include "app/store/StoreRecord.h"

#include <algorithm>

#include "common/Text.h"

namespace quillet {

void SignatureRecord::sortInstallations() {
    std::sort(selectedInstallations.begin(), selectedInstallations.end());
    std::sort(performedInstallations.begin(), performedInstallations.end());
}

SignatureRecord RecordFromSignature(const Signature& signature) {
    SignatureRecord record;
    CopyCommonAttributes(signature, &record.attributes);

    for (const auto& [kind, info] : signature.clientKindToSelectedInstallationsInfoMap) {
        if (info.allAccountsSelected) {
            const bool pending =
                info.allAccountsPayloadX && info.allAccountsPayloadX->pendingReinstallation;
            record.selectedInstallations.push_back({StoredText(kind), QString(), pending});
            continue;
        }
        for (const auto& [email, payload] : info.accountEmailToPayloadMap) {
            record.selectedInstallations.push_back(
                {StoredText(kind), email, payload.pendingReinstallation});
        }
    }
    for (const auto& [kind, info] : signature.clientKindToPerformedInstallationsInfoMap) {
        if (info.allAccountsInstalled) {
            const PerformedInstallationPayload payload =
                info.allAccountsPayloadX.value_or(PerformedInstallationPayload{});
            record.performedInstallations.push_back(
                {StoredText(kind), QString(), payload.idStringQe, payload.textQe});
            continue;
        }
        for (const auto& [email, payload] : info.accountEmailToPayloadMap) {
            record.performedInstallations.push_back(
                {StoredText(kind), email, payload.idStringQe, payload.textQe});
        }
    }
    record.sortInstallations();
    return record;
}

Signature SignatureFromRecord(const SignatureRecord& record) {
    Signature signature;
    CopyCommonAttributes(record.attributes, &signature);

    for (const SelectedInstallationRecord& row : record.selectedInstallations) {
        const std::optional<ClientKind> kind = ClientKindFromStoredText(row.client);
        if (!kind)
            continue;
        const SelectedInstallationPayload payload{row.pendingReinstallation};
        if (row.accountEmailQe.isEmpty()) {
            if (!AcceptsAllAccountsSelection(*kind))
                continue;
            SelectedInstallationsInfo& info =
                signature.clientKindToSelectedInstallationsInfoMap[*kind];
            info.allAccountsSelected = true;
            info.allAccountsPayloadX = payload;
        } else {
            signature.clientKindToSelectedInstallationsInfoMap[*kind]
                .accountEmailToPayloadMap[row.accountEmailQe] = payload;
        }
    }
    for (const PerformedInstallationRecord& row : record.performedInstallations) {
        const std::optional<ClientKind> kind = ClientKindFromStoredText(row.client);
        if (!kind)
            continue;
        const PerformedInstallationPayload payload{row.idStringQe, row.textQe};
        PerformedInstallationsInfo& info =
            signature.clientKindToPerformedInstallationsInfoMap[*kind];
        if (row.accountEmailQe.isEmpty()) {
            info.allAccountsInstalled = true;
            info.allAccountsPayloadX = payload;
        } else {
            info.accountEmailToPayloadMap[row.accountEmailQe] = payload;
        }
    }
    return signature;
}

}  // namespace quillet
