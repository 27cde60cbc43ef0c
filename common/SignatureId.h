#pragma once
// The store's permanent identifier of a signature record: stable for the record's life and
// never reused during a run. Every list and map of signatures is keyed by it.

#include <QString>
#include <compare>
#include <cstdint>
#include <functional>
#include <vector>

namespace quillet {

struct SignatureId {
    std::int64_t value = 0;

    auto operator<=>(const SignatureId&) const = default;
    QString toString() const { return QString::number(value); }
};

using SignatureIds = std::vector<SignatureId>;

}  // namespace quillet

template <>
struct std::hash<quillet::SignatureId> {
    size_t operator()(const quillet::SignatureId& id) const noexcept {
        return std::hash<std::int64_t>()(id.value);
    }
};
