// k7700-sim: the K7700 controller simulator on a pseudo-terminal.
//
//   k7700-sim [--program-folder DIR --port N] [--baud B] [--usb-latency MS]
//             [--running [--speed SPM]] [--demo] [--alarm F]...
//             [--fault-rate P [--seed S]]
//
// --demo gives the board the readings of a healthy line at rest (F26 = 1,
// inputs, outputs, analog values, resolver period, brake responses), set-up
// parameters, a DF1 board that is talking to its PLC, and a PLS with the
// eight timing channels programmed, channel 8 as a pulse train and speed
// compensation on the BDC channels;
// --usb-latency MS puts an emulated USB serial adapter with that latency
// timer between the board and the client (16 is an FTDI chip's default, 1
// the lowest; see PtyServer.h);
// --fault-rate P makes the line fail at random before a share P of the
// bytes the board hears (see K7700LineFaults.h; "faults" on stdin counts them);
// --alarm F raises alarm flag F (2, 4, 8, 42, 43, 48, 49 or 858) with F26
// in step.
//
// Prints the pseudo-terminal's device on the first line of stdout; with a
// program folder and port links it as DIR/support/ports/COM<N>, where TALVEK
// looks for port N. Serves until SIGINT or SIGTERM, then removes its link and
// exits 0. Command lines on stdin are answered on stdout (see PtyServer.h).

#include "K7700Sim.h"
#include "PtyServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <csignal>
#include <cstdio>
#include <unistd.h>

using talvek::K7700Sim;
using talvek::PtyServer;

namespace {

void onStopSignal(int)
{
    // Only interrupts the server's wait; it returns and cleans up.
}

// The entry of dir called name, whatever its case; name itself when none.
QString entryAnyCase(const QString& dir, const QString& name)
{
    const QStringList entries = QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& e : entries) {
        if (e.compare(name, Qt::CaseInsensitive) == 0)
            return QDir(dir).filePath(e);
    }
    return QDir(dir).filePath(name);
}

