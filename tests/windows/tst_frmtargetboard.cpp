// The target board interface panel on the in-process simulator: the program
// set on disk, the fields by board, the first pass (codes, descriptions from
// both code tables, corrective action, the board's ident) and its wire reads,
// the field polling, the link lost and regained, Reset Faults, the clock
// buttons, the entry fields, faults of the files, closing.

#include "SimLinkMode.h"
#include "CodeTables.h"
#include "MainWindowRig.h"
#include "NumericField.h"
#include "UpDown.h"
#include "WireOps.h"
#include "frmTargetBoard.h"
#include "modUtility.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QToolButton>

using namespace talvek;
using namespace talvek::test;

namespace {

const QString kCannot = QStringLiteral("Cannot Communicate with Target Board.");
const QString kCableCheck = frmTargetBoard::CorrectiveAction(0x42);

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

struct PanelRig : SimLinkMode
{
    std::unique_ptr<frmTargetBoard> w;

    PanelRig()
    {
        // Two records for 0A: the last one wins (its code written in lower case).
        writeFile(dir.path() + QStringLiteral("/support/FaultErrCodes.txt"),
            "0A,First ten\r\n0a,\"Ten, again\"\r\n5C,Bad program\r\n42,Fault table 42\r\n");
        writeFile(dir.path() + QStringLiteral("/support/CommErrCodes.txt"),
            "00,No error\r\n07,Address out of range\r\n42,Comm table 42\r\n");
        w = std::make_unique<frmTargetBoard>(prompter, rs, mode, folder);
        w->refreshLoop().setAutoStep(false);
        w->setWallClock([] { return QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9)); });
    }
    ~PanelRig()
    {
        w.reset();
        if (port.isOpen())
            port.close();
    }
    // A program file set: board code and revision field.
    QString program(const QByteArray& board, const QByteArray& rev = "PRESS 10312")
    {
        const QString base = dir.path() + QStringLiteral("/PROG.");
        writeFile(base + QStringLiteral("nvk"), board + "\r\n");
        if (!rev.isNull())
            writeFile(base + QStringLiteral("rev"), rev + "\r\n");
        writeFile(base + QStringLiteral("hex"), ":00000001FF\r\n");
        return base + QStringLiteral("nvk");
    }
    void cycle() { w->refreshLoop().runCycle(); }
    qsizetype mark() const { return port.exchanges().size(); }
    QList<int> readsSince(qsizetype from) const { return ReadAddresses(port.exchanges(), from); }
    QString box(int i) const { return w->txtTargetBoard[size_t(i)]->toPlainText(); }
    QString label(int i) const { return w->lblTargetBoard[size_t(i)]->text(); }
};

const QList<int> kFieldReads { 8180, 8191, 43012, 43010, 43008, 43016, 43015, 43017 };

QList<int> firstPassReads(bool slotAgain)
{
    QList<int> reads { 8176, 8177, 8175, 8177, 8179, 8178 };
    if (slotAgain)
        reads << 8175;
    for (int m = 0; m < 10; ++m)
        reads << 61424 + m;
    return reads + kFieldReads;
}

} // namespace

class tst_frmTargetBoard : public QObject
{
    Q_OBJECT

private slots:
    void correctiveAction_data();
    void correctiveAction();
    void programOnDisk();
    void boards_data();
    void boards();
    void firstPassAndPolling();
    void linkLostAndRegained();
    void resetFaults();
    void clockButtons();
    void entryFields();
    void faultsOfTheFiles();
    void closing();
};

