#pragma once

#include <QString>

#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace talvek {

// Why an operation on the controller, a file or the operator did not give its
// value. Callers decide from the cause (an exit code, a message, OFFLINE);
// never from a message text.
enum class Cause
{
    SilentLine, // no reply in time, and the operator gave up (or nobody was there to ask)
    EchoMismatch, // the controller answered another byte than the echo
    ReplyAfterResync, // the reply came only after a resynchronisation: it may answer the attention byte
    RefusedByBoard, // the board answered "no" (a PLS NAK)
    BadReply, // a reply the board does not give (a recall state it does not define)
    NotHeld, // a write was sent, and reading back found another value
    PortFailed, // the port could not be opened, or went away
    LinkDown, // CommError was already set: nothing was tried
    Busy, // another controller operation waits (inside a modal box)
    EntryRefused, // the value or address is not one the rules let through; nothing was sent
    Cancelled, // the operator said no
    BadFile, // a file missing, unreadable, unwritable or not in its format
};

// The cause in words, for logs and the command line ("silent line").
QString causeText(Cause cause);

// A failure: its cause, what it concerns ("W1026", a file name) and, for a
// write that was not held, the value the controller holds now when it could
// be read.
struct Failure
{
    Cause cause = Cause::SilentLine;
    QString detail;
    std::optional<qint64> held;
    // For a port that failed: the run-time error number it raised (0: none).
    int errorNumber = 0;
};

inline Failure fail(Cause cause, QString detail = {}, std::optional<qint64> held = std::nullopt)
{
    return Failure { cause, std::move(detail), held, 0 };
}

// The outcome of an operation that can fail: its value, or a Failure. There is
// no way to the value that skips the check: value() asserts, and a result that
// is dropped unread is a compiler warning (an error in our builds).
template <class T>
class [[nodiscard]] Result
{
public:
    Result(T value)
        : m_v(std::in_place_index<0>, std::move(value))
    { }
    Result(Failure failure)
        : m_v(std::in_place_index<1>, std::move(failure))
    { }

    bool ok() const { return m_v.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T& value() const&
    {
        Q_ASSERT(ok());
        return std::get<0>(m_v);
    }
    T&& value() &&
    {
        Q_ASSERT(ok());
        return std::get<0>(std::move(m_v));
    }
    const T& operator*() const& { return value(); }
    const T* operator->() const { return &value(); }

    const Failure& error() const
    {
        Q_ASSERT(!ok());
        return std::get<1>(m_v);
    }
    Cause cause() const { return error().cause; }

    // The value, or `fallback` where the caller has a real value to show
    // instead (never a made-up number taken as data).
    T valueOr(T fallback) const { return ok() ? std::get<0>(m_v) : std::move(fallback); }

    // The value as an optional, for code that keeps "no value yet".
    std::optional<T> toOptional() const { return ok() ? std::optional<T>(std::get<0>(m_v)) : std::nullopt; }

private:
    std::variant<T, Failure> m_v;
};

// The outcome of an operation that gives no value: done, or a Failure.
template <>
class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Failure failure)
        : m_failure(std::move(failure))
    { }

    bool ok() const { return !m_failure; }
    explicit operator bool() const { return ok(); }
    const Failure& error() const
    {
        Q_ASSERT(!ok());
        return *m_failure;
    }
    Cause cause() const { return error().cause; }

private:
    std::optional<Failure> m_failure;
};

using Status = Result<void>;

// For a caller whose whole answer to a failure has already been given where
// it happened (the link's Retry/Cancel box, RSWrite's alert) and that goes on
// the same way either way: the failure is seen and let go, on purpose.
inline void reportedWhereItHappened(const Status&) { }

inline Status done()
{
    return {};
}

} // namespace talvek
