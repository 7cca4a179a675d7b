// The data transfer between CurrentData and the in-process simulator: the
// operations on the wire in their order, the values stored, the progress,
// cancel requests, a link that dies part-way and failed PLS operations.

#include "Outcomes.h"
#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "K7700Sim.h"
#include "link/RSComm.h"
#include "link/WriteAheadRecord.h"
#include "ScriptedPrompter.h"
#include "shared/DataTransfer.h"
#include "shared/MachineData.h"
#include "SimLink.h"
#include "SimPort.h"
#include "WireOps.h"

#include <QTemporaryDir>
#include <QTest>

using namespace talvek;
using namespace talvek::test;
using Kind = K7700Sim::PLSChannel::Kind;

namespace {

// The wire as operations: "R1100" a byte read, "W1020=44" a byte write; PLS
// commands as "P24=360" (word read), "P26=720" (word write), "P27 3 150 170 1"
// (record: channel, two 16-bit values, flag), "P59 1 2 3 4 5 6" (configuration
// block), "P9 3=1@150" (recall: channel = state @ position), "P12"
// (configuration table); a refused write ends in " NAK". Ready queries are
// left out. Only operations that end at exchange `from` or later are listed.
QStringList Ops(const QList<SimPort::Exchange>& exchanges, qsizetype from = 0)
{
    // PLS command bytes: how many bytes follow the handshake, and whether the
    // board acknowledges them (writes) or answers them (reads).
    const auto plsLength = [](int c) {
        return c == 9 ? 4 : c == 12 ? 19 : QList { 24, 40, 72, 88, 26, 42 }.contains(c) ? 2 : 6;
    };
    const auto plsRead = [](int c) { return QList { 24, 40, 72, 88, 9, 12 }.contains(c); };
    const auto word = [](const QList<int>& v, int k) { return v.value(k) + 256 * v.value(k + 1); };
    enum class Mode
    {
        Idle,
        Command,
        Read,
        Write,
        PLS,
        Ready
    };
    Mode mode = Mode::Idle;
    int step = 0, address = 0, command = 0;
    QList<int> sent, replies;
    QStringList ops;
    for (qsizetype i = 0; i < exchanges.size(); ++i) {
        const int b = exchanges[i].sent;
        const int r = exchanges[i].reply.isEmpty() ? -1 : quint8(exchanges[i].reply.back());
        QString op;
        if (b == 0xFF && step == 0 && mode != Mode::PLS) {
            mode = Mode::Command;
        } else if (mode == Mode::Idle || mode == Mode::Ready) {
            // The ready query: 0x38, a poll, and one more poll when it said ready.
            const bool more = mode == Mode::Ready && step == 0 && r == 0x00;
            mode = b == 0x38 || more ? Mode::Ready : Mode::Idle;
            step = more ? 1 : 0;
        } else if (mode == Mode::Command) {
            command = b;
            sent.clear();
            replies.clear();
            mode = r != 0x55 ? Mode::Idle : b == 1 ? Mode::Read : b == 2 ? Mode::Write : Mode::PLS;
        } else if (mode == Mode::Read) {
            address = step == 0 ? b << 8 : address | b;
            if (step == 1)
                op = QStringLiteral("R%1").arg(address);
            step = 1 - step;
        } else if (mode == Mode::Write) {
            if (step == 2)
                op = QStringLiteral("W%1=%2").arg(address).arg(b);
            address = step == 0 ? b << 8 : step == 1 ? address | b : address;
            step = (step + 1) % 3;
        } else {
            sent << b;
            replies << r;
            const bool refused = !plsRead(command) && r != 0x55;
            if (refused || sent.size() == plsLength(command)) {
                op = QStringLiteral("P%1").arg(command);
                if (plsLength(command) == 2)
                    op += QStringLiteral("=%1").arg(word(plsRead(command) ? replies : sent, 0));
                else if (command == 27 || command == 43)
                    op += QStringLiteral(" %1 %2 %3 %4")
                              .arg(sent[0])
                              .arg(word(sent, 1))
                              .arg(word(sent, 3))
                              .arg(sent.value(5));
                else if (command == 9)
                    op += QStringLiteral(" %1=%2@%3")
                              .arg(sent[0])
                              .arg(replies.value(1))
                              .arg(word(replies, 2));
                else if (command != 12)
                    for (int v : sent)
                        op += QStringLiteral(" %1").arg(v);
                if (refused)
                    op += QStringLiteral(" NAK");
                mode = Mode::Idle;
            }
        }
        if (!op.isEmpty() && i >= from)
            ops << op;
    }
    return ops;
}

QStringList readsOf(std::initializer_list<std::pair<int, int>> spans)
{
    QStringList out;
    for (auto [address, bytes] : spans)
        for (int k = 0; k < bytes; ++k)
            out << QStringLiteral("R%1").arg(address + k);
    return out;
}

QStringList wordWrite(int address, int value)
{
    return { QStringLiteral("W%1=%2").arg(address).arg(value & 0xFF),
        QStringLiteral("W%1=%2").arg(address + 1).arg(value >> 8) };
}

K7700Sim::PLSChannel setpoints(int on, int off)
{
    K7700Sim::PLSChannel c;
    c.kind = Kind::Setpoints;
    c.on = quint16(on);
    c.off = quint16(off);
    return c;
}

const QString kNoComm = QStringLiteral("Cannot Communicate with Target Board.\rVerify RS-232 Cable is "
                                       "Connected Between\rCOMM Port and PROG Port.");

struct Rig : SimLink
{
    RSComm& link = rs;
    int pumps = 0; // how often events were let run
    QStringList statuses;
    DataTransfer transfer { link, CurrentData,
        { [this] { ++pumps; }, [this](const QString& s) { statuses << s; }, nullptr } };

