// The compare on the in-process simulator: the rows against the controller
// (same, differs, a pulse train), values that could not be read as failed
// rows, two files, a download of chosen rows that changes exactly those
// values on the board, and taking the controller's values.

#include "ControllerState.h"
#include "Outcomes.h"
#include "shared/DownloadPreview.h"
#include "shared/SetupCompare.h"
#include "SimLink.h"
#include "WireOps.h"

#include <QTest>

using namespace talvek;
using namespace talvek::test;
using Kind = K7700Sim::PLSChannel::Kind;
using State = CompareRow::State;

namespace {

K7700Sim::PLSChannel setpoints(quint16 on, quint16 off)
{
    K7700Sim::PLSChannel c;
    c.kind = Kind::Setpoints;
    c.on = on;
    c.off = off;
    return c;
}

// Set-up rows 6..17 as the board holds them.
const QList<qint32> kBoardRows { 1, 44, 46, 280, 300, 400, 380, 260, 25, 0, 7, 10 };

struct Rig : SimLink
{
    Rig()
    {
        resetMachineDataGlobals();
        InitMachineData(1, 0, 0);
        sim.setByte(1018, 0x01);
        const int words[] = { 1020, 1022, 1024, 1026, 1028, 1032, 1034, 1036 };
        for (int k = 0; k < 8; ++k)
            sim.setWord(words[k], quint16(kBoardRows[k + 1]));
        sim.setByte(4050, 7);
        sim.setByte(4011, 10);
        sim.setPLSScaleFactor(360);
        sim.setPLSConfigTable({ 16, 2 });
        sim.setPLSChannel(0, setpoints(150, 170));
        sim.setPLSChannel(2, setpoints(155, 175));
        sim.setPLSChannel(9, setpoints(20, 330));
        // The working data holds what the board holds.
        for (int k = 0; k < kBoardRows.size(); ++k)
            CurrentData.ParamValue[6 + k] = kBoardRows[k];
        CurrentData.PlsChannelCount = 16;
        CurrentData.PlsProgram = 2;
        CurrentData.OnSetpoint.fill(0);
        CurrentData.OffSetpoint.fill(0);
        setChannel(CurrentData, 0, 150, 170);
        setChannel(CurrentData, 2, 155, 175);
        setChannel(CurrentData, 9, 20, 330);
        rs.OpenRSComm(&port);
        port.clearRecord();
    }
    static void setChannel(MachineData& d, int c, qint16 on, qint16 off)
    {
        d.OnSetpoint[size_t(c)] = on;
        d.OffSetpoint[size_t(c)] = off;
    }
};

// "W1026 300|310 differs" for each row that is not the same.
QStringList notSame(const SetupCompare& compare)
{
    QStringList lines;
    for (const CompareRow& r : compare.rows()) {
        if (r.state == State::Same)
            continue;
        const QString state = r.state == State::Differs ? QStringLiteral("differs")
            : r.state == State::PulseTrain              ? QStringLiteral("note")
                                                        : QStringLiteral("failed ") + causeName(r.failure->cause);
        lines << QStringLiteral("%1 %2|%3 %4").arg(r.address, r.working, r.other, state);
    }
    return lines;
}

int rowOf(const SetupCompare& compare, const QString& address)
{
    for (int i = 0; i < compare.rows().size(); ++i) {
        if (compare.rows()[i].address == address)
            return i;
    }
    return -1;
}

} // namespace

class tst_SetupCompare final : public QObject
{
    Q_OBJECT

private slots:
    void controllerRows();
    void failedReadsAreNeitherSameNorDifferent();
    void twoFiles();
    void downloadSendsOnlyTheChosenValues();
    void downloadAsksFirst();
    void downloadQuestionNamesWhatChanges();
    void takeControllerValues();
};