void tst_frmTargetBoard::correctiveAction_data()
{
    const QString coCpu = QStringLiteral(
        "Replace CO-CPU board at \"CO-CPU Slot\" and try again.  If fault persists, peplace R6012 processor "
        "board and try again.  If fault persists, verify proper use of \"sfunc05/06/12\" in user program.");
    const QString reset
        = QStringLiteral("Reset fault and try again.  If fault persists, replace target board "
                         "and try again.  See Norvik Manual for more details.");
    const QString redump = QStringLiteral(
        "Program is invalid.  Re-dump program to target board.  If fault persists, verify cable connections "
        "between computer and target board.  If fault persists, replace target board.");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("00") << 0x00 << "None";
    QTest::newRow("01") << 0x01 << coCpu;
    QTest::newRow("3F") << 0x3F << coCpu;
    QTest::newRow("40") << 0x40 << reset;
    QTest::newRow("41") << 0x41 << reset;
    QTest::newRow("42") << 0x42
                        << "Verify connection of cable between computer \"COM\" port and target board \"PROG "
                           "PORT\".  Verify cable wiring and connectors.  If fault persists, replace target "
                           "board and/or try a different computer.";
    QTest::newRow("45") << 0x45
                        << "User program executed an sfunc09() system fault function call.  See User program "
                           "for details on source of fault and corrective action.";
    QTest::newRow("5C") << 0x5C << redump;
    QTest::newRow("5D") << 0x5D << redump;
    QTest::newRow("5E") << 0x5E << reset;
    QTest::newRow("7A") << 0x7A << reset;
    QTest::newRow("7B") << 0x7B << "None";
    QTest::newRow("FF") << 0xFF << "None";
}

void tst_frmTargetBoard::correctiveAction()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(frmTargetBoard::CorrectiveAction(code), text);
}

void tst_frmTargetBoard::programOnDisk()
{
    PanelRig rig;
    // Mark-hex pairs: <? is CF (207), 0: is 0A (10).
    const QString path = rig.program("D", "XY<?0:");
    const QDateTime stamp(QDate(2023, 11, 2), QTime(14, 5, 6));
    {
        QFile hex(rig.dir.path() + QStringLiteral("/PROG.hex"));
        QVERIFY(hex.open(QIODevice::ReadWrite));
        QVERIFY(hex.setFileTime(stamp, QFileDevice::FileModificationTime));
    }
    QVERIFY(rig.w->InitializeForm(path));
    QVERIFY(rig.w->isVisible());
    QStringList shown;
    for (QLabel* l : rig.w->lblRevIdentOnDisk)
        shown << l->text();
    QCOMPARE(shown, (QStringList { "XY", "10", "207", "K7700(PLC)", GeneralDateText(stamp) }));
    QCOMPARE(rig.w->lblNetworkAddComment->text(),
        QStringLiteral("Each R6000 board connected to the R6000 Network must be assigned a unique network "
                       "address between 1 and 32.\r\n\r\nSystem function sfunc19(); configures the R8816 "
                       "serial communication for the K7700 processor."));
    rig.w->cmdOk->click();

    // No revision file: "-", 0, 0 and no date; the board name still from the program file.
    QFile::remove(rig.dir.path() + QStringLiteral("/PROG.rev"));
    QVERIFY(rig.w->InitializeForm(path));
    shown.clear();
    for (QLabel* l : rig.w->lblRevIdentOnDisk)
        shown << l->text();
    QCOMPARE(shown, (QStringList { "-", "0", "0", "K7700(PLC)", "-" }));
    rig.w->cmdOk->click();

    // A revision field too short to split: the fault box, and no panel.
    rig.program("D", "AB");
    QVERIFY(!rig.w->InitializeForm(path));
    QVERIFY(!rig.w->isVisible());
    const auto boxes = rig.prompter.messages();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QStringLiteral("Error Number = 5\r\n\r\nInvalid procedure call or argument"));
    QCOMPARE(boxes[0].title, QStringLiteral("InitializeForm"));
    QCOMPARE(boxes[0].icon, MsgIcon::Information);
    QCOMPARE(boxes[0].buttons, MsgButtons::OK);
    QCOMPARE(rig.port.openCount(), 0);
}

void tst_frmTargetBoard::boards_data()
{
    QTest::addColumn<QByteArray>("board");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("address1");
    QTest::addColumn<bool>("address2");
    QTest::addColumn<bool>("slot");
    QTest::addColumn<bool>("clock");
    QTest::newRow("D: K7700") << QByteArray("D") << "K7700(PLC)" << true << false << false << false;
    QTest::newRow("A: V5510") << QByteArray("A") << "V5510" << false << true << false << true;
    QTest::newRow("6: R6016") << QByteArray("6") << "R6016" << false << false << false << true;
    QTest::newRow("2: R6012") << QByteArray("2") << "R6012" << false << false << true << false;
}

