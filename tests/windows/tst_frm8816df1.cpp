// The DF1 interface board panel on the in-process simulator: the online pass
// and what it shows, the driver warning, the presentations, the PLC type
// combo and the two numeric fields; and the panel as child 2 of the main
// window.

#include "MainWindowRig.h"
#include "shared/MachineData.h"
#include "shared/modUtility.h"
#include "SimLinkMode.h"
#include "windows/frm8816DF1.h"
#include "windows/NumericField.h"
#include "windows/UpDown.h"
#include "WireOps.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

using namespace talvek;
using namespace talvek::test;

namespace {

const QString DriverWarning
    = QStringLiteral("The DF1 Serial Communications Driver is Not Enabled in the K7700.");

struct DF1Rig : SimLinkMode
{
    std::unique_ptr<frm8816DF1> w;

    DF1Rig()
    {
        resetMachineDataGlobals();
        InitMachineData(1, 0, 0);
        sim.setFlag(152, true);
        w = std::make_unique<frm8816DF1>(prompter, rs, mode);
        w->refreshLoop().setAutoStep(false);
        w->resize(900, 640);
    }
    ~DF1Rig()
    {
        w.reset();
        if (port.isOpen())
            port.close();
    }
    bool show()
    {
        w->show();
        w->activateWindow();
        return QTest::qWaitForWindowActive(w.get());
    }
    void cycle() { w->refreshLoop().runCycle(); }
    QString display(int i) const { return w->lblDisplay[size_t(i)]->text(); }
    qsizetype mark() const { return port.exchanges().size(); }
};

void settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents();
}

} // namespace

class tst_frm8816DF1 : public QObject
{
    Q_OBJECT

private slots:
    void controls();
    void onlinePassReadsAndShows();
    void driverWarningOnEverySwitchToOnline();
    void offlineWithoutEditingShowsDashes();
    void offlineEditingEnablesTheSetupFrame();
    void plcTypeChoiceWrites();
    void comboRefreshIsNotAChoice();
    void numericFields();
    void focusBeforeTheFirstPresentationIsNoEntry();
    void windowMenuItemHiddenButWindowWorks();
};

void tst_frm8816DF1::controls()
{
    DF1Rig r;
    frm8816DF1& w = *r.w;
    QCOMPARE(w.windowTitle(), QStringLiteral("R8816DF1"));
    QCOMPARE(w.fraSetup[0]->title(), QStringLiteral("R8816-DF1 Communication Status"));
    QCOMPARE(w.fraSetup[1]->title(), QStringLiteral("A/B Link Layer Status"));
    QCOMPARE(w.fraSetup[2]->title(), QStringLiteral("DF1 Communication Set-up"));
    const QStringList captions { "R8816 Configuration Status:", "Transmit Data Status",
        "Transmit Data Status (prev.):", "Current Transaction:", "Active Command:",
        "Number of BYTES Received:", "Received Command BIT Status", "Status:",
        "Current Transaction Received:", "&PLC Type:", "&Destination Node:", "Desination File &Number:" };
    const QList<int> frame { 0, 0, 0, 0, 0, 0, 0, 1, 1, 2, 2, 2 };
    for (int i = 0; i < 12; ++i) {
        QCOMPARE(w.lblDescription[size_t(i)]->text(), captions[i]);
        QVERIFY(w.fraSetup[size_t(frame[i])]->isAncestorOf(w.lblDescription[size_t(i)]));
        if (i < 9) {
            QCOMPARE(r.display(i), QStringLiteral("0"));
            QVERIFY(w.fraSetup[size_t(frame[i])]->isAncestorOf(w.lblDisplay[size_t(i)]));
        }
    }
    QCOMPARE(w.cboSetup->count(), 2);
    QCOMPARE(w.cboSetup->itemText(0), QStringLiteral("PLC5"));
    QCOMPARE(w.cboSetup->itemText(1), QStringLiteral("SLC500"));
    QCOMPARE(w.lblDescription[9]->buddy(), w.cboSetup);
    QCOMPARE(w.lblDescription[10]->buddy(), w.txtSetup[0]);
    QCOMPARE(w.lblDescription[11]->buddy(), w.txtSetup[1]);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(w.updSetup[size_t(i)]->Min(), 0);
        QCOMPARE(w.updSetup[size_t(i)]->Max(), 255);
        QCOMPARE(w.field(i).entry().options().title, QStringLiteral("R8816DF1 Set-up"));
        QCOMPARE(w.field(i).entry().options().holder, ValueHolder::Text);
        QVERIFY(!w.field(i).entry().options().degrees);
    }
    QCOMPARE(w.cmdDefault->text(), QStringLiteral("-"));
}

