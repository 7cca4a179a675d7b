// The PLS operations of the controller link against the in-process simulator
// on a fake clock: exact bytes on the wire, results, the board's state
// afterwards and every message box.

#include "Outcomes.h"
#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "K7700Sim.h"
#include "link/LinkMonitor.h"
#include "link/RSComm.h"
#include "ScriptedPrompter.h"
#include "SimLink.h"
#include "SimPort.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

using namespace talvek;
using namespace talvek::test;
using Kind = K7700Sim::PLSChannel::Kind;

namespace {

struct Rig : SimLink
{
    RSComm& link = rs;

    Rig()
    {
        link.OpenRSComm(&port);
        port.clearRecord();
    }
    // The bytes written since the last clearRecord(), as "FF 18 55".
    QString written() const { return hex(port.written()); }
    QString read() const { return hex(port.readBytes()); }
    static QString hex(const QByteArray& b) { return QString::fromLatin1(b.toHex(' ').toUpper()); }
};

K7700Sim::PLSChannel setpoints(int on, int off)
{
    K7700Sim::PLSChannel c;
    c.kind = Kind::Setpoints;
    c.on = quint16(on);
    c.off = quint16(off);
    return c;
}

// Wire pieces.
const QString kReadScale = QStringLiteral("FF 18 55 55");
const QString kReady = QStringLiteral("38 55 55");
const QString kCommTitle = QStringLiteral("WARNING - Communication Error!");
const QString kNotReady = QStringLiteral("Cannot Determine PLS READY Mode Within Target Board.");

QString join(const QStringList& parts)
{
    return parts.join(QLatin1Char(' '));
}

void checkMessage(const PromptCall& call, const QString& text, const QString& title, MsgIcon icon,
    MsgButtons buttons = MsgButtons::OK)
{
    QCOMPARE(call.text, text);
    QCOMPARE(call.title, title);
    QCOMPARE(call.icon, icon);
    QCOMPARE(call.buttons, buttons);
}

} // namespace

class tst_RSCommPLS : public QObject
{
    Q_OBJECT

private slots:
    void boardValues_data();
    void boardValues();
    void noPLSModePersists();
    void commErrorSetMeansNoTraffic();
    void silentBoardDuringARead();
    void singleSetpointAgainstTheScale_data();
    void singleSetpointAgainstTheScale();
    void singleSetpointWithClearSendsTwoRecords();
    void lostRecordByteIsNoSuccess();
    void clearPLSChan();
    void setPLSOffset_data();
    void setPLSOffset();
    void offsetNotHeldAfterItsRewrite();
    void pulseTrainSent();
    void pulseTrainRefused_data();
    void pulseTrainRefused();
    void pulseTrainRejectedByTheBoard();
    void recallChannel();
    void recallFailures();
    void configDownload();
    void configDownloadStopsAtAFailedBlock();
    void configUpload();
    void configUploadFailureGivesNoTable();
    void readyWaitBusy();
    void readyAckAfterResync();
    void readyWaitTimeoutRetryCancel();
    void readyWaitRetryThenReady();
    void refusedWhileAnotherOperationWaits();
};

void tst_RSCommPLS::boardValues_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("wire");
    QTest::addColumn<QString>("replies");
    QTest::addColumn<QString>("text");

    QTest::newRow("scale factor 720") << 0 << "FF 18 55 55"
                                      << "55 55 D0 02"
                                      << "720";
    QTest::newRow("offset 10") << 1 << "FF 28 55 55"
                               << "55 55 0A 00"
                               << "10";
    QTest::newRow("position 200 of 720") << 2 << "FF 48 55 55"
                                         << "55 55 C8 00"
                                         << "200";
    QTest::newRow("speed 250") << 3 << "FF 58 55 55"
                               << "55 55 FA 00"
                               << "250";
}

void tst_RSCommPLS::boardValues()
{
    QFETCH(int, which);
    QFETCH(QString, wire);
    QFETCH(QString, replies);
    QFETCH(QString, text);
    Rig r;
    r.sim.setPLSScaleFactor(720);
    r.sim.setPLSOffset(10);
    r.sim.setWord(K7700Sim::PositionWord, 105); // 210 divisions, minus 10
    r.sim.setWord(K7700Sim::SpeedWord, 250);
    r.sim.setRunning(true);
    QString got;
    switch (which) {
    case 0:
        got = shown(r.link.PLSScaleFactor());
        break;
    case 1:
        got = shown(r.link.PLSOffset());
        break;
    case 2:
        got = shown(r.link.PLSPos());
        break;
    default:
        got = shown(r.link.PLSRpm());
        break;
    }
    QCOMPARE(got, text);
    QCOMPARE(r.written(), wire);
    QCOMPARE(r.read(), replies);
    QCOMPARE(r.link.byteLink().CurrentMode, 0);
    QVERIFY(!r.link.CommError);
    QVERIFY(r.prompter.calls().isEmpty());
}