void tst_frmTargetBoard::boards()
{
    QFETCH(QByteArray, board);
    QFETCH(QString, name);
    QFETCH(bool, address1);
    QFETCH(bool, address2);
    QFETCH(bool, slot);
    QFETCH(bool, clock);
    PanelRig rig;
    rig.sim.setByte(8175, 3);
    rig.sim.setByte(8180, 5);
    rig.sim.setByte(8191, 17);
    rig.sim.setByte(43012, 123); // shows its last two digits
    rig.sim.setByte(43010, 7);
    QVERIFY(rig.w->InitializeForm(rig.program(board)));
    frmTargetBoard& w = *rig.w;
    QCOMPARE(w.lblRevIdentOnDisk[3]->text(), name);
    QCOMPARE(!w.txtSetup[0]->isHidden(), address1);
    QCOMPARE(!w.txtSetup[1]->isHidden(), address2);
    QCOMPARE(!w.lblTargetBoard[2]->isHidden(), slot);

    const qsizetype mark = rig.mark();
    rig.cycle();
    QVERIFY(rig.rs.OnlineMode); // opening the panel brought the link online
    QCOMPARE(rig.readsSince(mark), firstPassReads(slot));
    if (slot)
        QCOMPARE(rig.label(2), QStringLiteral("CO-CPU Slot: 3"));
    if (address1)
        QCOMPARE(w.txtSetup[0]->text(), QStringLiteral("05"));
    if (address2)
        QCOMPARE(w.txtSetup[1]->text(), QStringLiteral("17"));
    for (int i = 2; i < 8; ++i) {
        QCOMPARE(w.txtSetup[size_t(i)]->isEnabled(), clock);
        QCOMPARE(w.updSetup[size_t(i)]->isEnabled(), clock);
        QCOMPARE(w.lblSetupDesc[size_t(i)]->isEnabled(), clock);
    }
    QCOMPARE(w.txtSetup[2]->text(), clock ? QStringLiteral("23") : QStringLiteral("-"));
    QCOMPARE(w.txtSetup[3]->text(), clock ? QStringLiteral("07") : QStringLiteral("-"));
    QCOMPARE(w.cmdSetToCurrTime->isEnabled(), clock);
    QCOMPARE(w.cmdSetToCurrDate->isEnabled(), clock);
    QCOMPARE(w.lblTargetBoardTime->isEnabled(), clock);
    // Every field is polled in every cycle, shown or not.
    const qsizetype second = rig.mark();
    rig.cycle();
    QCOMPARE(rig.readsSince(second), kFieldReads);
    QCOMPARE(rig.prompter.unexpected(), 0);
}

void tst_frmTargetBoard::firstPassAndPolling()
{
    PanelRig rig;
    rig.sim.setByte(8176, 10);
    rig.sim.setByte(8177, 0x5C);
    rig.sim.setByte(8179, 7);
    rig.sim.setByte(8178, 0x33); // no record in the table
    rig.sim.setIdent("AB", 3, 18);
    QVERIFY(rig.w->InitializeForm(rig.program("D")));
    frmTargetBoard& w = *rig.w;
    QVERIFY(!w.cmdGoOnline->isVisible());
    QCOMPARE(w.lblCurrTime->text(), QStringLiteral("XX : XX : XX"));
    rig.cycle();

    QCOMPARE(rig.label(0), QStringLiteral("Current Fault: Code = 0AH"));
    QCOMPARE(rig.box(0), QStringLiteral("Ten, again"));
    QCOMPARE(rig.label(1), QStringLiteral("Last Fault: Code = 5CH"));
    QCOMPARE(rig.box(1), QStringLiteral("Bad program"));
    QCOMPARE(rig.box(3), frmTargetBoard::CorrectiveAction(0x5C));
    QCOMPARE(rig.label(4), QStringLiteral("Current Comm Error: Code = 07H"));
    QCOMPARE(rig.box(4), QStringLiteral("Address out of range"));
    QCOMPARE(rig.label(5), QStringLiteral("Last Comm Error: Code = 33H"));
    QCOMPARE(rig.box(5), QString()); // no match: the box keeps its text
    QVERIFY(w.cmdResetFaults->isEnabled());
    QCOMPARE(w.lblRevIdentInPLC[0]->text(), QStringLiteral("AB"));
    QCOMPARE(w.lblRevIdentInPLC[1]->text(), QStringLiteral("18"));
    QCOMPARE(w.lblRevIdentInPLC[2]->text(), QStringLiteral("3"));
    QVERIFY(w.cmdGoOnline->isHidden());
    QVERIFY(w.firstPassDone());
    QCOMPARE(w.lblCurrTime->text(), QStringLiteral("07 : 08 : 09"));
    QCOMPARE(w.lblCurrDate->text(), QStringLiteral("03 - 05 - 2024"));

    // A field being edited is read but not overwritten.
    rig.sim.setByte(8180, 9);
    w.field(0).entry().setEditing(true);
    w.txtSetup[0]->setText(QStringLiteral("1"));
    rig.cycle();
    QCOMPARE(w.txtSetup[0]->text(), QStringLiteral("1"));
    w.field(0).entry().setEditing(false);
    rig.cycle();
    QCOMPARE(w.txtSetup[0]->text(), QStringLiteral("09"));

    // Only codes of zero: Reset Faults stays disabled (the slot register does not count).
    for (int a : { 8176, 8177, 8179, 8178 })
        rig.sim.setByte(a, 0);
    rig.sim.setByte(8175, 4);
    rig.prompter.answerMsg(MsgResult::Yes);
    w.cmdResetFaults->click();
    rig.cycle();
    QVERIFY(!w.cmdResetFaults->isEnabled());
    QCOMPARE(rig.box(3), QStringLiteral("None"));
    QCOMPARE(rig.box(5), QStringLiteral("No error"));
    QCOMPARE(rig.prompter.unexpected(), 0);
}

