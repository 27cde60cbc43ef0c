#pragma once
// The extension's signature record: the fields of every signature record and, in place of the
// desktop's installation maps, the one web-mail client and the one account it is for.

#include <QString>
#include <QUuid>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

#include "app/store/StoreRecord.h"
#include "common/SignatureId.h"
#include "extension/native/WebMailClient.h"

namespace quillet::web {

struct Signature : SignatureFields {
    std::optional<QUuid> uuidX;
    std::optional<ClientKind> clientKindQ;  // absent: every web-mail client
    QString accountEmailQe;                 // empty: every account

    // All of it, not only the fields every record has.
    bool operator==(const Signature&) const = default;

    // What a page inserts: the service's text, else the file's, else nothing.
    const QString& html() const { return mainTextQe.isEmpty() ? localTextQe : mainTextQe; }
};

using SignaturePtr = std::shared_ptr<Signature>;
using IdToSignatureMap = std::map<SignatureId, SignaturePtr>;

// The one-line description that log lines embed.
QString Describe(const Signature& signature);
// The store's row. A stored client text that names no web-mail client ("gmail") reads as none.
SignatureRecord RecordFromSignature(const Signature& signature);
Signature SignatureFromRecord(const SignatureRecord& record);

}  // namespace quillet::web
