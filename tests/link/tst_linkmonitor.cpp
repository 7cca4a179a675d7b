// The link monitor on the in-process simulator: what the link reports for
// clean exchanges and for each injected fault (counted once, under its own
// counter), the bounded log, the reply-time figures and the log's text.

#include "Outcomes.h"
#include "link/LinkMonitor.h"
#include "SimLink.h"

#include <QRegularExpression>
#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {

using Outcome = LinkMonitor::Outcome;

// The in-process link with a monitor on the fake clock's time.
struct MonitoredLink : SimLink
{
    LinkMonitor monitor { 64, [this] { return clock.nowMs() * 1000000; } };

    MonitoredLink()
    {
        rs.setMonitor(&monitor);
        rs.OnlineMode = true;
        rs.OpenRSComm(&port);
    }
};

struct Entry
{
    int out;
    int in;
    Outcome outcome;
    bool operator==(const Entry&) const = default;
};

QList<Entry> entries(const LinkMonitor& m, int last)
{
    const auto log = m.log();
    QList<Entry> result;
    for (size_t i = log.size() - size_t(std::min<qsizetype>(last, qsizetype(log.size()))); i < log.size();
         ++i)
        result.append({ log[i].out, log[i].in, log[i].outcome });
    return result;
}

LinkMonitor::Counters counters(quint64 exchanges, quint64 out, quint64 in)
{
    LinkMonitor::Counters c;
    c.exchanges = exchanges;
    c.bytesOut = out;
    c.bytesIn = in;
    return c;
}

// The counters without the reply-time maximum (which the cases check apart).
LinkMonitor::Counters withoutMax(LinkMonitor::Counters c)
{
    c.maxReplyNs = 0;
    return c;
}

} // namespace

QT_BEGIN_NAMESPACE
namespace QTest {
template <> char* toString(const Entry& e)
{
    return qstrdup(QStringLiteral("{%1, %2, %3}")
                       .arg(e.out)
                       .arg(e.in)
                       .arg(LinkMonitor::outcomeText(e.outcome))
                       .toLatin1()
                       .constData());
}
template <> char* toString(const LinkMonitor::Counters& c)
{
    return qstrdup(QStringLiteral("exchanges %1 out %2 in %3 firstWindow %4 resync %5 echo %6 repeated %7 "
                                  "failedReads %8 linkFailures %9")
                       .arg(c.exchanges)
                       .arg(c.bytesOut)
                       .arg(c.bytesIn)
                       .arg(c.firstWindowTimeouts)
                       .arg(c.resynchronisations)
                       .arg(c.echoMismatches)
                       .arg(c.repeatedWrites)
                       .arg(c.failedReads)
                       .arg(c.linkFailures)
                       .toLatin1()
                       .constData());
}
} // namespace QTest
QT_END_NAMESPACE

class tst_LinkMonitor final : public QObject
{
    Q_OBJECT

private slots:
    void cleanExchanges();
    void lateReplyIsOneTimeoutAndOneResync();
    void silentBoardIsOneLinkFailure();
    void echoMismatchInARead();
    void echoMismatchInAWriteRepeatsIt();
    void goingOnlineStartsTheCountersAgain();
    void programRecordsAndTheirSums();
    void ringKeepsTheNewest();
    void replyTimes();
    void logText();
    void detachedLinkReportsNothing();
};

void tst_LinkMonitor::cleanExchanges()
{
    MonitoredLink l;
    QVERIFY(l.rs.OnlineMode);
    l.sim.setWord(180, 0x1234);
    QCOMPARE(shown(l.rs.RSRead(QStringLiteral("W180"))), QStringLiteral("4660"));

    // Open: the attention byte. The read: handshake, then two triples' worth.
    QCOMPARE(entries(l.monitor, 100),
        (QList<Entry> { { 0xFF, 0x55, Outcome::Reply }, { 0xFF, 0x55, Outcome::Reply },
            { 0x01, 0x55, Outcome::Reply }, { 0x00, 0x00, Outcome::Reply }, { 0xB4, 0x34, Outcome::Reply },
            { 0x00, 0x00, Outcome::Reply }, { 0xB5, 0x12, Outcome::Reply } }));
    QCOMPARE(withoutMax(l.monitor.counters()), counters(7, 7, 7));
    QVERIFY(l.monitor.onlineSince().isValid());
}

