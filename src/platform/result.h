#pragma once

#include <QString>

#include <optional>
#include <utility>

// The one shape for "it worked, or here is why not" at every module boundary:
// a value, or a short reason text that names what failed ("cannot write
// layer file /x/a.xml: no space left on device"). Failures are built with
// Failure{reason}, which converts to a Result of any type.
namespace kw {

struct Failure
{
    QString reason;
};

template <typename T>
class [[nodiscard]] Result
{
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Failure failure) : m_error(std::move(failure.reason)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    // Only on success.
    const T &value() const & { return *m_value; }
    T &value() & { return *m_value; }
    T &&value() && { return std::move(*m_value); }
    const T &operator*() const & { return *m_value; }
    T &operator*() & { return *m_value; }
    const T *operator->() const { return &*m_value; }
    T *operator->() { return &*m_value; }

    // The value, or `fallback` after a failure.
    T valueOr(T fallback) const & { return m_value ? *m_value : std::move(fallback); }

    // Empty on success.
    const QString &error() const { return m_error; }

private:
    std::optional<T> m_value;
    QString m_error;
};

template <>
class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Failure failure) : m_failed(true), m_error(std::move(failure.reason)) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const QString &error() const { return m_error; }

private:
    bool m_failed = false;
    QString m_error;
};

// Result<void> reads oddly at call sites; this names the common case.
using Status = Result<void>;

} // namespace kw
