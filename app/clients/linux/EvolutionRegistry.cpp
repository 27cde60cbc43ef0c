#include "app/clients/linux/EvolutionRegistry.h"

#include "app/clients/linux/SessionBus.h"

namespace quillet {

EvolutionRegistry::EvolutionRegistry() : _bus(LoadSessionBus()) {}

RegistryResult<std::vector<EvolutionSource>> EvolutionRegistry::sources() const {
    if (!_bus)
        return {std::nullopt, _bus.error()};
    return (*_bus)->evolutionSources();
}

std::optional<EvolutionSource> EvolutionRegistry::find(const QString& uid, QString& error) const {
    auto all = sources();
    if (!all.value) {
        error = all.error;
        return std::nullopt;
    }
    for (EvolutionSource& source : *all.value) {
        if (source.uid == uid)
            return std::move(source);
    }
    error = "no source " + uid;
    return std::nullopt;
}

std::optional<QString> EvolutionRegistry::create(const QString& uid, const QByteArray& data) const {
    if (!_bus)
        return _bus.error();
    return (*_bus)->createEvolutionSource(uid, data);
}

std::optional<QString> EvolutionRegistry::write(const QString& uid, const QByteArray& data) const {
    QString error;
    const auto source = find(uid, error);
    if (!source)
        return error;
    if (!source->writable)
        return "source " + uid + " is not writable";
    return (*_bus)->writeEvolutionSource(source->objectPath, data);
}

std::optional<QString> EvolutionRegistry::remove(const QString& uid) const {
    QString error;
    const auto source = find(uid, error);
    if (!source)
        return error;
    if (!source->removable)
        return "source " + uid + " is not removable";
    return (*_bus)->removeEvolutionSource(source->objectPath);
}

}  // namespace quillet
