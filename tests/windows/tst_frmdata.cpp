// The shift data window over the simulator: counters live and from
// CurrentData, digit grouping in the window but not in the export, the
// momentary "Transfer Data" button, and a link that dies while it is open.

#include "base/BasicText.h"
#include "LiveRig.h"
#include "windows/frmData.h"

#include <QTimer>

#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {

constexpr int kF32Byte = 32 + 32 / 8; // 36, bit 0

QStringList texts(const frmData* w)
{
    QStringList list;
    for (const QLabel* label : w->lblData)
        list << label->text();
    return list;
}

bool allEnabled(frmData* w, bool enabled)
{
    QList<QWidget*> controls { w->cmdEndofShift };
    for (QGroupBox* frame : w->fraShiftData)
        controls << frame;
    for (QLabel* label : w->lblData)
        controls << label;
    for (QLabel* label : w->lblDescription)
        controls << label;
    for (QWidget* control : controls) {
        if (control->isEnabled() != enabled)
            return false;
    }
    return true;
}

} // namespace

class tst_frmData : public QObject
{
    Q_OBJECT

private slots:
    void controls()
    {
        LiveRig rig;
        auto* w = rig.show<frmData>(4);
        QVERIFY(w);
        QCOMPARE(rig.w->currentChildIndex(), 4);
        QStringList frames;
        for (const QGroupBox* frame : w->fraShiftData)
            frames << frame->title();
        QCOMPARE(frames, QStringList({ "Current Shift", "Last Shift", "End of Shift" }));
        QStringList captions;
        for (const QLabel* label : w->lblDescription)
            captions << label->text();
        QCOMPARE(captions,
            QStringList(
                { "Total Good Cans:", "Total Short Cans:", "Total Good Cans:", "Total Short Cans:" }));
        // No access key: Alt+R would promise what the keyboard never does.
        QCOMPARE(w->cmdEndofShift->text(), QStringLiteral("Transfer Data"));
        QCOMPARE(w->cmdEndofShift->parentWidget(), w->fraShiftData[2]);
        QVERIFY(w->findChild<QLabel*>(QStringLiteral("lblData_3")));
    }

