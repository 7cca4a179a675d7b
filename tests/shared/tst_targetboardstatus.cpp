// The target board panel's logic on the in-process simulator, without a GUI.
// The wire: the first pass and the field polling by board, Reset Faults, the
// clock and field writes. The state published: the program set on disk, the
// corrective actions, the codes with their descriptions and the board's
// ident. The dying link: the link lost and regained, faults of the code tables.

#include "base/BasicError.h"
#include "K7700Demo.h"
#include "shared/modUtility.h"
#include "shared/TargetBoardStatus.h"
#include "SimLinkMode.h"
#include "TargetBoardTestData.h"
#include "WireOps.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {

using State = TargetBoardState;

const QString kCannot = QStringLiteral("Cannot Communicate with Target Board.");

// The panel's show and hide as the program makes them.
void sendVisibility(QObject* panel, QEvent::Type type)
{
    QEvent event(type);
    QCoreApplication::sendEvent(panel, &event);
}

struct StatusRig : SimLinkMode
{
    QObject panel;
    TargetBoardStatus status { prompter, rs, mode, folder };
    RefreshLoop loop { status, rs, mode };

    StatusRig()
    {
        writeCodeTables(dir.path());
        status.setRefreshLoop(loop);
        loop.setAutoStep(false);
        loop.followVisibility(&panel, RefreshLoop::Activation::LoopPresents);
        status.setWallClock([] { return QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9)); });
    }
    ~StatusRig()
    {
        if (port.isOpen())
            port.close();
    }
    QString program(const QByteArray& board, const QByteArray& rev = "PRESS 10312")
    {
        return writeProgramSet(dir.path(), board, rev);
    }
    // Loads the program set and opens the panel: the loop starts.
    void open(const QString& path)
    {
        status.loadProgramSet(path);
        sendVisibility(&panel, QEvent::Show);
    }
    void cycle() { loop.runCycle(); }
    qsizetype mark() const { return port.exchanges().size(); }
    QList<int> readsSince(qsizetype from) const { return ReadAddresses(port.exchanges(), from); }
    const State& state() const { return status.state(); }
    QString description(int i) const { return state().descriptions[size_t(i)]; }
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

class tst_TargetBoardStatus : public QObject
{
    Q_OBJECT

private slots:
    // ---- the wire ----
    void boards_data();
    void boards();
    void resetFaults();
    void clockWrites();
    void fieldWrites();
    // ---- the state published ----
    void correctiveAction_data();
    void correctiveAction();
    void programOnDisk();
    void firstPass();
    void demoBoardHoldsAProgram();
    // ---- the dying link ----
    void linkLostAndRegained();
    void faultsOfTheFiles();
};

void tst_TargetBoardStatus::boards_data()
{
    QTest::addColumn<QByteArray>("board");
    QTest::addColumn<bool>("slot");
    QTest::addColumn<QList<int>>("shownValues"); // the fields whose reads are published
    QTest::newRow("D: K7700") << QByteArray("D") << false << QList<int> { 0 };
    QTest::newRow("A: V5510") << QByteArray("A") << false << QList<int> { 1, 2, 3, 4, 5, 6, 7 };
    QTest::newRow("6: R6016") << QByteArray("6") << false << QList<int> { 2, 3, 4, 5, 6, 7 };
    QTest::newRow("2: R6012") << QByteArray("2") << true << QList<int> {};
}

void tst_TargetBoardStatus::boards()
{
    QFETCH(QByteArray, board);
    QFETCH(bool, slot);
    QFETCH(QList<int>, shownValues);
    StatusRig rig;
    rig.sim.setByte(8175, 3);
    rig.sim.setByte(8180, 5);
    rig.sim.setByte(43012, 123); // shows its last two digits
    rig.open(rig.program(board));
    QSignalSpy fieldReads(&rig.status, &TargetBoardStatus::fieldRead);

    const qsizetype mark = rig.mark();
    rig.cycle();
    QVERIFY(rig.rs.OnlineMode); // opening the panel brought the link online
    QCOMPARE(rig.readsSince(mark), firstPassReads(slot));
    QCOMPARE(rig.state().slot, slot ? QStringLiteral("3") : QString());
    QList<int> published;
    for (const QList<QVariant>& call : fieldReads)
        published << call.at(0).toInt();
    QCOMPARE(published, shownValues);
    QCOMPARE(rig.state().fieldTexts[0], shownValues.contains(0) ? QStringLiteral("05") : QStringLiteral("-"));
    QCOMPARE(rig.state().fieldTexts[2], shownValues.contains(2) ? QStringLiteral("23") : QStringLiteral("-"));
    // Every field is polled in every cycle, shown or not.
    const qsizetype second = rig.mark();
    rig.cycle();
    QCOMPARE(rig.readsSince(second), kFieldReads);
    QCOMPARE(rig.prompter.unexpected(), 0);
}

