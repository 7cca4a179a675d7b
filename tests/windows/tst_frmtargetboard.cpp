// The target board interface panel on the in-process simulator: what it
// draws of its status (the program set on disk, the fields by board, the
// first pass, the offline display), a field the operator is typing in, the
// questions and buttons it forwards, the entry fields, closing. The status's
// own work with the board is tested in tst_targetboardstatus.

#include "../shared/TargetBoardTestData.h"
#include "link/CodeTables.h"
#include "MainWindowRig.h"
#include "shared/modUtility.h"
#include "SimLinkMode.h"
#include "windows/frmTargetBoard.h"
#include "windows/NumericField.h"
#include "windows/UpDown.h"
#include "WireOps.h"

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

struct PanelRig : SimLinkMode
{
    std::unique_ptr<frmTargetBoard> w;

    PanelRig()
    {
        writeCodeTables(dir.path());
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
    QString program(const QByteArray& board, const QByteArray& rev = "PRESS 10312")
    {
        return writeProgramSet(dir.path(), board, rev);
    }
    void cycle() { w->refreshLoop().runCycle(); }
    qsizetype mark() const { return port.exchanges().size(); }
    QList<int> readsSince(qsizetype from) const { return ReadAddresses(port.exchanges(), from); }
    QString box(int i) const { return w->txtTargetBoard[size_t(i)]->toPlainText(); }
    QString label(int i) const { return w->lblTargetBoard[size_t(i)]->text(); }
};

} // namespace

class tst_frmTargetBoard : public QObject
{
    Q_OBJECT

private slots:
    void programOnDisk();
    void boards_data();
    void boards();
    void firstPassAndPolling();
    void linkLostAndRegained();
    void resetFaults();
    void clockButtons();
    void entryFields();
    void closing();
};

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
    QCOMPARE(shown, (QStringList { "XY", "10", "207", "K7700(PLC)", generalDateText(stamp) }));
    QCOMPARE(rig.w->lblNetworkAddComment->text(),
        QStringLiteral("Each R6000 board connected to the R6000 Network must be assigned a unique network "
                       "address between 1 and 32.\r\n\r\nSystem function sfunc19(); configures the R8816 "
                       "serial communication for the K7700 processor."));
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

    rig.cycle();
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
    QCOMPARE(rig.prompter.unexpected(), 0);
}

void tst_frmTargetBoard::firstPassAndPolling()
{
    PanelRig rig;
    setBoardFaults(rig.sim);
    QVERIFY(rig.w->InitializeForm(rig.program("D")));
    frmTargetBoard& w = *rig.w;
    QVERIFY(!w.cmdGoOnline->isVisible());
    QCOMPARE(w.lblCurrTime->text(), QStringLiteral("XX : XX : XX"));
    rig.cycle();

    QCOMPARE(rig.label(0), QStringLiteral("Current Fault: Code = 0AH"));
    QCOMPARE(rig.box(0), QStringLiteral("Ten, again"));
    QCOMPARE(rig.label(1), QStringLiteral("Last Fault: Code = 5CH"));
    QCOMPARE(rig.box(3), TargetBoardStatus::correctiveAction(0x5C));
    QCOMPARE(rig.label(4), QStringLiteral("Current Comm Error: Code = 07H"));
    QCOMPARE(rig.label(5), QStringLiteral("Last Comm Error: Code = 33H"));
    QVERIFY(w.cmdResetFaults->isEnabled());
    QCOMPARE(w.lblRevIdentInPLC[0]->text(), QStringLiteral("AB"));
    QCOMPARE(w.lblRevIdentInPLC[1]->text(), QStringLiteral("18"));
    QCOMPARE(w.lblRevIdentInPLC[2]->text(), QStringLiteral("3"));
    QVERIFY(w.cmdGoOnline->isHidden());
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
    QCOMPARE(rig.label(0), QStringLiteral("Current Fault: Code = 42H"));
    QVERIFY(w.cmdGoOnline->isHidden()); // shown only with the offline display

    rig.cycle();
    for (int i : { 0, 1, 3, 4, 5 })
        QCOMPARE(rig.box(i), kCannot);
    QVERIFY(!w.lblRevIdentInPLC[0]->isEnabled());
    QVERIFY(!w.txtSetup[0]->isEnabled());
    QVERIFY(!w.cmdResetFaults->isEnabled());
    QVERIFY(!w.cmdGoOnline->isHidden());

    // "&Go Online" with the board back: a new first pass.
    rig.sim.setDroppedOut(false);
    w.cmdGoOnline->click();
    QVERIFY(rig.rs.OnlineMode);
    rig.cycle();
    QCOMPARE(rig.label(1), QStringLiteral("Last Fault: Code = 45H"));
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

    // Yes: four zeros in this order.
    mark = rig.mark();
    rig.prompter.answerMsg(MsgResult::Yes);
    w.cmdResetFaults->click();
    QVERIFY(!w.cmdResetFaults->isEnabled());
    QCOMPARE(Writes(rig.port.exchanges(), mark),
        (QList<WireOp> { { true, 8178, 0 }, { true, 8179, 0 }, { true, 8177, 0 }, { true, 8176, 0 } }));
    rig.cycle();
    QCOMPARE(rig.label(0), QStringLiteral("Current Fault: Code = 00H"));
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