void tst_frmTargetBoard::linkLostAndRegained()
{
    PanelRig rig;
    rig.sim.setByte(8177, 0x45);
    QVERIFY(rig.w->InitializeForm(rig.program("D")));
    frmTargetBoard& w = *rig.w;
    // The board answers the attention of the opening, then falls silent.
    rig.sim.dropOutAfter(1);
    rig.prompter.answerMsg(MsgResult::Cancel); // the link's Retry/Cancel
    rig.cycle();
    QVERIFY(rig.rs.CommError);
    QVERIFY(rig.rs.OnlineMode); // until the next cycle
    for (int i : { 0, 1 })
        QCOMPARE(rig.box(i), QStringLiteral("Fault table 42"));
    QCOMPARE(rig.label(0), QStringLiteral("Current Fault: Code = 42H"));
    QCOMPARE(rig.label(5), QStringLiteral("Last Comm Error: Code = 42H"));
    QCOMPARE(rig.box(3), kCableCheck);
    QCOMPARE(rig.box(4), QStringLiteral("Comm table 42"));
    QVERIFY(!w.cmdResetFaults->isEnabled());
    QVERIFY(w.cmdGoOnline->isHidden()); // shown only with the offline display

    rig.cycle();
    QVERIFY(!rig.rs.OnlineMode);
    QVERIFY(!rig.port.isOpen());
    for (int i : { 0, 1, 3, 4, 5 })
        QCOMPARE(rig.box(i), kCannot);
    QVERIFY(!w.lblRevIdentInPLC[0]->isEnabled());
    QVERIFY(!w.txtSetup[0]->isEnabled());
    QVERIFY(!w.cmdResetFaults->isEnabled());
    QVERIFY(!w.cmdGoOnline->isHidden());
    QCOMPARE(rig.prompter.messages().size(), 1);

    // "&Go Online" with the board back: a new first pass.
    rig.sim.setDroppedOut(false);
    w.cmdGoOnline->click();
    QVERIFY(rig.rs.OnlineMode);
    const qsizetype mark = rig.mark();
    rig.cycle();
    QCOMPARE(rig.readsSince(mark), firstPassReads(false));
    QCOMPARE(rig.label(1), QStringLiteral("Last Fault: Code = 45H"));
    QCOMPARE(rig.box(3), frmTargetBoard::CorrectiveAction(0x45));
    QVERIFY(w.cmdGoOnline->isHidden());
    QVERIFY(w.txtSetup[0]->isEnabled());
    QCOMPARE(rig.prompter.unexpected(), 0);
}