void tst_TargetBoardStatus::resetFaults()
{
    StatusRig rig;
    rig.sim.setByte(8176, 0x5C);
    rig.open(rig.program("D"));
    rig.cycle();
    QVERIFY(rig.state().resetEnabled);

    // In the middle of a field pass: four zeros in this order, that pass
    // ends and the next cycle is a first pass.
    RefreshLoop& loop = rig.loop;
    loop.step(); // begins a pass
    loop.step(); // reads field 0
    QVERIFY(loop.inPass());
    qsizetype mark = rig.mark();
    rig.status.resetFaults();
    QVERIFY(!rig.state().resetEnabled);
    QCOMPARE(Writes(rig.port.exchanges(), mark),
        (QList<WireOp> { { true, 8178, 0 }, { true, 8179, 0 }, { true, 8177, 0 }, { true, 8176, 0 } }));
    loop.step();
    QVERIFY(!loop.inPass());
    mark = rig.mark();
    rig.cycle();
    QCOMPARE(rig.readsSince(mark), firstPassReads(false));
    QCOMPARE(rig.state().codes[State::kCurrentFault], QStringLiteral("00"));
    QVERIFY(!rig.state().resetEnabled);

    // Offline: nothing written.
    rig.mode.setMode(false);
    mark = rig.mark();
    rig.status.resetFaults();
    QCOMPARE(rig.mark(), mark);
    QCOMPARE(rig.prompter.unexpected(), 0);
}

void tst_TargetBoardStatus::clockWrites()
{
    StatusRig rig;
    rig.open(rig.program("6"));
    rig.cycle();
    qsizetype mark = rig.mark();
    rig.status.setBoardTime();
    QCOMPARE(Writes(rig.port.exchanges(), mark),
        (QList<WireOp> { { true, 43012, 7 }, { true, 43010, 8 }, { true, 43008, 9 } }));
    mark = rig.mark();
    rig.status.setBoardDate();
    QCOMPARE(Writes(rig.port.exchanges(), mark),
        (QList<WireOp> { { true, 43016, 3 }, { true, 43015, 5 }, { true, 43017, 24 } }));
    // Offline: nothing.
    rig.mode.setMode(false);
    mark = rig.mark();
    rig.status.setBoardTime();
    rig.status.setBoardDate();
    QCOMPARE(rig.mark(), mark);
}

void tst_TargetBoardStatus::fieldWrites()
{
    StatusRig rig;
    rig.open(rig.program("A"));
    rig.cycle();
    qsizetype mark = rig.mark();
    rig.status.writeField(1, QStringLiteral("17"));
    rig.status.writeField(7, QStringLiteral("99"));
    QCOMPARE(Writes(rig.port.exchanges(), mark), (QList<WireOp> { { true, 8191, 17 }, { true, 43017, 99 } }));
    QCOMPARE(int(rig.sim.byte(8191)), 17);

    // A failed link, and offline: nothing goes out.
    rig.rs.CommError = true;
    mark = rig.mark();
    rig.status.writeField(0, QStringLiteral("4"));
    QCOMPARE(rig.mark(), mark);
    rig.rs.CommError = false;
    rig.mode.setMode(false);
    rig.status.writeField(0, QStringLiteral("4"));
    QCOMPARE(int(rig.sim.byte(8180)), 0);
}

void tst_TargetBoardStatus::correctiveAction_data()
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

void tst_TargetBoardStatus::correctiveAction()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(TargetBoardStatus::correctiveAction(code), text);
}

