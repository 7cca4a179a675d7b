// What the running program puts into the journal, on the simulator link:
// each write through the link (a window's, a transfer's, a failed one) as
// exactly one row with its fields, there before the write's first byte, the
// transfers, the alarms as the monitor raises and clears them, the mode (an
// open that failed as what failed), a lost link once, the end of shift with
// its counts, and the samples once a minute on the fake clock.

#include "link/K7700Registers.h"
#include "shared/BackgroundMonitor.h"
#include "shared/DataTransfer.h"
#include "shared/Journal.h"
#include "shared/JournalHooks.h"
#include "shared/JournalReports.h"
#include "shared/MachineData.h"
#include "shared/SetupCompare.h"
#include "shared/TimingEditor.h"
#include "SimLinkMode.h"

#include <QTemporaryDir>
#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {

struct Rig : SimLinkMode
{
    QTemporaryDir journalDir;
    Journal journal { JournalConfig { journalDir.filePath(QStringLiteral("j.sqlite")), {},
                          QStringLiteral("BM-1"), 400, true, {} },
        {}, QStringLiteral("operator") };
    JournalHooks hooks { journal, rs, clock };

    Rig()
    {
        resetMachineDataGlobals();
        InitMachineData(1, 0, 0);
        if (!journal.open())
            qFatal("journal: %s", qPrintable(journal.statusText()));
    }
    QList<WriteRow> writes() { return journal.changeLog({}).valueOr({}); }
    QList<EventRow> events() { return journal.events({}).valueOr({}); }
    QList<TransferRow> transfers() { return journal.transfers({}).valueOr({}); }
};

} // namespace

class TestJournalHooks : public QObject
{
    Q_OBJECT

private slots:
    void eachWriteIsOneRow()
    {
        Rig r;
        r.mode.setMode(true);
        QCOMPARE(r.events().size(), 1);
        QCOMPARE(r.events()[0].kind, QStringLiteral("online"));
        r.sim.setWord(1026, 250);
        QVERIFY(r.rs.RSRead(reg::kBodymakerLowSpeed).ok());
        r.rs.setWriteSource(QStringLiteral("Set-up Parameters"));
        QVERIFY(r.rs.RSWrite(reg::kBodymakerLowSpeed, QStringLiteral("300")).ok());
        // Refused before anything is sent: recorded as failed, with its alert.
        r.prompter.answerMsg(MsgResult::OK);
        QCOMPARE(r.rs.RSWrite(reg::kBodymakerLowSpeed, QStringLiteral("70000")).ok(), false);
        QVERIFY(r.rs.SingleSetpoint(3, 110, 130, true).ok());

        const QList<WriteRow> w = r.writes();
        QCOMPARE(w.size(), 3);
        QCOMPARE(w[0].address, QStringLiteral("W1026"));
        QCOMPARE(w[0].parameter, QStringLiteral("Low Speed (SPM)"));
        QCOMPARE(w[0].valueBefore, std::optional<QString>(QStringLiteral("250")));
        QCOMPARE(w[0].valueAfter, QStringLiteral("300"));
        QCOMPARE(w[0].source, QStringLiteral("Set-up Parameters"));
        QCOMPARE(w[0].outcome, QStringLiteral("done"));
        QCOMPARE(w[0].user, QStringLiteral("operator"));
        QCOMPARE(w[1].valueBefore, std::optional<QString>(QStringLiteral("300"))); // the last value written
        QCOMPARE(w[1].valueAfter, QStringLiteral("70000"));
        QCOMPARE(w[1].ok, false);
        QCOMPARE(w[1].outcome, QStringLiteral("the value was refused; nothing was sent"));
        QCOMPARE(w[2].address, QStringLiteral("PLS channel 3"));
        QCOMPARE(w[2].parameter, QStringLiteral("Sensor Check Timing"));
        QCOMPARE(w[2].valueAfter, QStringLiteral("ON 110 OFF 130"));
        QCOMPARE(r.sim.word(1026), 300);
        QCOMPARE(r.prompter.unexpected(), 0);
    }

