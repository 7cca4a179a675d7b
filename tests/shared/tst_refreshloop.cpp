// The refresh loop of the child windows: cycle order, presentations applied
// once per mode change, one read per step, CommError taking the program
// OFFLINE, no step run inside another, and a window's activation and unload
// followed from its show and hide events.

#include "Outcomes.h"
#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "K7700Sim.h"
#include "link/RSComm.h"
#include "ScriptedPrompter.h"
#include "shared/modUtility.h"
#include "shared/RefreshLoop.h"
#include "SimLinkMode.h"
#include "SimPort.h"

#include <QEvent>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>

using namespace talvek;
using namespace talvek::test;

namespace {

class RecordingClient final : public RefreshClient
{
public:
    explicit RecordingClient(RSComm& rs)
        : rs(rs)
    {
    }
    void cycleStarted() override { log << QStringLiteral("cycle"); }
    void applyOnlinePresentation() override { log << QStringLiteral("online-look"); }
    void applyOfflinePresentation() override { log << QStringLiteral("offline-look"); }
    int beginOnlinePass() override
    {
        log << QStringLiteral("online-pass");
        return addresses.size();
    }
    bool onlineItem(int index) override
    {
        if (nested)
            nested();
        const QString v = shown(rs.RSRead(addresses.at(index)));
        log << addresses.at(index) + QLatin1Char('=') + v;
        return !rs.CommError;
    }
    void offlinePass() override { log << QStringLiteral("offline-pass"); }
    void activated() override
    {
        log << (running() ? QStringLiteral("activated(running)") : QStringLiteral("activated"));
    }
    void unloaded() override
    {
        log << (running() ? QStringLiteral("unloaded(running)") : QStringLiteral("unloaded"));
    }
    bool running() const { return loop && loop->isRunning(); }

    RSComm& rs;
    QStringList addresses {QStringLiteral("W182"), QStringLiteral("W180"), QStringLiteral("B5")};
    QStringList log;
    std::function<void()> nested;
    const RefreshLoop* loop = nullptr;
};

struct Rig : SimLinkMode
{
    RecordingClient client {rs};
    RefreshLoop loop {client, rs, mode};
};

// A show or hide event as the window gets it from the program (shown, hidden,
// switched away) or from the window system (main window minimised, restored).
void sendVisibility(QObject* window, QEvent::Type type, bool spontaneous)
{
    QEvent event(type);
    if (spontaneous) {
        QSpontaneKeyEvent::setSpontaneous(&event);
        QCoreApplication::instance()->notify(window, &event); // sendEvent would clear the flag
    } else {
        QCoreApplication::sendEvent(window, &event);
    }
}

} // namespace

class TestRefreshLoop : public QObject
{
    Q_OBJECT

private slots:
    void onlineCyclesReadInOrderAndPresentOnce()
    {
        Rig r;
        r.sim.setWord(182, 250);
        r.sim.setWord(180, 90);
        r.sim.setByte(5, 7);
        r.mode.setMode(true);
        QVERIFY(r.rs.OnlineMode);
        r.loop.start();
        r.loop.runCycle();
        r.loop.runCycle();
        QCOMPARE(r.client.log,
                 QStringList({"cycle", "online-look", "online-pass", "W182=250", "W180=90", "B5=7", "cycle",
                              "online-pass", "W182=250", "W180=90", "B5=7"}));
    }

    void eachStepIsOneItem()
    {
        Rig r;
        r.mode.setMode(true);
        r.loop.start();
        r.loop.step(); // cycle start
        QCOMPARE(r.client.log.size(), 3);
        r.loop.step();
        QCOMPARE(r.client.log.size(), 4);
        QVERIFY(r.loop.inPass());
        QCOMPARE(r.loop.passIndex(), 1);
        r.loop.stop();
        r.loop.step();
        QCOMPARE(r.client.log.size(), 4); // a stopped loop does nothing
    }

