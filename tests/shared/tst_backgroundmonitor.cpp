// The background monitor against the simulator: poll rotation and the skip
// after F26, the eight alarm flags and their sources, the message and the
// status panel texts online and offline, and a failed poll.

#include "Outcomes.h"
#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "K7700Sim.h"
#include "link/RSComm.h"
#include "ScriptedPrompter.h"
#include "shared/BackgroundMonitor.h"
#include "shared/modUtility.h"
#include "SimLinkMode.h"
#include "SimPort.h"
#include "WireOps.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {

// Byte addresses of the polled entries on the wire.
constexpr int kF858 = 32 + 858 / 8; // 139
constexpr int kF26 = 32 + 26 / 8; // 35
constexpr int kW32Low = 32;
constexpr int kW32High = 33;
constexpr int kB38 = 38;
constexpr int kB37 = 37;

const QString kCrLf = QStringLiteral("\r\n");

QString alarmBlock(const QString& text)
{
    return QStringLiteral("***** SYSTEM ALARM *****") + kCrLf + text + kCrLf + kCrLf;
}

struct Rig : SimLinkMode
{
    Rig()
    {
        monitor.InitFaultTable();
        mode.setMode(true);
        port.clearRecord();
    }
    BackgroundMonitor monitor { rs };

    void ticks(int n)
    {
        for (int i = 0; i < n; ++i)
            monitor.tick();
    }
    // Sets the summary flag F26: 1 = nothing pending in W32 / B38 / B37.
    void noFaultsPending(bool on) { sim.setFlag(26, on); }
    QList<bool> flags() const
    {
        return QList<bool>(monitor.FaultActive().begin(), monitor.FaultActive().end());
    }
};

QList<bool> flagList(std::initializer_list<int> on)
{
    QList<bool> flags(BackgroundMonitor::kFaultCount, false);
    for (const int f : on)
        flags[f] = true;
    return flags;
}

} // namespace

class TestBackgroundMonitor : public QObject
{
    Q_OBJECT

private slots:
    void beforeTheFirstTick()
    {
        Rig r;
        QCOMPARE(r.monitor.PollIndex(), 0);
        QVERIFY(!r.monitor.FaultsLatched());
        QCOMPARE(r.flags(), flagList({}));
        QVERIFY(r.monitor.SystemMessage().isEmpty());
        QCOMPARE(r.monitor.FaultAddress(), (std::array<QString, 5> { "F858", "F26", "W32", "B38", "B37" }));
    }

    void healthyMachineAlternatesF858AndF26()
    {
        // F26 reads 1 on every poll: W32, B38 and B37 are never read.
        Rig r;
        r.noFaultsPending(true);
        r.sim.setWord(32, 0xFFFF); // would raise flags 1..3 if it were ever read
        r.sim.setByte(38, 0xFF);
        r.sim.setByte(37, 0xFF);
        r.ticks(10);
        QCOMPARE(ReadAddresses(r.port.exchanges()),
            QList<int>({ kF26, kF858, kF26, kF858, kF26, kF858, kF26, kF858, kF26, kF858 }));
        QCOMPARE(r.flags(), flagList({}));
        QCOMPARE(r.monitor.SystemMessage(),
            QStringLiteral("-- System Normal --\r\nSet-up Program is Currently ONLINE"));
        QCOMPARE(r.monitor.statusText(), QStringLiteral("System Message:  All Faults Normal"));

        // Flag 0 still follows F858.
        r.sim.setFlag(858, true);
        r.ticks(2);
        QCOMPARE(r.flags(), flagList({ 0 }));
        QCOMPARE(r.monitor.SystemMessage(),
            alarmBlock(QStringLiteral(" Brake Response Too Long - Service Brake (F858) ")));
        QCOMPARE(r.monitor.statusText(), QStringLiteral("System Message:  Faults Active in PLC"));
        r.sim.setFlag(858, false);
        r.ticks(2);
        QCOMPARE(r.flags(), flagList({}));
        QCOMPARE(r.monitor.statusText(), QStringLiteral("System Message:  All Faults Normal"));
        QCOMPARE(ReadAddresses(r.port.exchanges()).count(kW32Low), 0);
    }

    void faultsPendingPollAllFiveInTurn()
    {
        Rig r;
        r.noFaultsPending(false);
        r.ticks(10);
        QCOMPARE(ReadAddresses(r.port.exchanges()),
            QList<int>(
                { kF26, kW32Low, kW32High, kB38, kB37, kF858, kF26, kW32Low, kW32High, kB38, kB37, kF858 }));
        QVERIFY(r.monitor.FaultsLatched());
        QCOMPARE(r.monitor.PollIndex(), 0);
    }