void tst_frm8816DF1::onlinePassReadsAndShows()
{
    DF1Rig r;
    K7700Sim::DF1Board board;
    board.configStatus = 34;
    board.transmitStatus = 2;
    board.previousTransmitStatus = 7;
    board.transaction = 1234;
    board.activeCommand = 1;
    board.bytesReceived = 17;
    board.replyReceived = true;
    board.linkStatus = 0;
    board.transactionReceived = 1233;
    board.slc500 = true;
    board.destinationNode = 9;
    board.destinationFile = 27;
    r.sim.setDF1Board(board);
    QVERIFY(r.show());
    r.mode.setMode(true);
    const qsizetype m = r.mark();
    r.cycle();
    // F152 for the presentation (flag byte 51), then the twelve addresses in order.
    QCOMPARE(ReadAddresses(r.port.exchanges(), m),
        QList<int>(
            { 51, 4023, 4021, 4022, 4016, 4017, 4014, 4026, 4302, 4303, 4304, 4305, 4001, 4050, 4011 }));
    QCOMPARE(r.display(0), QStringLiteral("(34) Invalid Slot ADD"));
    QCOMPARE(r.display(1), QStringLiteral("(2) Done"));
    QCOMPARE(r.display(2), QStringLiteral("(7) Unknown Status"));
    QCOMPARE(r.display(3), QStringLiteral("1234"));
    QCOMPARE(r.display(4), QStringLiteral("Write"));
    QCOMPARE(r.display(5), QStringLiteral("17"));
    QCOMPARE(r.display(6), QStringLiteral("Reply"));
    QCOMPARE(r.display(7), QStringLiteral("(00) Success - No Error"));
    QCOMPARE(r.display(8), QStringLiteral("1233"));
    QCOMPARE(r.w->cboSetup->currentIndex(), 1);
    QVERIFY(r.w->comboReady());
    QCOMPARE(r.w->txtSetup[0]->text(), QStringLiteral("9"));
    QCOMPARE(r.w->txtSetup[1]->text(), QStringLiteral("27"));
    QVERIFY(r.prompter.calls().isEmpty());
    // The online pass does not touch the working data, nor write anything.
    QCOMPARE(CurrentData.ParamValue[15], 0);
    QCOMPARE(CurrentData.ParamValue[16], 1);
    QVERIFY(Writes(r.port.exchanges(), m).isEmpty());

    r.sim.setByte(4302, 0x00);
    r.sim.setByte(4014, 0);
    r.sim.setByte(4023, 7);
    r.cycle();
    QCOMPARE(r.display(6), QStringLiteral("Command"));
    QCOMPARE(r.display(4), QStringLiteral("Read"));
    QCOMPARE(r.display(0), QStringLiteral("(7) Unknown Status"));
}

void tst_frm8816DF1::driverWarningOnEverySwitchToOnline()
{
    DF1Rig r;
    r.sim.setFlag(152, false);
    QVERIFY(r.show());
    r.cycle(); // offline
    QVERIFY(r.prompter.calls().isEmpty());
    for (int round = 1; round <= 2; ++round) {
        r.mode.setMode(true);
        r.cycle();
        r.cycle();
        QCOMPARE(r.prompter.messages().size(), round);
        const PromptCall call = r.prompter.messages().last();
        QCOMPARE(call.text, DriverWarning);
        QCOMPARE(call.title, QStringLiteral("WARNING!!"));
        QCOMPARE(call.icon, MsgIcon::Exclamation);
        QCOMPARE(call.buttons, MsgButtons::OK);
        // The panel stays usable.
        QVERIFY(r.w->txtSetup[0]->isEnabled());
        QVERIFY(r.w->cboSetup->isEnabled());
        r.mode.setMode(false);
        r.cycle();
    }
    // With the driver enabled there is no warning.
    r.sim.setFlag(152, true);
    r.mode.setMode(true);
    r.cycle();
    QCOMPARE(r.prompter.messages().size(), 2);
}

void tst_frm8816DF1::offlineWithoutEditingShowsDashes()
{
    DF1Rig r;
    QVERIFY(r.show());
    r.cycle();
    frm8816DF1& w = *r.w;
    for (int i = 0; i < 9; ++i) {
        QCOMPARE(r.display(i), QStringLiteral("-"));
        QVERIFY(!w.lblDisplay[size_t(i)]->isEnabled());
    }
    for (QGroupBox* f : w.fraSetup)
        QVERIFY(!f->isEnabled());
    for (QLabel* l : w.lblDescription)
        QVERIFY(!l->isEnabled());
    QVERIFY(!w.cboSetup->isEnabled());
    QVERIFY(!w.txtSetup[0]->isEnabled());
    QVERIFY(!w.updSetup[1]->isEnabled());
    // The settings still show the working data.
    QCOMPARE(w.cboSetup->currentIndex(), 0);
    QCOMPARE(w.txtSetup[0]->text(), QStringLiteral("1"));
    QCOMPARE(w.txtSetup[1]->text(), QStringLiteral("10"));
    QCOMPARE(r.mark(), 0);
    // Nothing can be edited: the combo ignores keys, the arrows do nothing.
    QTest::mouseClick(w.updSetup[0]->upButton(), Qt::LeftButton);
    QCOMPARE(CurrentData.ParamValue[16], 1);
}

