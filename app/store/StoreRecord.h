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

// The attributes of a signature row: thirteen in every signature entity, and the web-mail
// extension's two (client and account) in its own.
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

// The thirteen attributes that every signature record (the desktop's and the web-mail
// extension's) shares with its row, in both directions.
template <class Record>
void CopyCommonAttributes(const Record& s, SignatureAttributes* a) {
    a->active = s.active;
    a->colorIndex = s.colorIndex;
    a->fileNameQe = s.fileNameQe;
    a->filePathQe = s.filePathQe;
    a->insertForRepliesForwards = s.insertForRepliesForwards;
    a->insertForForwards = s.insertForForwards;
    a->keyQe = s.keyQe;
    a->lastUpdateUnixTimeQz = s.lastUpdateUnixTimeQz;
    a->localTextQe = s.localTextQe;
    a->mainTextQe = s.mainTextQe;
    a->nameQe = s.nameQe;
    a->pendingDeletion = s.pendingDeletion;
    a->uuidString = s.uuidX ? CanonicalUuidText(*s.uuidX) : QString();
}

// The uuid stays absent when the stored text is no UUID.
template <class Record>
void CopyCommonAttributes(const SignatureAttributes& a, Record* s) {
    s->active = a.active;
    s->colorIndex = a.colorIndex;
    s->fileNameQe = a.fileNameQe;
    s->filePathQe = a.filePathQe;
    s->insertForRepliesForwards = a.insertForRepliesForwards;
    s->insertForForwards = a.insertForForwards;
    s->keyQe = a.keyQe;
    s->lastUpdateUnixTimeQz = a.lastUpdateUnixTimeQz;
    s->localTextQe = a.localTextQe;
    s->mainTextQe = a.mainTextQe;
    s->nameQe = a.nameQe;
    s->pendingDeletion = a.pendingDeletion;
    s->uuidX = ParseUuid(a.uuidString);
}

// One row per client whose all accounts are selected (email empty), else one per account.
SignatureRecord RecordFromSignature(const Signature& signature);
// Rows naming no client are dropped, and so is an all-accounts selection of a client that
// takes none. The uuid stays absent when the stored text is no UUID.
Signature SignatureFromRecord(const SignatureRecord& record);

}  // namespace quillet