    Rig()
    {
        resetMachineDataGlobals();
        InitMachineData(1, 0, 0);
        link.OpenRSComm(&port);
        port.clearRecord();
    }
    QStringList ops() const { return Ops(port.exchanges()); }
    // The board goes silent after `bytes` more bytes; the link's box is cancelled.
    void killLinkAfter(int bytes)
    {
        sim.dropOutAfter(bytes);
        prompter.answerMsg(MsgResult::Cancel);
    }
    // The shift and set-up values the board holds.
    void fillBoard()
    {
        sim.setD(1100, 123456);
        sim.setWord(1104, 7);
        sim.setD(1200, 99999);
        sim.setWord(1204, 3);
        sim.setWord(1040, 12);
        sim.setWord(1042, 14);
        sim.setByte(1018, 0x05); // bit 0: brake wear compensation on
        const int words[]
            = { 1020, 44, 1022, 46, 1024, 280, 1026, 300, 1028, 400, 1032, 380, 1034, 260, 1036, 25 };
        for (int k = 0; k < 16; k += 2)
            sim.setWord(words[k], quint16(words[k + 1]));
        sim.setByte(4001, 0x03); // bit 0: SLC500
        sim.setByte(4050, 5);
        sim.setByte(4011, 12);
    }
};

const QList<qint32> kBoardRows { 123456, 7, 99999, 3, 12, 14, 1, 44, 46, 280, 300, 400, 380, 260, 25, 1, 5,
    12 };
const QStringList kShiftReads
    = readsOf({ { 1100, 4 }, { 1104, 2 }, { 1200, 4 }, { 1204, 2 }, { 1040, 2 }, { 1042, 2 } });
const QStringList kSetupReads = readsOf({ { 1018, 1 }, { 1020, 2 }, { 1022, 2 }, { 1024, 2 }, { 1026, 2 },
    { 1028, 2 }, { 1032, 2 }, { 1034, 2 }, { 1036, 2 }, { 4001, 1 }, { 4050, 1 }, { 4011, 1 } });

} // namespace

class tst_DataTransfer final : public QObject
{
    Q_OBJECT

private slots:
    void codesWithoutWork();
    void rowUploads_data();
    void rowUploads();
    void rowDownloads();
    void downloadRecordsItsRowsOnce();
    void linkDiesPartWay_data();
    void linkDiesPartWay();
    void wrongEchoesNeverStoreOrPass_data();
    void wrongEchoesNeverStoreOrPass();
    void timingUpload();
    void timingUploadStopsAtAFailedRecall();
    void timingDownload();
    void timingDownloadFailures_data();
    void timingDownloadFailures();
    void nothingWhenCommErrorIsSet();
    void rowsOutsideTheTableAreRefused_data();
    void rowsOutsideTheTableAreRefused();
    void timingUploadTakesOnlyWholeValues();
};

