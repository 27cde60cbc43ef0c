#include "app/clients/linux/SessionBus.h"

#include "platform/Module.h"

namespace quillet {

const SessionBus* LoadSessionBus(QString& error) {
    const auto bus = reinterpret_cast<SessionBusFunction>(
        ModuleFunction("quillet-dbus", kSessionBusSymbol, error));
    return bus ? bus() : nullptr;
}

}  // namespace quillet
