#include "extension/native/WebSignature.h"

#include <QStringList>

#include "common/Signature.h"
#include "common/Text.h"

namespace quillet::web {

namespace {

QString Flag(bool value) {
    return value ? "true" : "false";
}

}  // namespace

QString Describe(const Signature& s) {
    QStringList items;
    items << "active: " + Flag(s.active) << "color index: " + QString::number(s.colorIndex)
          << "insert for replies/forwards: " + Flag(s.insertForRepliesForwards);
    items << DescribeSourceFields(s);
    items << "pending deletion: " + Flag(s.pendingDeletion);
    items << "uuid: " + (s.uuidX ? CanonicalUuidText(*s.uuidX) : QString());
    items << "client: " + (s.clientKindQ ? StoredText(*s.clientKindQ) : QString("all"));
    items << "account: " + (s.accountEmailQe.isEmpty() ? QString("all") : s.accountEmailQe);
    return items.join(", ");
}

SignatureRecord RecordFromSignature(const Signature& s) {
    SignatureRecord record;
    CopyCommonAttributes(s, &record.attributes);
    SignatureAttributes& a = record.attributes;
    a.accountEmailQe = s.accountEmailQe;
    a.clientQe = s.clientKindQ ? StoredText(*s.clientKindQ) : QString();
    return record;
}

Signature SignatureFromRecord(const SignatureRecord& record) {
    const SignatureAttributes& a = record.attributes;
    Signature s;
    CopyCommonAttributes(a, &s);
    s.clientKindQ = ClientKindFromStoredText(a.clientQe);
    s.accountEmailQe = a.accountEmailQe;
    return s;
}

}  // namespace quillet::web
