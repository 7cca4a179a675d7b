// The main display over the simulator: ONLINE and OFFLINE texts, the order of
// reads, the "888°" rule, the Messages box, "Alarm &Reset", the background
// monitor on the main window's timer and status panel 1, and a link that dies
// while the window is open.

#include "base/BasicText.h"
#include "LiveRig.h"
#include "shared/BackgroundMonitor.h"
#include "windows/frmMain.h"

#include <QApplication>
#include <QGroupBox>
#include <QHideEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>

using namespace talvek;
using namespace talvek::test;

namespace {

const QChar kDeg(0xB0);

QStringList texts(const frmMain* w)
{
    QStringList list;
    for (const QLabel* label : w->lblDisplay)
        list << label->text();
    return list;
}

// Every control the appearance enables or disables.
QList<QWidget*> appearanceControls(frmMain* w)
{
    QList<QWidget*> controls;
    for (QGroupBox* frame : w->fraDisplay)
        controls << frame;
    for (QLabel* label : w->lblDisplay)
        controls << label;
    for (QLabel* label : w->lblDescription)
        controls << label;
    controls << w->cmdAlarmReset;
    return controls;
}

bool allEnabled(frmMain* w, bool enabled)
{
    for (QWidget* control : appearanceControls(w)) {
        if (control->isEnabled() != enabled)
            return false;
    }
    return true;
}

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT

private slots:
    void controls()
    {
        LiveRig rig;
        auto* w = qobject_cast<frmMain*>(rig.w->currentChild());
        QVERIFY(w);
        QCOMPARE(w->objectName(), QStringLiteral("frmMain"));
        QStringList captions;
        for (const QGroupBox* frame : w->fraDisplay)
            captions << frame->title();
        QCOMPARE(captions,
            QStringList(
                { "Machine Speed", "Machine Position", "Good Cans", "Short Cans", "Brake Response" }));
        QCOMPARE(w->lblDescription[0]->text(), QStringLiteral("Low Speed:"));
        QCOMPARE(w->lblDescription[1]->text(), QStringLiteral("High Speed:"));
        QCOMPARE(w->fraMessages->title(), QStringLiteral("Messages"));
        QCOMPARE(w->cmdAlarmReset->text(), QStringLiteral("Alarm &Reset"));
        QVERIFY(w->findChild<QPlainTextEdit*>(QStringLiteral("txtMessageDisplay")));
        QVERIFY(w->findChild<QPushButton*>(QStringLiteral("cmdDefault")));
        QVERIFY(w->findChild<QLabel*>(QStringLiteral("lblDisplay_5")));
    }

    void offlineShowsCurrentData()
    {
        LiveRig rig;
        auto* w = qobject_cast<frmMain*>(rig.w->currentChild());
        QVERIFY(w->refreshLoop().isRunning());
        QVERIFY(allEnabled(w, false));
        QCOMPARE(w->focusWidget(), w->cmdDefault);
        CurrentData.ParamValue[0] = 1234567;
        CurrentData.ParamValue[1] = 4321;
        CurrentData.ParamValue[4] = 45;
        CurrentData.ParamValue[5] = -3;
        w->refreshLoop().runCycle();
        QCOMPARE(texts(w),
            QStringList({ "-", "-", groupedNumber(1234567), groupedNumber(4321), QStringLiteral("45") + kDeg,
                QStringLiteral("-3") + kDeg }));
        QCOMPARE(w->lblDisplay[2]->text(), QStringLiteral("1,234,567")); // the system's grouping here
        QVERIFY(allEnabled(w, false));
        QCOMPARE(rig.port.openCount(), 0);
        QVERIFY(rig.port.exchanges().isEmpty());
    }