    void offlineShowsCurrentDataGroupedAndExportsWithout()
    {
        LiveRig rig;
        auto* w = rig.show<frmData>(4);
        QCOMPARE(texts(w), QStringList({ "-", "-", "-", "-" }));
        QVERIFY(allEnabled(w, false));
        CurrentData.ParamValue[0] = 1234567;
        CurrentData.ParamValue[1] = 999;
        CurrentData.ParamValue[2] = 65535;
        CurrentData.ParamValue[3] = 0;
        w->refreshLoop().runCycle();
        QCOMPARE(texts(w), QStringList({ groupedNumber(1234567), "999", groupedNumber(65535), "0" }));
        QCOMPARE(w->lblData[0]->text(), QStringLiteral("1,234,567"));
        QVERIFY(allEnabled(w, false));

        // The same counter in the export file: no grouping.
        const QString path = rig.dir.filePath(QStringLiteral("export.txt"));
        rig.script().answerFile(path);
        rig.w->mnuFileExport->trigger();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
            QByteArray("untitled\r\nDate: \r\n \r\nCurrent Shift Data:\r\n"
                       "(Total Good Cans, Total Short Cans)\r\n 1234567\r\n 999\r\n \r\n"
                       "Last Shift Data:\r\n(Total Good Cans, Total Short Cans)\r\n"
                       " 65535\r\n 0\r\n"));
        QCOMPARE(rig.w->globals().gFileExportPath, path);
        QVERIFY(rig.script().messages().isEmpty());
        QVERIFY(rig.port.exchanges().isEmpty());
    }

    void exportCancelledIsSilent()
    {
        LiveRig rig;
        rig.script().answerFile(std::nullopt);
        rig.w->mnuFileExport->trigger();
        QCOMPARE(rig.script().calls().size(), 1);
        QCOMPARE(rig.script().unexpected(), 0);
        QVERIFY(rig.w->globals().gFileExportPath.isEmpty());
    }

    void onlinePassReadsTheFourCounters()
    {
        LiveRig rig;
        auto* w = rig.show<frmData>(4);
        rig.sim.setD(1100, 1234567);
        rig.sim.setWord(1104, 42);
        rig.sim.setD(1200, 655359999);
        rig.sim.setWord(1204, 1000);
        rig.online();
        w->refreshLoop().step(); // the cycle starts: ONLINE appearance, nothing read yet
        QVERIFY(allEnabled(w, true));
        QCOMPARE(texts(w), QStringList({ "-", "-", "-", "-" }));
        const qsizetype mark = rig.mark();
        while (w->refreshLoop().inPass())
            w->refreshLoop().step();
        QCOMPARE(
            rig.readsSince(mark), dwordBytes(1100) + wordBytes(1104) + dwordBytes(1200) + wordBytes(1204));
        QCOMPARE(texts(w), QStringList({ "1,234,567", "42", "655,359,999", "1,000" }));
        QVERIFY(rig.writesSince(0).isEmpty());
    }

    // The end of the shift is asked first (default No). No writes nothing;
    // Yes writes 1, and the hold that stands for the click writes the 0.
    void transferDataAsksFirst_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::newRow("left") << Qt::LeftButton;
        QTest::newRow("right") << Qt::RightButton;
    }

    void transferDataAsksFirst()
    {
        QFETCH(Qt::MouseButton, button);
        LiveRig rig;
        auto* w = rig.show<frmData>(4);
        rig.sim.setByte(kF32Byte, 0x80); // another flag of that byte is left alone
        rig.sim.setD(1100, 2500000);
        rig.sim.setWord(1104, 17);
        rig.online();
        w->refreshLoop().runCycle();
        auto* hold = w->findChild<QTimer*>(QStringLiteral("endOfShiftHold"));
        QVERIFY(hold);

        qsizetype mark = rig.mark();
        rig.script().answerMsg(MsgResult::No);
        QTest::mouseClick(w->cmdEndofShift, button);
        const auto asked = rig.script().messages();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].text,
            QStringLiteral("End the current shift?\r\n\r\nThe controller moves the counts of the current shift "
                           "to the last shift and starts the current shift again from 0.\r\n\r\nDo you wish "
                           "to continue?"));
        QCOMPARE(asked[0].title, QStringLiteral("End of Shift"));
        QCOMPARE(asked[0].buttons, MsgButtons::YesNo);
        QCOMPARE(asked[0].defaultButton, MsgDefault::Button2);
        QVERIFY(rig.writesSince(mark).isEmpty());
        QVERIFY(!hold->isActive());

        rig.script().answerMsg(MsgResult::Yes);
        QTest::mouseClick(w->cmdEndofShift, button);
        QCOMPARE(rig.writesSince(mark), QList<WireOp>({ { true, kF32Byte, 0x81 } }));
        // Held: F32 stays 1 while the display keeps polling, then goes back.
        QVERIFY(hold->isActive());
        w->refreshLoop().runCycle();
        QCOMPARE(rig.writesSince(mark).size(), 1);
        QMetaObject::invokeMethod(hold, "timeout", Qt::DirectConnection);
        QCOMPARE(
            rig.writesSince(mark), QList<WireOp>({ { true, kF32Byte, 0x81 }, { true, kF32Byte, 0x80 } }));
        QVERIFY(!rig.sim.flag(32));
        w->refreshLoop().runCycle();
        QCOMPARE(texts(w), QStringList({ "0", "0", "2,500,000", "17" }));
        QCOMPARE(rig.script().unexpected(), 0);
    }

    void endOfShiftTakenDespiteSpoiltEchoes()
    {
        LiveRig rig;
        auto* w = rig.show<frmData>(4);
        rig.sim.setD(1100, 2500000);
        rig.online();
        w->refreshLoop().runCycle();
        // F32 = 1 reads B36 (2 bytes), handshakes (2), and its first address
        // byte's echo goes wrong (byte 4): the board heard it, so the link
        // sends the rest of the triple, then the write once more with the
        // byte read the first time. Nothing else is stored; no box.
        rig.sim.setByte(0xFF, 0x11);
        rig.sim.corruptReplyTo(4);
        rig.script().answerMsg(MsgResult::Yes); // end the shift
        QTest::mousePress(w->cmdEndofShift, Qt::LeftButton);
        QCOMPARE(rig.script().messages().size(), 1); // the question, no alert
        QVERIFY(rig.sim.flag(32));
        QCOMPARE(rig.sim.byte(0xFF), quint8(0x11));
        auto* hold = w->findChild<QTimer*>(QStringLiteral("endOfShiftHold"));
        QVERIFY(hold);
        QMetaObject::invokeMethod(hold, "timeout", Qt::DirectConnection);
        QTest::mouseRelease(w->cmdEndofShift, Qt::LeftButton);
        w->refreshLoop().runCycle();
        QVERIFY(!rig.sim.flag(32));
        QCOMPARE(rig.sim.getD(1200), 2500000); // the shift ended
        QVERIFY(rig.rs().OnlineMode);
        QCOMPARE(rig.script().unexpected(), 0);
    }

    void transferDataFromTheKeyboardWritesNothing()
    {
        LiveRig rig;
        auto* w = rig.show<frmData>(4);
        rig.online();
        w->refreshLoop().runCycle();
        const qsizetype mark = rig.mark();
        int clicks = 0;
        connect(w->cmdEndofShift, &QPushButton::clicked, this, [&] { ++clicks; });
        w->cmdEndofShift->setFocus();
        QTest::keyClick(w->cmdEndofShift, Qt::Key_Space);
        QCOMPARE(clicks, 1); // the button was activated from the keyboard
        QCOMPARE(rig.mark(), mark);
    }

    void greyedTransferDataDoesNothing()
    {
        LiveRig rig;
        auto* w = rig.show<frmData>(4);
        w->refreshLoop().runCycle(); // OFFLINE
        QVERIFY(!w->cmdEndofShift->isEnabled());
        QTest::mousePress(w->cmdEndofShift, Qt::LeftButton);
        QTest::mouseRelease(w->cmdEndofShift, Qt::LeftButton);
        // No write was tried on the closed link: no comm fault, no mode switch.
        QVERIFY(!rig.rs().CommError);
        rig.tick();
        QVERIFY(rig.panel(1) != QStringLiteral("System Message:  Comm Fault with K7700"));
        QCOMPARE(rig.panel(2), QStringLiteral("OFFLINE"));
        QCOMPARE(rig.script().calls().size(), 0);
    }

    void linkDiesWhileOpen()
    {
        LiveRig rig;
        auto* w = rig.show<frmData>(4);
        rig.sim.setD(1100, 5000);
        CurrentData.ParamValue[0] = 77;
        rig.online();
        w->refreshLoop().runCycle();
        QCOMPARE(w->lblData[0]->text(), QStringLiteral("5,000"));
        rig.killLink();
        w->refreshLoop().runCycle();
        QVERIFY(rig.rs().CommError);
        // The end-of-shift writes are skipped while CommError is set (a
        // write tried then would fail at once, without touching the port).
        rig.port.clearRecord();
        QTest::mousePress(w->cmdEndofShift, Qt::LeftButton);
        QTest::mouseRelease(w->cmdEndofShift, Qt::LeftButton);
        QVERIFY(rig.port.written().isEmpty());
        w->refreshLoop().runCycle(); // OFFLINE: appearance and CurrentData
        QVERIFY(!rig.rs().OnlineMode);
        QVERIFY(!rig.port.isOpen());
        QCOMPARE(rig.panel(2), QStringLiteral("OFFLINE"));
        QVERIFY(allEnabled(w, false));
        QCOMPARE(texts(w), QStringList({ "77", "0", "0", "0" }));
        rig.tick();
        QCOMPARE(rig.panel(1), QStringLiteral("System Message:  Comm Fault with K7700"));
        rig.onlyTheLinksBox();
    }

    void loopEndsWhenUnloaded()
    {
        LiveRig rig;
        QPointer<frmData> w = rig.show<frmData>(4);
        QVERIFY(w->refreshLoop().isRunning());
        rig.w->ShowChildForm(5);
        QVERIFY(!w->refreshLoop().isRunning());
        flushDeletes();
        QVERIFY(!w);
    }
};

QTEST_MAIN(tst_frmData)
#include "tst_frmdata.moc"