void tst_RSCommPLS::noPLSModePersists()
{
    Rig r;
    QCOMPARE(shown(r.link.PLSScaleFactor()), QStringLiteral("360"));
    QCOMPARE(shown(r.link.PLSScaleFactor()), QStringLiteral("360"));
    QCOMPARE(r.written(), join({ kReadScale, kReadScale })); // a handshake each time
    // A read after a PLS operation handshakes for read mode.
    r.port.clearRecord();
    r.sim.setByte(10, 0x42);
    QCOMPARE(shown(r.link.RSRead(QStringLiteral("B10"))), QStringLiteral("66"));
    QCOMPARE(r.written(), QStringLiteral("FF 01 00 0A"));
    // And a PLS operation after read mode handshakes again.
    r.port.clearRecord();
    QVERIFY(r.link.ClearPLSChan(0));
    QCOMPARE(r.written(), join({ "FF 1B 00 00 00 00 00 00", kReady }));
    QCOMPARE(r.link.byteLink().CurrentMode, 0);
}

void tst_RSCommPLS::commErrorSetMeansNoTraffic()
{
    Rig r;
    r.link.ChannelRecallState = 1;
    r.link.ChannelRecallPos = 123;
    r.link.CommError = true;
    QCOMPARE(shown(r.link.PLSScaleFactor()), QStringLiteral("failed: LinkDown"));
    QCOMPARE(shown(r.link.PLSOffset()), QStringLiteral("failed: LinkDown"));
    QCOMPARE(shown(r.link.PLSPos()), QStringLiteral("failed: LinkDown"));
    QCOMPARE(shown(r.link.PLSRpm()), QStringLiteral("failed: LinkDown"));
    QVERIFY(!r.link.SingleSetpoint(0, 10, 20, true));
    QVERIFY(!r.link.PulseTrain(8, 10, 20, 0));
    QVERIFY(!r.link.ClearPLSChan(0));
    QVERIFY(!r.link.RecallChannel(0));
    QCOMPARE(r.link.ChannelRecallState, qint16(1));
    QCOMPARE(r.link.ChannelRecallPos, qint16(123));
    QVERIFY(!r.link.SetPLSOffset(0));
    QVERIFY(!r.link.PLSConfigDownload({}, 360));
    QVERIFY(r.prompter.calls().isEmpty());
    // The upload reports its failure, and gives no table.
    QCOMPARE(shown(r.link.PLSConfigUpload()), QStringLiteral("failed: LinkDown"));
    QCOMPARE(r.prompter.messages().size(), 1);
    checkMessage(r.prompter.messages().at(0), QStringLiteral("Not able to Upload Configuration from PLS."),
        QStringLiteral("PLS Upload"), MsgIcon::Exclamation);
    QCOMPARE(r.written(), QString());
    QCOMPARE(r.port.exchanges().size(), 0);
}

void tst_RSCommPLS::silentBoardDuringARead()
{
    Rig r;
    // Handshake answered; the first poll and both resynchronising 0xFF lost.
    r.sim.silenceNext(3, 2);
    r.prompter.answerMsg(MsgResult::Cancel);
    const qint64 start = r.clock.nowMs();
    QCOMPARE(shown(r.link.PLSRpm()), QStringLiteral("failed: SilentLine"));
    QCOMPARE(r.clock.nowMs() - start, 5000);
    QCOMPARE(r.written(), QStringLiteral("FF 58 55 FF FF"));
    QVERIFY(r.link.CommError);
    QCOMPARE(r.link.byteLink().CurrentMode, 0);
    QCOMPARE(r.prompter.messages().size(), 1);
    QCOMPARE(r.prompter.messages().at(0).title, kCommTitle);
    QCOMPARE(r.prompter.unexpected(), 0);
}

// The ON setpoint's low byte is lost: the resynchronising attention byte
// lands in the record as that byte, and the board acknowledges it. That
// acknowledgement is no proof of the setpoint, so the record goes no further
// and the operation fails.
void tst_RSCommPLS::lostRecordByteIsNoSuccess()
{
    Rig r;
    r.sim.setPLSScaleFactor(360);
    r.sim.silenceNext(1, 7);
    QVERIFY(!r.link.SingleSetpoint(5, 359, 10, false));
    QCOMPARE(r.written(), QStringLiteral("FF 18 55 55 FF 1B 05 67 FF"));
    QVERIFY(!r.link.CommError);
    QCOMPARE(r.link.byteLink().CurrentMode, 0);
    QCOMPARE(r.prompter.messages().size(), 0);
}