void tst_LinkMonitor::lateReplyIsOneTimeoutAndOneResync()
{
    MonitoredLink l;
    (void)l.rs.RSRead(QStringLiteral("W180"));
    const auto before = l.monitor.counters();
    // The next reply leaves 1.5 s late and the board does not hear the
    // resynchronising attention byte: the reply lands in the second window.
    l.sim.setWord(180, 77);
    l.sim.delayNextReply(1500);
    l.sim.silenceNext(1, 1);
    QCOMPARE(shown(l.rs.RSRead(QStringLiteral("W180"))), QStringLiteral("77"));

    // A reply that came only after the resynchronisation may answer the
    // attention byte, so the read is made once more: the attention byte that
    // completes the pair the board was left in, a new handshake and the four
    // exchanges of the word; after that trouble a second read (a handshake
    // and four more) must agree. The fault counts once, as the
    // resynchronisation.
    auto expected = before;
    expected.exchanges += 14;
    expected.bytesOut += 15; // fourteen exchanges and the resynchronising attention byte
    expected.bytesIn += 14;
    expected.firstWindowTimeouts = 1;
    expected.resynchronisations = 1;
    QCOMPARE(withoutMax(l.monitor.counters()), withoutMax(expected));
    QCOMPARE(l.monitor.counters().maxReplyNs, qint64(1500) * 1000000);
    QCOMPARE(l.monitor.log().back().outcome, Outcome::Reply);
    QCOMPARE(l.prompter.calls().size(), 0);
}

void tst_LinkMonitor::silentBoardIsOneLinkFailure()
{
    MonitoredLink l;
    const auto before = l.monitor.counters();
    l.sim.setDroppedOut(true);
    l.prompter.answerMsg(MsgResult::Cancel);
    QCOMPARE(shown(l.rs.RSRead(QStringLiteral("W180"))), QStringLiteral("failed: SilentLine"));
    QVERIFY(l.rs.CommError);

    auto expected = before;
    expected.exchanges += 1; // the handshake's attention byte, never answered
    expected.bytesOut += 3; // it and two resynchronising attention bytes
    expected.firstWindowTimeouts = 1;
    expected.resynchronisations = 2;
    expected.failedReads = 1;
    expected.linkFailures = 1;
    QCOMPARE(l.monitor.counters(), expected);
    QCOMPARE(entries(l.monitor, 1), (QList<Entry> { { 0xFF, -1, Outcome::NoReply } }));

    // Operations that then fail fast count nothing more.
    const qsizetype logged = l.monitor.logSize();
    (void)l.rs.RSRead(QStringLiteral("W180"));
    (void)l.rs.RSWrite(QStringLiteral("W180"), QStringLiteral("5"));
    QCOMPARE(l.monitor.counters(), expected);
    QCOMPARE(l.monitor.logSize(), logged);
}

void tst_LinkMonitor::echoMismatchInARead()
{
    MonitoredLink l;
    (void)l.rs.RSRead(QStringLiteral("B166"));
    const auto before = l.monitor.counters();
    // The echo of the address high byte goes wrong, and again in the read's
    // retry (after the attention byte that completes the board's pair and a
    // new handshake): the read fails, counted once, its two echoes each.
    l.sim.corruptReplyTo(0);
    l.sim.corruptReplyTo(4);
    QCOMPARE(shown(l.rs.RSRead(QStringLiteral("B166"))), QStringLiteral("failed: EchoMismatch"));
    QVERIFY(!l.rs.CommError);

    auto expected = before;
    expected.exchanges += 5;
    expected.bytesOut += 5;
    expected.bytesIn += 5;
    expected.echoMismatches = 2;
    expected.failedReads = 1;
    QCOMPARE(l.monitor.counters(), expected);
    QCOMPARE(entries(l.monitor, 1), (QList<Entry> { { 0x00, 0xFF, Outcome::EchoMismatch } }));
}