    void onlinePassReadsInOrder()
    {
        LiveRig rig;
        auto* w = qobject_cast<frmMain*>(rig.w->currentChild());
        rig.sim.setWord(182, 250);
        rig.sim.setWord(180, 123);
        rig.sim.setD(1100, 1234567);
        rig.sim.setWord(1104, 65535);
        rig.sim.setWord(1040, 12);
        rig.sim.setWord(1042, 34);
        rig.online();
        const qsizetype mark = rig.mark();
        w->refreshLoop().runCycle();
        QCOMPARE(rig.readsSince(mark),
            wordBytes(182) + wordBytes(180) + dwordBytes(1100) + wordBytes(1104) + wordBytes(1040)
                + wordBytes(1042));
        QCOMPARE(texts(w),
            QStringList({ "250", QStringLiteral("888") + kDeg, "1,234,567", "65,535",
                QStringLiteral("12") + kDeg, QStringLiteral("34") + kDeg }));
        QVERIFY(allEnabled(w, true));
        QCOMPARE(w->focusWidget(), w->cmdDefault);
    }

    void positionAboveThirty_data()
    {
        QTest::addColumn<int>("speed");
        QTest::addColumn<QString>("position");
        QTest::newRow("31 hides the position") << 31 << QStringLiteral("888") + kDeg;
        QTest::newRow("30 shows it") << 30 << QStringLiteral("271") + kDeg;
        QTest::newRow("stopped") << 0 << QStringLiteral("271") + kDeg;
        QTest::newRow("full speed") << 400 << QStringLiteral("888") + kDeg;
    }

    void positionAboveThirty()
    {
        QFETCH(int, speed);
        QFETCH(QString, position);
        LiveRig rig;
        auto* w = qobject_cast<frmMain*>(rig.w->currentChild());
        rig.sim.setWord(182, quint16(speed));
        rig.sim.setWord(180, 271);
        rig.online();
        w->refreshLoop().runCycle();
        QCOMPARE(w->lblDisplay[0]->text(), QString::number(speed));
        QCOMPARE(w->lblDisplay[1]->text(), position);
        // The speed of the same pass decides.
        rig.sim.setWord(182, quint16(speed > 30 ? 30 : 31));
        w->refreshLoop().runCycle();
        QCOMPARE(w->lblDisplay[1]->text(),
            speed > 30 ? QStringLiteral("271") + kDeg : QStringLiteral("888") + kDeg);
    }

    void messagesFollowTheMonitor()
    {
        LiveRig rig;
        auto* w = qobject_cast<frmMain*>(rig.w->currentChild());
        QCOMPARE(rig.panel(1), QStringLiteral("System Message:"));
        rig.tick();
        QCOMPARE(rig.panel(1), QStringLiteral("System Message:  Program is Currently OFFLINE"));
        w->refreshLoop().runCycle();
        QCOMPARE(w->txtMessageDisplay->toPlainText(), QStringLiteral("Set-up Program is Currently OFFLINE"));

        rig.sim.setWord(32, 276);
        rig.online();
        rig.tick(); // F26 = 0
        rig.tick(); // W32
        QCOMPARE(rig.panel(1), QStringLiteral("System Message:  Faults Active in PLC"));
        w->refreshLoop().runCycle();
        QCOMPARE(w->txtMessageDisplay->toPlainText(),
            QStringLiteral("***** SYSTEM ALARM *****\n Short Can/Tear Off (F2) \n\n"
                           "***** SYSTEM ALARM *****\n Die Sensor Failed (F4) \n\n"
                           "***** SYSTEM ALARM *****\n Timing Signal Failure (F8) \n\n"));

        rig.sim.setWord(32, 0);
        rig.sim.setFlag(26, true);
        rig.tick(); // B38
        rig.tick(); // B37
        rig.tick(); // F858
        rig.tick(); // F26 = 1: the latched flags go
        QCOMPARE(rig.panel(1), QStringLiteral("System Message:  All Faults Normal"));
        w->refreshLoop().runCycle();
        QCOMPARE(w->txtMessageDisplay->toPlainText(),
            QStringLiteral("-- System Normal --\nSet-up Program is Currently ONLINE"));
        QCOMPARE(rig.script().unexpected(), 0);
    }