void tst_frmTargetBoard::resetFaults()
{
    PanelRig rig;
    rig.sim.setByte(8176, 0x5C);
    QVERIFY(rig.w->InitializeForm(rig.program("D")));
    frmTargetBoard& w = *rig.w;
    rig.cycle();
    QVERIFY(w.cmdResetFaults->isEnabled());

    // No: nothing written.
    qsizetype mark = rig.mark();
    rig.prompter.answerMsg(MsgResult::No);
    w.cmdResetFaults->click();
    const PromptCall box = rig.prompter.calls().last();
    QCOMPARE(box.text, QStringLiteral("Target Board will be reinitialized.\r\n\r\nDo you wish to continue?"));
    QCOMPARE(box.title, QStringLiteral("WARNING - Fault Code Reset!"));
    QCOMPARE(box.icon, MsgIcon::Critical);
    QCOMPARE(box.buttons, MsgButtons::YesNoCancel);
    QCOMPARE(box.defaultButton, MsgDefault::Button2);
    QCOMPARE(rig.mark(), mark);
    QVERIFY(w.cmdResetFaults->isEnabled());

    // Yes, in the middle of a field pass: four zeros in this order, that pass
    // ends and the next cycle is a first pass.
    w.refreshLoop().step(); // begins a pass
    w.refreshLoop().step(); // reads field 0
    QVERIFY(w.refreshLoop().inPass());
    mark = rig.mark();
    rig.prompter.answerMsg(MsgResult::Yes);
    w.cmdResetFaults->click();
    QVERIFY(!w.cmdResetFaults->isEnabled());
    QCOMPARE(Writes(rig.port.exchanges(), mark),
        (QList<WireOp> { { true, 8178, 0 }, { true, 8179, 0 }, { true, 8177, 0 }, { true, 8176, 0 } }));
    w.refreshLoop().step();
    QVERIFY(!w.refreshLoop().inPass());
    mark = rig.mark();
    rig.cycle();
    QCOMPARE(rig.readsSince(mark), firstPassReads(false));
    QCOMPARE(rig.label(0), QStringLiteral("Current Fault: Code = 00H"));
    QVERIFY(!w.cmdResetFaults->isEnabled());
    QCOMPARE(rig.prompter.unexpected(), 0);
}

void tst_frmTargetBoard::clockButtons()
{
    PanelRig rig;
    QVERIFY(rig.w->InitializeForm(rig.program("6")));
    rig.cycle();
    qsizetype mark = rig.mark();
    rig.w->cmdSetToCurrTime->click();
    QCOMPARE(Writes(rig.port.exchanges(), mark),
        (QList<WireOp> { { true, 43012, 7 }, { true, 43010, 8 }, { true, 43008, 9 } }));
    mark = rig.mark();
    rig.w->cmdSetToCurrDate->click();
    QCOMPARE(Writes(rig.port.exchanges(), mark),
        (QList<WireOp> { { true, 43016, 3 }, { true, 43015, 5 }, { true, 43017, 24 } }));
    // Offline: nothing.
    rig.mode.setMode(false);
    mark = rig.mark();
    rig.w->cmdSetToCurrTime->click();
    rig.w->cmdSetToCurrDate->click();
    QCOMPARE(rig.mark(), mark);
}

void tst_frmTargetBoard::entryFields()
{
    PanelRig rig;
    QVERIFY(rig.w->InitializeForm(rig.program("A")));
    frmTargetBoard& w = *rig.w;
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    rig.cycle();
    QCOMPARE(w.updSetup[2]->Min(), 0);
    QCOMPARE(w.updSetup[2]->Max(), 23);

    // Out of range: the range message under "Set-up" and the field's caption; nothing written.
    w.tabTargetBoard->setCurrentIndex(3);
    QVERIFY(w.fraTargetBoard[3]->isVisible());
    QVERIFY(!w.fraTargetBoard[0]->isVisible());
    qsizetype mark = rig.mark();
    w.txtSetup[2]->setFocus(Qt::MouseFocusReason);
    QVERIFY(w.field(2).entry().editing());
    QTest::keyClicks(w.txtSetup[2], QStringLiteral("24"));
    QTest::keyClick(w.txtSetup[2], Qt::Key_Return);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    const auto boxes = rig.prompter.messages();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QStringLiteral("Only a Number Between 0 and 23 can be Entered"));
    QCOMPARE(boxes[0].title, QStringLiteral("Set-upHr."));
    QCOMPARE(boxes[0].icon, MsgIcon::Information);
    QCOMPARE(rig.mark(), mark);

    // In range: written to the field's address, nothing else.
    w.txtSetup[2]->selectAll();
    QTest::keyClicks(w.txtSetup[2], QStringLiteral("21"));
    QTest::keyClick(w.txtSetup[2], Qt::Key_Return);
    QCoreApplication::processEvents();
    QCOMPARE(Writes(rig.port.exchanges(), mark), (QList<WireOp> { { true, 43012, 21 } }));
    QVERIFY(!w.field(2).entry().editing());

    // A spinner click writes the stepped value.
    w.cmdDefault->setFocus(Qt::OtherFocusReason);
    w.txtSetup[6]->setText(QStringLiteral("30"));
    mark = rig.mark();
    QTest::mouseClick(w.updSetup[6]->upButton(), Qt::LeftButton);
    QCOMPARE(w.txtSetup[6]->text(), QStringLiteral("31"));
    QCOMPARE(Writes(rig.port.exchanges(), mark), (QList<WireOp> { { true, 43015, 31 } }));
    QCOMPARE(rig.prompter.messages().size(), 1);
}