void tst_RSCommPLS::singleSetpointAgainstTheScale_data()
{
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("on");
    QTest::addColumn<int>("off");
    QTest::addColumn<QString>("record"); // empty: refused with a warning
    QTest::addColumn<int>("named");

    QTest::newRow("ON 359 of 360") << 360 << 359 << 10 << "FF 1B 05 67 01 0A 00 01" << 0;
    QTest::newRow("ON 360 of 360") << 360 << 360 << 10 << "" << 360;
    QTest::newRow("OFF 360 of 360") << 360 << 10 << 360 << "" << 360;
    QTest::newRow("both beyond: ON named") << 360 << 500 << 600 << "" << 500;
    QTest::newRow("ON 0, OFF 359") << 360 << 0 << 359 << "FF 1B 05 00 00 67 01 01" << 0;
    QTest::newRow("ON 360 of 720") << 720 << 360 << 719 << "FF 1B 05 68 01 CF 02 01" << 0;
}

void tst_RSCommPLS::singleSetpointAgainstTheScale()
{
    QFETCH(int, scale);
    QFETCH(int, on);
    QFETCH(int, off);
    QFETCH(QString, record);
    QFETCH(int, named);
    Rig r;
    r.sim.setPLSScaleFactor(quint16(scale));
    r.sim.setPLSChannel(5, setpoints(1, 2));
    const QString readScale = QStringLiteral("FF 18 55 55");
    if (record.isEmpty()) {
        r.prompter.answerMsg(MsgResult::OK);
        QVERIFY(!r.link.SingleSetpoint(5, qint16(on), qint16(off), false));
        QCOMPARE(r.written(), readScale);
        QCOMPARE(r.prompter.messages().size(), 1);
        checkMessage(r.prompter.messages().at(0),
            QStringLiteral("Setpoint setting %1 is greater than scale factor.\r\n\r\nChannel can not be "
                           "programmed.")
                .arg(named),
            QStringLiteral("PLS Single Setpoint"), MsgIcon::Exclamation);
        QCOMPARE(r.sim.plsChannel(5), setpoints(1, 2));
    } else {
        QVERIFY(r.link.SingleSetpoint(5, qint16(on), qint16(off), false));
        QCOMPARE(r.written(), join({ readScale, record, kReady }));
        QVERIFY(r.prompter.calls().isEmpty());
        QCOMPARE(r.sim.plsChannel(5), setpoints(on, off));
    }
    QCOMPARE(r.link.byteLink().CurrentMode, 0);
}

void tst_RSCommPLS::singleSetpointWithClearSendsTwoRecords()
{
    Rig r;
    r.sim.setPLSChannel(2, setpoints(10, 20));
    QVERIFY(r.link.SingleSetpoint(2, 155, 175, true));
    QCOMPARE(r.written(),
        join({ kReadScale, "FF 1B 02 00 00 00 00 00", kReady, "FF 1B 02 9B 00 AF 00 01", kReady }));
    QCOMPARE(r.read(),
        QStringLiteral("55 55 68 01 55 55 55 55 55 55 55 55 55 00 55 55 55 55 55 55 55 55 55 55 00 55"));
    QCOMPARE(r.sim.plsChannel(2), setpoints(155, 175));

    // A refused clear record: the set record is never sent.
    r.port.clearRecord();
    r.sim.rejectNextPLSWrite();
    QVERIFY(!r.link.SingleSetpoint(2, 100, 120, true));
    QCOMPARE(r.written(), join({ kReadScale, "FF 1B 02 00 00 00 00 00" }));
    QCOMPARE(r.read(), QStringLiteral("55 55 68 01 55 55 55 55 55 55 55 15"));
    QCOMPARE(r.sim.plsChannel(2), setpoints(155, 175));
    QVERIFY(!r.link.CommError);
    QVERIFY(r.prompter.calls().isEmpty());
}

void tst_RSCommPLS::clearPLSChan()
{
    Rig r;
    r.sim.setPLSChannel(4, setpoints(230, 300));
    QVERIFY(r.link.ClearPLSChan(4));
    QCOMPARE(r.written(), join({ "FF 1B 04 00 00 00 00 00", kReady })); // no scale read
    QCOMPARE(r.sim.plsChannel(4), K7700Sim::PLSChannel {});
    r.port.clearRecord();
    QVERIFY(!r.link.ClearPLSChan(16)); // the board knows channels 0..15
    QCOMPARE(r.written(), QStringLiteral("FF 1B 10"));
    QCOMPARE(r.read(), QStringLiteral("55 55 15"));
    r.port.clearRecord();
    QVERIFY(!r.link.ClearPLSChan(-1)); // no channel byte for it: nothing sent
    QVERIFY(!r.link.ClearPLSChan(256));
    QCOMPARE(r.written(), QString());
    QVERIFY(r.prompter.calls().isEmpty());
}

