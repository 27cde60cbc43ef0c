#include "common/ServiceTransport.h"

#include "common/Localization.h"
#include "common/Module.h"

namespace quillet {

Result<std::unique_ptr<ServiceTransport>> OpenServiceTransport() {
    const Result<QFunctionPointer> function =
        ModuleFunction("quillet-network", kCreateServiceTransportSymbol);
    if (!function)
        return Failed{function.error()};
    const auto create = reinterpret_cast<CreateServiceTransport>(*function);
    return std::unique_ptr<ServiceTransport>(create(&Localized));
}

}  // namespace quillet