    void modeChangeMidPassEndsThePass()
    {
        Rig r;
        r.mode.setMode(true);
        r.loop.start();
        r.loop.step();
        r.loop.step(); // W182
        r.mode.setMode(false);
        r.client.log.clear();
        r.loop.step(); // sees OFFLINE: pass ends without a read
        r.loop.step(); // next cycle: offline presentation and pass
        QCOMPARE(r.client.log, QStringList({"cycle", "offline-look", "offline-pass"}));
        r.client.log.clear();
        r.loop.step();
        QCOMPARE(r.client.log, QStringList({"cycle", "offline-pass"}));
    }

    void commErrorTakesTheProgramOffline()
    {
        Rig r;
        r.mode.setMode(true);
        r.loop.start();
        r.loop.step();
        r.loop.step(); // W182 read fine
        r.sim.setDroppedOut(true);
        r.prompter.answerMsg(MsgResult::Cancel); // "Cannot Communicate ..." box of the link
        r.loop.step();                           // W180 fails after 5 s and the box
        QVERIFY(r.rs.CommError);
        QVERIFY(!r.loop.inPass());
        r.client.log.clear();
        r.loop.step(); // next cycle
        QVERIFY(!r.rs.OnlineMode);
        QVERIFY(!r.port.isOpen());
        QCOMPARE(r.client.log, QStringList({"cycle", "offline-look", "offline-pass"}));
        QCOMPARE(r.prompter.messages().size(), 1);
    }

    void aStepDueInsideAnotherIsPutOff()
    {
        Rig r;
        r.mode.setMode(true);
        r.loop.start();
        r.loop.step();
        int inner = 0;
        r.client.nested = [&] {
            ++inner;
            r.client.nested = nullptr;
            r.loop.step(); // as a timer would inside a modal box
        };
        r.loop.step();
        QCOMPARE(inner, 1);
        // Only the outer item ran.
        QCOMPARE(r.client.log.mid(3), QStringList({"W182=0"}));
        QCOMPARE(r.loop.passIndex(), 1);
    }

    void withoutAutoStepOnlyStepMovesTheLoop()
    {
        Rig r;
        r.loop.setAutoStep(false);
        r.loop.start();
        QTest::qWait(150);
        QVERIFY(r.client.log.isEmpty());
        r.loop.step();
        QCOMPARE(r.client.log, QStringList({"cycle", "offline-look", "offline-pass"}));
        QTest::qWait(150);
        QCOMPARE(r.client.log.size(), 3);
        // Back on, the loop runs by itself again.
        r.loop.setAutoStep(true);
        QTRY_VERIFY(r.client.log.size() > 3);
    }

    void offlineRestsBetweenPasses()
    {
        Rig r;
        r.loop.start();
        r.loop.step();
        QCOMPARE(r.client.log, QStringList({"cycle", "offline-look", "offline-pass"}));
        QVERIFY(r.loop.offlineIntervalMs() >= 100);
        // Driven by the event loop, an idle offline loop runs only a few passes in 250 ms.
        r.client.log.clear();
        QTest::qWait(250);
        QVERIFY2(r.client.log.count(QStringLiteral("offline-pass")) <= 3, qPrintable(r.client.log.join(',')));
    }

    void followedWindowActivatesAndUnloads_data()
    {
        QTest::addColumn<bool>("presentMode");
        QTest::addColumn<bool>("online");
        QTest::addColumn<QStringList>("atActivation");
        QTest::addColumn<QStringList>("firstCycle");
        QTest::addColumn<bool>("onlinePresented");
        QTest::addColumn<bool>("offlinePresented");

        QTest::newRow("loop presents, offline")
            << false << false << QStringList({ "activated" })
            << QStringList({ "cycle", "offline-look", "offline-pass" }) << false << false;
        QTest::newRow("loop presents, online")
            << false << true << QStringList({ "activated" })
            << QStringList({ "cycle", "online-look", "online-pass", "W182=0", "W180=0", "B5=0" }) << false
            << false;
        QTest::newRow("mode presented, offline")
            << true << false << QStringList({ "activated", "offline-look" })
            << QStringList({ "cycle", "offline-pass" }) << false << true;
        QTest::newRow("mode presented, online")
            << true << true << QStringList({ "activated", "online-look" })
            << QStringList({ "cycle", "online-pass", "W182=0", "W180=0", "B5=0" }) << true << false;
    }