void tst_DataTransfer::codesWithoutWork()
{
    // Item 3 of the submenus is a separator; nothing else is a transfer code.
    for (qint16 code : { -1, 3, 5, 9, 13, 15, 24 })
        QVERIFY2(!transferWorkFor(code, 17), qPrintable(QString::number(code)));
    QCOMPARE(transferWorkFor(4, 17)->maximum, 50);
    QCOMPARE(transferWorkFor(14, 20)->maximum, 53);
}

void tst_DataTransfer::rowUploads_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("reads");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::newRow("shift data") << 2 << kShiftReads << 0 << 5;
    QTest::newRow("set-up parameters") << 0 << kSetupReads << 6 << 17;
}

void tst_DataTransfer::rowUploads()
{
    QFETCH(int, code);
    QFETCH(QStringList, reads);
    QFETCH(int, first);
    QFETCH(int, last);
    Rig r;
    r.fillBoard();
    const Status outcome = r.transfer.run(qint16(code), ParamCount);

    QCOMPARE(r.ops(), reads); // in row order, nothing else
    for (int row = 0; row <= 17; ++row) {
        const qint32 expected = row >= first && row <= last ? kBoardRows[row] : DefaultData.ParamValue[row];
        QVERIFY2(CurrentData.ParamValue[row] == expected, qPrintable(QString::number(row)));
    }
    QCOMPARE(r.transfer.progress(), last - first + 1); // 12 of 13 for the set-up parameters
    QCOMPARE(r.pumps, last - first + 1);
    QVERIFY(r.statuses.isEmpty());
    QCOMPARE(shown(outcome), QStringLiteral("done"));
    QVERIFY(!r.link.CommError);
    QVERIFY(!TimingDownloaded && !DataReloaded);
    QVERIFY(r.prompter.calls().isEmpty());
}

void tst_DataTransfer::rowDownloads()
{
    Rig r;
    r.sim.setByte(1018, 0x06); // the other bits of the brake wear byte stay
    r.sim.setByte(4001, 0x81);
    for (int row = 0; row <= 17; ++row)
        CurrentData.ParamValue[row] = kBoardRows[row];
    CurrentData.ParamValue[15] = 0;
    const Status outcome = r.transfer.run(14, ParamCount);

    QStringList rows;
    rows << QStringList { "W1100=128", "W1101=13", "W1102=12", "W1103=0" } // 123456: 12 * 10000 + 3456
         << wordWrite(1104, 7) << QStringList { "W1200=15", "W1201=39", "W1202=9", "W1203=0" }
         << wordWrite(1204, 3) << wordWrite(1040, 12) << wordWrite(1042, 14)
         << QStringList { "R1018", "W1018=7" } << wordWrite(1020, 44) << wordWrite(1022, 46)
         << wordWrite(1024, 280) << wordWrite(1026, 300) << wordWrite(1028, 400) << wordWrite(1032, 380)
         << wordWrite(1034, 260) << wordWrite(1036, 25)
         << QStringList { "R4001", "W4001=128", "W4050=5", "W4011=12" };
    const QStringList ops = r.ops();
    QCOMPARE(ops.mid(0, rows.size()), rows);
    QVERIFY(ops.value(rows.size()).startsWith(QLatin1String("P59"))); // then the timing download
    QCOMPARE(r.sim.getD(1100), 123456);
    QCOMPARE(r.sim.word(1026), quint16(300));
    QCOMPARE(r.transfer.progress(), 18 + 32);
    QVERIFY(r.prompter.calls().isEmpty());
}