void tst_LinkMonitor::echoMismatchInAWriteRepeatsIt()
{
    MonitoredLink l;
    (void)l.rs.RSWrite(QStringLiteral("B166"), QStringLiteral("9")); // into write mode
    const auto before = l.monitor.counters();
    const int logged = l.monitor.logSize();
    l.sim.corruptNextReply(); // the echo of the address high byte
    (void)l.rs.RSWrite(QStringLiteral("B166"), QStringLiteral("7"));
    QVERIFY(!l.rs.CommError);
    QCOMPARE(l.sim.byte(166), std::uint8_t(7));

    // The fault is one echo mismatch and one repetition of the write; the
    // repetition's own exchanges (a new handshake, the triple) are clean.
    const auto c = l.monitor.counters();
    QCOMPARE(c.echoMismatches, before.echoMismatches + 1);
    QCOMPARE(c.repeatedWrites, before.repeatedWrites + 1);
    QCOMPARE(c.failedReads, quint64(0));
    QCOMPARE(c.linkFailures, quint64(0));
    QCOMPARE(c.firstWindowTimeouts, quint64(0));
    QCOMPARE(c.exchanges - before.exchanges, quint64(l.monitor.logSize() - logged));
    QCOMPARE(entries(l.monitor, l.monitor.logSize() - logged).front(),
        (Entry { 0x00, 0xFF, Outcome::EchoMismatch }));
    QCOMPARE(entries(l.monitor, 3),
        (QList<Entry> { { 0x00, 0x00, Outcome::Reply }, { 0xA6, 0xA6, Outcome::Reply },
            { 0x07, 0x07, Outcome::Reply } }));
    QCOMPARE(before.echoMismatches, quint64(0));
}

void tst_LinkMonitor::goingOnlineStartsTheCountersAgain()
{
    MonitoredLink l;
    (void)l.rs.RSRead(QStringLiteral("W180"));
    const int logged = l.monitor.logSize();
    l.rs.CloseRSComm();
    l.rs.OnlineMode = true;
    l.rs.OpenRSComm(&l.port);
    QCOMPARE(withoutMax(l.monitor.counters()), counters(1, 1, 1));
    // The log keeps what came before: the close's attention byte and the open's.
    QCOMPARE(l.monitor.logSize(), logged + 2);

    // A port that does not open: one link failure since going online.
    l.rs.CloseRSComm();
    l.port.failOpenWith(SerialError(
        SerialErrorNumber::kDeviceNotFound, QStringLiteral("MSComm1"), QStringLiteral("no device")));
    l.prompter.answerMsg(MsgResult::OK);
    l.rs.OnlineMode = true;
    l.rs.OpenRSComm(&l.port);
    QVERIFY(!l.rs.OnlineMode);
    auto expected = LinkMonitor::Counters {};
    expected.linkFailures = 1;
    QCOMPARE(l.monitor.counters(), expected);
}

void tst_LinkMonitor::programRecordsAndTheirSums()
{
    SimLink l;
    LinkMonitor monitor(64, [&l] { return l.clock.nowMs() * 1000000; });
    l.rs.setMonitor(&monitor);
    l.rs.OnlineMode = true;
    l.rs.OpenRSComm(&l.port);

    // A record streamed without waiting, answered by the board's sum.
    const qint64 start = monitor.byteGoingOut();
    for (int b : { 0x02, 0x20, 0x00, 0x11, 0x22 })
        l.rs.byteLink().SendByte(b, true, false);
    QCOMPARE(entries(monitor, 5),
        (QList<Entry> { { 0x02, -1, Outcome::Sent }, { 0x20, -1, Outcome::Sent }, { 0x00, -1, Outcome::Sent },
            { 0x11, -1, Outcome::Sent }, { 0x22, -1, Outcome::Sent } }));
    monitor.recordReply(0x55, start);
    monitor.recordReply(-1, start);
    QCOMPARE(entries(monitor, 2),
        (QList<Entry> { { -1, 0x55, Outcome::RecordReply }, { -1, -1, Outcome::NoRecordReply } }));
    // Sent bytes are bytes out, not exchanges; a sum is a byte in.
    QCOMPARE(withoutMax(monitor.counters()), counters(1, 6, 2));
}