void tst_SetupCompare::controllerRows()
{
    Rig r;
    r.sim.setWord(1026, 310);
    r.sim.setPLSConfigTable({ 16, 3 });
    r.sim.setPLSChannel(2, setpoints(100, 120));
    K7700Sim::PLSChannel train;
    train.kind = Kind::PulseTrain;
    train.onDivisions = 10;
    train.offDivisions = 20;
    r.sim.setPLSChannel(11, train);
    const MachineData working = CurrentData;
    const ControllerState before = ControllerState::of(r.sim);

    SetupCompare compare(CurrentData, CompareScope::All);
    QCOMPARE(shown(compare.readController(r.rs)), QStringLiteral("done"));
    QCOMPARE(compare.rows().size(), 12 + 11 + 16);
    QCOMPARE(notSame(compare),
        (QStringList { "W1026 300|310 differs", "PLS-PROGRAM 2|3 differs", "CH02 155 / 175|100 / 120 differs",
            "CH13 empty|pulse train note" }));
    const CompareRow& speed = compare.rows()[rowOf(compare, QStringLiteral("W1026"))];
    QCOMPARE(speed.caption, QStringLiteral("Low Speed (SPM)"));
    QCOMPARE(speed.group, CompareScope::SetupParameters);
    QCOMPARE(compare.rows()[rowOf(compare, QStringLiteral("B4011"))].caption, QStringLiteral("Desination File Number"));
    // Channels are named in octal, as the report and the I/O display name them.
    QCOMPARE(compare.rows()[rowOf(compare, QStringLiteral("CH11"))].working, QStringLiteral("20 / 330"));
    QCOMPARE(compare.pulseTrains(), QList<int> { 11 });
    // A pulse train against an empty channel (all a file can hold) is a note.
    QCOMPARE(compare.differences(), 3);

    // Reading stored nothing in the working data and wrote nothing.
    QVERIFY(CurrentData == working);
    QVERIFY(ControllerState::of(r.sim) == before);
    QVERIFY(Writes(r.port.exchanges()).isEmpty());

    // The set-up parameters alone: not one PLS operation.
    r.port.clearRecord();
    SetupCompare params(CurrentData, CompareScope::SetupParameters);
    QCOMPARE(shown(params.readController(r.rs)), QStringLiteral("done"));
    QCOMPARE(params.rows().size(), 12);
    QCOMPARE(notSame(params), QStringList { "W1026 300|310 differs" });
    // Byte reads only: four byte rows and eight words of two bytes.
    QCOMPARE(ReadAddresses(r.port.exchanges()).size(), 4 + 8 * 2);
}

void tst_SetupCompare::failedReadsAreNeitherSameNorDifferent()
{
    // W1024 read wrong twice (handshake 2, B1018.0 2, W1020 and W1022 4
    // each; the retry's bytes 4 later): it and the rows after it were not
    // read; the link stays up, so the timing is compared.
    {
        Rig r;
        r.sim.setWord(1028, 1); // differs, but is not read
        r.sim.corruptReplyTo(12);
        r.sim.corruptReplyTo(16);
        SetupCompare compare(CurrentData, CompareScope::All);
        QCOMPARE(shown(compare.readController(r.rs)), QStringLiteral("failed: EchoMismatch"));
        QCOMPARE(notSame(compare),
            (QStringList { "W1024 280| failed EchoMismatch", "W1026 300| failed EchoMismatch",
                "W1028 400| failed EchoMismatch", "W1032 380| failed EchoMismatch", "W1034 260| failed EchoMismatch",
                "W1036 25| failed EchoMismatch", "B4001.0 0| failed EchoMismatch", "B4050 7| failed EchoMismatch",
                "B4011 10| failed EchoMismatch" }));
        QCOMPARE(compare.differences(), 0);
        QCOMPARE(compare.failures(), 9);
        QVERIFY(!r.rs.CommError);
    }
    // A silent line, given up at the link's box: nothing was read, every
    // row failed.
    {
        Rig r;
        r.sim.setWord(1026, 1);
        r.sim.setDroppedOut(true);
        r.prompter.answerMsg(MsgResult::Cancel);
        SetupCompare compare(CurrentData, CompareScope::All);
        QCOMPARE(shown(compare.readController(r.rs)), QStringLiteral("failed: SilentLine"));
        QCOMPARE(compare.failures(), 39);
        QCOMPARE(compare.differences(), 0);
        for (const CompareRow& row : compare.rows())
            QVERIFY2(row.other.isEmpty() && row.failure, qPrintable(row.address));
        QCOMPARE(r.prompter.messages().size(), 1); // the link's own box
        QVERIFY(r.rs.CommError);
    }
}

void tst_SetupCompare::twoFiles()
{
    resetMachineDataGlobals();
    InitMachineData(1, 0, 0);
    MachineData first = DefaultData;
    MachineData second = DefaultData;
    second.ParamValue[11] = 360;
    second.PlsScaleFactor = 720;
    second.OnSetpoint[3] = 0;
    second.OffSetpoint[3] = 0;
    // A file of another table layout: its row 16 holds another register.
    second.ParamAddress[16] = QStringLiteral("W1030");
    SetupCompare compare(first, CompareScope::All);
    compare.compareWith(second);
    QCOMPARE(notSame(compare),
        (QStringList { "W1028 350|360 differs", "B4050 1|1 (W1030) differs", "PLS-SCALE 360|720 differs",
            "CH03 110 / 130|empty differs" }));
    QCOMPARE(compare.failures(), 0);
}

