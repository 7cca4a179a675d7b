// talvek-cli's commands on the in-process simulator: the set-up file of
// "upload all" against the one the main window saves after the same upload,
// a download restoring changed values, the exit code and message of each
// failure cause, the trace file, and the command line's own checks.

#include "CliRig.h"
#include "ControllerState.h"
#include "MainWindowRig.h"
#include "cli/CliFileNames.h"
#include "cli/TalvekCli.h"
#include "link/LinkMonitor.h"
#include "shared/SetupFile.h"
#include "windows/frmProcessing.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace talvek;
using namespace talvek::test;

namespace {

// A press with set-up values and programmed timing channels that differ from
// the program's defaults.
void loadPress(K7700Sim& sim)
{
    sim.setD(1100, 123456);
    sim.setWord(1104, 17);
    sim.setD(1200, 98765);
    sim.setWord(1204, 3);
    sim.setWord(1040, 41);
    sim.setWord(1042, 52);
    sim.setWord(1020, 181);
    sim.setWord(1026, 312);
    sim.setWord(1028, 366);
    sim.setWord(1032, 401);
    sim.setByte(4050, 7);
    sim.setPLSScaleFactor(360);
    sim.setPLSOffset(12);
    K7700Sim::PLSChannel channel;
    channel.kind = K7700Sim::PLSChannel::Kind::Setpoints;
    channel.on = 140;
    channel.off = 175;
    sim.setPLSChannel(0, channel);
    channel.on = 20;
    channel.off = 330;
    sim.setPLSChannel(9, channel);
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class tst_TalvekCli final : public QObject
{
    Q_OBJECT

private slots:
    void uploadAllMatchesTheMainWindowsFile();
    void downloadRestoresChangedValues();
    void groupsMoveOnlyTheirRows();
    void readAndWrite();
    void status();
    void programUploadThenDownload();
    void failureCauses_data();
    void failureCauses();
    void traceFile();
    void partWayIsNeverDone();
    void outputOnlyToARegularFile();
    void inputOnlyFromARegularFile();
    void fileNamesOfAnyBytes();
    void anotherVersionNeedsAnyVersion();
    void aRetryThatWorkedIsNoAlarm();
    void sessionCutInsideAWrite();
    void commandLineChecks_data();
    void commandLineChecks();
    void portOverrides();
    void addresses_data();
    void addresses();
    void writesAreJournaledWithTheirOutcome();
};

void tst_TalvekCli::uploadAllMatchesTheMainWindowsFile()
{
    // The main window: File > Upload (save) Data > All, then Save As.
    Rig rig;
    loadPress(rig.sim);
    rig.w->tmrBackgroungUpdate->stop();
    rig.script().answerMsg(MsgResult::Yes); // "You are about to Upload Data from the PLC"
    rig.script().answerMsg(MsgResult::Yes); // go ONLINE
    rig.w->mnuFileUploadData[4]->trigger();
    auto* processing = rig.w->findChild<frmProcessing*>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY(processing);
    QSignalSpy finished(processing, &QDialog::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(CurrentData.ParamValue[10], 312);
    const QString guiFile = rig.dir.filePath(QStringLiteral("gui.sdt"));
    rig.script().answerFile(guiFile);
    rig.w->mnuFileSaveAs->trigger();
    QCOMPARE(rig.script().unexpected(), 0);
    rig.w->mnuViewOffline->trigger();
    const QByteArray gui = contents(guiFile);
    QCOMPARE(gui.size(), 325);

    // talvek-cli on the same controller.
    Cli cli(rig.sim);
    const QString cliFile = cli.path(QStringLiteral("press1.sdt"));
    QCOMPARE(cli.run({ QStringLiteral("upload"), QStringLiteral("all"), QStringLiteral("-o"), cliFile }), 0);
    QCOMPARE(cli.err, QString());
    QCOMPARE(cli.out, QString());
    QCOMPARE(contents(cliFile), gui);

    // And it holds the press's values, not the defaults.
    MachineData record;
    QVERIFY(readSetupFile(cliFile, record));
    QCOMPARE(record.ParamValue.mid(0, 6), (QList<qint32> { 123456, 17, 98765, 3, 41, 52 }));
    QCOMPARE(record.ParamValue[10], 312);
    QCOMPARE(record.ParamValue[16], 7);
    QCOMPARE(record.OnSetpoint[0], qint16(140));
    QCOMPARE(record.OffSetpoint[9], qint16(330));
    QCOMPARE(record.PlsOffset, qint16(12));
}

void tst_TalvekCli::downloadRestoresChangedValues()
{
    resetMachineDataGlobals();
    K7700Sim sim;
    loadPress(sim);
    Cli cli(sim);
    const QString file = cli.path(QStringLiteral("backup.sdt"));
    QCOMPARE(cli.run({ QStringLiteral("upload"), QStringLiteral("all"), QStringLiteral("-o"), file }), 0);

    // Someone changes the press.
    sim.setWord(1026, 999);
    sim.setByte(4050, 1);
    sim.setD(1100, 5);
    K7700Sim::PLSChannel changed;
    changed.kind = K7700Sim::PLSChannel::Kind::Setpoints;
    changed.on = 10;
    changed.off = 11;
    sim.setPLSChannel(0, changed);
    sim.setPLSChannel(3, changed);
    sim.setPLSChannel(9, {});

    // Without --yes nothing is sent.
    QCOMPARE(cli.run({ QStringLiteral("download"), QStringLiteral("all"), QStringLiteral("-i"), file }),
        int(CliExit::NeedsYes));
    QCOMPARE(
        cli.err, QStringLiteral("talvek-cli: download writes to the controller: add --yes to go ahead\n"));
    QCOMPARE(sim.word(1026), quint16(999));

    QCOMPARE(cli.run({ QStringLiteral("download"), QStringLiteral("all"), QStringLiteral("-i"), file,
                 QStringLiteral("--yes") }),
        0);
    QCOMPARE(cli.err, QString());
    QCOMPARE(sim.word(1026), quint16(312));
    QCOMPARE(sim.byte(4050), std::uint8_t(7));
    QCOMPARE(sim.getD(1100), qint64(123456));
    QCOMPARE(sim.plsChannel(0).on, quint16(140));
    QCOMPARE(sim.plsChannel(0).off, quint16(175));
    QCOMPARE(sim.plsChannel(9).off, quint16(330));
    QCOMPARE(sim.plsChannel(3).kind, K7700Sim::PLSChannel::Kind::Empty);
}

void tst_TalvekCli::groupsMoveOnlyTheirRows()
{
    resetMachineDataGlobals();
    K7700Sim sim;
    loadPress(sim);
    Cli cli(sim);
    const QString file = cli.path(QStringLiteral("shift.sdt"));
    QCOMPARE(cli.run({ QStringLiteral("upload"), QStringLiteral("shift"), QStringLiteral("-o"), file }), 0);
    MachineData record;
    QVERIFY(readSetupFile(file, record));
    QCOMPARE(record.ParamValue.mid(0, 6), (QList<qint32> { 123456, 17, 98765, 3, 41, 52 }));
    QCOMPARE(record.ParamValue[10], 250); // the default: set-up parameters were not read
    QCOMPARE(record.OnSetpoint[0], qint16(150));

    sim.setWord(1026, 999);
    sim.setWord(1104, 1);
    QCOMPARE(cli.run({ QStringLiteral("download"), QStringLiteral("params"), QStringLiteral("-i"), file,
                 QStringLiteral("--yes") }),
        0);
    QCOMPARE(sim.word(1026), quint16(250)); // the file's (default) set-up parameters
    QCOMPARE(sim.word(1104), quint16(1)); // shift data untouched
}

void tst_TalvekCli::readAndWrite()
{
    resetMachineDataGlobals();
    K7700Sim sim;
    loadPress(sim);
    sim.setByte(1018, 0x41);
    Cli cli(sim);
    QCOMPARE(cli.run({ QStringLiteral("read"), QStringLiteral("W1026"), QStringLiteral("D1100"),
                 QStringLiteral("B1018.0"), QStringLiteral("B1018.1"), QStringLiteral("FF0H") }),
        0);
    QCOMPARE(cli.out, QStringLiteral("W1026=312\nD1100=123456\nB1018.0=1\nB1018.1=0\nFF0H=0\n"));
    QCOMPARE(cli.err, QString());

    QCOMPARE(cli.run({ QStringLiteral("write"), QStringLiteral("W1026"), QStringLiteral("1000"),
                 QStringLiteral("--yes") }),
        0);
    QCOMPARE(cli.out, QStringLiteral("W1026=1000\n"));
    QCOMPARE(sim.word(1026), quint16(1000));
    QCOMPARE(cli.run({ QStringLiteral("write"), QStringLiteral("B1018.1"), QStringLiteral("1"),
                 QStringLiteral("--yes") }),
        0);
    QCOMPARE(sim.byte(1018), std::uint8_t(0x43));

    // The data byte's echo goes wrong on both attempts after the board took
    // it: the write's own read-back confirms it, and so does the command.
    sim.corruptReplyTo(1 + 2 + 2);
    sim.corruptReplyTo(1 + 2 + 2 + 5);
    QCOMPARE(cli.run({ QStringLiteral("write"), QStringLiteral("B100"), QStringLiteral("7"), QStringLiteral("--yes") }),
        0);
    QCOMPARE(cli.out, QStringLiteral("B100=7\n"));
    QCOMPARE(cli.err, QString());
    QCOMPARE(sim.byte(100), std::uint8_t(7));
}

void tst_TalvekCli::status()
{
    resetMachineDataGlobals();
    K7700Sim sim;
    sim.setByte(8159, 12);
    sim.setByte(8176, 0x1A);
    Cli cli(sim);
    QDir().mkpath(cli.path(QStringLiteral("support")));
    QFile table(cli.path(QStringLiteral("support/FaultErrCodes.txt")));
    QVERIFY(table.open(QIODevice::WriteOnly));
    table.write("\"1A\",\"Resolver signal lost\"\r\n");
    table.close();
    QCOMPARE(cli.run({ QStringLiteral("status") }), 0);
    QCOMPARE(cli.out,
        QStringLiteral("mode: ONLINE\nport: COM1 sim:COM1 9600,n,8,1\nfirmware revision: 12\nfault code: 26\n"
                       "fault: Fault Code (1AH): Resolver signal lost\n"));
}

void tst_TalvekCli::programUploadThenDownload()
{
    resetMachineDataGlobals();
    K7700Sim sim;
    sim.setIdent("PRESS 1", 0x0A, 0x0B);
    sim.setByte(0x4000, 0x12);
    sim.setByte(0x4001, 0x34);
    sim.setByte(0xBFFF, 0xEE);
    Cli cli(sim);
    const QString nvk = cli.path(QStringLiteral("press.nvk"));
    QFile program(nvk);
    QVERIFY(program.open(QIODevice::WriteOnly));
    program.write("D,0\r\n"); // a K7700 program: its image lies at 4000H..BFFFH
    program.close();

    QCOMPARE(cli.run({ QStringLiteral("program-upload"), nvk }), 0);
    QCOMPARE(cli.err, QStringLiteral("talvek-cli: Program Upload: Program Upload Complete!\n"));
    QCOMPARE(contents(cli.path(QStringLiteral("press.rev"))),
        QByteArray("PRESS 1\0"
                   "0:0;\r\n",
            14));
    const QList<QByteArray> image = contents(cli.path(QStringLiteral("press.hex"))).split('\n');
    QCOMPARE(image.size(), 0x8000 / 16 + 2);
    QCOMPARE(image.front(), QByteArray(":10400000123400000000000000000000000000006A\r"));
    QCOMPARE(image[0x8000 / 16 - 1], QByteArray(":10BFF000000000000000000000000000000000EE53\r"));

    // The board loses its program; the set on disk puts it back.
    sim.setByte(0x4000, 0);
    sim.setByte(0x4001, 0);
    sim.setByte(0xBFFF, 0);
    sim.setIdent("", 0, 0);
    QCOMPARE(cli.run({ QStringLiteral("program-download"), nvk, QStringLiteral("--yes") }), 0);
    const QStringList lines = cli.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(
        lines[0].startsWith(QStringLiteral("talvek-cli: Program Download - [PRESS 1]: Program to be loaded "
                                           "into module (on disk): / Program Ident: PRESS 1")),
        qPrintable(lines[0]));
    QCOMPARE(lines[1], QStringLiteral("talvek-cli: Program Download: Program Download Complete!"));
    QCOMPARE(sim.byte(0x4000), std::uint8_t(0x12));
    QCOMPARE(sim.byte(0x4001), std::uint8_t(0x34));
    QCOMPARE(sim.byte(0xBFFF), std::uint8_t(0xEE));
    QCOMPARE(sim.byte(61424), std::uint8_t('P'));
    QCOMPARE(sim.byte(61432), std::uint8_t(0x0A));
}

void tst_TalvekCli::failureCauses_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("firstLine");

    const QStringList write { QStringLiteral("write"), QStringLiteral("B166"), QStringLiteral("256"),
        QStringLiteral("--yes") };
    const QStringList read { QStringLiteral("read"), QStringLiteral("B166") };
    QTest::newRow("no device")
        << "no device" << read << int(CliExit::NoDevice)
        << "talvek-cli: Comm Port Error: Error Number = 8021 / Error Source = MSComm1 / "
           "no such device";
    // A device named by itself has no port number to name.
    QTest::newRow("no device named with --device")
        << "no device"
        << QStringList { QStringLiteral("--device"), QStringLiteral("/dev/ttyX9"), QStringLiteral("read"),
               QStringLiteral("B166") }
        << int(CliExit::NoDevice)
        << "talvek-cli: Comm Port Error: Error Number = 8021 / Error Source = MSComm1 / "
           "no such device";
    QTest::newRow("permission")
        << "permission" << read << int(CliExit::Permission)
        << "talvek-cli: Comm Port Error: Error Number = 8020 / Error Source = MSComm1 "
           "/ permission denied";
    QTest::newRow("in use") << "in use" << read << int(CliExit::PortError)
                            << "talvek-cli: Comm Port Error: Error Number = 8010 / Error Source = MSComm1 / "
                               "in use";
    QTest::newRow("silent controller") << "silent" << read << int(CliExit::Silent)
                                       << "talvek-cli: WARNING - Communication Error!: Cannot Communicate "
                                          "with Target Board. / Verify RS-232 "
                                          "Cable is Connected Between / COMM Port and PROG Port.";
    QTest::newRow("refused write") << "none" << write << int(CliExit::ValueRefused)
                                   << "talvek-cli: ENTRY ALERT: Error: / Entry out of Range (0-255).";
    QTest::newRow("invalid port number")
        << "invalid port" << read << int(CliExit::NoDevice)
        << "talvek-cli: RSComm InitializeRSComm: Error Number = 8002 / invalid port number";
    QTest::newRow("board stops mid-upload") << "drop out"
                                            << QStringList { QStringLiteral("upload"), QStringLiteral("all"),
                                                   QStringLiteral("-o"), QStringLiteral("x.sdt") }
                                            << int(CliExit::Silent)
                                            << "talvek-cli: WARNING - Communication Error!: Cannot "
                                               "Communicate with Target Board. / Verify RS-232 "
                                               "Cable is Connected Between / COMM Port and PROG Port.";
    QTest::newRow("missing set-up file")
        << "none"
        << QStringList { QStringLiteral("download"), QStringLiteral("all"), QStringLiteral("-i"),
               QStringLiteral("nothing.sdt"), QStringLiteral("--yes") }
        << int(CliExit::File) << "talvek-cli: nothing.sdt: no such file";
}

void tst_TalvekCli::failureCauses()
{
    QFETCH(QString, cause);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, firstLine);

    resetMachineDataGlobals();
    K7700Sim sim;
    sim.setByte(166, 5);
    Cli cli(sim);
    QDir::setCurrent(cli.dir.path());
    auto failOpen = [&cli](int number, const char* text) {
        cli.preparePort = [number, text](SimPort& p) {
            p.failOpenWith(SerialError(number, QStringLiteral("MSComm1"), QLatin1String(text)));
        };
    };
    if (cause == QLatin1String("no device"))
        failOpen(SerialErrorNumber::kDeviceNotFound, "no such device");
    else if (cause == QLatin1String("permission"))
        failOpen(SerialErrorNumber::kPermissionDenied, "permission denied");
    else if (cause == QLatin1String("in use"))
        failOpen(SerialErrorNumber::kPortUnavailable, "in use");
    else if (cause == QLatin1String("invalid port")) {
        // The port control refuses the port number the settings name.
        cli.preparePort = [](SimPort& p) {
            p.refuseCommPort(SerialError(SerialErrorNumber::kInvalidPortNumber, QStringLiteral("MSComm1"),
                QStringLiteral("invalid port number")));
        };
    } else if (cause == QLatin1String("silent"))
        sim.setDroppedOut(true);
    else if (cause == QLatin1String("drop out"))
        sim.dropOutAfter(40);

    QCOMPARE(cli.run(args), exitCode);
    const QStringList lines = cli.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(!lines.isEmpty(), "nothing on the error stream");
    QCOMPARE(lines.front(), firstLine);
    // Each message once: cron mails every line.
    const QString message = firstLine.section(QStringLiteral(" / "), -1);
    QVERIFY2(cli.err.count(message) == 1, qPrintable(cli.err));
    if (args.contains(QStringLiteral("--device"))) {
        QVERIFY2(!cli.err.contains(QStringLiteral("COM")), qPrintable(cli.err));
        QVERIFY2(cli.err.contains(QStringLiteral("could not be opened (/dev/ttyX9)")), qPrintable(cli.err));
    }
    QCOMPARE(cli.out, QString());
    QCOMPARE(sim.byte(166), std::uint8_t(5)); // nothing written
    QVERIFY(!QFileInfo::exists(cli.path(QStringLiteral("x.sdt")))); // no half backup
}

void tst_TalvekCli::traceFile()
{
    resetMachineDataGlobals();
    K7700Sim sim;
    sim.setWord(180, 0x0102);
    Cli cli(sim);
    const QString trace = cli.path(QStringLiteral("link.log"));
    QCOMPARE(
        cli.run({ QStringLiteral("--trace"), trace, QStringLiteral("read"), QStringLiteral("W180") }), 0);
    const QStringList lines
        = QString::fromLatin1(contents(trace)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // Header; open; handshake; the word's four exchanges; the close's attention byte.
    QCOMPARE(lines.size(), 1 + 1 + 2 + 4 + 1);
    QCOMPARE(lines[0], LinkMonitor::logHeader());
    QStringList bytes;
    for (const QString& line : lines.mid(1))
        bytes.append(line.mid(16, 5) + QLatin1Char(' ') + line.section(QLatin1Char(' '), -1));
    QCOMPARE(bytes,
        (QStringList { "FF 55 reply", "FF 55 reply", "01 55 reply", "00 00 reply", "B4 02 reply",
            "00 00 reply", "B5 01 reply", "FF 55 reply" }));

    // A trace file that cannot be made stops the command before the port opens.
    QCOMPARE(cli.run({ QStringLiteral("--trace"), cli.path(QStringLiteral("no/such/folder/x.log")),
                 QStringLiteral("status") }),
        int(CliExit::File));
    QVERIFY(cli.err.startsWith(
        QStringLiteral("talvek-cli: ") + cli.path(QStringLiteral("no/such/folder/x.log"))));

    // One that opens but takes no byte (a full disk) fails a read that
    // worked: the log that was asked for is not there.
    QCOMPARE(cli.run({ QStringLiteral("--trace"), QStringLiteral("/dev/full"), QStringLiteral("read"),
                 QStringLiteral("W180") }),
        int(CliExit::File));
    QCOMPARE(cli.out, QStringLiteral("W180=258\n"));
    QCOMPARE(cli.err, QStringLiteral("talvek-cli: /dev/full: No space left on device\n"));
}

// An upload or download that stopped part way exits with its cause's code,
// names what it did not move, and leaves no file behind.
void tst_TalvekCli::partWayIsNeverDone()
{
    resetMachineDataGlobals();
    K7700Sim sim;
    loadPress(sim);
    Cli cli(sim);
    const QString file = cli.path(QStringLiteral("nightly.sdt"));

    // Row 3 (W1204) read wrong twice: open 1, handshake 2, D1100 8, W1104 4,
    // D1200 8; the retry's completing attention byte and handshake 3.
    sim.corruptReplyTo(23);
    sim.corruptReplyTo(27);
    QCOMPARE(cli.run({ QStringLiteral("upload"), QStringLiteral("all"), QStringLiteral("-o"), file }),
        int(CliExit::ControllerRefused));
    QVERIFY(!QFileInfo::exists(file));
    QCOMPARE(cli.err,
        QStringLiteral("talvek-cli: upload not complete, %1 not written; not moved: parameter rows 3, 4, 5, 6, 7, "
                       "8, 9, 10, 11, 12, 13, 14, 15, 16, 17; the PLS configuration; channels CH00, CH01, CH02, "
                       "CH03, CH04, CH05, CH06, CH07, CH10, CH11, CH12, CH13, CH14, CH15, CH16, CH17: the "
                       "controller's echo was wrong (W1204)\n")
            .arg(file));

    // A file whose W1026 the link refuses: the download stops there, says
    // so, and exits with the refusal's code.
    QCOMPARE(cli.run({ QStringLiteral("upload"), QStringLiteral("params"), QStringLiteral("-o"), file }), 0);
    QVERIFY(loadFileData(file));
    AcceptFileData();
    CurrentData.ParamValue[10] = 70000;
    QVERIFY(saveCurrentData(file));
    const quint16 before = sim.word(1026);
    QCOMPARE(cli.run({ QStringLiteral("download"), QStringLiteral("params"), QStringLiteral("-i"), file,
                 QStringLiteral("--yes") }),
        int(CliExit::ValueRefused));
    QCOMPARE(cli.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
        (QStringList { QStringLiteral("talvek-cli: ENTRY ALERT: Error: / Entry out of Range (0-65,535)."),
            QStringLiteral("talvek-cli: download not complete; not moved: parameter rows 10, 11, 12, 13, 14, 15, "
                           "16, 17: the value was refused; nothing was sent (W1026)") }));
    QCOMPARE(sim.word(1026), before);
}

// -o replaces only a regular file or makes a new one: a device, a FIFO, a
// folder or a loop of links is named as such before the port opens.
void tst_TalvekCli::outputOnlyToARegularFile()
{
    resetMachineDataGlobals();
    K7700Sim sim;
    Cli cli(sim);
    QVERIFY(QDir(cli.dir.path()).mkdir(QStringLiteral("folder")));
    QVERIFY(QFile::link(cli.path(QStringLiteral("loopA")), cli.path(QStringLiteral("loopB"))));
    QVERIFY(QFile::link(cli.path(QStringLiteral("loopB")), cli.path(QStringLiteral("loopA"))));
    QVERIFY(::mkfifo(QFile::encodeName(cli.path(QStringLiteral("fifo"))).constData(), 0600) == 0);
    int portsMade = 0;
    cli.preparePort = [&portsMade](SimPort&) { ++portsMade; };
    const QList<std::pair<QString, QString>> cases {
        { cli.path(QStringLiteral("folder")), QStringLiteral("is a folder") },
        { cli.path(QStringLiteral("fifo")), QStringLiteral("is a FIFO, not a regular file") },
        { QStringLiteral("/dev/null"), QStringLiteral("is a device, not a regular file") },
        { cli.path(QStringLiteral("loopA")), QStringLiteral("a loop of symbolic links") },
    };
    for (const auto& [path, why] : cases) {
        QCOMPARE(cli.run({ QStringLiteral("upload"), QStringLiteral("params"), QStringLiteral("-o"), path }),
            int(CliExit::File));
        QCOMPARE(cli.err, QStringLiteral("talvek-cli: %1: %2\n").arg(path, why));
        QCOMPARE(portsMade, 0); // checked before any port is made
    }
    QVERIFY(QFileInfo(cli.path(QStringLiteral("fifo"))).isFile() == false);
    QVERIFY(QFileInfo(cli.path(QStringLiteral("folder"))).isDir());
}

// -i reads only a regular file: a folder, a FIFO (which would hold the run
// until someone writes to it) or a device is named as such, and nothing is
// read or sent.
void tst_TalvekCli::inputOnlyFromARegularFile()
{
    resetMachineDataGlobals();
    K7700Sim sim;
    sim.setWord(1026, 312);
    const ControllerState before = ControllerState::of(sim);
    Cli cli(sim);
    QVERIFY(QDir(cli.dir.path()).mkdir(QStringLiteral("folder")));
    QVERIFY(::mkfifo(QFile::encodeName(cli.path(QStringLiteral("fifo"))).constData(), 0600) == 0);
    QVERIFY(QFile::link(cli.path(QStringLiteral("gone")), cli.path(QStringLiteral("dangling"))));
    int portsMade = 0;
    cli.preparePort = [&portsMade](SimPort&) { ++portsMade; };
    const QList<std::pair<QString, QString>> cases {
        { cli.path(QStringLiteral("folder")), QStringLiteral("is a folder") },
        { cli.path(QStringLiteral("fifo")), QStringLiteral("is a FIFO, not a regular file") },
        { QStringLiteral("/dev/zero"), QStringLiteral("is a device, not a regular file") },
        { cli.path(QStringLiteral("dangling")), QStringLiteral("no such file") },
        { cli.path(QStringLiteral("none.sdt")), QStringLiteral("no such file") },
    };
    for (const auto& [path, why] : cases) {
        for (const char* command : { "download", "compare" }) {
            QCOMPARE(cli.run({ QLatin1String(command), QStringLiteral("all"), QStringLiteral("-i"), path,
                         QStringLiteral("--yes") }),
                int(CliExit::File));
            QCOMPARE(cli.err, QStringLiteral("talvek-cli: %1: %2\n").arg(path, why));
        }
    }
    QCOMPARE(portsMade, 0);
    QVERIFY(ControllerState::of(sim) == before);
}

// A file name that is not UTF-8 (Latin-1 "\xe9") is the file's own bytes on
// the way in and out: Qt alone would name another file (U+FFFD).
void tst_TalvekCli::fileNamesOfAnyBytes()
{
    const QByteArray latin1("out-\xe9.sdt");
    const QString name = argumentFromNative(latin1);
    QCOMPARE(nativeFileName(name), latin1);
    QVERIFY(!qtCanName(name));
    QCOMPARE(shownFileName(name), QStringLiteral("out-\\xE9.sdt"));
    // UTF-8 is decoded as Qt decodes it; what is not (a lone continuation
    // byte, an overlong "/", an encoded surrogate, a cut sequence) keeps
    // its bytes.
    const QByteArray utf8("\xc3\xa9-\xf0\x9f\x94\xa7.sdt");
    QCOMPARE(argumentFromNative(utf8), QFile::decodeName(utf8));
    QVERIFY(qtCanName(argumentFromNative(utf8)));
    const QByteArray mixed = utf8 + "\xe9" + utf8;
    for (const QByteArray& raw : QList<QByteArray> { QByteArray("\x80"), QByteArray("\xc0\xaf"),
             QByteArray("\xed\xb2\x80"), QByteArray("a\xe2\x82"), QByteArray("\xff\xfe"), mixed }) {
        QCOMPARE(nativeFileName(argumentFromNative(raw)), raw);
    }
    QCOMPARE(shownFileName(argumentFromNative("\xc0\xaf")), QStringLiteral("\\xC0\\xAF"));

    resetMachineDataGlobals();
    K7700Sim sim;
    loadPress(sim);
    Cli cli(sim);
    const QByteArray folder = QFile::encodeName(cli.dir.path());
    const QByteArray native = folder + "/" + latin1;
    const QString path = argumentFromNative(native);
    QCOMPARE(cli.run({ QStringLiteral("upload"), QStringLiteral("all"), QStringLiteral("-o"), path }), 0);
    QCOMPARE(cli.err, QString());
    // The files, listed by their bytes (Qt leaves out a name it cannot
    // decode): this one, and no temporary file left beside it.
    QList<QByteArray> names;
    if (DIR* d = ::opendir(folder.constData())) {
        while (const dirent* e = ::readdir(d)) {
            if (e->d_type != DT_DIR)
                names << QByteArray(e->d_name);
        }
        ::closedir(d);
    }
    QCOMPARE(names, QList<QByteArray> { latin1 });
    struct stat st
    {
    };
    QVERIFY(::stat(native.constData(), &st) == 0);
    QCOMPARE(qint64(st.st_size), qint64(325));
    QCOMPARE(cli.run({ QStringLiteral("upload"), QStringLiteral("all"), QStringLiteral("-o"),
                 cli.path(QStringLiteral("plain.sdt")) }),
        0);
    QFile plain(cli.path(QStringLiteral("plain.sdt")));
    QVERIFY(plain.open(QIODevice::ReadOnly));
    const int fd = ::open(native.constData(), O_RDONLY);
    QVERIFY(fd >= 0);
    QByteArray written(400, '\0');
    written.resize(::read(fd, written.data(), size_t(written.size())));
    ::close(fd);
    QCOMPARE(written, plain.readAll());

    // And back in: the press changed, the file puts it back.
    sim.setWord(1026, 999);
    QCOMPARE(cli.run({ QStringLiteral("download"), QStringLiteral("params"), QStringLiteral("-i"), path,
                 QStringLiteral("--yes") }),
        0);
    QCOMPARE(cli.err, QString());
    QCOMPARE(sim.word(1026), quint16(312));
    // A name that is not there is shown with its byte.
    const QByteArray none = folder + "/none-\xe9.sdt";
    const QString missing = argumentFromNative(none);
    QCOMPARE(cli.run({ QStringLiteral("compare"), QStringLiteral("all"), QStringLiteral("-i"), missing }),
        int(CliExit::File));
    QCOMPARE(cli.err, QStringLiteral("talvek-cli: %1/none-\\xE9.sdt: no such file\n").arg(cli.dir.path()));
    // Names that go through Qt are refused rather than taken for another.
    QCOMPARE(cli.run({ QStringLiteral("--trace"), path, QStringLiteral("status") }), int(CliExit::Usage));
    QCOMPARE(cli.err.section(QLatin1Char('\n'), 0, 0),
        QStringLiteral("talvek-cli: --trace %1/out-\\xE9.sdt: only -o and -i take a name that is not UTF-8")
            .arg(cli.dir.path()));
    QCOMPARE(cli.run({ QStringLiteral("program-upload"), path }), int(CliExit::Usage));
    QCOMPARE(cli.err.section(QLatin1Char('\n'), 0, 0),
        QStringLiteral("talvek-cli: %1/out-\\xE9.sdt: only -o and -i take a name that is not UTF-8")
            .arg(cli.dir.path()));
    // A value of such bytes is a value that is not allowed.
    QCOMPARE(cli.run({ QStringLiteral("write"), QStringLiteral("W1026"), argumentFromNative("1\xe9"),
                 QStringLiteral("--yes") }),
        int(CliExit::ValueRefused));
    QVERIFY2(cli.err.startsWith(QStringLiteral("talvek-cli: W1026: the value \"1\\xE9\" is not allowed")),
        qPrintable(cli.err));
    QCOMPARE(sim.word(1026), quint16(312));
}

// A set-up file of another program version may not line up with this one's
// tables: without --any-version nothing of it is sent.
void tst_TalvekCli::anotherVersionNeedsAnyVersion()
{
    resetMachineDataGlobals();
    K7700Sim sim;
    loadPress(sim);
    Cli cli(sim);
    const QString file = cli.path(QStringLiteral("old.sdt"));
    QCOMPARE(cli.run({ QStringLiteral("upload"), QStringLiteral("params"), QStringLiteral("-o"), file }), 0);
    MachineData record;
    QVERIFY(readSetupFile(file, record));
    record.Version = QStringLiteral("TALVEK_R0.9.0");
    QVERIFY(writeSetupFile(file, record));

    sim.setWord(1026, 999);
    const ControllerState changed = ControllerState::of(sim);
    int portsMade = 0;
    cli.preparePort = [&portsMade](SimPort&) { ++portsMade; };
    const QStringList download { QStringLiteral("download"), QStringLiteral("params"), QStringLiteral("-i"),
        file, QStringLiteral("--yes") };
    QCOMPARE(cli.run(download), int(CliExit::File));
    QCOMPARE(cli.err,
        QStringLiteral(
            "talvek-cli: %1 was created by set-up program version TALVEK_R0.9.0 (this is %2); its data "
            "tables may not be properly aligned. --any-version downloads it anyway\n")
            .arg(file, ProgramVersion));
    QCOMPARE(portsMade, 0);
    QVERIFY(ControllerState::of(sim) == changed);

    QCOMPARE(cli.run(download + QStringList { QStringLiteral("--any-version") }), 0);
    QCOMPARE(cli.err, QString());
    QCOMPARE(sim.word(1026), quint16(312));
}

// A byte the board did not answer at once, where the run then did what it
// was asked, is no alarm for the cron mail: one line says so. Where it
// failed, the box stands as it was.
void tst_TalvekCli::aRetryThatWorkedIsNoAlarm()
{
    resetMachineDataGlobals();
    K7700Sim sim;
    sim.setWord(180, 0x0102);
    Cli cli(sim);
    // The closing attention byte and both of its resends go unanswered
    // (open 1, handshake 2, the word 4).
    sim.silenceNext(3, 7);
    QCOMPARE(cli.run({ QStringLiteral("read"), QStringLiteral("W180") }), 0);
    QCOMPARE(cli.out, QStringLiteral("W180=258\n"));
    QCOMPARE(cli.err,
        QStringLiteral(
            "talvek-cli: the controller did not answer in time; the link tried again, and the command "
            "was done\n"));
}

// A run that ends inside a write triple (the board heard the address high
// byte, then fell silent) leaves the board waiting for the rest; the next
// run's first 0xFF is stored. The link cannot tell which of the bytes it sent
// after the high byte arrived (none did), so it names every address a board
// that heard some of them waits to store at: 03FFH (none), 03FCH (the low
// byte), FCFFH (the low byte three times: stored, then a new high byte). The
// link's write-ahead record keeps them with the value's own bytes; the next
// run finds the board still inside the triple, reads them back, tells once,
// and exits 11 without running its command.
void tst_TalvekCli::sessionCutInsideAWrite()
{
    resetMachineDataGlobals();
    K7700Sim sim;
    sim.setByte(1023, 0x2A);
    sim.setByte(1020, 0x11);
    Cli cli(sim);
    sim.dropOutAfter(1 + 2 + 1); // the open, the write handshake, W1020's address high byte
    QCOMPARE(cli.run({ QStringLiteral("write"), QStringLiteral("W1020"), QStringLiteral("123"), QStringLiteral("--yes") }),
        int(CliExit::Silent));
    QVERIFY2(cli.err.endsWith(QStringLiteral("talvek-cli: W1020 was not written: the controller did not answer "
                                             "(W1020)\ntalvek-cli: the link ended inside a write: the board may "
                                             "store its next byte at B1020 or B1023 or B64767\n")),
        qPrintable(cli.err));

    sim.setDroppedOut(false);
    QCOMPARE(cli.run({ QStringLiteral("read"), QStringLiteral("W1020") }), int(CliExit::Interrupted));
    QCOMPARE(cli.out, QString());
    QCOMPARE(sim.byte(1023), std::uint8_t(0xFF));
    QCOMPARE(sim.byte(1020), std::uint8_t(0x11));
    QCOMPARE(cli.err,
        QStringLiteral("talvek-cli: WARNING - Interrupted Write: An earlier run ended inside a write to the "
                       "controller. / The board was still inside it: it answered the first attention byte of this "
                       "run with FFH, not 55H, and may have stored that byte (or the next). / Bytes it may have "
                       "changed: B1020 holds 17, B1021 holds 0, B1023 holds 255, B64767 holds 0. / Check these "
                       "values: the controller may hold a value the interrupted run changed.\n"
                       "talvek-cli: read was not run: the controller may hold a value an interrupted run changed\n"));
    QCOMPARE(cli.run({ QStringLiteral("read"), QStringLiteral("W1020") }), 0);
    QCOMPARE(cli.err, QString()); // told once
}

void tst_TalvekCli::commandLineChecks_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("firstLine");

    QTest::newRow("no command") << QStringList {} << 2 << "talvek-cli: no command";
    QTest::newRow("unknown command") << QStringList { "erase" } << 2 << "talvek-cli: unknown command erase";
    QTest::newRow("unknown option") << QStringList { "--fast", "status" } << 2
                                    << "talvek-cli: Unknown option 'fast'.";
    QTest::newRow("bad address") << QStringList { "read", "Z5" } << 2
                                 << "talvek-cli: Z5 is not a controller address";
    QTest::newRow("address too high")
        << QStringList { "read", "W70000" } << 2 << "talvek-cli: W70000 is not a controller address";
    QTest::newRow("bad baud") << QStringList { "--baud", "4800", "status" } << 2
                              << "talvek-cli: --baud takes 9600 or 19200";
    QTest::newRow("bad port") << QStringList { "--port", "0", "status" } << 2
                              << "talvek-cli: --port takes a port number 1..99";
    QTest::newRow("port and device") << QStringList { "--port", "2", "--device", "/dev/ttyS1", "status" } << 2
                                     << "talvek-cli: --port and --device exclude each other";
    QTest::newRow("upload without -o")
        << QStringList { "upload", "all" } << 2 << "talvek-cli: upload needs -o FILE.sdt";
    QTest::newRow("unknown group") << QStringList { "upload", "alarms", "-o", "x.sdt" } << 2
                                   << "talvek-cli: upload needs one of params, timing, shift, all";
    QTest::newRow("write without --yes") << QStringList { "write", "W180",
        "5" } << 10 << "talvek-cli: write writes to the controller: add --yes to go ahead";
    QTest::newRow("program download without --yes")
        << QStringList { "program-download", "x.nvk" } << 10
        << "talvek-cli: program-download writes to the controller: "
           "add --yes to go ahead";

    // A script's value is written as it stands or not at all, and before
    // --yes is looked at (the value is wrong whether or not it was meant).
    const QString digitsOnly = QStringLiteral("\" is not allowed: write takes a whole number in decimal "
                                              "digits (no sign, decimal mark, separator, exponent "
                                              "or blank)");
    for (const char* value : { "-1", "", "1.5", "1,5", "1,000", "0x10", "1e3", " 5", "+5", "-0", "12a" }) {
        QTest::newRow(qPrintable(QStringLiteral("value '%1'").arg(QLatin1String(value))))
            << QStringList { "write", "W1026", value, "--yes" } << 8
            << QStringLiteral("talvek-cli: W1026: the value \"") + QLatin1String(value) + digitsOnly;
    }
    QTest::newRow("value -1 without --yes")
        << QStringList { "write", "W1026", "-1" } << 8 << "talvek-cli: W1026: the value \"-1" + digitsOnly;
    QTest::newRow("-1 as an option's value")
        << QStringList { "--port", "-1", "status" } << 2 << "talvek-cli: --port takes a port number 1..99";
    QTest::newRow("an option that is no number")
        << QStringList { "write", "W1026", "-x", "--yes" } << 2 << "talvek-cli: Unknown option 'x'.";

    // From FF00H up the address high byte would be the attention byte.
    const QString attention = QStringLiteral(
        "H has the high byte FFH, the attention byte, which the board takes as the start of a handshake");
    QTest::newRow("byte FF00H") << QStringList { "write", "B65280", "1", "--yes" } << 2
                                << "talvek-cli: B65280 cannot be reached: its address FF00" + attention;
    QTest::newRow("hex FF00H") << QStringList { "read", "FF00H" } << 2
                               << "talvek-cli: FF00H cannot be reached: its address FF00" + attention;
    QTest::newRow("hex FFFFH") << QStringList { "read", "B166", "FFFFH" } << 2
                               << "talvek-cli: FFFFH cannot be reached: its address FFFF" + attention;
    QTest::newRow("flag F524031") << QStringList { "read", "F524031" } << 2
                                  << "talvek-cli: F524031 cannot be reached: its address FFFF" + attention;
    QTest::newRow("word W65279") << QStringList { "write", "W65279", "1", "--yes" } << 2
                                 << "talvek-cli: W65279 cannot be reached: its byte FF00" + attention;
    QTest::newRow("word W65535") << QStringList { "write", "W65535", "1", "--yes" } << 2
                                 << "talvek-cli: W65535 cannot be reached: its address FFFF" + attention;
    QTest::newRow("double word D65278") << QStringList { "read", "D65278" } << 2
                                        << "talvek-cli: D65278 cannot be reached: its byte FF00" + attention;
    QTest::newRow("bit B65280.0") << QStringList { "write", "B65280.0", "1", "--yes" } << 2
                                  << "talvek-cli: B65280.0 cannot be reached: its address FF00" + attention;

    QTest::newRow("a date with more after it") << QStringList { "journal", "--since",
        "2026-01-01' OR 1=1 --" } << 2 << "talvek-cli: --since takes a date, 2026-03-05 or 2026-03-05T14:00";
    QTest::newRow("a time with more after it") << QStringList { "journal", "--since",
        "2026-01-01T10:00x" } << 2 << "talvek-cli: --since takes a date, 2026-03-05 or 2026-03-05T14:00";
}

void tst_TalvekCli::commandLineChecks()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, firstLine);
    K7700Sim sim;
    // Values that each refused write would change.
    sim.setWord(1026, 312);
    sim.setByte(65279, 9);
    sim.setByte(65280, 7);
    const ControllerState before = ControllerState::of(sim);
    Cli cli(sim);
    bool portMade = false;
    cli.preparePort = [&portMade](SimPort&) { portMade = true; };
    QCOMPARE(cli.run(args), exitCode);
    QCOMPARE(cli.err.section(QLatin1Char('\n'), 0, 0), firstLine);
    QVERIFY(!portMade);
    QCOMPARE(sim.bytesReceived(), qint64(0));
    QVERIFY(ControllerState::of(sim) == before);
}

