// talvek-cli compare on the in-process simulator: the exit codes, the lines
// it prints, and the faults of the line (a read wrong twice, a lost byte, a
// silent line), each against the controller's whole state afterwards: a
// compare never changes anything on the controller.

#include "CliRig.h"
#include "ControllerState.h"
#include "shared/MachineData.h"

#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {

K7700Sim::PLSChannel setpoints(quint16 on, quint16 off)
{
    K7700Sim::PLSChannel c;
    c.kind = K7700Sim::PLSChannel::Kind::Setpoints;
    c.on = on;
    c.off = off;
    return c;
}

// A press with set-up values and timing that are not the defaults.
void loadPress(K7700Sim& sim)
{
    sim.setWord(1020, 181);
    sim.setWord(1024, 280);
    sim.setWord(1026, 312);
    sim.setWord(1028, 366);
    sim.setByte(4050, 7);
    sim.setPLSScaleFactor(360);
    sim.setPLSChannel(0, setpoints(140, 175));
    sim.setPLSChannel(9, setpoints(20, 330));
}

QStringList lines(const QString& text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The approved file: what the press held at the upload.
struct Press
{
    K7700Sim sim;
    Cli cli { sim };
    QString file = cli.path(QStringLiteral("approved.sdt"));

    Press()
    {
        resetMachineDataGlobals();
        loadPress(sim);
        if (cli.run({ QStringLiteral("upload"), QStringLiteral("all"), QStringLiteral("-o"), file }) != 0)
            qFatal("the approved file was not made");
    }
    int compare(const QString& group, const QStringList& more = {})
    {
        return cli.run(QStringList { QStringLiteral("compare"), group, QStringLiteral("-i"), file } + more);
    }
};

} // namespace

class tst_TalvekCliCompare final : public QObject
{
    Q_OBJECT

private slots:
    void exitCodesAndLines();
    void lineFaults_data();
    void lineFaults();
    void commandLine();
};

void tst_TalvekCliCompare::exitCodesAndLines()
{
    Press p;
    const ControllerState held = ControllerState::of(p.sim);
    QCOMPARE(p.compare(QStringLiteral("all")), 0);
    QCOMPARE(p.cli.out, QString());
    QCOMPARE(p.cli.err, QString());
    QVERIFY(ControllerState::of(p.sim) == held);

    // Drift: one set-up value and one channel; the shift counters count on
    // and are not compared.
    p.sim.setWord(1026, 299);
    p.sim.setPLSChannel(9, setpoints(20, 300));
    p.sim.setD(1100, 4711);
    const ControllerState drifted = ControllerState::of(p.sim);
    QCOMPARE(p.compare(QStringLiteral("all")), 1);
    QCOMPARE(lines(p.cli.out),
        (QStringList { "W1026 Low Speed (SPM): file 312, controller 299",
            "CH11 Channel 9: file 20 / 330, controller 20 / 300" }));
    QCOMPARE(p.cli.err, QString());
    QCOMPARE(p.compare(QStringLiteral("params"), { QStringLiteral("--csv") }), 1);
    QCOMPARE(lines(p.cli.out),
        (QStringList { "group,address,caption,file,controller", "params,W1026,Low Speed (SPM),312,299" }));
    QVERIFY(ControllerState::of(p.sim) == drifted);
    // A pulse train where the file holds an empty channel (all a file can
    // hold) is a note on its own line, not a difference, unless --strict.
    p.sim.setWord(1026, 312);
    p.sim.setPLSChannel(9, setpoints(20, 330));
    K7700Sim::PLSChannel train;
    train.kind = K7700Sim::PLSChannel::Kind::PulseTrain;
    train.onDivisions = 10;
    train.offDivisions = 20;
    p.sim.setPLSChannel(8, train);
    const QString note = QStringLiteral("CH10 Channel 8: file empty, controller pulse train (note: a set-up file "
                                        "cannot hold a pulse train; a download clears it)");
    QCOMPARE(p.compare(QStringLiteral("all")), 0);
    QCOMPARE(lines(p.cli.out), QStringList { note });
    QCOMPARE(p.compare(QStringLiteral("timing"), { QStringLiteral("--strict") }), 1);
    QCOMPARE(lines(p.cli.out), QStringList { note });
    QCOMPARE(p.compare(QStringLiteral("timing"), { QStringLiteral("--csv") }), 0);
    QCOMPARE(lines(p.cli.out), QStringList { "group,address,caption,file,controller" });
    QCOMPARE(p.cli.err, QStringLiteral("talvek-cli: ") + note + QLatin1Char('\n'));
}