// A download is recorded for the next run once, before its first byte (one
// sync, not one per row and PLS write); a run cut part way leaves the record
// naming the rows it had not reached too.
void tst_DataTransfer::downloadRecordsItsRowsOnce()
{
    Rig r;
    const WriteAheadRecord& record = r.link.byteLink().writeAheadRecord();
    QVERIFY(record.enabled());
    const int writes = record.writes();
    QVERIFY(r.transfer.run(14, ParamCount).ok()); // the rows, then the PLS
    QCOMPARE(record.writes(), writes + 1);
    QVERIFY(record.held().isEmpty());

    Rig cut;
    cut.killLinkAfter(2 + 3 * 3); // the handshake and the brake wear byte's read and write
    QVERIFY(!cut.transfer.run(10, ParamCount).ok());
    WriteAheadRecord reader;
    reader.setPath(cut.link.byteLink().writeAheadRecord().path());
    const std::optional<WriteAheadRecord::Left> left = reader.left();
    QVERIFY(left);
    for (const int byte : { 1020, 1021, 1036, 1037, 4011, 0x04FF, 0x0FFF })
        QVERIFY2(left->entry.addresses.contains(byte), qPrintable(QString::number(byte)));
}

void tst_DataTransfer::linkDiesPartWay_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("bytes"); // heard before the board goes silent
    QTest::addColumn<int>("progress");
    // Handshake (2 bytes), then 2 bytes per byte read: rows 0 and 1 take 12;
    // row 2 dies inside its first byte. The failed row does not count.
    QTest::newRow("upload all") << 4 << 2 + 12 + 1 << 2;
    // Handshake, then 3 bytes per byte written: rows 0 and 1 take 18; the
    // low word of row 2 gets through.
    QTest::newRow("download all") << 14 << 2 + 18 + 6 << 2;
}

void tst_DataTransfer::linkDiesPartWay()
{
    QFETCH(int, code);
    QFETCH(int, bytes);
    Rig r;
    r.fillBoard();
    CurrentData.ParamValue[2] = 4242;
    r.killLinkAfter(bytes);
    const Status outcome = r.transfer.run(qint16(code), ParamCount);

    QVERIFY(r.link.CommError);
    QTEST(r.transfer.progress(), "progress"); // the rows moved; nothing after them
    QVERIFY(!outcome); // the link failure is its cause
    QCOMPARE(r.prompter.messages().size(), 1);
    QCOMPARE(r.prompter.messages()[0].text, kNoComm);
    QVERIFY(r.statuses.isEmpty()); // no timing phase
    QVERIFY(!TimingDownloaded);
    if (code == 4) {
        // Rows read keep their new values; the failed read stores nothing.
        QCOMPARE(CurrentData.ParamValue.mid(0, 4), (QList<qint32> { 123456, 7, 4242, 0 }));
    } else {
        QCOMPARE(r.sim.getD(1100), 0);
        QCOMPARE(r.sim.word(1104), quint16(0));
        QCOMPARE(r.sim.word(1200), quint16(4242)); // row 2: its low word got through,
        QCOMPARE(r.sim.word(1202), quint16(9)); // its high word did not
    }
}

void tst_DataTransfer::wrongEchoesNeverStoreOrPass_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QList<int>>("corrupt"); // the bytes (from 0) whose replies go wrong
    QTest::addColumn<bool>("failed");
    QTest::addColumn<int>("progress");
    // Set-up upload: handshake (2), row 6 (2), rows 7 and 8 (4 each); row 9
    // (W1024) begins with byte 12. Its read is made again after a new
    // handshake, whose first 0xFF completes the pair the board was left in.
    QTest::newRow("upload, one wrong echo") << 0 << QList<int> { 12 } << false << 12;
    QTest::newRow("upload, the same read wrong twice") << 0 << QList<int> { 12, 16 } << true << 3;
    // Download of all: handshake (2), then D1100: the first address byte's
    // echo goes wrong. The board heard it: the rest of the triple goes out as
    // it is, and the write once more; every row and channel moves.
    QTest::newRow("download, a spoilt echo") << 14 << QList<int> { 2 } << false << 50;
}