    void eachFlagAndItsText_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("flag");
        QTest::addColumn<QString>("text");
        QTest::newRow("F858") << "F858" << 1 << 0 << " Brake Response Too Long - Service Brake (F858) ";
        QTest::newRow("W32 bit 2") << "W32" << 4 << 1 << " Short Can/Tear Off (F2) ";
        QTest::newRow("W32 bit 4") << "W32" << 16 << 2 << " Die Sensor Failed (F4) ";
        QTest::newRow("W32 bit 8") << "W32" << 256 << 3 << " Timing Signal Failure (F8) ";
        QTest::newRow("B38 bit 0") << "B38" << 1 << 4 << " Clutch Output No.1 Failure (F48) ";
        QTest::newRow("B38 bit 1") << "B38" << 2 << 5 << " Clutch Output No.2 Failure (F49) ";
        QTest::newRow("B37 bit 2") << "B37" << 4 << 6 << " No Ram Motion Detected with Clutch ON (F42) ";
        QTest::newRow("B37 bit 3") << "B37" << 8 << 7 << " Resolver Fault - Motion Detected at Stop (F43) ";
    }

    void eachFlagAndItsText()
    {
        QFETCH(QString, address);
        QFETCH(int, value);
        QFETCH(int, flag);
        QFETCH(QString, text);
        Rig r;
        r.noFaultsPending(false);
        if (address == QLatin1String("W32"))
            r.sim.setWord(32, quint16(value));
        else if (address == QLatin1String("B38"))
            r.sim.setByte(38, quint8(value));
        else if (address == QLatin1String("B37"))
            r.sim.setByte(37, quint8(value));
        else
            r.sim.setFlag(858, true);
        r.ticks(5); // one full rotation
        QCOMPARE(r.flags(), flagList({ flag }));
        QCOMPARE(r.monitor.FaultText()[size_t(flag)], text);
        QCOMPARE(r.monitor.SystemMessage(), alarmBlock(text));
        QCOMPARE(r.monitor.statusText(), QStringLiteral("System Message:  Faults Active in PLC"));
        // Other bits of the same entry raise nothing.
        if (address == QLatin1String("W32")) {
            r.sim.setWord(32, quint16(~(4 | 16 | 256) & 0xFFFF));
            r.ticks(5);
            QCOMPARE(r.flags(), flagList({}));
        }
    }

    void w32Value276RaisesThreeAlarmsInFlagOrder()
    {
        Rig r;
        r.sim.setWord(32, 276); // bits 2, 4 and 8; F26 is 0
        r.ticks(1); // F26 = 0: latched
        QVERIFY(r.monitor.FaultsLatched());
        QCOMPARE(r.flags(), flagList({}));
        QSignalSpy status(&r.monitor, &BackgroundMonitor::statusTextChanged);
        r.ticks(1); // W32
        QCOMPARE(r.flags(), flagList({ 1, 2, 3 }));
        QCOMPARE(r.monitor.SystemMessage(),
            QStringLiteral("***** SYSTEM ALARM *****\r\n Short Can/Tear Off (F2) \r\n\r\n"
                           "***** SYSTEM ALARM *****\r\n Die Sensor Failed (F4) \r\n\r\n"
                           "***** SYSTEM ALARM *****\r\n Timing Signal Failure (F8) \r\n\r\n"));
        QCOMPARE(status.size(), 1);
        QCOMPARE(status.at(0).at(0).toString(), QStringLiteral("System Message:  Faults Active in PLC"));
        // The panel text is sent again only when it changes.
        r.ticks(3);
        QCOMPARE(status.size(), 1);
    }

    void summaryFlagClearsLatchedFlagsButNotF858()
    {
        Rig r;
        r.sim.setFlag(858, true);
        r.sim.setWord(32, 276);
        r.sim.setByte(37, 8);
        r.ticks(5);
        QCOMPARE(r.flags(), flagList({ 0, 1, 2, 3, 7 }));
        // The faults go away and F26 says so: flags 1..7 drop at the next F26 poll
        // although W32 and B37 are not read again.
        r.sim.setWord(32, 0);
        r.sim.setByte(37, 0);
        r.noFaultsPending(true);
        const qsizetype mark = r.port.exchanges().size();
        r.ticks(1); // F26
        QCOMPARE(ReadAddresses(r.port.exchanges(), mark), QList<int>({ kF26 }));
        QCOMPARE(r.flags(), flagList({ 0 }));
        QVERIFY(!r.monitor.FaultsLatched());
        QCOMPARE(r.monitor.PollIndex(), 4);
        r.ticks(1);
        QCOMPARE(ReadAddresses(r.port.exchanges(), mark), QList<int>({ kF26, kF858 }));
        QCOMPARE(r.flags(), flagList({ 0 }));
    }

    void nonNumericReplyClearsThatEntrysFlags()
    {
        Rig r;
        r.sim.setWord(32, 276);
        r.sim.setByte(38, 3);
        r.ticks(3); // F26, W32, B38
        QCOMPARE(r.flags(), flagList({ 1, 2, 3, 4, 5 }));
        r.monitor.setReader([&](const QString& address) {
            return address == QLatin1String("W32") ? QStringLiteral("ERR") : r.rs.RSRead(address);
        });
        r.ticks(4); // B37, F858, F26, W32 ("ERR")
        QCOMPARE(r.flags(), flagList({ 4, 5 }));
        QCOMPARE(r.monitor.SystemMessage(),
            alarmBlock(QStringLiteral(" Clutch Output No.1 Failure (F48) "))
                + alarmBlock(QStringLiteral(" Clutch Output No.2 Failure (F49) ")));
    }

    void offlineKeepsTheFlags()
    {
        Rig r;
        r.sim.setWord(32, 276);
        r.ticks(2);
        QCOMPARE(r.flags(), flagList({ 1, 2, 3 }));
        r.mode.setMode(false);
        r.port.clearRecord();
        r.ticks(3);
        QVERIFY(r.port.exchanges().isEmpty()); // nothing is polled OFFLINE
        QCOMPARE(r.flags(), flagList({ 1, 2, 3 }));
        QCOMPARE(r.monitor.PollIndex(), 2);
        QCOMPARE(r.monitor.SystemMessage(), QStringLiteral("Set-up Program is Currently OFFLINE"));
        QCOMPARE(r.monitor.statusText(), QStringLiteral("System Message:  Program is Currently OFFLINE"));

        // Back ONLINE, the message shows the old flags until W32 is polled again.
        r.sim.setWord(32, 0);
        r.mode.setMode(true);
        r.ticks(1); // B38
        QCOMPARE(r.flags(), flagList({ 1, 2, 3 }));
        QCOMPARE(r.monitor.statusText(), QStringLiteral("System Message:  Faults Active in PLC"));
        QVERIFY(
            r.monitor.SystemMessage().startsWith(QStringLiteral("***** SYSTEM ALARM *****\r\n Short Can")));
        r.ticks(3); // B37, F858, F26
        QCOMPARE(r.flags(), flagList({ 1, 2, 3 }));
        r.ticks(1); // W32
        QCOMPARE(r.flags(), flagList({}));
        QCOMPARE(r.monitor.SystemMessage(),
            QStringLiteral("-- System Normal --\r\nSet-up Program is Currently ONLINE"));
    }

    void failedPollChangesNothing()
    {
        Rig r;
        r.sim.setWord(32, 276);
        r.ticks(2);
        const QString message = r.monitor.SystemMessage();
        QSignalSpy status(&r.monitor, &BackgroundMonitor::statusTextChanged);
        r.sim.setDroppedOut(true);
        r.prompter.answerMsg(MsgResult::Cancel); // the link's "Cannot Communicate" box
        r.sim.setWord(32, 0);
        r.ticks(1); // B38 fails
        QVERIFY(r.rs.CommError);
        QCOMPARE(r.monitor.PollIndex(), 3);
        QCOMPARE(r.flags(), flagList({ 1, 2, 3 }));
        QCOMPARE(r.monitor.SystemMessage(), message);
        QCOMPARE(status.size(), 0);
        // Still ONLINE with CommError set (no window has dropped the mode yet):
        // the tick moves on without a read and changes nothing.
        r.rs.OnlineMode = true;
        r.port.clearRecord();
        r.ticks(1);
        QVERIFY(r.port.exchanges().isEmpty());
        QCOMPARE(r.monitor.PollIndex(), 4);
        QCOMPARE(r.monitor.SystemMessage(), message);
        QCOMPARE(status.size(), 0);
        QCOMPARE(r.prompter.messages().size(), 1);

        // OFFLINE with CommError: the comm fault text.
        r.rs.OnlineMode = false;
        r.mode.ApplyOnlineMode();
        r.ticks(1);
        QCOMPARE(r.monitor.statusText(), QStringLiteral("System Message:  Comm Fault with K7700"));
        QCOMPARE(r.monitor.SystemMessage(), QStringLiteral("Set-up Program is Currently OFFLINE"));
        QCOMPARE(r.flags(), flagList({ 1, 2, 3 }));
        QCOMPARE(r.prompter.unexpected(), 0);
    }

    void tickInsideAWaitingOperationIsLeftOut()
    {
        Rig r;
        r.sim.setWord(32, 276);
        r.ticks(2);
        const int pollIndex = r.monitor.PollIndex();
        int beforeBytes = -1;
        int afterBytes = -1;
        r.sim.setDroppedOut(true);
        r.prompter.answerMsg(MsgResult::Cancel);
        r.prompter.duringNextMsg([&] {
            // The background timer fires inside the link's Retry/Cancel box.
            beforeBytes = int(r.port.written().size());
            r.monitor.tick();
            afterBytes = int(r.port.written().size());
        });
        (void)r.rs.RSRead(QStringLiteral("W182"));
        QCOMPARE(afterBytes, beforeBytes);
        QCOMPARE(r.monitor.PollIndex(), pollIndex);
        QCOMPARE(r.flags(), flagList({ 1, 2, 3 }));
    }

    void slowAdapterNoticeStandsInForAllNormal()
    {
        // The mode switch tells of a slow adapter once per adapter; the
        // monitor shows it in place of "All Faults Normal" for a while.
        const QString slowText = QStringLiteral("System Message:  Slow USB adapter: its latency timer is 16 "
                                                "ms, not 1 ms (see Help, Connecting)");
        QCOMPARE(BackgroundMonitor::panelSlowAdapter(16), slowText);
        Rig r;
        r.noFaultsPending(true);
        QSignalSpy told(&r.mode, &OnlineModeSwitch::slowPort);
        QObject::connect(&r.mode, &OnlineModeSwitch::slowPort, &r.monitor,
            [&r](int ms) { r.monitor.showNotice(BackgroundMonitor::panelSlowAdapter(ms)); });
        PortLatency slow;
        slow.timerMs = 16;
        slow.timerPath = QStringLiteral("/sys/dev/char/188:0/device/latency_timer");
        r.port.setLatency(slow);

        r.mode.setMode(false);
        r.mode.setMode(true);
        QCOMPARE(told.size(), 1);
        QCOMPARE(told.at(0).at(0).toInt(), 16);
        QCOMPARE(r.monitor.statusText(), slowText);
        r.ticks(BackgroundMonitor::kNoticeTicks);
        QCOMPARE(r.monitor.statusText(), slowText);
        r.ticks(1);
        QCOMPARE(r.monitor.statusText(), QStringLiteral("System Message:  All Faults Normal"));
        QVERIFY(r.monitor.notice().isEmpty());

        // The same adapter again: told once is enough. Another one is told.
        r.mode.setMode(false);
        r.mode.setMode(true);
        QCOMPARE(told.size(), 1);
        slow.timerPath = QStringLiteral("/sys/dev/char/188:1/device/latency_timer");
        r.port.setLatency(slow);
        r.mode.setMode(false);
        r.mode.setMode(true);
        QCOMPARE(told.size(), 2);
        // An adapter at 1 ms, or a port without a timer, is not slow.
        for (const int ms : { 1, -1 }) {
            slow.timerMs = ms;
            slow.timerPath = QStringLiteral("/sys/dev/char/188:%1/device/latency_timer").arg(ms + 5);
            r.port.setLatency(slow);
            r.mode.setMode(false);
            r.mode.setMode(true);
        }
        QCOMPARE(told.size(), 2);

        // A fault takes the panel at once, and the notice is over.
        QCOMPARE(r.monitor.statusText(), slowText);
        r.sim.setFlag(858, true);
        r.ticks(2); // F858 is read in one of them
        QCOMPARE(r.monitor.statusText(), QStringLiteral("System Message:  Faults Active in PLC"));
        r.sim.setFlag(858, false);
        r.ticks(2);
        QCOMPARE(r.monitor.statusText(), QStringLiteral("System Message:  All Faults Normal"));

        // OFFLINE takes it too.
        r.monitor.showNotice(slowText);
        r.mode.setMode(false);
        r.ticks(1);
        QCOMPARE(r.monitor.statusText(), QStringLiteral("System Message:  Program is Currently OFFLINE"));
        r.mode.setMode(true);
        r.ticks(1);
        QCOMPARE(r.monitor.statusText(), QStringLiteral("System Message:  All Faults Normal"));
        QCOMPARE(r.prompter.unexpected(), 0);
    }
};

QTEST_GUILESS_MAIN(TestBackgroundMonitor)
#include "tst_backgroundmonitor.moc"