void tst_frmTargetBoard::faultsOfTheFiles()
{
    PanelRig rig;
    // A last record without its description: read error 62 while the codes are described.
    writeFile(rig.dir.path() + QStringLiteral("/support/FaultErrCodes.txt"), "00,No fault\r\n0A");
    QFile::remove(rig.dir.path() + QStringLiteral("/support/CommErrCodes.txt"));
    rig.sim.setByte(8177, 0x45);
    QVERIFY(rig.w->InitializeForm(rig.program("D")));
    frmTargetBoard& w = *rig.w;
    rig.cycle();
    auto boxes = rig.prompter.messages();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QStringLiteral("Error Number = 62\r\n\r\nInput past end of file"));
    QCOMPARE(boxes[0].title, QStringLiteral("TargetBoard FirstPass"));
    QCOMPARE(boxes[0].icon, MsgIcon::Information);
    // The first pass ended there: no corrective action, no ident, not done.
    QCOMPARE(rig.box(0), QStringLiteral("No fault"));
    QCOMPARE(rig.box(3), QString());
    QCOMPARE(w.lblRevIdentInPLC[0]->text(), QStringLiteral("-"));
    QVERIFY(!w.firstPassDone());

    // The next cycle tries again, without a second box.
    qsizetype mark = rig.mark();
    rig.cycle();
    QCOMPARE(rig.readsSince(mark).mid(0, 6), (QList<int> { 8176, 8177, 8175, 8177, 8179, 8178 }));
    QCOMPARE(rig.prompter.messages().size(), 1);

    // Table mended, the other one missing: the pass completes, the comm boxes keep their text.
    writeFile(rig.dir.path() + QStringLiteral("/support/FaultErrCodes.txt"), "00,No fault\r\n");
    rig.cycle();
    QVERIFY(w.firstPassDone());
    QCOMPARE(rig.box(3), frmTargetBoard::CorrectiveAction(0x45));
    QCOMPARE(rig.box(4), QString());
    QCOMPARE(rig.prompter.messages().size(), 1);
}

void tst_frmTargetBoard::closing()
{
    PanelRig rig;
    rig.sim.setByte(8176, 10);
    const QString path = rig.program("D");
    QVERIFY(rig.w->InitializeForm(path));
    frmTargetBoard& w = *rig.w;
    rig.cycle();
    w.tabTargetBoard->setCurrentIndex(2);
    w.cmdOk->click();
    QVERIFY(!w.isVisible());
    QVERIFY(!w.running());
    QVERIFY(!w.refreshLoop().isRunning());
    qsizetype mark = rig.mark();
    rig.cycle();
    QCOMPARE(rig.mark(), mark);

    // Reopened: the controls start again from their design state, on page 0.
    QVERIFY(w.InitializeForm(path));
    QCOMPARE(rig.label(0), QStringLiteral("Current Fault:"));
    QCOMPARE(rig.box(0), QString());
    QCOMPARE(w.lblRevIdentInPLC[0]->text(), QStringLiteral("-"));
    QCOMPARE(w.tabTargetBoard->currentIndex(), 0);
    QVERIFY(w.fraTargetBoard[0]->isVisible());
    QVERIFY(!w.fraTargetBoard[2]->isVisible());

    // The window's close control and Esc: Esc does nothing, close ends the loop.
    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(w.isVisible());
    w.close();
    QVERIFY(!w.isVisible());
    QVERIFY(!w.refreshLoop().isRunning());
    QCOMPARE(rig.prompter.unexpected(), 0);
}

QTEST_MAIN(tst_frmTargetBoard)
#include "tst_frmtargetboard.moc"