void tst_TalvekCli::portOverrides()
{
    resetMachineDataGlobals();
    K7700Sim sim;
    Cli cli(sim);
    // The settings file of the program folder...
    QDir().mkpath(cli.path(QStringLiteral("support")));
    QFile cfg(cli.path(QStringLiteral("support/RSPort.cfg")));
    QVERIFY(cfg.open(QIODevice::WriteOnly));
    cfg.write("4,19200\r\n");
    cfg.close();
    auto runStatus = [&](const QStringList& options) {
        cli.run(options + QStringList { QStringLiteral("status") });
        return cli.out.section(QLatin1Char('\n'), 1, 1);
    };
    QCOMPARE(runStatus({}), QStringLiteral("port: COM4 sim:COM4 19200,n,8,1"));
    // ... and the command line's port and speed in their place.
    QCOMPARE(runStatus({ QStringLiteral("--port"), QStringLiteral("7") }),
        QStringLiteral("port: COM7 sim:COM7 19200,n,8,1"));
    QCOMPARE(runStatus({ QStringLiteral("--baud"), QStringLiteral("9600") }),
        QStringLiteral("port: COM4 sim:COM4 9600,n,8,1"));
}

void tst_TalvekCli::addresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("valid");
    // The last reachable byte is FEFFH: a value ends there at the latest.
    for (const char* a : { "B166", "b166", "W1026", "D1100", "F15", "B1018.0", "W10.3", "1FF0H", "ffh",
             "B65279", "W65278", "D65276", "FEFFH", "F521983", "B65279.7" })
        QTest::newRow(a) << QString::fromLatin1(a) << true;
    for (const char* a : { "", "Z5", "B", "B65536", "B1018.8", "W1026x", "12345H", "H", "X12", "B-1", "B 166",
             "B65280", "B65535", "W65279", "D65277", "FF00H", "F521984", "B65280.0" })
        QTest::newRow(*a ? a : "empty") << QString::fromLatin1(a) << false;
}