void tst_DataTransfer::wrongEchoesNeverStoreOrPass()
{
    QFETCH(int, code);
    QFETCH(QList<int>, corrupt);
    QFETCH(bool, failed);
    QFETCH(int, progress);
    Rig r;
    r.fillBoard();
    CurrentData.ParamValue[0] = 1234567;
    for (const int b : corrupt)
        r.sim.corruptReplyTo(b);
    const Status outcome = r.transfer.run(qint16(code), ParamCount);

    QCOMPARE(!outcome, failed);
    QCOMPARE(r.transfer.progress(), progress);
    QVERIFY(!r.link.CommError);
    QVERIFY(r.prompter.calls().isEmpty()); // the transfer's caller reports it
    if (code == 0) {
        for (int row = 6; row <= 17; ++row) {
            // A row that could not be read keeps its value; none is made up.
            const qint32 expected = failed && row >= 9 ? DefaultData.ParamValue[row] : kBoardRows[row];
            QVERIFY2(CurrentData.ParamValue[row] == expected, qPrintable(QString::number(row)));
        }
        // Nothing is read after a failed row.
        QCOMPARE(ReadAddresses(r.port.exchanges()).contains(1026), !failed);
    } else {
        // The row whose echo went wrong holds its value, and nothing landed
        // beside it.
        QCOMPARE(r.sim.getD(1100), 1234567);
        QCOMPARE(r.sim.byte(0x04FF), quint8(0));
        QVERIFY(TimingDownloaded);
    }
}

void tst_DataTransfer::timingUpload()
{
    Rig r;
    r.sim.setPLSConfigTable({ 12, 3, 10, 11, 12, 13, 14, 15, 16, 17 });
    r.sim.setPLSScaleFactor(720);
    r.sim.setPLSOffset(15);
    r.sim.setPLSChannel(0, setpoints(150, 170));
    r.sim.setPLSChannel(5, setpoints(600, 20));
    K7700Sim::PLSChannel train;
    train.kind = Kind::PulseTrain;
    train.on = 4;
    train.onDivisions = 10;
    train.offDivisions = 10;
    r.sim.setPLSChannel(9, train);
    QVERIFY(r.link.RecallChannel(5)); // channel 5 now recalls OFF first
    r.port.clearRecord();
    CurrentData.OnSetpoint[1] = 180; // channel 1 is empty on the board
    const Status outcome = r.transfer.run(1, ParamCount);

    QStringList expected { "P12", "P24=720", "P40=15", "P9 0=1@150", "P9 0=0@170" };
    for (int ch = 1; ch < 16; ++ch) {
        if (ch == 5)
            expected << "P9 5=0@20"
                     << "P9 5=1@600";
        else
            expected << (ch == 9 ? QStringLiteral("P9 9=3@4") : QStringLiteral("P9 %1=2@0").arg(ch));
    }
    QCOMPARE(r.ops(), expected);
    QCOMPARE(CurrentData.PlsChannelCount, qint16(12));
    QCOMPARE(CurrentData.PlsProgram, qint16(3));
    QCOMPARE(CurrentData.SpeedCompensation, (std::array<qint16, 8> { 10, 11, 12, 13, 14, 15, 16, 17 }));
    QCOMPARE(CurrentData.PlsScaleFactor, qint16(720));
    QCOMPARE(CurrentData.PlsOffset, qint16(15));
    std::array<qint16, 16> on {}, off {};
    on[0] = 150, off[0] = 170, on[5] = 600, off[5] = 20;
    QCOMPARE(CurrentData.OnSetpoint, on);
    QCOMPARE(CurrentData.OffSetpoint, off);
    QCOMPARE(r.transfer.progress(), 32);
    QCOMPARE(r.statuses, QStringList { kTimingUploadStatus });
    QVERIFY(!TimingDownloaded && !DataReloaded);
    QCOMPARE(shown(outcome), QStringLiteral("done"));
    QCOMPARE(r.transfer.report().pulseTrainChannels, QList<int> { 9 });
}

