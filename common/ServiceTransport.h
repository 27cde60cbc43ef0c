#pragma once
// The HTTP side of the service client lives in a module of its own (quillet-network,
// common/Module.h), loaded on the first request: Qt's network stack and what it brings
// (Kerberos, proxy discovery, compression) cost every process that loads them at its start, and
// most commands never talk to the service.

#include <QString>
#include <functional>
#include <memory>

#include "common/Result.h"
#include "common/ServiceRequest.h"

namespace quillet {

class ServiceTransport {
public:
    virtual ~ServiceTransport() = default;
    // Sends one GET with the limits; the completion runs once on the calling thread, later,
    // unless the transport is destroyed first (a reply still in flight is then abandoned).
    virtual void get(const QUrl& url, const ServiceRequestLimits& limits,
                     std::function<void(const ServiceResponse&)> completion) = 0;
};

// The module's one entry point: a new transport that words its reasons for the person with
// `localize`.
using CreateServiceTransport = ServiceTransport* (*)(QString (*localize)(const QString&));
inline constexpr const char* kCreateServiceTransportSymbol = "QuilletCreateServiceTransport";

// A transport from the module; fails, saying why, when the module cannot be loaded.
Result<std::unique_ptr<ServiceTransport>> OpenServiceTransport();

}  // namespace quillet