void tst_TalvekCli::addresses()
{
    QFETCH(QString, address);
    QFETCH(bool, valid);
    QCOMPARE(isCliAddress(address), valid);
}

void tst_TalvekCli::writesAreJournaledWithTheirOutcome()
{
    resetMachineDataGlobals();
    K7700Sim sim;
    Cli cli(sim);
    const QStringList journal { QStringLiteral("--journal"), cli.path(QStringLiteral("j.sqlite")) };
    QCOMPARE(cli.run(journal + QStringList { QStringLiteral("write"), QStringLiteral("W1026"), QStringLiteral("300"),
                 QStringLiteral("--yes") }),
        0);
    QCOMPARE(cli.run(journal + QStringList { QStringLiteral("write"), QStringLiteral("W1026"), QStringLiteral("70000"),
                 QStringLiteral("--yes") }),
        int(CliExit::ValueRefused));
    sim.dropOutAfter(1 + 2 + 1); // the line ends inside the write
    QCOMPARE(cli.run(journal + QStringList { QStringLiteral("write"), QStringLiteral("W1020"), QStringLiteral("123"),
                 QStringLiteral("--yes") }),
        int(CliExit::Silent));
    sim.setDroppedOut(false);

    QCOMPARE(cli.run(journal + QStringList { QStringLiteral("journal"), QStringLiteral("--kind"),
                 QStringLiteral("writes"), QStringLiteral("--csv") }),
        0);
    const QStringList lines = cli.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QVERIFY2(lines[1].endsWith(QStringLiteral(",W1026,Low Speed (SPM),,300,talvek-cli,done")), qPrintable(lines[1]));
    QVERIFY2(lines[2].endsWith(
                 QStringLiteral(",W1026,Low Speed (SPM),,70000,talvek-cli,the value was refused; nothing was sent")),
        qPrintable(lines[2]));
    QVERIFY2(lines[3].endsWith(
                 QStringLiteral(",W1020,BDC Stop Position (Low Speed),,123,talvek-cli,the controller did not answer")),
        qPrintable(lines[3]));
    QCOMPARE(cli.run(journal + QStringList { QStringLiteral("journal"), QStringLiteral("--kind"),
                 QStringLiteral("events") }),
        0);
    QVERIFY2(cli.out.contains(QStringLiteral("comm fault  the controller did not answer")), qPrintable(cli.out));
    QCOMPARE(cli.run({ QStringLiteral("journal"), QStringLiteral("--kind"), QStringLiteral("faults") }),
        int(CliExit::Usage));

    // A damaged file (page 3 overwritten) is said once, set aside, and the
    // run that found it does not exit 0; the next run uses the new journal.
    QFile f(cli.path(QStringLiteral("j.sqlite")));
    QVERIFY(f.open(QIODevice::ReadWrite) && f.size() > 3 * 4096 && f.seek(2 * 4096));
    f.write(QByteArray(4096, char(0x5A)));
    f.close();
    QCOMPARE(
        cli.run(journal
            + QStringList { QStringLiteral("journal"), QStringLiteral("--kind"), QStringLiteral("writes") }),
        int(CliExit::File));
    QVERIFY2(cli.err.startsWith(QStringLiteral("talvek-cli: Press journal damaged (")), qPrintable(cli.err));
    QVERIFY2(cli.err.contains(QStringLiteral("): kept as j-damaged-")), qPrintable(cli.err));
    QVERIFY2(cli.err.endsWith(QStringLiteral(".sqlite, a new journal begun.\n")), qPrintable(cli.err));
    QVERIFY2(cli.err.count(QLatin1Char('\n')) == 1, qPrintable(cli.err));
    QCOMPARE(cli.out, QString());
    QCOMPARE(QDir(cli.dir.path()).entryList({ QStringLiteral("j-damaged-*.sqlite") }).size(), 1);
    QCOMPARE(
        cli.run(journal
            + QStringList { QStringLiteral("journal"), QStringLiteral("--kind"), QStringLiteral("writes") }),
        0);
    QCOMPARE(cli.err, QString());
}

QTEST_MAIN(tst_TalvekCli)
#include "tst_talvekcli.moc"