    // A PLS channel the timing editor read, and a configuration read since
    // the link opened, are the value before of the next write to them; the
    // configuration is named field by field.
    void plsWritesNameTheirValueBefore()
    {
        Rig r;
        r.sim.setPLSChannel(3, { K7700Sim::PLSChannel::Kind::Setpoints, 0, 20 });
        std::array<quint8, K7700Sim::PLSConfigTableSize> table {};
        table[0] = 16;
        table[2] = table[3] = 12;
        r.sim.setPLSConfigTable(table);
        r.sim.setPLSScaleFactor(360);
        r.mode.setMode(true);
        TimingEditor editor(r.prompter, r.rs);
        editor.setParameterText(TimingState::kChannelNumberField, QStringLiteral("3"));
        editor.recallChannelCommand();
        QVERIFY(r.rs.SingleSetpoint(3, 0, 25, true).ok());
        QVERIFY(r.rs.PLSConfigUpload().ok());
        QVERIFY(r.rs.PLSScaleFactor().ok());
        QVERIFY(r.rs.PLSConfigDownload(plsConfigDownloadList(CurrentData), 360).ok());

        const QList<WriteRow> w = r.writes();
        QCOMPARE(w.size(), 2);
        QCOMPARE(w[0].valueBefore, std::optional<QString>(QStringLiteral("ON 0 OFF 20")));
        QCOMPARE(w[0].valueAfter, QStringLiteral("ON 0 OFF 25"));
        QCOMPARE(w[1].address, QStringLiteral("PLS configuration"));
        QCOMPARE(w[1].valueBefore,
            std::optional<QString>(QStringLiteral("channels 16, program 0, speed compensation 12 12 0 0 0 0 0 0, "
                                                  "scale 360")));
        QCOMPARE(w[1].valueAfter,
            QStringLiteral("channels 16, program 0, speed compensation 0 0 0 0 0 0 0 0, scale 360"));
        QCOMPARE(r.prompter.unexpected(), 0);
    }

    // The row is in the file before the first byte: while the write waits
    // on a line that went silent inside it, another run (a second
    // connection) reads it "started"; the end completes the same row.
    void aWritesRowIsThereBeforeItsFirstByte()
    {
        Rig r;
        r.mode.setMode(true);
        r.sim.setWord(1026, 263);
        QVERIFY(r.rs.RSRead(reg::kBodymakerLowSpeed).ok());
        QList<WriteRow> meanwhile;
        r.prompter.duringNextMsg([&] {
            Journal other(r.journal.config(), {}, QStringLiteral("ann"));
            if (other.open())
                meanwhile = other.changeLog({}).valueOr({});
        });
        r.prompter.setDefaultMsgAnswer(MsgResult::Cancel);
        r.sim.dropOutAfter(2); // the line ends after the address's first byte
        QCOMPARE(r.rs.RSWrite(reg::kBodymakerLowSpeed, QStringLiteral("264")).ok(), false);
        QCOMPARE(meanwhile.size(), 1);
        QCOMPARE(meanwhile[0].address, QStringLiteral("W1026"));
        QCOMPARE(meanwhile[0].parameter, QStringLiteral("Low Speed (SPM)"));
        QCOMPARE(meanwhile[0].valueBefore, std::optional<QString>(QStringLiteral("263")));
        QCOMPARE(meanwhile[0].valueAfter, QStringLiteral("264"));
        QCOMPARE(meanwhile[0].source, QStringLiteral("TALVEK"));
        QCOMPARE(meanwhile[0].outcome, QStringLiteral("started"));
        QCOMPARE(meanwhile[0].ok, false);
        const QList<WriteRow> w = r.writes();
        QCOMPARE(w.size(), 1);
        QCOMPARE(w[0].valueBefore, std::optional<QString>(QStringLiteral("263")));
        QCOMPARE(w[0].outcome, QStringLiteral("the controller did not answer"));
        QCOMPARE(w[0].ok, false);
    }

