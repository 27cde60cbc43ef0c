#pragma once
// The values of one stored signature and its installation rows, as the store's tables hold
// them, and the conversions between them and a Signature. The store compares these to the last
// saved ones so that a save writes only what differs.

#include <QString>
#include <cstdint>
#include <tuple>
#include <vector>

#include "common/Signature.h"

namespace quillet {

struct SelectedInstallationRecord {
    QString client;
    QString accountEmailQe;
    bool pendingReinstallation = false;

    bool operator==(const SelectedInstallationRecord&) const = default;
    bool operator<(const SelectedInstallationRecord& other) const {
        return std::tie(client, accountEmailQe, pendingReinstallation) <
               std::tie(other.client, other.accountEmailQe, other.pendingReinstallation);
    }
};

struct PerformedInstallationRecord {
    QString client;
    QString accountEmailQe;
    QString idStringQe;
    QString textQe;

    bool operator==(const PerformedInstallationRecord&) const = default;
    bool operator<(const PerformedInstallationRecord& other) const {
        return std::tie(client, accountEmailQe, idStringQe, textQe) <
               std::tie(other.client, other.accountEmailQe, other.idStringQe, other.textQe);
    }
};

// The thirteen attributes of a signature row.
struct SignatureAttributes {
    bool active = false;
    std::int64_t colorIndex = 0;
    QString fileNameQe;
    QString filePathQe;
    bool insertForRepliesForwards = false;
    bool insertForForwards = false;
    QString keyQe;
    std::int64_t lastUpdateUnixTimeQz = 0;
    QString localTextQe;
    QString mainTextQe;
    QString nameQe;
    bool pendingDeletion = false;
    QString uuidString;

    bool operator==(const SignatureAttributes&) const = default;
};

struct SignatureRecord {
    SignatureAttributes attributes;
    // Kept sorted, so that two records with the same rows compare equal whatever the order in
    // which the rows were read.
    std::vector<SelectedInstallationRecord> selectedInstallations;
    std::vector<PerformedInstallationRecord> performedInstallations;

    bool operator==(const SignatureRecord&) const = default;
    void sortInstallations();
};

// One row per client whose all accounts are selected (email empty), else one per account.
SignatureRecord RecordFromSignature(const Signature& signature);
// Rows naming no client are dropped, and so is an all-accounts selection of a client that
// takes none. The uuid stays absent when the stored text is no UUID.
Signature SignatureFromRecord(const SignatureRecord& record);

}  // namespace quillet