// Only the chosen rows go: the board's whole memory and PLS afterwards
// differ from before in exactly their values.
void tst_SetupCompare::downloadSendsOnlyTheChosenValues()
{
    Rig r;
    CurrentData.ParamValue[10] = 600; // W1026, chosen (both of its bytes change)
    CurrentData.ParamValue[11] = 444; // W1028, not chosen
    CurrentData.PlsProgram = 5; // chosen
    CurrentData.PlsChannelCount = 12; // not chosen: the board's 16 stays
    Rig::setChannel(CurrentData, 2, 40, 60); // chosen
    Rig::setChannel(CurrentData, 0, 1, 2); // not chosen
    SetupCompare compare(CurrentData, CompareScope::All);
    QCOMPARE(shown(compare.readController(r.rs)), QStringLiteral("done"));
    QCOMPARE(compare.differences(), 6);
    const QList<int> chosen { rowOf(compare, QStringLiteral("W1026")), rowOf(compare, QStringLiteral("PLS-PROGRAM")),
        rowOf(compare, QStringLiteral("CH02")) };
    const ControllerState before = ControllerState::of(r.sim);

    r.prompter.answerMsg(MsgResult::Yes);
    DataTransfer::Report report;
    QCOMPARE(shown(downloadCompareRows(r.rs, r.prompter, compare, chosen, QStringLiteral("[press1.sdt]"), &report)),
        QStringLiteral("done"));
    QCOMPARE(r.prompter.messages().size(), 1); // the question; the press stands
    QCOMPARE(r.prompter.messages()[0].text,
        QStringLiteral("You are about to Download Data to the PLC\r\n\r\nW1026, PLS-PROGRAM, CH02 from [press1.sdt], "
                       "as selected in the compare.\r\n\r\nDo You Wish to Continue?"));
    QCOMPARE(r.prompter.messages()[0].defaultButton, MsgDefault::Button2);

    const ControllerState after = ControllerState::of(r.sim);
    QCOMPARE(after.changedBytes(before), (QList<int> { 1026, 1027 }));
    QCOMPARE(r.sim.word(1026), quint16(600));
    QCOMPARE(after.changedChannels(before), QList<int> { 2 });
    QCOMPARE(after.channels[2], setpoints(40, 60));
    QCOMPARE(after.scale, before.scale);
    QCOMPARE(after.table[0], quint8(16));
    QCOMPARE(after.table[1], quint8(5));
    auto untouchedTable = after.table;
    untouchedTable[1] = before.table[1];
    QVERIFY(untouchedTable == before.table);
    QVERIFY(report.rowsNotMoved.isEmpty() && report.channelsNotMoved.isEmpty() && !report.configNotMoved);
    QVERIFY(TimingDownloaded);
}

void tst_SetupCompare::downloadAsksFirst()
{
    Rig r;
    CurrentData.ParamValue[10] = 333;
    SetupCompare compare(CurrentData, CompareScope::SetupParameters);
    QCOMPARE(shown(compare.readController(r.rs)), QStringLiteral("done"));
    const QList<int> chosen { rowOf(compare, QStringLiteral("W1026")) };
    const ControllerState before = ControllerState::of(r.sim);

    // No to the question.
    r.prompter.answerMsg(MsgResult::No);
    QCOMPARE(shown(downloadCompareRows(r.rs, r.prompter, compare, chosen, QStringLiteral("[unnamed]"))),
        QStringLiteral("failed: Cancelled"));
    // A running press: the second question, and No.
    r.sim.setWord(K7700Sim::SpeedWord, 300);
    const ControllerState running = ControllerState::of(r.sim);
    r.prompter.answerMsg(MsgResult::Yes);
    r.prompter.answerMsg(MsgResult::No);
    QCOMPARE(shown(downloadCompareRows(r.rs, r.prompter, compare, chosen, QStringLiteral("[unnamed]"))),
        QStringLiteral("failed: Cancelled"));
    QCOMPARE(r.prompter.messages().size(), 3);
    QVERIFY(r.prompter.messages()[2].text.startsWith(QStringLiteral("The press is running at 300 SPM.")));
    QVERIFY(ControllerState::of(r.sim) == running);
    QCOMPARE(running.changedBytes(before).size(), 2); // only the speed the test set
    QCOMPARE(r.prompter.unexpected(), 0);
}

