// The DF1 board's logic without a window, on the simulator: the decoding
// tables and their fall-backs, the address list and the reads of the online
// pass, the state it publishes, the settings stored in CurrentData and
// written through, and a link that dies under it.

#include "LogicRig.h"
#include "shared/Df1Board.h"
#include "shared/modUtility.h"
#include "shared/RefreshLoop.h"

#include <QSignalSpy>
#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {

const QString DriverWarning
    = QStringLiteral("The DF1 Serial Communications Driver is Not Enabled in the K7700.");

NumericEntryOptions df1Options()
{
    NumericEntryOptions options;
    options.title = QStringLiteral("R8816DF1 Set-up");
    return options;
}

struct BoardRig : LogicLink, FreshMachineData
{
    Df1Board board { prompter, rs };
    PlainField node { board.entryForm(), df1Options(), 255 };
    PlainField file { board.entryForm(), df1Options(), 255 };
    RefreshLoop loop { board, rs, mode };

    BoardRig()
    {
        sim.setFlag(152, true);
        board.bindField(0, node.entry());
        board.bindField(1, file.entry());
        board.setRefreshLoop(loop);
        loop.setAutoStep(false);
        loop.start();
    }
    void cycle() { loop.runCycle(); }
    QString display(int i) const { return board.state().display[size_t(i)]; }
};

} // namespace

class tst_Df1Board : public QObject
{
    Q_OBJECT

private slots:
    void configStatus_data();
    void configStatus();
    void transmitStatus_data();
    void transmitStatus();
    void linkStatus_data();
    void linkStatus();
    void addressList();
    void linkStatusReadsStsOnlyWhenNeeded_data();
    void linkStatusReadsStsOnlyWhenNeeded();
    void statePublished();
    void settingsStoredAndWrittenThrough();
    void dyingLinkEndsThePass();
};

void tst_Df1Board::configStatus_data()
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

void tst_Df1Board::configStatus()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(dF1ConfigStatusText(value), text);
}

void tst_Df1Board::transmitStatus_data()
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

void tst_Df1Board::transmitStatus()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(dF1TransmitStatusText(value), text);
}

void tst_Df1Board::linkStatus_data()
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

void tst_Df1Board::linkStatus()
{
    QFETCH(int, status);
    QFETCH(int, sts);
    QFETCH(int, ext);
    QFETCH(QString, text);
    QCOMPARE(dF1LinkStatusText(status, sts, ext), text);
}

void tst_Df1Board::addressList()
{
    QCOMPARE(QStringList(Df1Board::kAddresses.begin(), Df1Board::kAddresses.end()),
        QStringList({ "B4023", "B4021", "B4022", "W4016", "B4014", "B4026", "B4302.6", "B4303", "W4304",
            "B4001.0", "B4050", "B4011" }));
}

void tst_Df1Board::linkStatusReadsStsOnlyWhenNeeded_data()
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

void tst_Df1Board::linkStatusReadsStsOnlyWhenNeeded()
{
    QFETCH(int, status);
    QFETCH(int, sts);
    QFETCH(int, ext);
    QFETCH(QString, text);
    BoardRig r;
    r.sim.setByte(4303, quint8(status));
    r.sim.setByte(4018, quint8(sts));
    r.sim.setByte(4019, quint8(ext));
    r.mode.setMode(true);
    r.loop.step(); // presentation
    for (int i = 0; i < 7; ++i)
        r.loop.step();
    const qsizetype m = r.mark();
    r.loop.step(); // index 7
    QCOMPARE(ReadAddresses(r.port.exchanges(), m),
        status == 0 ? QList<int>({ 4303 }) : QList<int>({ 4303, 4018, 4019 }));
    QCOMPARE(r.display(7), text);
}