void tst_RSCommPLS::setPLSOffset_data()
{
    QTest::addColumn<int>("desired");
    QTest::addColumn<QString>("write"); // empty: refused with a warning

    // Offset 10, position 100, scale 360.
    QTest::newRow("0 writes 110") << 0 << "FF 2A 6E 00";
    QTest::newRow("360 writes 110 too") << 360 << "FF 2A 6E 00";
    QTest::newRow("100 keeps 10") << 100 << "FF 2A 0A 00";
    QTest::newRow("359 writes 111") << 359 << "FF 2A 6F 00";
    QTest::newRow("200 writes 270") << 200 << "FF 2A 0E 01";
    QTest::newRow("361 warns") << 361 << "";
}

void tst_RSCommPLS::setPLSOffset()
{
    QFETCH(int, desired);
    QFETCH(QString, write);
    Rig r;
    r.sim.setPLSOffset(10);
    r.sim.setWord(K7700Sim::PositionWord, 110);
    QCOMPARE(r.sim.plsPosition(), quint16(100));
    const QString reads = QStringLiteral("FF 28 55 55 FF 48 55 55 FF 18 55 55");
    if (write.isEmpty()) {
        r.prompter.answerMsg(MsgResult::OK);
        QVERIFY(!r.link.SetPLSOffset(qint16(desired)));
        QCOMPARE(r.written(), reads);
        QCOMPARE(r.prompter.messages().size(), 1);
        checkMessage(r.prompter.messages().at(0),
            QStringLiteral("Desired Position cannot be greater than Scale Factor of 360.\r\n\r\nPLS Offset "
                           "will not be Programmed."),
            QStringLiteral("Set PLS Offset"), MsgIcon::Exclamation);
        QCOMPARE(r.sim.plsOffset(), quint16(10));
    } else {
        QVERIFY(r.link.SetPLSOffset(qint16(desired)));
        QCOMPARE(r.written(), join({ reads, write, kReady }));
        QVERIFY(r.prompter.calls().isEmpty());
        // The machine position now reads as the desired one.
        QCOMPARE(shown(r.link.PLSPos()), QString::number(desired % 360));
    }
    QCOMPARE(r.link.byteLink().CurrentMode, 0);
}

// The offset's last acknowledgement spoilt, and something else (another
// writer) puts 5 in its place each time after the PLS took it: the word read
// back is not the value, the rewrite fares the same, and the second read-back
// still finds 5. The offset fails as not held, holding 5; never "done".
void tst_RSCommPLS::offsetNotHeldAfterItsRewrite()
{
    Rig r;
    r.sim.setPLSOffset(10);
    r.sim.setWord(K7700Sim::PositionWord, 110);
    // The three reads (12 replies), then FF 2A 6E 00: the high byte's
    // acknowledgement is the 16th reply; the rewrite's the 24th.
    r.sim.corruptReplyTo(15);
    r.sim.corruptReplyTo(23);
    LinkMonitor monitor(64);
    int offsetWrites = 0;
    monitor.setSink([&](const LinkMonitor::Exchange& e) {
        if (e.out == 0x2A)
            ++offsetWrites;
        if (e.out == 0x00 && r.sim.plsOffset() == 110)
            r.sim.setPLSOffset(5);
    });
    r.link.setMonitor(&monitor);
    const Status set = r.link.SetPLSOffset(0);
    r.link.setMonitor(nullptr);
    QCOMPARE(shown(set), QStringLiteral("failed: NotHeld holding 5"));
    QCOMPARE(offsetWrites, 2);
    QCOMPARE(r.sim.plsOffset(), quint16(5));
    QVERIFY(!r.link.CommError);
}

void tst_RSCommPLS::pulseTrainSent()
{
    Rig r;
    QVERIFY(r.link.PulseTrain(8, 10, 20, 0));
    // Second value 20 * 256 + 10 = 5130 = 0x140A.
    QCOMPARE(r.written(), join({ kReadScale, "FF 2B 08 00 00 0A 14 00", kReady }));
    const K7700Sim::PLSChannel c = r.sim.plsChannel(8);
    QCOMPARE(c.kind, Kind::PulseTrain);
    QCOMPARE(int(c.on), 0);
    QCOMPARE(int(c.onDivisions), 10);
    QCOMPARE(int(c.offDivisions), 20);

    r.port.clearRecord();
    QVERIFY(r.link.PulseTrain(9, 255, 105, 359)); // the largest division and start
    QCOMPARE(r.written(), join({ kReadScale, "FF 2B 09 67 01 FF 69 00", kReady }));
    QVERIFY(r.prompter.calls().isEmpty());
}