void tst_frm8816DF1::offlineEditingEnablesTheSetupFrame()
{
    DF1Rig r;
    QVERIFY(r.show());
    r.cycle();
    OfflineEditing = true;
    r.cycle(); // the pass notices
    r.cycle(); // the presentation is applied again
    frm8816DF1& w = *r.w;
    QVERIFY(w.fraSetup[2]->isEnabled());
    QVERIFY(!w.fraSetup[0]->isEnabled());
    QVERIFY(!w.fraSetup[1]->isEnabled());
    for (int i = 0; i < 12; ++i)
        QCOMPARE(w.lblDescription[size_t(i)]->isEnabled(), i >= 9);
    QVERIFY(w.cboSetup->isEnabled());
    QVERIFY(w.txtSetup[0]->isEnabled());
    QVERIFY(w.updSetup[1]->isEnabled());
    QCOMPARE(r.display(0), QStringLiteral("-"));

    // Offline choices and entries change only the working data.
    w.cboSetup->setFocus();
    QTest::keyClick(w.cboSetup, Qt::Key_Down);
    QCOMPARE(CurrentData.ParamValue[15], 1);
    QTest::mouseClick(w.txtSetup[1], Qt::LeftButton);
    QTest::keyClicks(w.txtSetup[1], QStringLiteral("200"));
    QTest::keyClick(w.txtSetup[1], Qt::Key_Tab);
    settle();
    QCOMPARE(CurrentData.ParamValue[17], 200);
    QCOMPARE(r.mark(), 0);
}

void tst_frm8816DF1::plcTypeChoiceWrites()
{
    DF1Rig r;
    r.sim.setByte(4001, 0x80); // PLC5, another bit of the byte set
    QVERIFY(r.show());
    r.mode.setMode(true);
    r.cycle();
    QCOMPARE(r.w->cboSetup->currentIndex(), 0);
    const qsizetype m = r.mark();
    r.w->cboSetup->setFocus(Qt::TabFocusReason);
    QVERIFY(r.w->editing(2));
    QTest::keyClick(r.w->cboSetup, Qt::Key_Down); // "SLC500"
    QCOMPARE(r.w->cboSetup->currentText(), QStringLiteral("SLC500"));
    QCOMPARE(CurrentData.ParamValue[15], 1);
    QCOMPARE(Writes(r.port.exchanges(), m), QList<WireOp>({ { true, 4001, 0x81 } }));
    QCOMPARE(r.sim.byte(4001), 0x81);
    // While the combo is edited the refresh leaves it alone; Esc ends that.
    r.sim.setByte(4001, 0x80);
    r.cycle();
    QCOMPARE(r.w->cboSetup->currentIndex(), 1);
    QTest::keyClick(r.w->cboSetup, Qt::Key_Escape);
    QVERIFY(!r.w->editing(2));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.w->cmdDefault));
    r.cycle();
    QCOMPARE(r.w->cboSetup->currentIndex(), 0);
}

void tst_frm8816DF1::comboRefreshIsNotAChoice()
{
    DF1Rig r;
    QVERIFY(r.show());
    r.mode.setMode(true);
    r.w->refreshLoop().step(); // presentation: not ready
    QVERIFY(!r.w->comboReady());
    // A choice before the first refresh is ignored.
    r.w->cboSetup->setFocus();
    QTest::keyClick(r.w->cboSetup, Qt::Key_Down);
    QCOMPARE(CurrentData.ParamValue[15], 0);
    r.w->cmdDefault->setFocus();
    const qsizetype m = r.mark();
    r.sim.setByte(4001, 0x01);
    r.cycle();
    r.cycle();
    QCOMPARE(r.w->cboSetup->currentIndex(), 1);
    QVERIFY(Writes(r.port.exchanges(), m).isEmpty());
    QCOMPARE(CurrentData.ParamValue[15], 0);
    r.sim.setByte(4001, 0x00);
    r.cycle();
    QCOMPARE(r.w->cboSetup->currentIndex(), 0);
    QVERIFY(Writes(r.port.exchanges(), m).isEmpty());
}