void tst_LinkMonitor::ringKeepsTheNewest()
{
    qint64 now = 0;
    LinkMonitor m(8, [&now] { return now; });
    QCOMPARE(m.capacity(), 8);
    for (int i = 0; i < 20; ++i) {
        const qint64 start = m.byteGoingOut();
        now += 1000;
        m.exchanged(i, i + 1, start, Outcome::Reply);
    }
    QCOMPARE(m.logSize(), 8);
    QCOMPARE(m.logged(), quint64(20));
    QList<int> outs;
    for (const auto& e : m.log())
        outs.append(e.out);
    QCOMPARE(outs, (QList<int> { 12, 13, 14, 15, 16, 17, 18, 19 }));
    QCOMPARE(m.counters().exchanges, quint64(20));

    m.clearLog();
    QCOMPARE(m.logSize(), 0);
    QCOMPARE(m.counters().exchanges, quint64(20)); // Clear is for the log only
    m.exchanged(1, 2, m.byteGoingOut(), Outcome::Reply);
    QCOMPARE(m.log().size(), size_t(1));
    QCOMPARE(m.log().front().out, qint16(1));
}

void tst_LinkMonitor::replyTimes()
{
    qint64 now = 0;
    LinkMonitor m(16, [&now] { return now; });
    QCOMPARE(m.replyTimes().samples, 0);
    // Reply times 1..20 µs: the log keeps the newest 16 (5..20).
    for (int us = 1; us <= 20; ++us) {
        const qint64 start = now;
        now += us * 1000;
        m.exchanged(0, 0, start, Outcome::Reply);
    }
    // Sent bytes and program sums are not replies to time.
    m.exchanged(1, -1, now, Outcome::Sent);
    m.recordReply(3, now - 999999);
    const auto t = m.replyTimes();
    QCOMPARE(t.samples, 14); // 7..20 are left beside the two
    QCOMPARE(t.medianNs, qint64(13500));
    QCOMPARE(t.p95Ns, qint64(20000));
    QCOMPARE(t.maxNs, qint64(20000));

    QCOMPARE(LinkMonitor::wireFloorNs(9600), qint64(2083333));
    QCOMPARE(LinkMonitor::wireFloorNs(19200), qint64(1041666));
}

void tst_LinkMonitor::logText()
{
    qint64 now = 5'000'000'000;
    LinkMonitor m(4, [&now] { return now; });
    LinkMonitor::Exchange e;
    e.atNs = now + 1'234'567; // 1.234567 ms after the monitor was made
    e.replyNs = 48'300;
    e.out = 0xB4;
    e.in = 0x0A;
    e.outcome = Outcome::Reply;
    const QString line = m.formatExchange(e);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{6} B4 0A      48\\.3 reply$"))
                 .match(line)
                 .hasMatch(),
        qPrintable(line));
    QCOMPARE(line.mid(9, 6).toInt() % 1000, 234); // the microseconds within the millisecond

    e.in = -1;
    e.outcome = Outcome::Sent;
    QVERIFY(m.formatExchange(e).endsWith(QStringLiteral(" B4 --         - sent")));
    e.out = -1;
    e.in = 0xC0;
    e.outcome = Outcome::RecordReply;
    QVERIFY(m.formatExchange(e).endsWith(QStringLiteral(" -- C0      48.3 record sum")));
    QCOMPARE(LinkMonitor::logHeader(), QStringLiteral("time            out in   reply_us outcome"));
}

void tst_LinkMonitor::detachedLinkReportsNothing()
{
    MonitoredLink l;
    l.rs.setMonitor(nullptr);
    const auto before = l.monitor.counters();
    const int logged = l.monitor.logSize();
    l.sim.setDroppedOut(true);
    l.prompter.answerMsg(MsgResult::Cancel);
    (void)l.rs.RSRead(QStringLiteral("W180"));
    QVERIFY(l.rs.CommError);
    QCOMPARE(l.monitor.counters(), before);
    QCOMPARE(l.monitor.logSize(), logged);
}

QTEST_GUILESS_MAIN(tst_LinkMonitor)
#include "tst_linkmonitor.moc"
