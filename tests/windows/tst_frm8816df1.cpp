// The DF1 interface board panel on the in-process simulator: the decoding
// tables and their fall-backs, the online pass and its reads, the driver
// warning, the presentations, the PLC type combo and the two numeric fields;
// and the panel as child 2 of the main window.

#include "SimLinkMode.h"
#include "MachineData.h"
#include "MainWindowRig.h"
#include "NumericField.h"
#include "UpDown.h"
#include "WireOps.h"
#include "frm8816DF1.h"
#include "modUtility.h"

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
        ResetMachineDataGlobals();
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
    void configStatus_data();
    void configStatus();
    void transmitStatus_data();
    void transmitStatus();
    void linkStatus_data();
    void linkStatus();
    void controls();
    void onlinePassReadsAndShows();
    void linkStatusReadsStsOnlyWhenNeeded_data();
    void linkStatusReadsStsOnlyWhenNeeded();
    void driverWarningOnEverySwitchToOnline();
    void offlineWithoutEditingShowsDashes();
    void offlineEditingEnablesTheSetupFrame();
    void plcTypeChoiceWrites();
    void comboRefreshIsNotAChoice();
    void numericFields();
    void focusBeforeTheFirstPresentationIsNoEntry();
    void windowMenuItemHiddenButWindowWorks();
};

void tst_frm8816DF1::configStatus_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("1") << 1 << "(1) Busy";
    QTest::newRow("2") << 2 << "(2) Success";
    QTest::newRow("3") << 3 << "(3) Invalid Parameter";
    QTest::newRow("4") << 4 << "(4) Timeout - No Response";
    QTest::newRow("32") << 32 << "(32) Hardware ACK Error";
    QTest::newRow("34") << 34 << "(34) Invalid Slot ADD";
    QTest::newRow("0") << 0 << "(0) Unknown Status";
    QTest::newRow("7") << 7 << "(7) Unknown Status";
    QTest::newRow("33") << 33 << "(33) Unknown Status";
    QTest::newRow("255") << 255 << "(255) Unknown Status";
}

void tst_frm8816DF1::configStatus()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(DF1ConfigStatusText(value), text);
}

void tst_frm8816DF1::transmitStatus_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("1") << 1 << "(1) Busy";
    QTest::newRow("2") << 2 << "(2) Done";
    QTest::newRow("3") << 3 << "(3) DLE NAK Received";
    QTest::newRow("4") << 4 << "(4) DLE ENQ Timeout";
    QTest::newRow("5") << 5 << "(5) No Response Timeout";
    QTest::newRow("6") << 6 << "(6) Message Packet Error";
    QTest::newRow("0") << 0 << "(0) Unknown Status";
    QTest::newRow("7") << 7 << "(7) Unknown Status";
    QTest::newRow("34") << 34 << "(34) Unknown Status";
}

void tst_frm8816DF1::transmitStatus()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(DF1TransmitStatusText(value), text);
}