// Before a data download the controller is read and the question names each
// value that changes, the pulse trains it clears, start-up defaults, and a
// reading that failed; the compare's own download names its pulse trains.
void tst_SetupCompare::downloadQuestionNamesWhatChanges()
{
    Rig r;
    DefaultData = CurrentData; // the working data are the start-up defaults
    QVERIFY(IsUntitled);
    K7700Sim::PLSChannel train;
    train.kind = Kind::PulseTrain;
    train.onDivisions = 10;
    train.offDivisions = 20;
    r.sim.setPLSChannel(8, train);
    const ControllerState before = ControllerState::of(r.sim);

    const DownloadPreview defaults = previewDownload(r.rs, 10, CurrentData);
    QCOMPARE(downloadDataLine(defaults, QStringLiteral("[unnamed]")),
        QStringLiteral("Set-up Parameters from [unnamed]: 0 of 12 values differ from what the controller holds."
                       "\r\n\r\nThe working data are the start-up defaults: they were not read from a press or a "
                       "set-up file."));

    CurrentData.ParamValue[10] = 333;
    const DownloadPreview all = previewDownload(r.rs, 14, CurrentData);
    QCOMPARE(downloadDataLine(all, QStringLiteral("[press3.sdt]")),
        QStringLiteral("All Data from [press3.sdt]: 1 of 23 values and 1 of 16 channels differ from what the "
                       "controller holds:\r\nW1026 Low Speed (SPM): 300 -> 333\r\nCH10 Channel 8: pulse train -> "
                       "empty\r\n\r\nThe PLS holds a pulse train in channel CH10: this download clears it, and a "
                       "set-up file cannot hold a pulse train."));
    // Reading changed nothing on the press.
    QVERIFY(ControllerState::of(r.sim) == before);
    QVERIFY(Writes(r.port.exchanges()).isEmpty());

    // The compare's download of the pulse-train row says the same.
    SetupCompare compare(CurrentData, CompareScope::TimingChannels);
    QCOMPARE(shown(compare.readController(r.rs)), QStringLiteral("done"));
    QCOMPARE(compare.differences(), 0);
    QCOMPARE(compareDownloadLine(compare, { rowOf(compare, QStringLiteral("CH10")) }, QStringLiteral("[unnamed]")),
        QStringLiteral("CH10 from [unnamed], as selected in the compare.\r\n\r\nThe PLS holds a pulse train in "
                       "channel CH10: this download clears it, and a set-up file cannot hold a pulse train."));

    // A reading that fails is said; the operator may still go on.
    r.sim.setDroppedOut(true);
    r.prompter.answerMsg(MsgResult::Cancel);
    const DownloadPreview failed = previewDownload(r.rs, 11, CurrentData);
    QVERIFY(downloadDataLine(failed, QStringLiteral("[unnamed]"))
                .startsWith(QStringLiteral("Timing Channels from [unnamed].\r\n\r\nWhat the controller holds could "
                                           "not be read (")));
    QVERIFY(downloadDataLine(failed, QStringLiteral("[unnamed]"))
                .endsWith(QStringLiteral("): what this download changes is not known.")));
}

void tst_SetupCompare::takeControllerValues()
{
    Rig r;
    SavedData = CurrentData;
    r.sim.setWord(1026, 310);
    r.sim.setWord(1028, 410);
    r.sim.setPLSChannel(2, setpoints(100, 120));
    SetupCompare compare(CurrentData, CompareScope::All);
    QCOMPARE(shown(compare.readController(r.rs)), QStringLiteral("done"));
    QVERIFY(!HasUnsavedChanges());
    const MachineData before = CurrentData;

    const QList<int> chosen { rowOf(compare, QStringLiteral("W1026")), rowOf(compare, QStringLiteral("CH02")),
        rowOf(compare, QStringLiteral("W1020")) };
    QCOMPARE(compare.takeInto(CurrentData, chosen), 3); // W1026 and CH02's two setpoints
    MachineData expected = before;
    expected.ParamValue[10] = 310;
    Rig::setChannel(expected, 2, 100, 120);
    QVERIFY(CurrentData == expected); // W1028 not chosen: not taken
    QVERIFY(HasUnsavedChanges());
    QCOMPARE(notSame(compare), QStringList { "W1028 400|410 differs" });

    // A failed row has no value to take.
    Rig f;
    f.sim.setWord(1020, 1);
    f.sim.setDroppedOut(true);
    f.prompter.answerMsg(MsgResult::Cancel);
    SetupCompare failed(CurrentData, CompareScope::SetupParameters);
    QVERIFY(!failed.readController(f.rs));
    const MachineData kept = CurrentData;
    QCOMPARE(failed.takeInto(CurrentData, { rowOf(failed, QStringLiteral("W1020")) }), 0);
    QVERIFY(CurrentData == kept);
}

QTEST_GUILESS_MAIN(tst_SetupCompare)
#include "tst_setupcompare.moc"