// What the presentations and the passes publish, and the driver warning.
void tst_Df1Board::statePublished()
{
    BoardRig r;
    QSignalSpy presented(&r.board, &Df1Board::presented);
    r.cycle(); // offline, editing off
    QCOMPARE(presented.size(), 1);
    QVERIFY(!r.board.state().enabled);
    QVERIFY(!r.board.state().setupEnabled);
    QCOMPARE(r.board.state().plcType, 0);
    QCOMPARE(r.node.text, QStringLiteral("1"));
    QCOMPARE(r.file.text, QStringLiteral("10"));
    QVERIFY(r.board.comboReady());

    OfflineEditing = true;
    r.cycle(); // the pass notices the switch
    r.cycle(); // the offline presentation again, with the set-up enabled
    QCOMPARE(presented.size(), 2);
    QVERIFY(r.board.state().setupEnabled);
    QVERIFY(!r.board.state().enabled);

    K7700Sim::DF1Board board;
    board.configStatus = 2;
    board.activeCommand = 7;
    board.linkStatus = 0;
    board.slc500 = true;
    board.destinationNode = 4;
    r.sim.setDF1Board(board);
    r.sim.setFlag(152, false);
    r.prompter.answerMsg(MsgResult::OK);
    r.mode.setMode(true);
    r.cycle();
    QCOMPARE(presented.size(), 3);
    QVERIFY(r.board.state().enabled);
    QCOMPARE(r.prompter.messages().size(), 1);
    QCOMPARE(r.prompter.messages().last().text, DriverWarning);
    QCOMPARE(r.display(0), QStringLiteral("(2) Success"));
    QCOMPARE(r.display(4), QStringLiteral("7")); // neither command: as read
    QCOMPARE(r.display(7), QStringLiteral("(00) Success - No Error"));
    QCOMPARE(r.board.state().plcType, 1);
    QCOMPARE(r.node.text, QStringLiteral("4"));
    QCOMPARE(r.prompter.unexpected(), 0);
}

// The PLC type and the two fields: CurrentData first, the controller when
// ONLINE with a sound link; the refresh's own selection is no choice.
void tst_Df1Board::settingsStoredAndWrittenThrough()
{
    BoardRig r;
    r.cycle();
    r.board.plcTypeChosen(1); // OFFLINE: stored only
    QCOMPARE(CurrentData.ParamValue[15], 1);
    QVERIFY(r.port.exchanges().isEmpty());
    QVERIFY(r.file.enter(QStringLiteral("33")));
    QCOMPARE(CurrentData.ParamValue[17], 33);
    QVERIFY(r.port.exchanges().isEmpty());

    r.sim.setByte(4001, 0x80);
    r.mode.setMode(true);
    r.loop.step(); // presentation: the combo is not ready
    QVERIFY(!r.board.comboReady());
    r.board.plcTypeChosen(0);
    QCOMPARE(CurrentData.ParamValue[15], 1);
    r.cycle();
    QVERIFY(r.board.comboReady());
    qsizetype m = r.mark();
    r.board.plcTypeChosen(1);
    QVERIFY(r.board.comboEditing());
    QCOMPARE(CurrentData.ParamValue[15], 1);
    QCOMPARE(r.writesSince(m), QList<WireOp>({ { true, 4001, 0x81 } }));
    m = r.mark();
    QVERIFY(r.node.enter(QStringLiteral("12.5"))); // ties to even: 12
    QCOMPARE(CurrentData.ParamValue[16], 12);
    QCOMPARE(r.writesSince(m), QList<WireOp>({ { true, 4050, 12 } }));
    // A value out of range is refused: nothing stored, nothing written.
    m = r.mark();
    r.prompter.answerMsg(MsgResult::OK);
    QVERIFY(!r.node.enter(QStringLiteral("256")));
    QCOMPARE(CurrentData.ParamValue[16], 12);
    QVERIFY(r.writesSince(m).isEmpty());
}

// A read that fails ends the pass; the next cycle takes the program OFFLINE,
// and a change made then is stored but goes nowhere.
void tst_Df1Board::dyingLinkEndsThePass()
{
    BoardRig r;
    r.sim.setByte(4023, 2);
    r.mode.setMode(true);
    r.cycle();
    QCOMPARE(r.display(0), QStringLiteral("(2) Success"));
    r.dieAtNextPass(r.loop);
    QVERIFY(r.rs.CommError);
    QVERIFY(!r.loop.inPass());
    r.loop.step(); // CommError: OFFLINE, the offline presentation
    QVERIFY(!r.rs.OnlineMode);
    QVERIFY(!r.board.state().enabled);
    QCOMPARE(r.display(0), QString());
    r.cycle();
    r.board.plcTypeChosen(1);
    QCOMPARE(CurrentData.ParamValue[15], 1);
    r.onlyTheLinksBox();
}

QTEST_GUILESS_MAIN(tst_Df1Board)
#include "tst_df1board.moc"