void tst_frm8816DF1::numericFields()
{
    DF1Rig r;
    r.sim.setByte(4050, 9);
    r.sim.setByte(4011, 27);
    QVERIFY(r.show());
    r.mode.setMode(true);
    r.cycle();
    QLineEdit* node = r.w->txtSetup[0];
    QLineEdit* file = r.w->txtSetup[1];

    // Refused: the limits of the spinner, this panel's title, the old text back.
    QTest::mouseClick(node, Qt::LeftButton);
    QCOMPARE(node->selectedText(), QStringLiteral("9"));
    QTest::keyClicks(node, QStringLiteral("256"));
    QTest::keyClick(node, Qt::Key_Tab);
    settle();
    QCOMPARE(r.prompter.messages().size(), 1);
    QCOMPARE(r.prompter.messages()[0].text, QStringLiteral("Only a Number Between 0 and 255 can be Entered"));
    QCOMPARE(r.prompter.messages()[0].title, QStringLiteral("R8816DF1 Set-up"));
    QCOMPARE(r.prompter.messages()[0].icon, MsgIcon::Information);
    QCOMPARE(node->text(), QStringLiteral("9"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(node));

    // 12.6 stores 13 and the board receives 13.
    qsizetype m = r.mark();
    QTest::keyClicks(node, QStringLiteral("12.6"));
    QTest::keyClick(node, Qt::Key_Return);
    settle();
    QCOMPARE(CurrentData.ParamValue[16], 13);
    QCOMPARE(Writes(r.port.exchanges(), m), QList<WireOp>({ { true, 4050, 13 } }));
    // Enter went on to the next field, past the field's own arrows.
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.w->txtSetup[1]));

    // Limits and the spinner of the file number field.
    m = r.mark();
    QTest::mouseClick(file, Qt::LeftButton);
    QTest::keyClicks(file, QStringLiteral("255"));
    QTest::keyClick(file, Qt::Key_Tab);
    settle();
    QCOMPARE(CurrentData.ParamValue[17], 255);
    QTest::mouseClick(r.w->updSetup[1]->downButton(), Qt::LeftButton);
    QCOMPARE(file->text(), QStringLiteral("254"));
    QCOMPARE(CurrentData.ParamValue[17], 254);
    QCOMPARE(Writes(r.port.exchanges(), m), QList<WireOp>({ { true, 4011, 255 }, { true, 4011, 254 } }));

    // Esc restores the text; a second Esc leaves for the focus sink.
    QTest::mouseClick(file, Qt::LeftButton);
    QTest::keyClicks(file, QStringLiteral("77"));
    QTest::keyClick(file, Qt::Key_Escape);
    QCOMPARE(file->text(), QStringLiteral("254"));
    QTest::keyClick(file, Qt::Key_Escape);
    settle();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.w->cmdDefault));
    QCOMPARE(r.prompter.messages().size(), 1);
}

void tst_frm8816DF1::focusBeforeTheFirstPresentationIsNoEntry()
{
    DF1Rig r;
    QVERIFY(r.show());
    r.mode.setMode(true);
    r.w->txtSetup[0]->setFocus(Qt::TabFocusReason); // as the frame may while showing it
    QVERIFY(!r.w->editing(0));
    const qsizetype m = r.mark();
    r.cycle();
    settle();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.w->cmdDefault));
    QVERIFY(r.prompter.calls().isEmpty());
    QVERIFY(Writes(r.port.exchanges(), m).isEmpty());
    QCOMPARE(r.w->txtSetup[0]->text(), QStringLiteral("0"));
}

void tst_frm8816DF1::windowMenuItemHiddenButWindowWorks()
{
    Rig rig;
    rig.showActive();
    frmMDIMain& main = *rig.w;
    QVERIFY(!main.mnuWindowForm[2]->isVisible());
    QVERIFY(!main.mnuWindowForm[2]->isEnabled());
    QCOMPARE(main.mnuWindowForm[2]->text(), QStringLiteral("&3 Serial Communications"));
    main.ShowChildForm(2);
    flushDeletes();
    auto* df1 = qobject_cast<frm8816DF1*>(main.currentChild());
    QVERIFY(df1);
    QVERIFY(df1->isVisible());
    df1->refreshLoop().setAutoStep(false);
    df1->refreshLoop().runCycle();
    QCOMPARE(df1->lblDisplay[0]->text(), QStringLiteral("-"));
    QCOMPARE(df1->txtSetup[0]->text(), QStringLiteral("1"));
    // Online through the main window's menu: the panel reads the board.
    rig.sim.setFlag(152, true);
    rig.sim.setByte(4023, 2);
    main.mnuViewOnline->trigger();
    df1->refreshLoop().runCycle();
    QCOMPARE(df1->lblDisplay[0]->text(), QStringLiteral("(2) Success"));
    QVERIFY(rig.script().calls().isEmpty());
    // Leaving it ends its loop with the window.
    QPointer<frm8816DF1> gone(df1);
    main.ShowChildForm(1);
    flushDeletes();
    QVERIFY(gone.isNull());
}

QTEST_MAIN(tst_frm8816DF1)
#include "tst_frm8816df1.moc"