void tst_TargetBoardStatus::programOnDisk()
{
    StatusRig rig;
    const QString path = rig.program("D", "XY<?0:");
    // No revision file: "-", 0, 0 and no date; the board name still from the program file.
    QFile::remove(rig.dir.path() + QStringLiteral("/PROG.rev"));
    rig.status.loadProgramSet(path);
    QCOMPARE(QStringList(rig.state().onDisk.begin(), rig.state().onDisk.end()),
        (QStringList { "-", "0", "0", "K7700(PLC)", "-" }));

    // A revision field too short to split: the fault, and the program data of before.
    rig.program("A", "XY<?0:");
    rig.status.loadProgramSet(path);
    const State before = rig.state();
    QCOMPARE(rig.status.boardCode(), qint16('A'));
    rig.program("D", "AB");
    try {
        rig.status.loadProgramSet(path);
        QFAIL("no fault");
    } catch (const BasicError& e) {
        QCOMPARE(e.number(), 5);
        QCOMPARE(e.description(), QStringLiteral("Invalid procedure call or argument"));
    }
    QCOMPARE(rig.status.boardCode(), qint16('A'));
    QVERIFY(rig.state() == before);
    QCOMPARE(rig.port.openCount(), 0);

    // An ident of NUL bytes (a program uploaded from a board without one)
    // ends at its first NUL, as the board's: empty, not eight boxes.
    rig.program("D", QByteArray(8, '\0') + "0312");
    rig.status.loadProgramSet(path);
    QCOMPARE(rig.state().onDisk[0], QString());
    QCOMPARE(rig.state().onDisk[1], QStringLiteral("18"));
}

void tst_TargetBoardStatus::firstPass()
{
    StatusRig rig;
    setBoardFaults(rig.sim);
    rig.open(rig.program("D"));
    QSignalSpy published(&rig.status, &TargetBoardStatus::stateChanged);
    rig.cycle();

    const State& s = rig.state();
    QCOMPARE(
        QStringList(s.codes.begin(), s.codes.end()), (QStringList { "0A", "5C", "00", "5C", "07", "33" }));
    QCOMPARE(rig.description(State::kCurrentFault), QStringLiteral("Ten, again"));
    QCOMPARE(rig.description(State::kLastFault), QStringLiteral("Bad program"));
    QCOMPARE(rig.description(State::kAction), TargetBoardStatus::correctiveAction(0x5C));
    QCOMPARE(rig.description(State::kCurrentComm), QStringLiteral("Address out of range"));
    QCOMPARE(rig.description(State::kLastComm), QString()); // no match: the text stays
    QVERIFY(s.resetEnabled);
    QCOMPARE(QStringList(s.inBoard.begin(), s.inBoard.end()), (QStringList { "AB", "18", "3" }));
    QVERIFY(!s.goOnlineShown);
    QVERIFY(s.live);
    QVERIFY(rig.status.firstPassDone());
    QCOMPARE(s.currentTime, QStringLiteral("07 : 08 : 09"));
    QCOMPARE(s.currentDate, QStringLiteral("03 - 05 - 2024"));
    QVERIFY(!published.isEmpty());
    QVERIFY(published.last().at(0).value<State>() == s);

    // Only codes of zero: Reset Faults stays disabled (the slot register does not count).
    for (int a : { 8176, 8177, 8179, 8178 })
        rig.sim.setByte(a, 0);
    rig.sim.setByte(8175, 4);
    rig.status.resetFaults();
    rig.cycle();
    QVERIFY(!s.resetEnabled);
    QCOMPARE(rig.description(State::kAction), QStringLiteral("None"));
    QCOMPARE(rig.description(State::kLastComm), QStringLiteral("No error"));
    QCOMPARE(rig.prompter.unexpected(), 0);
}

void tst_TargetBoardStatus::demoBoardHoldsAProgram()
{
    // The demo's board (k7700-sim --demo) shows a program on the Program
    // Ident page, and no faults.
    StatusRig rig;
    loadDemoPress(rig.sim, 250);
    rig.open(rig.program("D"));
    rig.cycle();
    const State& s = rig.state();
    QCOMPARE(QStringList(s.inBoard.begin(), s.inBoard.end()), (QStringList { "PRESS1", "3", "165" }));
    QCOMPARE(
        QStringList(s.codes.begin(), s.codes.end()), (QStringList { "00", "00", "00", "00", "00", "00" }));
    QVERIFY(!s.resetEnabled);
    QCOMPARE(rig.prompter.unexpected(), 0);
}

