#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <vector>

namespace talvek {

// Watches the controller link: counters since the link last went ONLINE and a
// log of the most recent exchanges, in a ring of fixed size (memory stays
// bounded however long the program runs).
//
// RSComm reports to the monitor attached to it (RSComm::setMonitor); without
// one, each report point costs a null check and nothing else. Everything runs
// on the thread of the link, so no locking is needed.
class LinkMonitor final
{
public:
    // How one exchange ended.
    enum class Outcome : quint8
    {
        Reply, // the reply byte came back
        EchoMismatch, // a reply came back, but not the echo the protocol expects
        Sent, // a byte sent without waiting for a reply (program records)
        NoReply, // no reply: the exchange failed and the link with it
        RecordReply, // the controller's sum after a program record
        NoRecordReply, // no sum after a program record within its wait
        ReplyAfterResync, // a reply that came only after an attention byte went out in the byte's place
        Resync, // the attention byte sent after a timeout to win the board back (no reply awaited of its own)
    };

    struct Exchange
    {
        qint64 atNs = 0; // on the monitor's monotonic scale, when the byte went out
        qint64 replyNs = 0; // from the byte going out to the reply (0 when none was awaited)
        qint16 out = -1; // byte sent, -1 for none
        qint16 in = -1; // byte received, -1 for none
        Outcome outcome = Outcome::Reply;
    };

    struct Counters
    {
        quint64 exchanges = 0; // bytes sent that waited for their reply
        quint64 bytesOut = 0;
        quint64 bytesIn = 0;
        quint64 firstWindowTimeouts = 0; // no reply within the first wait
        quint64 resynchronisations = 0; // attention bytes sent to win the board back
        quint64 echoMismatches = 0;
        quint64 repeatedWrites = 0; // writes sent again after an echo mismatch
        quint64 failedReads = 0; // reads that delivered no value
        quint64 linkFailures = 0; // times the link was lost (CommError set)
        qint64 maxReplyNs = 0;

        bool operator==(const Counters&) const = default;
    };

    // The reply-time figures of the exchanges in the log.
    struct ReplyTimes
    {
        int samples = 0;
        qint64 medianNs = 0;
        qint64 p95Ns = 0;
        qint64 maxNs = 0; // since going ONLINE (the counter), not only the log
    };

    static constexpr int kDefaultCapacity = 4096;

    // nowNs: a monotonic clock in nanoseconds; the default is the steady clock.
    explicit LinkMonitor(int capacity = kDefaultCapacity, std::function<qint64()> nowNs = {});
    Q_DISABLE_COPY_MOVE(LinkMonitor)

    // ---- reports from the link ----
    // The link is going ONLINE: counters start again (the log is kept).
    void linkOpening();
    // A byte is about to go out; returns the time stamp to pass to exchanged().
    qint64 byteGoingOut() const { return now(); }
    // The exchange of `out` that began at `startNs` ended with `in` (-1: none).
    void exchanged(int out, int in, qint64 startNs, Outcome outcome);
    // No reply within a wait window; `timeouts` counts them in this exchange.
    // The first one is the first-window timeout; each one that leads to an
    // attention byte being sent again is a resynchronisation.
    void replyTimedOut(int timeouts, bool resynchronising);
    // The reply to the last exchange was not its echo.
    void echoMismatch();
    void repeatedWrite();
    void failedRead();
    // CommError is set. Counted once until the link works again (a reply
    // arrives) or goes ONLINE anew, however many operations then fail fast.
    void linkFailed();
    // The controller's reply to a program record (-1: none within the wait).
    void recordReply(int in, qint64 startNs);

    // ---- what the monitor shows ----
    const Counters& counters() const { return m_counters; }
    ReplyTimes replyTimes() const;
    // The log, oldest first.
    std::vector<Exchange> log() const;
    int logSize() const { return int(m_size); }
    int capacity() const { return int(m_ring.size()); }
    // Exchanges logged since the monitor was made (the log keeps the newest).
    quint64 logged() const { return m_logged; }
    void clearLog();
    // When the link last went ONLINE (invalid before).
    QDateTime onlineSince() const { return m_onlineSince; }

    // Called for each exchange once its outcome is final (the command line's
    // trace file): an exchange is handed on when the next one is logged (an
    // echo found wrong relabels the last one first) or at flushSink().
    void setSink(std::function<void(const Exchange&)> sink) { m_sink = std::move(sink); }
    void flushSink();

    // ---- the log as text (the monitor's "Save Log..." and the trace file) ----
    static QString logHeader();
    // One line: wall-clock time, byte out, byte in, reply time, outcome.
    QString formatExchange(const Exchange& e) const;
    static QString outcomeText(Outcome outcome);
    // The wire's time for one exchange (a byte each way, 10 bits a byte).
    static qint64 wireFloorNs(int baud);
    qint64 now() const;

private:
    void append(const Exchange& e);
    bool m_sinkPending = false; // the newest exchange is not yet handed to the sink

    std::function<qint64()> m_nowNs;
    std::vector<Exchange> m_ring;
    size_t m_next = 0;
    size_t m_size = 0;
    quint64 m_logged = 0;
    Counters m_counters;
    bool m_linkUp = false;
    std::function<void(const Exchange&)> m_sink;
    // Wall clock and monotonic time of one instant, to print the log's times.
    QDateTime m_wallBase;
    qint64 m_monoBase = 0;
    QDateTime m_onlineSince;
};

} // namespace talvek
