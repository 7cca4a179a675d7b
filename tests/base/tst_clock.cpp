// The clocks' timed wait that lets events run: the pause is never cut short,
// and what is pending runs in it.

#include "base/Clock.h"

#include <QCoreApplication>
#include <QTest>
#include <QTimer>

using namespace talvek;

class tst_Clock : public QObject
{
    Q_OBJECT

private slots:
    void steadyWaitRunsEventsForTheWholeTime()
    {
        SteadyClock clock;
        int ran = 0;
        QMetaObject::invokeMethod(
            this, [&ran] { ++ran; }, Qt::QueuedConnection);
        QTimer::singleShot(0, this, [&ran] { ++ran; });
        const qint64 start = clock.nowMs();
        clock.waitMs(20);
        QVERIFY2(clock.nowMs() - start >= 20, "the wait ended before its time");
        QCOMPARE(ran, 2);
        clock.waitMs(0); // nothing to wait for
    }

    void fakeWaitLetsTimePassAndEventsRun()
    {
        FakeClock clock;
        int ran = 0;
        QMetaObject::invokeMethod(
            this, [&ran] { ++ran; }, Qt::QueuedConnection);
        const qint64 start = clock.nowMs();
        clock.waitMs(2000);
        QCOMPARE(clock.nowMs() - start, 2000);
        QCOMPARE(ran, 1);
        clock.sleepMs(100); // a plain sleep runs nothing
        QMetaObject::invokeMethod(
            this, [&ran] { ++ran; }, Qt::QueuedConnection);
        clock.sleepMs(100);
        QCOMPARE(ran, 1);
        QCOMPARE(clock.nowMs() - start, 2200);
    }
};

QTEST_GUILESS_MAIN(tst_Clock)
#include "tst_clock.moc"
