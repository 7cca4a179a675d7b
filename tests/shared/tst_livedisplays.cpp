// The logic of the three read-only displays without a window, on the
// simulator: what the main display, the I/O states and the shift counters
// publish from their passes, and what they do when the link dies. The order
// of their reads is asserted with their windows.

#include "LogicRig.h"
#include "shared/BackgroundMonitor.h"
#include "shared/IoStates.h"
#include "shared/MainDisplay.h"
#include "shared/modUtility.h"
#include "shared/RefreshLoop.h"
#include "shared/ShiftCounters.h"

#include <QSignalSpy>
#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {

// A display's logic with its loop, stepped by the test alone.
template <class Logic> struct DisplayRig : LogicLink, FreshMachineData
{
    template <class... Args>
    explicit DisplayRig(Args&... args)
        : logic(rs, args...)
    {
        loop.setAutoStep(false);
        loop.start();
    }
    Logic logic;
    RefreshLoop loop { logic, rs, mode };
};

struct ShiftRig : DisplayRig<ShiftCounters>
{
    ShiftRig()
        : DisplayRig(prompter)
    { }
};

struct MainRig : DisplayRig<MainDisplay>
{
    BackgroundMonitor monitor { rs };
    MainRig()
        : DisplayRig(monitor)
    { }
};

} // namespace

class tst_LiveDisplays : public QObject
{
    Q_OBJECT

private slots:
    void mainDisplayPublishes();
    void ioStatesDecodeTheirItems();
    void shiftCountersAndTheDyingLink();
};

// Values read and stored, the position hidden by the speed of the same pass,
// and the system message only when it changes.
void tst_LiveDisplays::mainDisplayPublishes()
{
    MainRig r;
    QSignalSpy message(&r.logic, &MainDisplay::systemMessageChanged);
    CurrentData.ParamValue[1] = 4321;
    CurrentData.ParamValue[5] = -3;
    r.loop.runCycle();
    const MainDisplayState& state = r.logic.state();
    QVERIFY(!state.enabled);
    QCOMPARE(state.value, (std::array<QString, 6> { QString(), QString(), "0", "4321", "0", "-3" }));
    QCOMPARE(message.size(), 0); // nothing composed yet

    r.monitor.InitFaultTable();
    r.monitor.tick();
    r.loop.runCycle();
    r.loop.runCycle();
    QCOMPARE(message.size(), 1);
    QCOMPARE(state.systemMessage, QStringLiteral("Set-up Program is Currently OFFLINE"));

    r.sim.setWord(182, 31);
    r.sim.setWord(180, 271);
    r.mode.setMode(true);
    r.loop.runCycle();
    QVERIFY(state.enabled);
    QCOMPARE(state.value[0], QStringLiteral("31"));
    QCOMPARE(state.value[1], QStringLiteral("271"));
    QVERIFY(state.positionHidden);
    r.sim.setWord(182, 30);
    r.loop.runCycle();
    QVERIFY(!state.positionHidden);

    r.mode.setMode(false);
    r.loop.runCycle();
    QVERIFY(!state.enabled);
    QCOMPARE(state.value[0], QString()); // "-": nothing read OFFLINE
}

// Inputs are ON only at exactly 1; the groups publish their sixteen bits.
void tst_LiveDisplays::ioStatesDecodeTheirItems()
{
    DisplayRig<IoStates> r;
    QSignalSpy read(&r.logic, &IoStates::itemRead);
    r.sim.setFlag(80, true);
    r.sim.setWord(162, 513);
    r.sim.setWord(100, 0x8001);
    r.sim.setWord(110, 0xFFFF);
    r.logic.presentAtLoad(r.loop);
    QVERIFY(!r.logic.state().online);
    r.loop.runCycle();
    QCOMPARE(read.size(), 0); // OFFLINE nothing is read
    r.mode.setMode(true);
    r.loop.runCycle();
    const IoStatesState& state = r.logic.state();
    QVERIFY(state.online);
    QCOMPARE(read.size(), IoStatesState::kItemCount);
    QCOMPARE(state.input, (std::array<bool, 2> { true, false }));
    QCOMPARE(state.value[2], QStringLiteral("513"));
    QCOMPARE(state.bits, (std::array<quint16, 3> { 0, 0x8001, 0xFFFF }));
}

// The counters OFFLINE and ONLINE; the end-of-shift signal goes out only
// while the link is sound, and a failed read ends the pass.
void tst_LiveDisplays::shiftCountersAndTheDyingLink()
{
    ShiftRig r;
    CurrentData.ParamValue[2] = 77;
    r.loop.runCycle();
    QCOMPARE(r.logic.state().count, (std::array<QString, 4> { "0", "0", "77", "0" }));
    r.sim.setD(1100, 2500000);
    r.mode.setMode(true);
    r.loop.runCycle();
    QVERIFY(r.logic.state().enabled);
    QCOMPARE(r.logic.state().count, (std::array<QString, 4> { "2500000", "0", "0", "0" }));

    r.dieAtNextPass(r.loop);
    QVERIFY(r.rs.CommError);
    QVERIFY(!r.loop.inPass());
    const qsizetype m = r.mark();
    r.logic.endOfShiftPressed();
    r.logic.endOfShiftReleased();
    QCOMPARE(r.mark(), m);
    r.loop.step(); // OFFLINE
    QVERIFY(!r.rs.OnlineMode);
    QVERIFY(!r.logic.state().enabled);
    QCOMPARE(r.logic.state().count[2], QStringLiteral("77"));
    r.onlyTheLinksBox();
}

QTEST_GUILESS_MAIN(tst_LiveDisplays)
#include "tst_livedisplays.moc"
