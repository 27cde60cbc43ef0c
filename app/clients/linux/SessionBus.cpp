#include "app/clients/linux/SessionBus.h"

#include "common/Module.h"

namespace quillet {

Result<const SessionBus*> LoadSessionBus() {
    const Result<QFunctionPointer> function = ModuleFunction("quillet-dbus", kSessionBusSymbol);
    if (!function)
        return Failed{function.error()};
    return reinterpret_cast<SessionBusFunction>(*function)();
}

}  // namespace quillet