void tst_RSCommPLS::pulseTrainRefused_data()
{
    QTest::addColumn<int>("on");
    QTest::addColumn<int>("off");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("reason");

    const QString zero = QStringLiteral("ON Division and OFF Division Must be Greater Than 0.");
    const QString multiple = QStringLiteral("ON Division Plus OFF Division\r\nMust be a Multiple of 360.");
    QTest::newRow("10 + 25") << 10 << 25 << 0 << multiple;
    QTest::newRow("ON 0") << 0 << 20 << 0 << zero;
    QTest::newRow("OFF 0") << 20 << 0 << 0 << zero;
    QTest::newRow("ON 0 before the multiple") << 0 << 7 << 0 << zero;
    QTest::newRow("negative ON") << -10 << 20 << 0 << zero;
    QTest::newRow("ON 256") << 256 << 104 << 0 << "ON Division or OFF Division Must be Less Than 255.";
    QTest::newRow("OFF 300") << 60 << 300 << 0 << "ON Division or OFF Division Must be Less Than 255.";
    QTest::newRow("start 360") << 10 << 20 << 360 << "Start Position Must Not Be Greater Than 359.";
    QTest::newRow("multiple before start") << 10 << 25 << 400 << multiple;
}

void tst_RSCommPLS::pulseTrainRefused()
{
    QFETCH(int, on);
    QFETCH(int, off);
    QFETCH(int, start);
    QFETCH(QString, reason);
    Rig r;
    r.prompter.answerMsg(MsgResult::OK);
    QVERIFY(!r.link.PulseTrain(8, qint16(on), qint16(off), qint16(start)));
    QCOMPARE(r.written(), kReadScale);
    QCOMPARE(r.prompter.messages().size(), 1);
    checkMessage(r.prompter.messages().at(0),
        reason + QStringLiteral("\r\n\r\nPLS Channel will not be Programmed."),
        QStringLiteral("PLS Pulse Train"), MsgIcon::Exclamation);
    QCOMPARE(r.sim.plsChannel(8), K7700Sim::PLSChannel {});
}

void tst_RSCommPLS::pulseTrainRejectedByTheBoard()
{
    Rig r;
    r.sim.rejectNextPLSWrite();
    r.prompter.answerMsg(MsgResult::OK);
    QVERIFY(!r.link.PulseTrain(8, 30, 30, 0));
    QCOMPARE(r.written(), join({ kReadScale, "FF 2B 08 00 00 1E 1E 00" })); // no ready query
    QCOMPARE(r.prompter.messages().size(), 1);
    checkMessage(r.prompter.messages().at(0),
        QStringLiteral("Error Encountered while Programming Pulse Train.\r\n\r\nPLS Channel will not be "
                       "Programmed."),
        QStringLiteral("PLS Pulse Train"), MsgIcon::Information);
    QVERIFY(!r.link.CommError);
    QCOMPARE(r.link.byteLink().CurrentMode, 0);
}

void tst_RSCommPLS::recallChannel()
{
    Rig r;
    r.sim.setPLSChannel(3, setpoints(110, 130));
    QVERIFY(r.link.RecallChannel(3));
    QCOMPARE(r.link.ChannelRecallState, qint16(1));
    QCOMPARE(r.link.ChannelRecallPos, qint16(110));
    QVERIFY(r.link.RecallChannel(3));
    QCOMPARE(r.link.ChannelRecallState, qint16(0));
    QCOMPARE(r.link.ChannelRecallPos, qint16(130));
    QCOMPARE(r.written(), QStringLiteral("FF 09 03 55 55 55 FF 09 03 55 55 55"));
    QCOMPARE(r.read(), QStringLiteral("55 55 55 01 6E 00 55 55 55 00 82 00"));

    // An empty channel: the board's state 2 is passed on as it is.
    QVERIFY(r.link.RecallChannel(12));
    QCOMPARE(r.link.ChannelRecallState, qint16(2));
    QCOMPARE(r.link.ChannelRecallPos, qint16(0));

    // A position high byte of 17 (4500 = 0x1194) is no valid record.
    r.sim.setPLSScaleFactor(8000);
    r.sim.setPLSChannel(15, setpoints(4500, 20));
    r.port.clearRecord();
    QVERIFY(!r.link.RecallChannel(15));
    QCOMPARE(r.read(), QStringLiteral("55 55 55 01 94 11"));
    QCOMPARE(r.link.ChannelRecallState, qint16(2));
    QCOMPARE(r.link.ChannelRecallPos, qint16(0));
    // 4351 (high byte 16) is the last valid position.
    r.sim.setPLSChannel(15, setpoints(4351, 20));
    QVERIFY(r.link.RecallChannel(15));
    QCOMPARE(r.link.ChannelRecallState, qint16(1));
    QCOMPARE(r.link.ChannelRecallPos, qint16(4351));
    QCOMPARE(r.link.byteLink().CurrentMode, 0);
    QVERIFY(r.prompter.calls().isEmpty());
}

