#pragma once

#include <QtGlobal>

namespace talvek {

// Monotonic time for the link's timeouts. Tests inject a fake so that the
// 1 s / 2 s waits of the protocol run in microseconds.
class Clock
{
public:
    virtual ~Clock() = default;
    // Milliseconds on a monotonic scale; only differences are meaningful.
    virtual qint64 nowMs() const = 0;
    // Sleeps (or, in a fake, lets the time pass) for the given milliseconds.
    virtual void sleepMs(qint64 ms) = 0;
    // Waits the given milliseconds while pending events run (a timed event
    // loop), so that the windows stay live through a fixed pause. The caller
    // keeps its own operation going meanwhile and must stay safe against
    // re-entry. Without an event loop to run, the same as sleepMs().
    virtual void waitMs(qint64 ms) { sleepMs(ms); }
};

class SteadyClock final : public Clock
{
public:
    qint64 nowMs() const override;
    void sleepMs(qint64 ms) override;
    void waitMs(qint64 ms) override;
};

// A clock that only moves when told to. Shared by unit tests and the in-process
// simulator port, which lets time pass while the link waits for a reply.
class FakeClock final : public Clock
{
public:
    qint64 nowMs() const override { return m_now; }
    void sleepMs(qint64 ms) override { m_now += ms; }
    // Lets the time pass, then lets pending events run once.
    void waitMs(qint64 ms) override;
    void advance(qint64 ms) { m_now += ms; }
    void setNow(qint64 ms) { m_now = ms; }

private:
    qint64 m_now = 1000000;
};

} // namespace talvek