void tst_TargetBoardStatus::linkLostAndRegained()
{
    StatusRig rig;
    rig.sim.setByte(8177, 0x45);
    rig.open(rig.program("D"));
    // The board answers the attention of the opening, then falls silent.
    rig.sim.dropOutAfter(1);
    rig.prompter.answerMsg(MsgResult::Cancel); // the link's Retry/Cancel
    rig.cycle();
    QVERIFY(rig.rs.CommError);
    QVERIFY(rig.rs.OnlineMode); // until the next cycle
    for (int i : { State::kCurrentFault, State::kLastFault })
        QCOMPARE(rig.description(i), QStringLiteral("Fault table 42"));
    QCOMPARE(rig.state().codes[State::kCurrentFault], QStringLiteral("42"));
    QCOMPARE(rig.state().codes[State::kLastComm], QStringLiteral("42"));
    QCOMPARE(rig.description(State::kAction), TargetBoardStatus::correctiveAction(0x42));
    QCOMPARE(rig.description(State::kCurrentComm), QStringLiteral("Comm table 42"));
    QVERIFY(!rig.state().resetEnabled);
    QVERIFY(!rig.state().goOnlineShown); // shown only with the offline display

    rig.cycle();
    QVERIFY(!rig.rs.OnlineMode);
    QVERIFY(!rig.port.isOpen());
    for (int i : { 0, 1, 3, 4, 5 })
        QCOMPARE(rig.description(i), kCannot);
    QVERIFY(!rig.state().inBoardEnabled);
    QVERIFY(!rig.state().fieldEnabled[0]);
    QVERIFY(!rig.state().resetEnabled);
    QVERIFY(rig.state().goOnlineShown);
    QCOMPARE(rig.prompter.messages().size(), 1);

    // "&Go Online" with the board back: a new first pass.
    rig.sim.setDroppedOut(false);
    rig.status.goOnline();
    QVERIFY(rig.rs.OnlineMode);
    const qsizetype mark = rig.mark();
    rig.cycle();
    QCOMPARE(rig.readsSince(mark), firstPassReads(false));
    QCOMPARE(rig.state().codes[State::kLastFault], QStringLiteral("45"));
    QCOMPARE(rig.description(State::kAction), TargetBoardStatus::correctiveAction(0x45));
    QVERIFY(!rig.state().goOnlineShown);
    QVERIFY(rig.state().fieldEnabled[0]);
    QCOMPARE(rig.prompter.unexpected(), 0);
}

void tst_TargetBoardStatus::faultsOfTheFiles()
{
    StatusRig rig;
    // A last record without its description: read error 62 while the codes are described.
    writeFile(rig.dir.path() + QStringLiteral("/support/FaultErrCodes.txt"), "00,No fault\r\n0A");
    QFile::remove(rig.dir.path() + QStringLiteral("/support/CommErrCodes.txt"));
    rig.sim.setByte(8177, 0x45);
    rig.open(rig.program("D"));
    rig.cycle();
    auto boxes = rig.prompter.messages();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QStringLiteral("Error Number = 62\r\n\r\nInput past end of file"));
    QCOMPARE(boxes[0].title, QStringLiteral("TargetBoard FirstPass"));
    QCOMPARE(boxes[0].icon, MsgIcon::Information);
    // The first pass ended there: no corrective action, no ident, not done.
    QCOMPARE(rig.description(State::kCurrentFault), QStringLiteral("No fault"));
    QCOMPARE(rig.description(State::kAction), QString());
    QCOMPARE(rig.state().inBoard[0], QStringLiteral("-"));
    QVERIFY(!rig.status.firstPassDone());

    // The next cycle tries again, without a second box.
    qsizetype mark = rig.mark();
    rig.cycle();
    QCOMPARE(rig.readsSince(mark).mid(0, 6), (QList<int> { 8176, 8177, 8175, 8177, 8179, 8178 }));
    QCOMPARE(rig.prompter.messages().size(), 1);

    // Table mended, the other one missing: the pass completes, the comm texts stay.
    writeFile(rig.dir.path() + QStringLiteral("/support/FaultErrCodes.txt"), "00,No fault\r\n");
    rig.cycle();
    QVERIFY(rig.status.firstPassDone());
    QCOMPARE(rig.description(State::kAction), TargetBoardStatus::correctiveAction(0x45));
    QCOMPARE(rig.description(State::kCurrentComm), QString());
    QCOMPARE(rig.prompter.messages().size(), 1);
}

QTEST_GUILESS_MAIN(tst_TargetBoardStatus)
#include "tst_targetboardstatus.moc"