void tst_RSCommPLS::recallFailures()
{
    Rig r;
    r.sim.setPLSChannel(3, setpoints(110, 130));
    QVERIFY(r.link.RecallChannel(3));

    // Channel byte refused by the board: state and position unchanged.
    r.port.clearRecord();
    QVERIFY(!r.link.RecallChannel(16));
    QCOMPARE(r.written(), QStringLiteral("FF 09 10"));
    QCOMPARE(r.link.ChannelRecallState, qint16(1));
    QCOMPARE(r.link.ChannelRecallPos, qint16(110));

    // No channel byte for 300: nothing sent, nothing changed.
    r.port.clearRecord();
    QVERIFY(!r.link.RecallChannel(300));
    QCOMPARE(r.written(), QString());
    QCOMPARE(r.link.ChannelRecallPos, qint16(110));

    // The board falls silent after the state byte: state 0, position 0.
    r.sim.silenceNext(3, 4);
    r.prompter.answerMsg(MsgResult::Cancel);
    QVERIFY(!r.link.RecallChannel(3));
    QCOMPARE(r.written(), QStringLiteral("FF 09 03 55 55 FF FF"));
    QVERIFY(r.link.CommError);
    QCOMPARE(r.link.ChannelRecallState, qint16(0));
    QCOMPARE(r.link.ChannelRecallPos, qint16(0));
    QCOMPARE(r.link.byteLink().CurrentMode, 0);
    QCOMPARE(r.prompter.messages().size(), 1);
    QCOMPARE(r.prompter.messages().at(0).title, kCommTitle);

    // Handshake failing (CommError set): unchanged, no traffic.
    r.link.ChannelRecallState = 1;
    r.link.ChannelRecallPos = 42;
    r.port.clearRecord();
    QVERIFY(!r.link.RecallChannel(3));
    QCOMPARE(r.written(), QString());
    QCOMPARE(r.link.ChannelRecallState, qint16(1));
    QCOMPARE(r.link.ChannelRecallPos, qint16(42));
}

void tst_RSCommPLS::configDownload()
{
    Rig r;
    // The list as the machine data fills it: program 3, speed compensation
    // 1..8, 12 channels; 720 divisions.
    std::array<qint16, 24> cfg {};
    cfg[0] = 3;
    for (int i = 0; i < 4; ++i) {
        cfg[size_t(1 + i)] = qint16(1 + i);
        cfg[size_t(6 + i)] = qint16(5 + i);
    }
    cfg[18] = 12;
    QVERIFY(r.link.PLSConfigDownload(cfg, 720));
    QCOMPARE(r.written(),
        join({ "FF 3B 03 01 02 03 04 00", kReady, "FF 4B 05 06 07 08 00 00", kReady,
            "FF 5B 00 00 00 00 00 00", kReady, "FF 6B 0C 00 00 00 00 00", kReady, "FF 1A D0 02", kReady }));
    QCOMPARE(r.sim.plsScaleFactor(), quint16(720));
    QCOMPARE(r.link.byteLink().CurrentMode, 0);

    // Read back, it is the list the machine data maps from.
    r.port.clearRecord();
    const std::array<qint16, 19> table = r.link.PLSConfigUpload().valueOr({});
    QCOMPARE(r.written(), QStringLiteral("FF 0C") + QStringLiteral(" 55").repeated(19));
    const std::array<qint16, 19> expected { 12, 3, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0 };
    QCOMPARE(table, expected);
    QCOMPARE(shown(r.link.PLSScaleFactor()), QStringLiteral("720"));
    QVERIFY(r.prompter.calls().isEmpty());
}

void tst_RSCommPLS::configDownloadStopsAtAFailedBlock()
{
    std::array<qint16, 24> cfg {};
    for (int i = 0; i < 24; ++i)
        cfg[size_t(i)] = qint16(i + 1);
    const QString block0 = QStringLiteral("FF 3B 01 02 03 04 05 06");
    {
        // The board refuses block 1: blocks 2 and 3 and the scale factor are
        // never sent.
        Rig r;
        r.sim.rejectNextPLSWrite(1);
        QVERIFY(!r.link.PLSConfigDownload(cfg, 720));
        QCOMPARE(r.written(), join({ block0, kReady, "FF 4B 07 08 09 0A 0B 0C" }));
        QCOMPARE(r.sim.plsScaleFactor(), quint16(360));
        QCOMPARE(r.sim.plsConfigParams()[6], quint8(0));
        QCOMPARE(r.link.byteLink().CurrentMode, 0);
        QVERIFY(!r.link.CommError);
        QVERIFY(r.prompter.calls().isEmpty());
    }
    {
        // A value of block 1 beyond a byte: block 1 is not sent at all.
        Rig r;
        std::array<qint16, 24> bad = cfg;
        bad[8] = 256;
        QVERIFY(!r.link.PLSConfigDownload(bad, 720));
        QCOMPARE(r.written(), join({ block0, kReady }));
        QCOMPARE(r.sim.plsScaleFactor(), quint16(360));
    }
    {
        // A negative scale factor is not sent; the blocks went before it.
        Rig r;
        QVERIFY(!r.link.PLSConfigDownload(cfg, -1));
        QVERIFY(r.written().endsWith(QLatin1String("FF 6B 13 14 15 16 17 18 38 55 55")));
        QCOMPARE(r.port.written().count('\x1A'), 0);
        QCOMPARE(r.sim.plsScaleFactor(), quint16(360));
    }
}

