#include "common/ServiceTransport.h"

#include "common/Localization.h"
#include "platform/Module.h"

namespace quillet {

std::unique_ptr<ServiceTransport> OpenServiceTransport(QString& error) {
    const auto create = reinterpret_cast<CreateServiceTransport>(
        ModuleFunction("quillet-network", kCreateServiceTransportSymbol, error));
    return create ? std::unique_ptr<ServiceTransport>(create(&Localized)) : nullptr;
}

}  // namespace quillet