    // An open that failed is one row naming what failed: a port in use is
    // not a silent controller, and no "comm fault" row follows either.
    void aFailedOpenIsJournaledAsWhatFailed_data()
    {
        QTest::addColumn<bool>("portInUse");
        QTest::addColumn<QString>("detail");
        QTest::newRow("silent board") << false << QStringLiteral("the controller did not answer");
        QTest::newRow("port in use") << true << QStringLiteral("the serial port failed");
    }
    void aFailedOpenIsJournaledAsWhatFailed()
    {
        QFETCH(bool, portInUse);
        QFETCH(QString, detail);
        Rig r;
        r.prompter.setDefaultMsgAnswer(MsgResult::Cancel);
        if (portInUse)
            r.port.failOpenWith(SerialError(SerialErrorNumber::kPortUnavailable, QStringLiteral("MSComm1"),
                QStringLiteral("The port is in use")));
        else
            r.sim.setDroppedOut(true);
        r.mode.setMode(true);
        QCOMPARE(r.rs.OnlineMode, false);
        const QList<EventRow> e = r.events();
        QCOMPARE(e.size(), 1);
        QCOMPARE(e[0].kind, QStringLiteral("online"));
        QCOMPARE(e[0].detail, detail);
        QCOMPARE(r.writes().size(), 0);
    }

    void aTransferIsItsWritesAndOneTransferRow()
    {
        Rig r;
        r.mode.setMode(true);
        DataTransfer transfer(r.rs, CurrentData);
        transfer.setFileName(QStringLiteral("/plant/line1.sdt"));
        CurrentData.ParamValue[4] = 17;
        QVERIFY(transfer.run(kTransferShiftData + kTransferDownloadOffset, ParamCount).ok());
        const QList<WriteRow> w = r.writes();
        QCOMPARE(w.size(), 6);
        QCOMPARE(w[4].address, QStringLiteral("W1040"));
        QCOMPARE(w[4].valueAfter, QStringLiteral("17"));
        QCOMPARE(w[4].source, QStringLiteral("data transfer: download shift data"));
        const QList<TransferRow> t = r.transfers();
        QCOMPARE(t.size(), 1);
        QCOMPARE(t[0].kind, QStringLiteral("download shift data"));
        QCOMPARE(t[0].file, QStringLiteral("/plant/line1.sdt"));
        QCOMPARE(t[0].rows, 6);
        QVERIFY(t[0].ok);
        QCOMPARE(r.rs.writeSource(), QStringLiteral("TALVEK")); // given back after the transfer

        // A line that goes silent: the failed row is the last write, recorded failed.
        r.prompter.setDefaultMsgAnswer(MsgResult::Cancel);
        r.sim.setDroppedOut(true);
        QCOMPARE(transfer.run(kTransferShiftData + kTransferDownloadOffset, ParamCount).ok(), false);
        const QList<WriteRow> after = r.writes();
        QCOMPARE(after.size(), 7);
        QCOMPARE(after.last().ok, false);
        QCOMPARE(r.transfers().last().rows, 0);
        QCOMPARE(r.transfers().last().ok, false);
        // The lost link once, however many operations then fail fast.
        QVERIFY(!r.rs.RSRead(reg::kMachineSpeed).ok());
        const QList<EventRow> e = r.events();
        QCOMPARE(e.size(), 2);
        QCOMPARE(e[1].kind, QStringLiteral("comm fault"));
        QCOMPARE(e[1].detail, QStringLiteral("the controller did not answer"));
    }

    // A compare reads through the upload but is one "compare" row, never an
    // upload; it writes nothing.
    void aCompareIsOneCompareRow()
    {
        Rig r;
        r.mode.setMode(true);
        SetupCompare compare(CurrentData, CompareScope::SetupParameters);
        compare.setFileName(QStringLiteral("/plant/approved.sdt"));
        QVERIFY(compare.readController(r.rs).ok());
        const QList<TransferRow> t = r.transfers();
        QCOMPARE(t.size(), 1);
        QCOMPARE(t[0].kind, QStringLiteral("compare"));
        QCOMPARE(t[0].file, QStringLiteral("/plant/approved.sdt"));
        QCOMPARE(t[0].rows, 12);
        QVERIFY(t[0].ok);
        QVERIFY(r.writes().isEmpty());
    }