void tst_RSCommPLS::configUpload()
{
    Rig r;
    std::array<quint8, 19> board {};
    for (int i = 0; i < 19; ++i)
        board[size_t(i)] = quint8(i == 0 ? 16 : 200 + i);
    r.sim.setPLSConfigTable(board);
    const Result<std::array<qint16, 19>> upload = r.link.PLSConfigUpload();
    QVERIFY(upload);
    const std::array<qint16, 19>& table = *upload;
    for (int i = 0; i < 19; ++i)
        QCOMPARE(table[size_t(i)], qint16(board[size_t(i)]));
    QCOMPARE(r.read().left(5), QStringLiteral("55 55"));
    QCOMPARE(r.port.written().size(), 2 + 19);
    QCOMPARE(r.link.byteLink().CurrentMode, 0);
    QVERIFY(r.prompter.calls().isEmpty());
}

void tst_RSCommPLS::configUploadFailureGivesNoTable()
{
    Rig r;
    std::array<quint8, 19> first {};
    std::array<quint8, 19> second {};
    for (int i = 0; i < 19; ++i) {
        first[size_t(i)] = quint8(100 + i);
        second[size_t(i)] = quint8(i);
    }
    r.sim.setPLSConfigTable(first);
    (void)r.link.PLSConfigUpload();

    // Five entries arrive, then the board falls silent.
    r.sim.setPLSConfigTable(second);
    r.sim.silenceNext(3, 2 + 5);
    r.prompter.answerMsg(MsgResult::Cancel);
    r.prompter.answerMsg(MsgResult::OK);
    // Five new entries and fourteen old ones were never the board's table:
    // the upload gives none.
    QCOMPARE(shown(r.link.PLSConfigUpload()), QStringLiteral("failed: SilentLine"));
    QVERIFY(r.link.CommError);
    QCOMPARE(r.link.byteLink().CurrentMode, 0);
    const auto msgs = r.prompter.messages();
    QCOMPARE(msgs.size(), 2);
    QCOMPARE(msgs.at(0).title, kCommTitle);
    checkMessage(msgs.at(1), QStringLiteral("Not able to Upload Configuration from PLS."),
        QStringLiteral("PLS Upload"), MsgIcon::Exclamation);
}

void tst_RSCommPLS::readyWaitBusy()
{
    Rig r;
    r.sim.setPLSBusy(2);
    QVERIFY(r.link.ClearPLSChan(1));
    QCOMPARE(r.written(), QStringLiteral("FF 1B 01 00 00 00 00 00 38 55 38 55 38 55 55"));
    QCOMPARE(r.read(), QStringLiteral("55 55 55 55 55 55 55 55 55 55 55 55 55 00 55"));
    QVERIFY(r.prompter.calls().isEmpty());
}

void tst_RSCommPLS::readyAckAfterResync()
{
    // The ready query's acknowledgement leaves after the first wait: the
    // board has taken the resynchronising attention byte and waits for a
    // mode. One unanswered ready query puts it back to rest; a second attention
    // byte would start the handshake over and never let a query through.
    Rig r;
    r.sim.delayNextReply(1500, 8);
    QVERIFY(r.link.ClearPLSChan(1));
    QCOMPARE(r.written(), QStringLiteral("FF 1B 01 00 00 00 00 00 38 FF 38 38 55 55"));
    QVERIFY(!r.link.CommError);
    QVERIFY(r.prompter.calls().isEmpty());
}