int fail(const QString& message)
{
    std::fprintf(stderr, "k7700-sim: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("k7700-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("K7700 controller simulator on a pseudo-terminal."));
    parser.addHelpOption();
    const QCommandLineOption folderOpt(QStringLiteral("program-folder"),
        QStringLiteral("Link the terminal as support/ports/COM<port> in <dir>."), QStringLiteral("dir"));
    const QCommandLineOption portOpt(QStringLiteral("port"),
        QStringLiteral("Port number of the link (1-99)."), QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption baudOpt(QStringLiteral("baud"),
        QStringLiteral("Pace replies like a real 8N1 line at this speed."), QStringLiteral("b"));
    const QCommandLineOption usbLatencyOpt(QStringLiteral("usb-latency"),
        QStringLiteral("Deliver replies through an emulated USB serial adapter whose latency timer is <ms> "
                       "(1-255; 16 is the usual default)."),
        QStringLiteral("ms"));
    const QCommandLineOption runningOpt(
        QStringLiteral("running"), QStringLiteral("Start with the press running."));
    const QCommandLineOption speedOpt(QStringLiteral("speed"),
        QStringLiteral("Press speed in strokes per minute (default 250)."), QStringLiteral("spm"),
        QStringLiteral("250"));
    const QCommandLineOption shortOpt(QStringLiteral("short-every"),
        QStringLiteral("Every n-th stroke makes a short can (default 100)."), QStringLiteral("n"),
        QStringLiteral("100"));
    const QCommandLineOption demoOpt(QStringLiteral("demo"),
        QStringLiteral(
            "Start with the readings of a healthy press line (inputs, outputs, analog values, DF1 board, "
            "programmed PLS channels)."));
    const QCommandLineOption alarmOpt(QStringLiteral("alarm"),
        QStringLiteral("Raise alarm flag F<n> (2, 4, 8, 42, 43, 48, 49, 858); may be repeated."),
        QStringLiteral("n"));
    const QCommandLineOption faultRateOpt(QStringLiteral("fault-rate"),
        QStringLiteral("Let the line fail at random before this share of the bytes the board hears (0 to 1)."),
        QStringLiteral("p"));
    const QCommandLineOption seedOpt(QStringLiteral("seed"),
        QStringLiteral("Seed of the random line faults (default 1)."), QStringLiteral("s"), QStringLiteral("1"));
    parser.addOptions({ folderOpt, portOpt, baudOpt, usbLatencyOpt, runningOpt, speedOpt, shortOpt, demoOpt,
        alarmOpt, faultRateOpt, seedOpt });
    parser.process(app);

    bool ok = false;
    const int port = parser.value(portOpt).toInt(&ok);
    if (!ok || port < 1 || port > 99)
        return fail(QStringLiteral("--port must be 1 to 99"));
    int baud = 0;
    if (parser.isSet(baudOpt)) {
        baud = parser.value(baudOpt).toInt(&ok);
        if (!ok || baud <= 0)
            return fail(QStringLiteral("--baud must be a positive number"));
    }
    int usbLatency = 0;
    if (parser.isSet(usbLatencyOpt)) {
        usbLatency = parser.value(usbLatencyOpt).toInt(&ok);
        if (!ok || usbLatency < 1 || usbLatency > 255)
            return fail(QStringLiteral("--usb-latency must be 1 to 255"));
    }
    double faultRate = 0;
    if (parser.isSet(faultRateOpt)) {
        faultRate = parser.value(faultRateOpt).toDouble(&ok);
        if (!ok || faultRate < 0 || faultRate > 1)
            return fail(QStringLiteral("--fault-rate must be 0 to 1"));
    }
    const uint faultSeed = parser.value(seedOpt).toUInt(&ok);
    if (!ok)
        return fail(QStringLiteral("--seed must be a number"));
    const int speed = parser.value(speedOpt).toInt(&ok);
    if (!ok || speed < 0 || speed > 65535)
        return fail(QStringLiteral("--speed must be 0 to 65535"));
    const int shortEvery = parser.value(shortOpt).toInt(&ok);
    if (!ok || shortEvery < 1)
        return fail(QStringLiteral("--short-every must be 1 or more"));
    QList<int> alarms;
    for (const QString& value : parser.values(alarmOpt)) {
        const int flag = value.toInt(&ok);
        if (!ok || !QList<int>({ 2, 4, 8, 42, 43, 48, 49, 858 }).contains(flag))
            return fail(QStringLiteral("--alarm must be one of 2, 4, 8, 42, 43, 48, 49, 858"));
        alarms.append(flag);
    }

    // Stop signals reach us only while the server waits.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    struct sigaction sa
    {
    };
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGTTIN, SIG_IGN); // started in the background: no commands, no stop

    K7700Sim sim;
    sim.setShortCanInterval(shortEvery);
    if (parser.isSet(runningOpt)) {
        sim.setWord(K7700Sim::SpeedWord, quint16(speed));
        sim.setRunning(true);
    }
    if (parser.isSet(demoOpt)) {
        const bool running = sim.running();
        sim.updateFaultSummary(); // F26 = 1: nothing pending
        sim.setFlag(80, true); // IN0, short can sensor made
        sim.setWord(162, 2048); // analog inputs
        sim.setWord(164, 1024);
        sim.setByte(166, 128); // analog outputs
        sim.setByte(167, 64);
        sim.setWord(184, quint16(running && speed > 0 ? 60000 / speed : 0)); // resolver period, ms a stroke
        // Slot 0: continuous mode, ~immediate stop (closed), cupfeed on; the
        // main clutch solenoids while the press runs.
        sim.setWord(100, quint16(0x0064 | (running ? 0x0300 : 0)));
        sim.setWord(110, 0x0044); // rotary enable, trimmer infeed high
        sim.setWord(1040, 14); // brake response, degrees
        sim.setWord(1042, 22);
        // Set-up parameters: brake wear compensation on, BDC stop positions,
        // stopping response, bodymaker and trimmer speeds.
        sim.setByte(1018, 0x01);
        const int setup[][2] = { { 1020, 110 }, { 1022, 95 }, { 1024, 300 }, { 1026, 250 }, { 1028, 350 },
            { 1032, 375 }, { 1034, 250 }, { 1036, 20 } };
        for (const auto& [address, value] : setup)
            sim.setWord(address, quint16(value));
        K7700Sim::DF1Board df1; // the last transaction came back without error
        df1.transaction = 1234;
        df1.activeCommand = 1;
        df1.bytesReceived = 24;
        df1.replyReceived = true;
        df1.transactionReceived = 1234;
        sim.setDF1Board(df1);
        // The PLS (scale factor 360, offset 0 from power-up): the eight timing
        // channels at their usual setpoints, channel 8 ("Motion") a pulse
        // train of 30 divisions on and 30 off, speed compensation on CH00 and
        // CH01 (BDC high and low).
        const int timing[][2] = { { 150, 170 }, { 180, 200 }, { 155, 175 }, { 110, 130 }, { 230, 300 },
            { 150, 200 }, { 120, 190 }, { 0, 20 } };
        for (int ch = 0; ch < 8; ++ch) {
            K7700Sim::PLSChannel channel;
            channel.kind = K7700Sim::PLSChannel::Kind::Setpoints;
            channel.on = quint16(timing[ch][0]);
            channel.off = quint16(timing[ch][1]);
            sim.setPLSChannel(ch, channel);
        }
        K7700Sim::PLSChannel motion;
        motion.kind = K7700Sim::PLSChannel::Kind::PulseTrain;
        motion.onDivisions = 30;
        motion.offDivisions = 30;
        sim.setPLSChannel(8, motion);
        auto plsConfig = sim.plsConfigTable();
        plsConfig[2] = 12; // CH00, msec
        plsConfig[3] = 12; // CH01
        sim.setPLSConfigTable(plsConfig);
    }
    for (const int flag : alarms)
        sim.setAlarm(flag, true);

    PtyServer server(sim);
    QString error;
    if (!server.open(&error))
        return fail(QStringLiteral("cannot create a pseudo-terminal: %1").arg(error));
    const QString slave = server.slavePath();
    server.setBaud(baud);
    server.setUsbLatency(usbLatency);
    server.setRandomFaults(faultRate, faultSeed);

    QString link;
    if (parser.isSet(folderOpt)) {
        const QString root = parser.value(folderOpt);
        const QString support = entryAnyCase(root, QStringLiteral("support"));
        const QString ports = entryAnyCase(support, QStringLiteral("ports"));
        if (!QDir().mkpath(ports))
            return fail(QStringLiteral("cannot create the folder %1").arg(ports));
        // An old link of any case (a simulator that was killed) makes way.
        const QString name = QStringLiteral("COM%1").arg(port);
        const QFileInfo old(entryAnyCase(ports, name));
        if (old.isSymLink()) {
            QFile::remove(old.filePath());
        } else if (old.exists()) {
            return fail(QStringLiteral("%1 exists and is not a link").arg(old.filePath()));
        }
        link = QDir(ports).filePath(name);
        if (!QFile::link(slave, link))
            return fail(QStringLiteral("cannot create the link %1").arg(link));
    }

    std::printf("%s\n", qPrintable(slave));
    std::fflush(stdout);
    std::fprintf(stderr, "k7700-sim: serving on %s%s%s, %s%s, press %s; Ctrl+C stops it.\n",
        qPrintable(slave), link.isEmpty() ? "" : " as ", qPrintable(link),
        baud > 0 ? qPrintable(QStringLiteral("paced at %1 baud").arg(baud)) : "not paced",
        usbLatency > 0
            ? qPrintable(QStringLiteral(", through a USB adapter with a %1 ms latency timer").arg(usbLatency))
            : "",
        sim.running() ? qPrintable(QStringLiteral("running at %1 SPM").arg(speed)) : "stopped");

    server.setCommandInput(STDIN_FILENO, STDOUT_FILENO);
    const int rc = server.run(stopSignals);

    // Remove the link, unless another simulator has taken it over since.
    if (!link.isEmpty() && QFileInfo(link).symLinkTarget() == slave)
        QFile::remove(link);
    return rc;
}
