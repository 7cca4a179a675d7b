// k7700-sim: the K7700 controller simulator on a pseudo-terminal.
//
//   k7700-sim [--program-folder DIR --port N] [--baud B] [--usb-latency MS]
//             [--running [--speed SPM]] [--demo] [--alarm F]... [--brake-drift MINUTES]
//             [--fault-rate P [--seed S]]
//
// --demo gives the board the readings of a healthy line (K7700Demo.h): set-up
// parameters, I/O, a DF1 board that is talking to its PLC, the PLS timing
// channels programmed and a program ident;
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

#include "K7700Demo.h"
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
using talvek::loadDemoPress;
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
            "programmed PLS channels, a program in the board)."));
    const QCommandLineOption alarmOpt(QStringLiteral("alarm"),
        QStringLiteral("Raise alarm flag F<n> (2, 4, 8, 42, 43, 48, 49, 858); may be repeated."),
        QStringLiteral("n"));
    const QCommandLineOption driftOpt(QStringLiteral("brake-drift"),
        QStringLiteral(
            "Let the brake wear over a week that passes in <minutes> (10, for example): the brake "
            "responses rise, F858 is raised past the limit in W1024 and cleared at the week's end. "
            "Without this option the brake does not wear."),
        QStringLiteral("minutes"));
    const QCommandLineOption faultRateOpt(QStringLiteral("fault-rate"),
        QStringLiteral("Let the line fail at random before this share of the bytes the board hears (0 to 1)."),
        QStringLiteral("p"));
    const QCommandLineOption seedOpt(QStringLiteral("seed"),
        QStringLiteral("Seed of the random line faults (default 1)."), QStringLiteral("s"), QStringLiteral("1"));
    parser.addOptions({ folderOpt, portOpt, baudOpt, usbLatencyOpt, runningOpt, speedOpt, shortOpt, demoOpt,
        alarmOpt, driftOpt, faultRateOpt, seedOpt });
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
    if (parser.isSet(demoOpt))
        loadDemoPress(sim, speed);
    for (const int flag : alarms)
        sim.setAlarm(flag, true);
    if (parser.isSet(driftOpt)) {
        bool ok = false;
        const double minutes = parser.value(driftOpt).toDouble(&ok);
        if (!ok || minutes <= 0 || minutes > 100000)
            return fail(QStringLiteral("--brake-drift takes minutes, more than 0"));
        sim.setBrakeDrift(qint64(minutes * 60000));
    }

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