void tst_DataTransfer::timingUploadStopsAtAFailedRecall()
{
    // A position beyond 4351 makes the recall fail without a link fault:
    // timing aborted, the channels after it keep their values.
    Rig r;
    r.sim.setPLSChannel(2, setpoints(5000, 10));
    const Status outcome = r.transfer.run(1, ParamCount);
    QVERIFY(!outcome);
    QVERIFY(!r.link.CommError);
    QCOMPARE(r.ops().mid(3), (QStringList { "P9 0=2@0", "P9 1=2@0", "P9 2=1@5000" }));
    QCOMPARE(CurrentData.OnSetpoint[2], DefaultData.OnSetpoint[2]);
    QCOMPARE(CurrentData.OnSetpoint[3], DefaultData.OnSetpoint[3]);
    QCOMPARE(CurrentData.OnSetpoint[1], qint16(0));
    QCOMPARE(r.transfer.progress(), 2 + 2 + 1);
    QVERIFY(r.prompter.calls().isEmpty());
}

void tst_DataTransfer::timingDownload()
{
    Rig r;
    CurrentData.PlsProgram = 2;
    CurrentData.SpeedCompensation = { 1, 2, 3, 4, 5, 6, 7, 8 };
    CurrentData.PlsChannelCount = 14;
    CurrentData.PlsScaleFactor = 720;
    CurrentData.OnSetpoint[9] = 700;
    CurrentData.OffSetpoint[12] = 5; // only one setpoint set: programmed
    r.sim.setPLSChannel(10, setpoints(100, 200)); // empty in the data: cleared
    const Status outcome = r.transfer.run(11, ParamCount);

    QStringList expected { "P59 2 1 2 3 4 0", "P75 5 6 7 8 0 0", "P91 0 0 0 0 0 0", "P107 14 0 0 0 0 0",
        "P26=720" };
    for (int ch = 0; ch < 16; ++ch) {
        const int on = CurrentData.OnSetpoint[ch], off = CurrentData.OffSetpoint[ch];
        if (on == 0 && off == 0) {
            expected << QStringLiteral("P27 %1 0 0 0").arg(ch);
        } else {
            expected << "P24=720" << QStringLiteral("P27 %1 0 0 0").arg(ch)
                     << QStringLiteral("P27 %1 %2 %3 1").arg(ch).arg(on).arg(off);
        }
    }
    QCOMPARE(r.ops(), expected);
    QCOMPARE(r.sim.plsScaleFactor(), quint16(720));
    QCOMPARE(r.sim.plsChannel(9), setpoints(700, 0));
    QCOMPARE(r.sim.plsChannel(10).kind, Kind::Empty);
    QCOMPARE(r.transfer.progress(), 32);
    QCOMPARE(r.statuses, QStringList { kTimingDownloadStatus });
    QVERIFY(TimingDownloaded);
    QVERIFY(!DataReloaded && outcome);
}

void tst_DataTransfer::timingDownloadFailures_data()
{
    QTest::addColumn<int>("failure");
    QTest::addColumn<QStringList>("tail"); // the last operations on the wire
    QTest::addColumn<bool>("commError");
    QTest::addColumn<int>("progress");
    // Channels sent against a configuration the PLS did not take would be
    // placed on a scale that is not the file's: none is sent.
    QTest::newRow("configuration refused: no channel sent")
        << 0 << QStringList { "P59 0 0 0 0 0 0 NAK" } << false << 0;
    QTest::newRow("setpoint beyond the scale: channel loop ends")
        << 1 << QStringList { "P24=360", "P27 2 0 0 0", "P27 2 155 175 1", "P24=360" } << false << 6;
    QTest::newRow("clear refused: timing download ends")
        << 2 << QStringList { "P24=360", "P27 7 0 0 0", "P27 7 0 20 1", "P27 8 0 0 0 NAK" } << false << 16;
    QTest::newRow("link dies inside channel 1")
        << 3 << QStringList { "P24=360", "P27 0 0 0 0", "P27 0 150 170 1" } << true << 2;
}