void tst_TalvekCliCompare::lineFaults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("out");
    QTest::addColumn<QString>("err");

    // W1028 differs on the board in every case: it is listed only when it
    // was read. Bytes: open 1; handshake 2, B1018.0 2, W1020, W1022, W1024,
    // W1026 4 each: W1028 begins at byte 21 and its retry 4 bytes later.
    const QString notRead = QStringLiteral("W1028, W1032, W1034, W1036, B4001.0, B4050, B4011");
    QTest::newRow("a read wrong twice")
        << "twice" << int(CliExit::ControllerRefused) << QStringList { "CH11 Channel 9: file 20 / 330, controller empty" }
        << QStringLiteral("talvek-cli: compare not complete; not read: %1: the controller's echo was wrong (W1028)\n")
               .arg(notRead);
    // The second byte of W1028's read is lost: the read is made again and
    // gives the board's value.
    QTest::newRow("a lost byte") << "lost" << int(CliExit::Differs)
                                 << QStringList { "W1028 High Speed (SPM): file 366, controller 1",
                                        "CH11 Channel 9: file 20 / 330, controller empty" }
                                 << QString();
    // The set-up parameters are read; the PLS then refuses CH05's recall
    // (it gives a position beyond any scale): the compare is not complete,
    // whatever it found so far, and names the channels it did not read.
    QTest::newRow("a recall refused")
        << "recall" << int(CliExit::ControllerRefused)
        << QStringList { "W1028 High Speed (SPM): file 366, controller 1" }
        << QStringLiteral(
               "talvek-cli: compare not complete; not read: CH05, CH06, CH07, CH10, CH11, CH12, CH13, "
               "CH14, CH15, CH16, CH17: the board refused the operation\n");
    QTest::newRow("a silent line")
        << "silent" << int(CliExit::Silent) << QStringList {}
        << QStringLiteral("talvek-cli: WARNING - Communication Error!: Cannot Communicate with Target Board. / Verify "
                          "RS-232 Cable is Connected Between / COMM Port and PROG Port.\n"
                          "talvek-cli: compare not complete; not read: %1, PLS-CHANNELS, PLS-PROGRAM, PLS-SCALE, "
                          "PLS-COMP0, PLS-COMP1, PLS-COMP2, PLS-COMP3, PLS-COMP4, PLS-COMP5, PLS-COMP6, PLS-COMP7, "
                          "CH00, CH01, CH02, CH03, CH04, CH05, CH06, CH07, CH10, CH11, CH12, CH13, CH14, CH15, CH16, "
                          "CH17: the controller did not answer (W1028)\n")
               .arg(notRead);
}

void tst_TalvekCliCompare::lineFaults()
{
    QFETCH(QString, fault);
    QFETCH(int, exitCode);
    QFETCH(QStringList, out);
    QFETCH(QString, err);

    Press p;
    p.sim.setWord(1028, 1);
    p.sim.setPLSChannel(9, {});
    // The bytes a clean compare takes, so that the fault is seen to strike.
    qint64 mark = p.sim.bytesReceived();
    QCOMPARE(p.compare(QStringLiteral("all")), int(CliExit::Differs));
    const qint64 clean = p.sim.bytesReceived() - mark;
    mark = p.sim.bytesReceived();
    if (fault == QLatin1String("twice")) {
        p.sim.corruptReplyTo(21);
        p.sim.corruptReplyTo(25);
    } else if (fault == QLatin1String("lost")) {
        p.sim.silenceNext(1, 22);
    } else if (fault == QLatin1String("recall")) {
        p.sim.setPLSChannel(5, setpoints(5000, 5100));
    } else {
        p.sim.dropOutAfter(21);
    }
    const ControllerState before = ControllerState::of(p.sim);
    QCOMPARE(p.compare(QStringLiteral("all")), exitCode);
    QCOMPARE(lines(p.cli.out), out);
    QCOMPARE(p.cli.err, err);
    QVERIFY(p.sim.bytesReceived() - mark != clean);
    // The board is left as it was, byte for byte and channel for channel.
    p.sim.clearFaults();
    p.sim.setDroppedOut(false);
    QVERIFY(ControllerState::of(p.sim) == before);
}

void tst_TalvekCliCompare::commandLine()
{
    K7700Sim sim;
    Cli cli(sim);
    const ControllerState before = ControllerState::of(sim);
    bool portMade = false;
    cli.preparePort = [&portMade](SimPort&) { portMade = true; };
    QCOMPARE(cli.run({ QStringLiteral("compare"), QStringLiteral("shift"), QStringLiteral("-i"), QStringLiteral("x.sdt") }),
        int(CliExit::Usage));
    QVERIFY(cli.err.startsWith(QStringLiteral("talvek-cli: compare needs one of params, timing, all\n")));
    QCOMPARE(cli.run({ QStringLiteral("compare"), QStringLiteral("all"), QStringLiteral("-i"),
                 cli.path(QStringLiteral("none.sdt")) }),
        int(CliExit::File));
    QVERIFY(!portMade); // every one refused before the port opened
    QVERIFY(ControllerState::of(sim) == before);
}

QTEST_GUILESS_MAIN(tst_TalvekCliCompare)
#include "tst_talvekcli_compare.moc"
