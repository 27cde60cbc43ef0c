#pragma once
// What an operation that can fail gives back: its value, or why there is none, in one sentence
// for the person or the log. Used like an optional: `if (!result) … result.error()`, else
// `*result`.

#include <QString>
#include <optional>
#include <utility>

namespace quillet {

// Why an operation gave no value; converts to any Result.
struct Failed {
    QString error;
};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : _value(std::move(value)) {}               // NOLINT: a value is a Result
    Result(Failed failed) : _error(std::move(failed.error)) {}  // NOLINT: so is a failure

    bool has_value() const { return _value.has_value(); }
    explicit operator bool() const { return has_value(); }
    T& operator*() { return *_value; }
    const T& operator*() const { return *_value; }
    T* operator->() { return &*_value; }
    const T* operator->() const { return &*_value; }
    // Meaningful only without a value.
    const QString& error() const { return _error; }

private:
    std::optional<T> _value;
    QString _error;
};

}  // namespace quillet