void tst_DataTransfer::timingDownloadFailures()
{
    QFETCH(int, failure);
    QFETCH(QStringList, tail);
    QFETCH(bool, commError);
    Rig r;
    switch (failure) {
    case 0:
        r.sim.rejectNextPLSWrite(0);
        break;
    case 1:
        CurrentData.OnSetpoint[3] = 400;
        r.prompter.answerMsg(MsgResult::OK);
        break;
    case 2:
        r.sim.rejectNextPLSWrite(4 + 1 + 2 * 8); // blocks, scale, channels 0..7
        break;
    case 3: {
        // 4 blocks (handshake 2, 6 bytes, ready query 3) + scale (2 + 2 + 3) +
        // channel 0 (scale read 4, two records of 11): channel 1 finds no board.
        r.killLinkAfter(4 * 11 + 7 + 4 + 2 * 11);
        break;
    }
    }
    const Status outcome = r.transfer.run(11, ParamCount);
    const QStringList ops = r.ops();
    QCOMPARE(ops.mid(ops.size() - tail.size()), tail);
    QVERIFY(!outcome);
    QCOMPARE(r.link.CommError, commError);
    QTEST(r.transfer.progress(), "progress");
    QVERIFY(TimingDownloaded);
    if (failure == 1) {
        QCOMPARE(r.prompter.messages().size(), 1);
        QCOMPARE(r.prompter.messages()[0].text,
            QStringLiteral(
                "Setpoint setting 400 is greater than scale factor.\r\n\r\nChannel can not be programmed."));
    }
}

void tst_DataTransfer::nothingWhenCommErrorIsSet()
{
    for (qint16 code : { 4, 14, 1, 11 }) {
        Rig r;
        r.link.CommError = true;
        const Status outcome = r.transfer.run(code, ParamCount);
        QVERIFY(r.port.exchanges().isEmpty());
        QCOMPARE(r.transfer.progress(), 0);
        QVERIFY(r.statuses.isEmpty());
        QVERIFY(!TimingDownloaded);
        QCOMPARE(CurrentData, DefaultData);
    }
}

void tst_DataTransfer::rowsOutsideTheTableAreRefused_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("address"); // "<cut>": the file has rows 0..row-1 only
    QTest::addColumn<QString>("text");
    QTest::newRow("an older file's missing rows, download") << 14 << 11 << "<cut>"
        << "Row 11 of the set-up data has no controller address.\r\n\r\nNothing was sent.";
    QTest::newRow("an older file's missing rows, upload") << 0 << 11 << "<cut>"
        << "Row 11 of the set-up data has no controller address.\r\n\r\nNothing was sent.";
    QTest::newRow("end of shift") << 10 << 7 << "F32"
        << "Row 7 of the set-up data names F32, which is not one of the set-up parameters.\r\n\r\nNothing "
           "was sent.";
    QTest::newRow("program-mode key") << 12 << 2 << "B8181"
        << "Row 2 of the set-up data names B8181, which is not one of the set-up parameters.\r\n\r\nNothing "
           "was sent.";
}

// A set-up file decides the values, never the addresses: a row whose address
// is empty (an empty address would parse to the alarm flags' byte 32) or not
// one of the parameter table's refuses the transfer before any byte goes out.
void tst_DataTransfer::rowsOutsideTheTableAreRefused()
{
    QFETCH(int, code);
    QFETCH(int, row);
    QFETCH(QString, address);
    QFETCH(QString, text);
    Rig r;
    r.fillBoard();
    r.sim.setByte(32, 0x14); // two alarm flags
    if (address == QLatin1String("<cut>"))
        CurrentData.resizeTables(row - 1), CurrentData.resizeTables(ParamCount);
    else
        CurrentData.ParamAddress[row] = address;
    const MachineData before = CurrentData;

    const Status outcome = r.transfer.run(qint16(code), ParamCount);
    QCOMPARE(shown(outcome), QStringLiteral("failed: BadFile"));
    QCOMPARE(outcome.error().detail, text);
    QCOMPARE(r.transfer.report().refusedRow, std::optional<int>(row));
    QCOMPARE(r.port.written(), QByteArray());
    QCOMPARE(r.sim.byte(32), quint8(0x14));
    QCOMPARE(r.sim.byte(8181), quint8(0));
    QVERIFY(CurrentData == before);
    QVERIFY(!TimingDownloaded);
}

