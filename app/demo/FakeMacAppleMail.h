#pragma once
// Apple Mail's signature storage on a fake Mac: where each file is, and the lists written as
// Mail writes them.

#include <QString>

#include "app/demo/FakeMac.h"
#include "platform/Plist.h"

namespace quillet {

struct FakeAppleMailFiles {
    // Mail's files below its data folder (made when missing) and the user's Library.
    explicit FakeAppleMailFiles(const FakeMac& mac, const QString& version = "V10");

    QString signatureFile(const QString& uuidText) const;
    QString cloudSignatureFile(const QString& uuidText) const;

    QString dataFolder;
    QString signaturesFolder;
    QString accountsMap;
    QString allSignatures;
    QString cloudFolder;  // not made: a Mac without iCloud Drive has none
    QString cloudAllSignatures;
    QString preferences;
    QString cacheFolder;
};

// Writes a property list given as the XML inside <plist>...</plist> (in binary when asked).
void WriteFakePlist(const QString& path, const QString& xmlBody, bool binary = false);

}  // namespace quillet
