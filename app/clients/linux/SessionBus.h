#pragma once
// What Quillet says and asks on the session bus lives in a module of its own (quillet-dbus,
// common/Module.h): the D-Bus library and what it brings load only into a process that reads
// or writes a client that is reached over the bus.

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "app/clients/linux/EvolutionRegistry.h"
#include "common/Result.h"

namespace quillet {

// The module's calls, safe from any thread. Errors read "<D-Bus error name>: <message>".
class SessionBus {
public:
    virtual ~SessionBus() = default;
    // Evolution's source registry: every source, a new one, a source's new key file, its removal.
    virtual RegistryResult<std::vector<EvolutionSource>> evolutionSources() const = 0;
    virtual std::optional<QString> createEvolutionSource(const QString& uid,
                                                         const QByteArray& data) const = 0;
    virtual std::optional<QString> writeEvolutionSource(const QString& objectPath,
                                                        const QByteArray& data) const = 0;
    virtual std::optional<QString> removeEvolutionSource(const QString& objectPath) const = 0;
    // Every KDE program's identity manager reads its file again on this signal; without a
    // session nothing is sent (no KMail runs there to be told).
    virtual void announceIdentitiesChanged() const = 0;
};

// The module's one entry point: its bus, which lives as long as the process.
using SessionBusFunction = const SessionBus* (*)();
inline constexpr const char* kSessionBusSymbol = "QuilletSessionBus";

// The bus of the module; fails, saying why, when the module cannot be loaded.
Result<const SessionBus*> LoadSessionBus();

}  // namespace quillet