// The configuration, scale and offset are taken together or not at all; a
// channel only as the pair its two recalls gave; a recall that the line
// spoilt is made once more.
void tst_DataTransfer::timingUploadTakesOnlyWholeValues()
{
    // The scale factor's first poll is lost: its reply comes after the
    // resynchronisation and is no value. Nothing of the configuration is
    // taken and no channel is recalled.
    {
        Rig r;
        r.sim.setPLSConfigTable({ 12, 3, 10, 11, 12, 13, 14, 15, 16, 17 });
        r.sim.setPLSScaleFactor(720);
        r.sim.setPLSChannel(0, setpoints(150, 170));
        r.sim.silenceNext(1, 2 + 19 + 2); // config (handshake, 19 polls), the scale's handshake
        const Status outcome = r.transfer.run(1, ParamCount);
        QCOMPARE(shown(outcome), QStringLiteral("failed: ReplyAfterResync"));
        QCOMPARE(CurrentData.PlsScaleFactor, DefaultData.PlsScaleFactor);
        QCOMPARE(CurrentData.PlsChannelCount, DefaultData.PlsChannelCount);
        QCOMPARE(CurrentData.OnSetpoint, DefaultData.OnSetpoint);
        QVERIFY(r.transfer.report().configNotMoved);
        QCOMPARE(r.transfer.report().channelsNotMoved.size(), 16);
    }
    // Channel 0's first recall: its state byte is spoilt (0xFE, no state of
    // the board's). The recall is made once more and gives the OFF setpoint
    // (the board alternates); the next gives ON: the pair is the board's.
    {
        Rig r;
        r.sim.setPLSChannel(0, setpoints(150, 170));
        r.sim.corruptReplyTo(2 + 19 + 4 + 4 + 3); // config, scale, offset; the recall's handshake and channel
        const Status outcome = r.transfer.run(1, ParamCount);
        QCOMPARE(shown(outcome), QStringLiteral("done"));
        QCOMPARE(r.ops().mid(3, 3), (QStringList { "P9 0=254@150", "P9 0=0@170", "P9 0=1@150" }));
        QCOMPARE(CurrentData.OnSetpoint[0], qint16(150));
        QCOMPARE(CurrentData.OffSetpoint[0], qint16(170));
    }
    // The link dies inside channel 0's second recall: the channel keeps both
    // of its old setpoints (never ON from the board and OFF from before).
    {
        Rig r;
        r.sim.setPLSChannel(0, setpoints(150, 170));
        CurrentData.OnSetpoint[0] = 11;
        CurrentData.OffSetpoint[0] = 22;
        r.killLinkAfter(2 + 19 + 4 + 4 + 6 + 3);
        const Status outcome = r.transfer.run(1, ParamCount);
        QVERIFY(!outcome);
        QVERIFY(r.link.CommError);
        QCOMPARE(CurrentData.OnSetpoint[0], qint16(11));
        QCOMPARE(CurrentData.OffSetpoint[0], qint16(22));
        QCOMPARE(r.transfer.report().channelsNotMoved.first(), 0);
    }
    // Channel 0's second recall spoilt (the board gave OFF): made once more,
    // it gives ON again, the kind of the first. The channel fails and keeps
    // its old pair (never ON twice, or ON with an OFF from before).
    {
        Rig r;
        r.sim.setPLSChannel(0, setpoints(150, 170));
        CurrentData.OnSetpoint[0] = 11;
        CurrentData.OffSetpoint[0] = 22;
        r.sim.corruptReplyTo(2 + 19 + 4 + 4 + 6 + 3); // ... the first recall; the second's handshake and channel
        const Status outcome = r.transfer.run(1, ParamCount);
        QCOMPARE(shown(outcome), QStringLiteral("failed: BadReply"));
        QCOMPARE(outcome.error().detail, QStringLiteral("CH00"));
        QCOMPARE(r.ops().mid(3, 3), (QStringList { "P9 0=1@150", "P9 0=255@170", "P9 0=1@150" }));
        QCOMPARE(CurrentData.OnSetpoint[0], qint16(11));
        QCOMPARE(CurrentData.OffSetpoint[0], qint16(22));
        QCOMPARE(r.transfer.report().channelsNotMoved.first(), 0);
    }
}

QTEST_GUILESS_MAIN(tst_DataTransfer)
#include "tst_datatransfer.moc"