    void alarmResetWritesOneToF15()
    {
        LiveRig rig;
        auto* w = qobject_cast<frmMain*>(rig.w->currentChild());
        // OFFLINE the button is disabled and a click writes nothing: a write
        // tried on the closed port would leave CommError set and fail.
        QVERIFY(!w->cmdAlarmReset->isEnabled());
        QTest::mouseClick(w->cmdAlarmReset, Qt::LeftButton);
        QVERIFY(!rig.rs().CommError);

        rig.sim.setByte(33, 0x05); // other flags of F8..F15's byte stay as they are
        rig.online();
        w->refreshLoop().runCycle();
        QVERIFY(w->cmdAlarmReset->isEnabled());
        const qsizetype mark = rig.mark();
        QTest::mouseClick(w->cmdAlarmReset, Qt::LeftButton);
        QCOMPARE(rig.writesSince(mark), QList<WireOp>({ { true, 33, 0x85 } }));
        QVERIFY(rig.sim.flag(15));
        // The program never writes 0 to F15 itself.
        w->refreshLoop().runCycle();
        w->refreshLoop().runCycle();
        QCOMPARE(rig.writesSince(mark).size(), 1);
        QCOMPARE(rig.script().unexpected(), 0);
    }

    void presentationsFollowTheMode()
    {
        LiveRig rig;
        auto* w = qobject_cast<frmMain*>(rig.w->currentChild());
        rig.sim.setWord(182, 12);
        rig.online();
        w->refreshLoop().runCycle();
        QVERIFY(allEnabled(w, true));
        QCOMPARE(w->lblDisplay[0]->text(), QStringLiteral("12"));
        rig.w->mnuViewOffline->trigger();
        CurrentData.ParamValue[3] = 7;
        w->refreshLoop().runCycle();
        QVERIFY(allEnabled(w, false));
        QCOMPARE(texts(w),
            QStringList({ "-", "-", "0", "0", QStringLiteral("0") + kDeg, QStringLiteral("0") + kDeg }));
        QCOMPARE(rig.port.isOpen(), false);
    }

    void linkDiesWhileOpen()
    {
        LiveRig rig;
        auto* w = qobject_cast<frmMain*>(rig.w->currentChild());
        rig.online();
        rig.tick();
        w->refreshLoop().runCycle();
        rig.killLink();
        w->refreshLoop().runCycle(); // the first read fails, the pass ends
        QVERIFY(rig.rs().CommError);
        rig.tick(); // still ONLINE: the monitor changes nothing
        QCOMPARE(rig.panel(1), QStringLiteral("System Message:  All Faults Normal"));
        w->refreshLoop().step(); // the next cycle takes the program OFFLINE
        QVERIFY(!rig.rs().OnlineMode);
        QVERIFY(!rig.port.isOpen());
        QCOMPARE(rig.panel(2), QStringLiteral("OFFLINE"));
        QVERIFY(rig.w->mnuViewOffline->isChecked());
        QVERIFY(allEnabled(w, false));
        QCOMPARE(w->lblDisplay[0]->text(), QStringLiteral("-"));
        QCOMPARE(w->lblDisplay[2]->text(), QStringLiteral("0"));
        rig.tick();
        QCOMPARE(rig.panel(1), QStringLiteral("System Message:  Comm Fault with K7700"));
        w->refreshLoop().runCycle();
        QCOMPARE(w->txtMessageDisplay->toPlainText(), QStringLiteral("Set-up Program is Currently OFFLINE"));
        rig.onlyTheLinksBox();
    }

    void loopEndsWhenUnloaded()
    {
        LiveRig rig;
        QPointer<frmMain> w = qobject_cast<frmMain*>(rig.w->currentChild());
        QVERIFY(w->refreshLoop().isRunning());
        // Minimising the main window hides the child from the window
        // system's side: the display keeps polling.
        QHideEvent minimised;
        QSpontaneKeyEvent::setSpontaneous(&minimised);
        QApplication::instance()->notify(w, &minimised); // sendEvent would make it non-spontaneous
        QVERIFY(w->refreshLoop().isRunning());
        rig.w->ShowChildForm(4);
        QVERIFY(w); // deleted only once control is back in the event loop
        QVERIFY(!w->refreshLoop().isRunning());
        flushDeletes();
        QVERIFY(!w);
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
