#pragma once
// The values of one stored signature and its installation rows, as the store's tables hold
// them, and the conversions between them and a Signature. The store compares these to the last
// saved ones so that a save writes only what differs.

#include <QString>
#include <cstdint>
#include <tuple>
#include <vector>

#include "common/Signature.h"
#include "common/Text.h"

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

// The attributes of a signature row: the fields of every signature record with its uuid as
// stored, and the web-mail extension's two (client and account) in its own entity.
struct SignatureAttributes : SignatureFields {
    QString uuidString;
    QString accountEmailQe;  // web-mail entity only
    QString clientQe;        // web-mail entity only

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

// The fields and the uuid that every signature record (the desktop's and the web-mail
// extension's) shares with its row, in both directions.
template <class Record>
void CopyCommonAttributes(const Record& s, SignatureAttributes* a) {
    static_cast<SignatureFields&>(*a) = s;
    a->uuidString = s.uuidX ? CanonicalUuidText(*s.uuidX) : QString();
}

// The uuid stays absent when the stored text is no UUID.
template <class Record>
void CopyCommonAttributes(const SignatureAttributes& a, Record* s) {
    static_cast<SignatureFields&>(*s) = a;
    s->uuidX = ParseUuid(a.uuidString);
}

// One row per client whose all accounts are selected (email empty), else one per account.
SignatureRecord RecordFromSignature(const Signature& signature);
// Rows naming no client are dropped, and so is an all-accounts selection of a client that
// takes none. The uuid stays absent when the stored text is no UUID.
Signature SignatureFromRecord(const SignatureRecord& record);

}  // namespace quillet
