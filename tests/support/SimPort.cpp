#include "SimPort.h"

#include <algorithm>

namespace talvek::test {

namespace {

const QString kSource = QStringLiteral("SimPort");

} // namespace

SimPort::SimPort(K7700Sim& sim, FakeClock& clock)
    : m_sim(sim)
    , m_clock(clock)
    , m_lastSyncMs(clock.nowMs())
{ }

void SimPort::setCommPort(int port)
{
    if (m_commPortError)
        throw *m_commPortError;
    if (m_open)
        throw SerialError(SerialErrorNumber::kPortAlreadyOpen, kSource, QStringLiteral("Port already open"));
    m_commPort = port;
}

void SimPort::setSettings(const QString& settings)
{
    if (m_settingsError)
        throw *m_settingsError;
    m_settings = settings;
}

void SimPort::open()
{
    if (m_openError)
        throw *m_openError;
    if (m_open)
        throw SerialError(SerialErrorNumber::kPortAlreadyOpen, kSource, QStringLiteral("Port already open"));
    sync();
    m_open = true;
    m_input.clear();
    ++m_openCount;
}

void SimPort::close()
{
    sync();
    if (m_open)
        ++m_closeCount;
    m_open = false;
    m_input.clear();
    m_pending.clear(); // replies still on the wire arrive at a closed port
}

int SimPort::bytesAvailable()
{
    sync();
    return m_open ? int(m_input.size()) : 0;
}

void SimPort::discardInput()
{
    sync();
    m_discarded += m_input;
    m_input.clear();
}

int SimPort::readByte()
{
    sync();
    if (!m_open || m_input.isEmpty())
        return -1;
    const auto b = static_cast<quint8>(m_input.at(0));
    m_input.remove(0, 1);
    m_readBytes += char(b);
    return b;
}

void SimPort::write(const QByteArray& bytes)
{
    if (!m_open)
        throw SerialError(SerialErrorNumber::kPortNotOpen, kSource, QStringLiteral("Port not open"));
    sync();
    m_writes.append(bytes);
    const qint64 now = m_clock.nowMs();
    for (const char c : bytes) {
        const auto b = static_cast<quint8>(c);
        m_written += c;
        const K7700Sim::Reply reply = m_sim.receive(b);
        Exchange ex;
        ex.sent = b;
        ex.reply = reply.bytes;
        ex.sentAtMs = now;
        ex.replyAtMs = now + std::max(reply.delayMs, 0);
        // One line: a reply never overtakes the one before it.
        if (!reply.isEmpty() && !m_pending.isEmpty())
            ex.replyAtMs = std::max(ex.replyAtMs, m_pending.last().dueMs);
        m_exchanges.append(ex);
        if (reply.isEmpty())
            continue;
        m_pending.append(Pending { ex.replyAtMs, reply.bytes });
    }
    sync();
}

bool SimPort::waitForInput(int timeoutMs)
{
    sync();
    if (m_open && !m_input.isEmpty())
        return true;
    const qint64 wait = std::max(timeoutMs, 0);
    if (!m_open) {
        letTimePass(wait);
        return false;
    }
    const qint64 now = m_clock.nowMs();
    if (!m_pending.isEmpty() && m_pending.first().dueMs <= now + wait) {
        m_clock.setNow(std::max(now, m_pending.first().dueMs));
        sync();
        return !m_input.isEmpty();
    }
    letTimePass(wait);
    return false;
}

QString SimPort::deviceForPort(int port) const
{
    return QStringLiteral("sim:COM%1").arg(port);
}

void SimPort::injectInput(const QByteArray& bytes)
{
    sync();
    m_input += bytes;
}

void SimPort::repeatLastReply()
{
    sync();
    if (m_exchanges.isEmpty() || m_exchanges.last().reply.isEmpty())
        return;
    const Exchange& last = m_exchanges.last();
    if (last.replyAtMs <= m_clock.nowMs())
        m_input += last.reply;
    else
        m_pending.append(Pending { last.replyAtMs, last.reply });
}

void SimPort::letTimePass(qint64 ms)
{
    if (ms > 0)
        m_clock.advance(ms);
    sync();
}

void SimPort::clearRecord()
{
    m_written.clear();
    m_writes.clear();
    m_readBytes.clear();
    m_discarded.clear();
    m_exchanges.clear();
}

void SimPort::sync()
{
    const qint64 now = m_clock.nowMs();
    if (now > m_lastSyncMs)
        m_sim.advance(now - m_lastSyncMs);
    m_lastSyncMs = now;
    while (!m_pending.isEmpty() && m_pending.first().dueMs <= now) {
        if (m_open)
            m_input += m_pending.first().bytes;
        m_pending.removeFirst();
    }
}

} // namespace talvek::test
