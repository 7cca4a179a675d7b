// The simulator's end of shift (F32 moving the counts of the current shift to
// the last shift) and its alarm flags with the F26 summary, through the link
// as TALVEK uses them.

#include "Outcomes.h"
#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "K7700Sim.h"
#include "link/RSComm.h"
#include "ScriptedPrompter.h"
#include "SimLink.h"
#include "SimPort.h"

#include <QTemporaryDir>
#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {

struct Rig : SimLink
{
    Rig()
    {
        rs.OnlineMode = true;
        rs.OpenRSComm(&port);
    }
};

} // namespace

class TestK7700SimShift : public QObject
{
    Q_OBJECT

private slots:
    void brakeWearsOverAWeekAndIsServiced()
    {
        K7700Sim sim;
        sim.setWord(K7700Sim::StoppingLimitWord, 300);
        sim.setBrakeDrift(7000); // a week in 7 s of the board's time
        sim.advance(3500); // half the week, the press stopped
        QCOMPARE(sim.word(K7700Sim::BrakeLowWord), 180); // 150 + 300 * 0.2 * 0.5
        QCOMPARE(sim.word(K7700Sim::BrakeHighWord), 270); // 225 + 300 * 0.3 * 0.5
        QVERIFY(!sim.flag(K7700Sim::BrakeResponseFlag));
        sim.advance(2900); // past five sixths: over the limit
        QCOMPARE(sim.word(K7700Sim::BrakeHighWord), 307);
        QVERIFY(sim.flag(K7700Sim::BrakeResponseFlag));
        sim.advance(700); // serviced at the week's end
        QCOMPARE(sim.word(K7700Sim::BrakeHighWord), 226);
        QVERIFY(!sim.flag(K7700Sim::BrakeResponseFlag));
    }

    void endOfShiftMovesTheCounts()
    {
        Rig r;
        r.sim.setD(1100, 1234567);
        r.sim.setWord(1104, 321);
        r.sim.setD(1200, 5);
        r.sim.setWord(1204, 6);
        r.sim.setFlag(39, true); // F39 shares F32's byte and stays
        (void)r.rs.RSWrite(QStringLiteral("F32"), QStringLiteral("1"));
        QVERIFY(!r.rs.CommError);
        QCOMPARE(shown(r.rs.RSRead(QStringLiteral("D1200"))), QStringLiteral("1234567"));
        QCOMPARE(shown(r.rs.RSRead(QStringLiteral("W1204"))), QStringLiteral("321"));
        QCOMPARE(shown(r.rs.RSRead(QStringLiteral("D1100"))), QStringLiteral("0"));
        QCOMPARE(shown(r.rs.RSRead(QStringLiteral("W1104"))), QStringLiteral("0"));
        QVERIFY(r.sim.flag(39));

        // Held at 1 nothing more happens; a new shift needs a 0 first.
        r.sim.setD(1100, 10);
        (void)r.rs.RSWrite(QStringLiteral("F32"), QStringLiteral("1"));
        QCOMPARE(r.sim.getD(1200), 1234567);
        QCOMPARE(r.sim.getD(1100), 10);
        (void)r.rs.RSWrite(QStringLiteral("F32"), QStringLiteral("0"));
        QCOMPARE(r.sim.getD(1200), 1234567);
        (void)r.rs.RSWrite(QStringLiteral("F32"), QStringLiteral("1"));
        QCOMPARE(r.sim.getD(1200), 10);
        QCOMPARE(r.sim.getD(1100), 0);
        QCOMPARE(r.prompter.unexpected(), 0);
    }

    void endOfShiftSetFromOutside()
    {
        K7700Sim sim;
        sim.setWord(1104, 9);
        sim.setFlag(32, true);
        QCOMPARE(sim.word(1204), 9);
        QCOMPARE(sim.word(1104), 0);
        // Other bits of the byte do not end a shift.
        sim.setFlag(32, false);
        sim.setWord(1104, 4);
        sim.setByte(36, 0xFE);
        QCOMPARE(sim.word(1204), 9);
        QCOMPARE(sim.word(1104), 4);
    }

    void alarmsKeepTheSummaryInStep_data()
    {
        QTest::addColumn<int>("flag");
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("mask");
        QTest::addColumn<bool>("summarised");
        QTest::newRow("F2") << 2 << 32 << 4 << true;
        QTest::newRow("F4") << 4 << 32 << 16 << true;
        QTest::newRow("F8") << 8 << 33 << 1 << true;
        QTest::newRow("F42") << 42 << 37 << 4 << true;
        QTest::newRow("F43") << 43 << 37 << 8 << true;
        QTest::newRow("F48") << 48 << 38 << 1 << true;
        QTest::newRow("F49") << 49 << 38 << 2 << true;
        QTest::newRow("F858") << 858 << 139 << 4 << false;
    }

    void alarmsKeepTheSummaryInStep()
    {
        QFETCH(int, flag);
        QFETCH(int, address);
        QFETCH(int, mask);
        QFETCH(bool, summarised);
        K7700Sim sim;
        sim.updateFaultSummary();
        QVERIFY(sim.flag(26));
        sim.setAlarm(flag, true);
        QCOMPARE(sim.byte(address) & mask, mask);
        QCOMPARE(sim.flag(26), !summarised);
        sim.setAlarm(flag, false);
        QCOMPARE(sim.byte(address) & mask, 0);
        QVERIFY(sim.flag(26));
    }

    void summaryWithTwoAlarms()
    {
        K7700Sim sim;
        sim.setAlarm(2, true);
        sim.setAlarm(49, true);
        sim.setAlarm(2, false);
        QVERIFY(!sim.flag(26)); // F49 still pending
        QCOMPARE(sim.word(32) & 0x0114, 0);
        sim.setAlarm(49, false);
        QVERIFY(sim.flag(26));
    }
};

QTEST_GUILESS_MAIN(TestK7700SimShift)
#include "tst_k7700sim_shift.moc"
