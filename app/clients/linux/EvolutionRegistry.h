#pragma once
// Evolution's source registry (evolution-source-registry, on the session bus): the one owner of
// Evolution's accounts, identities and signatures. Each source is a key file that the registry
// keeps in its sources folder; a change made through the registry reaches a running Evolution at
// once, while a file written behind its back is not seen until it starts again. So Quillet
// reads and changes sources only here, over D-Bus, and needs nothing of Evolution's libraries.

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "common/Result.h"

namespace quillet {

class SessionBus;

struct EvolutionSource {
    QString uid;
    QString objectPath;  // the source's object on the bus
    QByteArray data;     // its key file, as the registry holds it
    bool writable = false;
    bool removable = false;
};

// What the registry answered: the result, or why there is none (the registry cannot be reached,
// it refused the change).
template <typename Value>
struct RegistryResult {
    std::optional<Value> value;
    QString error;  // set when value is absent
};

class EvolutionRegistry {
public:
    // The registry of the session bus (DBUS_SESSION_BUS_ADDRESS); started by the bus when it is
    // not running yet.
    EvolutionRegistry();

    // Every source the registry holds.
    RegistryResult<std::vector<EvolutionSource>> sources() const;
    // Adds a source with this uid and key file (the registry writes its file).
    std::optional<QString> create(const QString& uid, const QByteArray& data) const;
    // Replaces the key file of an existing source.
    std::optional<QString> write(const QString& uid, const QByteArray& data) const;
    // Removes a source (the registry deletes its file).
    std::optional<QString> remove(const QString& uid) const;

private:
    std::optional<EvolutionSource> find(const QString& uid, QString& error) const;

    Result<const SessionBus*> _bus;
};

}  // namespace quillet