    // The trends' limit: the controller's when it answers; a silent line
    // gives the working data's, never the failed read's.
    void brakeLimitFromTheControllerOrTheWorkingData()
    {
        Rig r;
        const int row = paramRowOf(reg::kMaxStoppingResponse);
        CurrentData.ParamValue[row] = 280;
        QCOMPARE(brakeResponseLimit(r.rs), std::optional<int>(280)); // OFFLINE
        r.mode.setMode(true);
        r.sim.setWord(1024, 310);
        QCOMPARE(brakeResponseLimit(r.rs), std::optional<int>(310));
        r.prompter.setDefaultMsgAnswer(MsgResult::Cancel);
        r.sim.setDroppedOut(true);
        QCOMPARE(brakeResponseLimit(r.rs), std::optional<int>(280));
        CurrentData.ParamValue[row] = 0;
        QCOMPARE(brakeResponseLimit(r.rs), std::nullopt);
    }

    void alarmsRaisedAndCleared()
    {
        Rig r;
        BackgroundMonitor monitor(r.rs);
        monitor.InitFaultTable();
        r.hooks.watchAlarms(monitor);
        r.mode.setMode(true);
        r.sim.setAlarm(858, true);
        for (int i = 0; i < 6; ++i)
            monitor.tick();
        r.sim.setAlarm(858, false);
        for (int i = 0; i < 6; ++i)
            monitor.tick();
        const Result<QList<AlarmSpan>> spans = r.journal.alarmHistory({});
        QVERIFY(spans.ok());
        QCOMPARE(spans->size(), 1);
        QCOMPARE(spans->at(0).flag, 0);
        QCOMPARE(spans->at(0).text, QStringLiteral("Brake Response Too Long - Service Brake (F858)"));
        QVERIFY(spans->at(0).cleared.isValid());
    }

    void endOfShiftWithItsCounts()
    {
        Rig r;
        r.mode.setMode(true);
        r.sim.setD(1100, 123456);
        r.sim.setWord(1104, 42);
        QVERIFY(r.rs.RSRead(reg::kShiftGoodCans).ok());
        QVERIFY(r.rs.RSRead(reg::kShiftShortCans).ok());
        QVERIFY(r.rs.RSWrite(reg::kEndOfShift, QStringLiteral("1")).ok());
        QVERIFY(r.rs.RSWrite(reg::kEndOfShift, QStringLiteral("0")).ok());
        const QList<EventRow> e = r.events();
        QCOMPARE(e.size(), 2);
        QCOMPARE(e[1].kind, QStringLiteral("end of shift"));
        QCOMPARE(e[1].detail, QStringLiteral("good cans 123456, short cans 42"));
        QCOMPARE(r.writes().size(), 2);
    }

    void samplesOnceAMinuteWhileOnline()
    {
        Rig r;
        r.sim.setWord(182, 310);
        r.sim.setWord(1040, 21);
        r.sim.setWord(1042, 34);
        r.hooks.sampleTick(); // OFFLINE: nothing read, nothing kept
        r.mode.setMode(true);
        r.port.clearRecord();
        r.hooks.sampleTick(); // the minute starts when the link goes ONLINE
        r.clock.advance(JournalHooks::kSampleIntervalMs - 1);
        r.hooks.sampleTick();
        QCOMPARE(r.port.written().size(), 0);
        r.clock.advance(1);
        r.hooks.sampleTick();
        r.sim.setWord(1042, 35);
        r.clock.advance(JournalHooks::kSampleIntervalMs);
        r.hooks.sampleTick();
        const QList<SampleRow> s = r.journal.samples({}).valueOr({});
        QCOMPARE(s.size(), 2);
        QCOMPARE(s[0].speed, 310);
        QCOMPARE(s[0].brakeLow, 21);
        QCOMPARE(s[0].brakeHigh, 34);
        QCOMPARE(s[1].brakeHigh, 35);
        // A failed read records no sample.
        r.prompter.setDefaultMsgAnswer(MsgResult::Cancel);
        r.sim.setDroppedOut(true);
        r.clock.advance(JournalHooks::kSampleIntervalMs);
        r.hooks.sampleTick();
        QCOMPARE(r.journal.samples({}).valueOr({}).size(), 2);
        r.mode.setMode(false);
        QCOMPARE(r.events().last().kind, QStringLiteral("offline"));
    }
};

QTEST_GUILESS_MAIN(TestJournalHooks)
#include "tst_journalhooks.moc"
