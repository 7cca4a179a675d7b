#include "link/LinkMonitor.h"

#include <algorithm>
#include <chrono>

namespace talvek {

namespace {

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString hexByte(int b)
{
    return b < 0 ? QStringLiteral("--") : QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

LinkMonitor::LinkMonitor(int capacity, std::function<qint64()> nowNs)
    : m_nowNs(nowNs ? std::move(nowNs) : std::function<qint64()>(steadyNs))
    , m_ring(size_t(std::max(capacity, 1)))
{
    m_wallBase = QDateTime::currentDateTime();
    m_monoBase = now();
}

qint64 LinkMonitor::now() const
{
    return m_nowNs();
}

void LinkMonitor::linkOpening()
{
    m_counters = {};
    m_linkUp = true;
    m_onlineSince = QDateTime::currentDateTime();
}

void LinkMonitor::append(const Exchange& e)
{
    m_ring[m_next] = e;
    m_next = (m_next + 1) % m_ring.size();
    m_size = std::min(m_size + 1, m_ring.size());
    ++m_logged;
    if (m_sink && m_sinkPending && m_size > 1)
        m_sink(m_ring[(m_next + m_ring.size() - 2) % m_ring.size()]);
    m_sinkPending = bool(m_sink);
}

void LinkMonitor::flushSink()
{
    if (m_sink && m_sinkPending && m_size > 0)
        m_sink(m_ring[(m_next + m_ring.size() - 1) % m_ring.size()]);
    m_sinkPending = false;
}

void LinkMonitor::exchanged(int out, int in, qint64 startNs, Outcome outcome)
{
    Exchange e;
    e.atNs = startNs;
    e.out = qint16(out);
    e.in = qint16(in);
    e.outcome = outcome;
    ++m_counters.bytesOut;
    if (outcome != Outcome::Sent) {
        e.replyNs = now() - startNs;
        ++m_counters.exchanges;
        if (in >= 0) {
            ++m_counters.bytesIn;
            m_counters.maxReplyNs = std::max(m_counters.maxReplyNs, e.replyNs);
            m_linkUp = true;
        }
    }
    append(e);
}

void LinkMonitor::replyTimedOut(int timeouts, bool resynchronising)
{
    if (timeouts == 1)
        ++m_counters.firstWindowTimeouts;
    if (resynchronising) {
        ++m_counters.resynchronisations;
        ++m_counters.bytesOut; // the attention byte
        Exchange e;
        e.atNs = now();
        e.out = 0xFF;
        e.outcome = Outcome::Resync;
        append(e);
    }
}

void LinkMonitor::echoMismatch()
{
    ++m_counters.echoMismatches;
    if (m_size > 0) {
        Exchange& last = m_ring[(m_next + m_ring.size() - 1) % m_ring.size()];
        if (last.outcome == Outcome::Reply || last.outcome == Outcome::ReplyAfterResync)
            last.outcome = Outcome::EchoMismatch;
    }
}

void LinkMonitor::repeatedWrite()
{
    ++m_counters.repeatedWrites;
}

void LinkMonitor::failedRead()
{
    ++m_counters.failedReads;
}

void LinkMonitor::linkFailed()
{
    if (!m_linkUp)
        return;
    m_linkUp = false;
    ++m_counters.linkFailures;
}

void LinkMonitor::recordReply(int in, qint64 startNs)
{
    Exchange e;
    e.atNs = startNs;
    e.replyNs = now() - startNs;
    e.in = qint16(in);
    e.outcome = in >= 0 ? Outcome::RecordReply : Outcome::NoRecordReply;
    if (in >= 0)
        ++m_counters.bytesIn;
    append(e);
}

LinkMonitor::ReplyTimes LinkMonitor::replyTimes() const
{
    std::vector<qint64> times;
    times.reserve(m_size);
    for (size_t i = 0; i < m_size; ++i) {
        const Exchange& e = m_ring[i];
        if (e.outcome == Outcome::Reply || e.outcome == Outcome::EchoMismatch)
            times.push_back(e.replyNs);
    }
    ReplyTimes r;
    r.maxNs = m_counters.maxReplyNs;
    r.samples = int(times.size());
    if (times.empty())
        return r;
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    r.medianNs = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    // Nearest rank: the smallest sample with at least 95 % of them at or below it.
    const size_t rank = (95 * n + 99) / 100;
    r.p95Ns = times[std::max<size_t>(rank, 1) - 1];
    return r;
}

std::vector<LinkMonitor::Exchange> LinkMonitor::log() const
{
    std::vector<Exchange> out;
    out.reserve(m_size);
    const size_t first = (m_next + m_ring.size() - m_size) % m_ring.size();
    for (size_t i = 0; i < m_size; ++i)
        out.push_back(m_ring[(first + i) % m_ring.size()]);
    return out;
}

void LinkMonitor::clearLog()
{
    m_next = 0;
    m_size = 0;
}

QString LinkMonitor::logHeader()
{
    return QStringLiteral("time            out in   reply_us outcome");
}

QString LinkMonitor::outcomeText(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Reply:
        return QStringLiteral("reply");
    case Outcome::EchoMismatch:
        return QStringLiteral("echo mismatch");
    case Outcome::Sent:
        return QStringLiteral("sent");
    case Outcome::NoReply:
        return QStringLiteral("no reply");
    case Outcome::RecordReply:
        return QStringLiteral("record sum");
    case Outcome::NoRecordReply:
        return QStringLiteral("no record sum");
    case Outcome::ReplyAfterResync:
        return QStringLiteral("reply after resync");
    case Outcome::Resync:
        return QStringLiteral("resync (attention)");
    }
    return {};
}

QString LinkMonitor::formatExchange(const Exchange& e) const
{
    const QDateTime at = m_wallBase.addMSecs((e.atNs - m_monoBase) / 1000000);
    const qint64 subMs = ((e.atNs - m_monoBase) % 1000000 + 1000000) % 1000000;
    const QString time = at.toString(QStringLiteral("HH:mm:ss.zzz"))
        + QStringLiteral("%1").arg(subMs / 1000, 3, 10, QLatin1Char('0'));
    const QString reply = (e.outcome == Outcome::Sent || e.outcome == Outcome::Resync) ? QStringLiteral("-")
                                                       : QString::number(double(e.replyNs) / 1000.0, 'f', 1);
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(time, -15)
        .arg(hexByte(e.out), -2)
        .arg(hexByte(e.in), -3)
        .arg(reply, 8)
        .arg(outcomeText(e.outcome));
}

qint64 LinkMonitor::wireFloorNs(int baud)
{
    return baud > 0 ? qint64(2) * 10 * 1000000000LL / baud : 0;
}

} // namespace talvek
