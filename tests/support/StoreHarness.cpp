#include "tests/support/StoreHarness.h"

#include <QDir>

#include "tests/support/LegacyStore.h"

namespace quillet {

StoreHarness::StoreHarness() {
    QDir().mkpath(dataFolder());
    QDir().mkpath(documentsFolder());
}

QStringList StoreHarness::sql(const QString& statements) const {
    return Sql(storePath(), statements);
}

QStringList StoreHarness::storedNames() const {
    const auto store = Store::OpenStoreChain(dataFolder(), documentsFolder(), {});
    if (!store)
        return {"(the store does not open)"};
    QStringList names;
    const auto [ids, map] = store->LoadSignatures();
    for (const SignatureId id : ids)
        names << map.at(id)->nameQe;
    return names;
}

Signature StoreHarness::NamedSignature(const QString& name) {
    Signature signature;
    signature.active = true;
    signature.nameQe = name;
    signature.mainTextQe = "<p>" + name + "</p>";
    signature.uuidX = QUuid::createUuid();
    return signature;
}

}  // namespace quillet