void tst_RSCommPLS::readyWaitTimeoutRetryCancel()
{
    Rig r;
    r.sim.setPLSBusy(-1, 100); // never ready; each busy answer takes 100 ms
    const qint64 start = r.clock.nowMs();
    QList<qint64> boxAt;
    QList<int> queriesAt;
    auto note = [&] {
        boxAt << r.clock.nowMs() - start;
        queriesAt << r.sim.plsReadyQueries();
    };
    r.prompter.duringNextMsg(note);
    r.prompter.answerMsg(MsgResult::Retry);
    r.prompter.duringNextMsg(note);
    r.prompter.answerMsg(MsgResult::Cancel);
    QVERIFY(!r.link.ClearPLSChan(1));
    QCOMPARE(boxAt, QList<qint64>({ 3000, 5000 }));
    QCOMPARE(queriesAt, QList<int>({ 30, 50 }));
    QVERIFY(r.link.CommError);
    QCOMPARE(r.link.byteLink().CurrentMode, 0);
    const auto msgs = r.prompter.messages();
    QCOMPARE(msgs.size(), 2);
    for (const PromptCall& m : msgs)
        checkMessage(m, kNotReady, kCommTitle, MsgIcon::Critical, MsgButtons::RetryCancel);
    QVERIFY(r.written().endsWith(QLatin1String("38 55 38 55")));
    QCOMPARE(r.port.written().count('\x38'), 50);
    // A lost low byte of the scale factor: the PLS takes the resynchronising
    // 0xFF as it, and the next handshake's 0xFF as the high byte (65535).
    // The word is read back and written again: the PLS ends with 360.
    {
        Rig p;
        p.sim.setPLSScaleFactor(720);
        p.sim.silenceNext(1, 4 * 11 + 2); // four blocks (handshake, six bytes, ready query), the scale's handshake
        QCOMPARE(shown(p.link.PLSConfigDownload({}, 360)), QStringLiteral("done"));
        QCOMPARE(int(p.sim.plsScaleFactor()), 360);
        QVERIFY(!p.link.CommError);
    }
    // A word write (the offset) whose PLS never becomes ready is no write
    // done either.
    Rig w;
    w.sim.setPLSOffset(10);
    w.sim.setPLSBusy(-1, 100);
    w.prompter.answerMsg(MsgResult::Cancel);
    QCOMPARE(shown(w.link.SetPLSOffset(0)), QStringLiteral("failed: SilentLine"));
    QVERIFY(w.link.CommError);
    QCOMPARE(w.prompter.messages().size(), 1);
    checkMessage(w.prompter.messages().at(0), kNotReady, kCommTitle, MsgIcon::Critical, MsgButtons::RetryCancel);
}

void tst_RSCommPLS::readyWaitRetryThenReady()
{
    Rig r;
    r.sim.setPLSBusy(-1, 100);
    r.prompter.duringNextMsg([&] { r.sim.setPLSBusy(0); });
    r.prompter.answerMsg(MsgResult::Retry);
    QVERIFY(r.link.SingleSetpoint(6, 120, 190, false));
    QVERIFY(!r.link.CommError);
    QVERIFY(r.written().endsWith(QLatin1String("38 55 38 55 38 55 55")));
    QCOMPARE(r.sim.plsReadyQueries(), 31);
    QCOMPARE(r.sim.plsChannel(6), setpoints(120, 190));
    QCOMPARE(r.prompter.messages().size(), 1);
}

void tst_RSCommPLS::refusedWhileAnotherOperationWaits()
{
    Rig r;
    r.sim.setPLSConfigTable({});
    r.sim.setDroppedOut(true);
    QString pos, offset;
    bool setpoint = true, cleared = true, recalled = true, moved = true, downloaded = true, pulsed = true;
    qsizetype writtenInBox = -1;
    QString table;
    r.prompter.duringNextMsg([&] {
        const qsizetype before = r.port.written().size();
        // Another operation from a timer while the box is up.
        pos = shown(r.link.PLSPos());
        offset = shown(r.link.PLSOffset());
        setpoint = r.link.SingleSetpoint(0, 10, 20, true).ok();
        pulsed = r.link.PulseTrain(8, 10, 20, 0).ok();
        cleared = r.link.ClearPLSChan(0).ok();
        recalled = r.link.RecallChannel(0).ok();
        moved = r.link.SetPLSOffset(0).ok();
        downloaded = r.link.PLSConfigDownload({}, 360).ok();
        table = shown(r.link.PLSConfigUpload());
        writtenInBox = r.port.written().size() - before;
    });
    r.prompter.answerMsg(MsgResult::Cancel);
    QCOMPARE(shown(r.link.RSRead(QStringLiteral("W180"))), QStringLiteral("failed: SilentLine"));
    QCOMPARE(writtenInBox, 0);
    QCOMPARE(pos, QStringLiteral("failed: Busy"));
    QCOMPARE(offset, QStringLiteral("failed: Busy"));
    QVERIFY(!setpoint);
    QVERIFY(!pulsed);
    QVERIFY(!cleared);
    QVERIFY(!recalled);
    QVERIFY(!moved);
    QVERIFY(!downloaded);
    QCOMPARE(table, QStringLiteral("failed: Busy"));
    QCOMPARE(r.prompter.messages().size(), 1); // only the waiting read's box
    QCOMPARE(r.prompter.unexpected(), 0);
}

QTEST_GUILESS_MAIN(tst_RSCommPLS)
#include "tst_rscommpls.moc"