void tst_frm8816DF1::linkStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("sts");
    QTest::addColumn<int>("ext");
    QTest::addColumn<QString>("text");
    QTest::newRow("success") << 0 << 0x10 << 0 << "(00) Success - No Error";
    QTest::newRow("STS 01") << 1 << 0x01 << 0 << "(01) Not Used";
    QTest::newRow("STS 02") << 1 << 0x02 << 0 << "(02) Cannot Guarantee Delivery: Link Layer";
    QTest::newRow("STS 03") << 1 << 0x03 << 0 << "(03) Duplicate Token Holder Detected";
    QTest::newRow("STS 04") << 1 << 0x04 << 0 << "(04) Local Port is Disconnected";
    QTest::newRow("STS 05") << 1 << 0x05 << 0 << "(05) Application Layer Timed out waiting for a response";
    QTest::newRow("STS 06") << 1 << 0x06 << 0 << "(06) Duplicate Node Detected";
    QTest::newRow("STS 07") << 1 << 0x07 << 0 << "(07) Station is Off-Line";
    QTest::newRow("STS 08") << 1 << 0x08 << 0 << "(08) Hardware Fault";
    QTest::newRow("STS 10") << 1 << 0x10 << 0 << "(10) Illegal Command or Format";
    QTest::newRow("STS 20") << 1 << 0x20 << 0 << "(20) Host has a Problem and Will Not Communicate";
    QTest::newRow("STS 30") << 1 << 0x30 << 0
                            << "(30) Remote Node Host is Missing, Disconnected or Shut Down";
    QTest::newRow("STS 40") << 1 << 0x40 << 0
                            << "(40) Host Could Not Complete Function Due to Hardware Fault";
    QTest::newRow("STS 50") << 1 << 0x50 << 0 << "(50) Addressing Problem or Memory Protect Rungs";
    QTest::newRow("STS 60") << 1 << 0x60 << 0
                            << "(60) Function Disallowed due to Command Protection Selection";
    QTest::newRow("STS 70") << 1 << 0x70 << 0 << "(70) Processor is in Program Mode";
    QTest::newRow("STS 80") << 1 << 0x80 << 0
                            << "(80) Compatibility Mode File Missing or Communication Zone Problem";
    QTest::newRow("STS 90") << 1 << 0x90 << 0 << "(90) Remote Node Cannot Buffer Command";
    QTest::newRow("STS A0") << 1 << 0xA0 << 0 << "(A0) Not Used";
    QTest::newRow("STS B0") << 1 << 0xB0 << 0 << "(B0) Remote Node Problem Due to Download";
    QTest::newRow("STS C0") << 1 << 0xC0 << 0 << "(C0) Cannot Execute Command Due to Active IPBs";
    QTest::newRow("STS D0") << 1 << 0xD0 << 0 << "(D0) Not Used";
    QTest::newRow("STS E0") << 1 << 0xE0 << 0 << "(E0) Not Used";
    QTest::newRow("STS 11 falls back") << 1 << 0x11 << 0 << "(11) - Not Used";
    QTest::newRow("STS 0 falls back") << 5 << 0x00 << 0 << "(0) - Not Used";
    QTest::newRow("STS 9 falls back") << 5 << 0x09 << 0 << "(9) - Not Used";
    QTest::newRow("STS 0A falls back") << 5 << 0x0A << 0 << "(A) - Not Used";
    QTest::newRow("STS FF falls back") << 5 << 0xFF << 0 << "(FF) - Not Used";

    const QStringList ext {
        "(F0-0) Not Used",
        "(F0-1) A Field has an Illegal Value",
        "(F0-2) Less Levels Specified in Address than Minimum for any Address",
        "(F0-3) More Levels Specified in Address than System Supports",
        "(F0-4) Symbol Not Found",
        "(F0-5) Symbol is of Improper Format",
        "(F0-6) Address Dosen't Point to Something Usable",
        "(F0-7) File is Wrong Size",
        "(F0-8) Cannot Complete Request, Situation has Changed since the Start of the Command",
        "(F0-9) Data or File is Too Large",
        "(F0-A) Transaction Size plus Word Address is Too Large",
        "(F0-B) Access Denied, Improper Privilege",
        "(F0-C) Condition cannot be Generated - Resource is Not Available",
        "(F0-D) Condition already exists - Resource is already available",
        "(F0-E) Command Cannot be Executed",
        "(F0-F) Histogram Overflow",
        "(F0-10) No Access",
        "(F0-11) Illegal Data Type",
        "(F0-12) Invalid Parameter or Invalid Data",
        "(F0-13) Address Reference exists to Deleted Area",
        "(F0-14) Command Execution Failure for unknown reason; Possible PLC-3 Histogram Overflow",
        "(F0-15) Data Conversion Error",
        "(F0-16) Scanner Not Able to Communicate with 1771 Rack Adapter",
        "(F0-17) Adapter cannot Communicate with module",
        "(F0-18) 1771 Module Response was not Valid",
        "(F0-19) Duplicate Label",
        "(F0-1A) File is Open; Another Node Owns it",
        "(F0-1B) Another Node is the Program Owner",
    };
    for (int k = 0; k < ext.size(); ++k)
        QTest::addRow("EXT STS %X", k) << 1 << 0xF0 << k << ext[k];
    QTest::newRow("EXT STS 1C falls back") << 1 << 0xF0 << 0x1C << "(F0-1C) - Not Used";
    QTest::newRow("EXT STS 20 falls back") << 1 << 0xF0 << 0x20 << "(F0-20) - Not Used";
    QTest::newRow("EXT STS FF falls back") << 1 << 0xF0 << 0xFF << "(F0-FF) - Not Used";
}

void tst_frm8816DF1::linkStatus()
{
    QFETCH(int, status);
    QFETCH(int, sts);
    QFETCH(int, ext);
    QFETCH(QString, text);
    QCOMPARE(DF1LinkStatusText(status, sts, ext), text);
}

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
    QCOMPARE(QStringList(frm8816DF1::Addresses.begin(), frm8816DF1::Addresses.end()),
        QStringList({ "B4023", "B4021", "B4022", "W4016", "B4014", "B4026", "B4302.6", "B4303", "W4304",
            "B4001.0", "B4050", "B4011" }));
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

void tst_frm8816DF1::linkStatusReadsStsOnlyWhenNeeded_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("sts");
    QTest::addColumn<int>("ext");
    QTest::addColumn<QString>("text");
    QTest::newRow("0: no STS read") << 0 << 0x10 << 0 << "(00) Success - No Error";
    QTest::newRow("STS 10") << 1 << 0x10 << 0 << "(10) Illegal Command or Format";
    QTest::newRow("STS 11") << 0x10 << 0x11 << 0 << "(11) - Not Used";
    QTest::newRow("F0-1A") << 0xF0 << 0xF0 << 0x1A << "(F0-1A) File is Open; Another Node Owns it";
    QTest::newRow("F0-20") << 2 << 0xF0 << 0x20 << "(F0-20) - Not Used";
}

void tst_frm8816DF1::linkStatusReadsStsOnlyWhenNeeded()
{
    QFETCH(int, status);
    QFETCH(int, sts);
    QFETCH(int, ext);
    QFETCH(QString, text);
    DF1Rig r;
    r.sim.setByte(4303, quint8(status));
    r.sim.setByte(4018, quint8(sts));
    r.sim.setByte(4019, quint8(ext));
    QVERIFY(r.show());
    r.mode.setMode(true);
    r.w->refreshLoop().step(); // presentation
    for (int i = 0; i < 7; ++i)
        r.w->refreshLoop().step();
    const qsizetype m = r.mark();
    r.w->refreshLoop().step(); // index 7
    QCOMPARE(ReadAddresses(r.port.exchanges(), m),
        status == 0 ? QList<int>({ 4303 }) : QList<int>({ 4303, 4018, 4019 }));
    QCOMPARE(r.display(7), text);
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
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(r.w->updSetup[0]));

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
