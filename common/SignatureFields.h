#pragma once
// The fields that every signature record has: the desktop engine's, the web-mail extension's and
// the store's row of either. Each record adds its own uuid and where the signature goes.

#include <QString>
#include <QStringList>
#include <cstdint>

namespace quillet {

struct SignatureFields {
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

    bool isServiceBased() const { return !keyQe.isEmpty(); }
    bool operator==(const SignatureFields&) const = default;
};

// The description items of these fields, from the file to the name, each only when it is set.
QStringList DescribeSourceFields(const SignatureFields& s);

}  // namespace quillet