    void followedWindowActivatesAndUnloads()
    {
        QFETCH(bool, presentMode);
        QFETCH(bool, online);
        QFETCH(QStringList, atActivation);
        QFETCH(QStringList, firstCycle);
        QFETCH(bool, onlinePresented);
        QFETCH(bool, offlinePresented);

        Rig r;
        r.client.loop = &r.loop;
        r.loop.setAutoStep(false);
        r.mode.setMode(online);
        QCOMPARE(r.rs.OnlineMode, online);
        QObject window;
        r.loop.followVisibility(&window,
            presentMode ? RefreshLoop::Activation::PresentMode : RefreshLoop::Activation::LoopPresents);
        QVERIFY(!r.loop.isActivated());
        QVERIFY(!r.loop.isRunning());

        // Shown by the program: activated before the loop starts.
        sendVisibility(&window, QEvent::Show, false);
        QCOMPARE(r.client.log, atActivation);
        QVERIFY(r.loop.isActivated());
        QVERIFY(r.loop.isRunning());
        QCOMPARE(r.loop.onlinePresented(), onlinePresented);
        QCOMPARE(r.loop.offlinePresented(), offlinePresented);
        r.client.log.clear();
        r.loop.runCycle();
        QCOMPARE(r.client.log, firstCycle);

        // Another show while active, and the window system's hide and show
        // (minimised, restored): the loop keeps running, no hook runs.
        r.client.log.clear();
        sendVisibility(&window, QEvent::Show, false);
        sendVisibility(&window, QEvent::Hide, true);
        QVERIFY(r.loop.isRunning());
        sendVisibility(&window, QEvent::Show, true);
        QVERIFY(r.client.log.isEmpty());
        QVERIFY(r.loop.isActivated());
        QVERIFY(r.loop.isRunning());

        // Hidden by the program: unloaded after the loop has stopped, once.
        sendVisibility(&window, QEvent::Hide, false);
        QCOMPARE(r.client.log, QStringList({ "unloaded" }));
        QVERIFY(!r.loop.isActivated());
        QVERIFY(!r.loop.isRunning());
        sendVisibility(&window, QEvent::Hide, false);
        QCOMPARE(r.client.log, QStringList({ "unloaded" }));

        // A window system's show does not activate an unloaded window; the
        // program's next show does.
        sendVisibility(&window, QEvent::Show, true);
        QVERIFY(!r.loop.isRunning());
        r.client.log.clear();
        sendVisibility(&window, QEvent::Show, false);
        QCOMPARE(r.client.log, atActivation);
        QVERIFY(r.loop.isRunning());
    }

    void followsOnlyItsWindow()
    {
        Rig r;
        r.client.loop = &r.loop;
        r.loop.setAutoStep(false);
        QObject first;
        QObject second;
        r.loop.followVisibility(&first, RefreshLoop::Activation::LoopPresents);
        r.loop.followVisibility(&second, RefreshLoop::Activation::LoopPresents);
        sendVisibility(&first, QEvent::Show, false);
        QVERIFY(r.client.log.isEmpty());
        QVERIFY(!r.loop.isRunning());
        sendVisibility(&second, QEvent::Show, false);
        QCOMPARE(r.client.log, QStringList({ "activated" }));
        sendVisibility(&first, QEvent::Hide, false);
        QVERIFY(r.loop.isRunning());
        // The window goes before its loop: nothing is left behind.
        {
            QObject shortLived;
            r.loop.followVisibility(&shortLived, RefreshLoop::Activation::LoopPresents);
        }
        sendVisibility(&second, QEvent::Hide, false);
        QVERIFY(r.loop.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestRefreshLoop)
#include "tst_refreshloop.moc"
