// Link benchmark over pseudo-terminals.
//
// 1. Raw floor: a one-byte ping-pong over a pty with plain read/write, the
//    other end an echoing child process.
// 2. The same plain read/write against k7700-sim (what the simulator costs).
// 3. RSRead of a word against k7700-sim (unpaced), per byte exchange, through
//    RSComm and the QSerialPort control. Target: at most 1.5 x the raw floor.
// 4. 1000 word reads against k7700-sim pacing at 19200 baud, per read, against
//    the wire floor of 4 exchanges x 2 byte times (4.17 ms). Target: at most
//    1.05 x. The process CPU time during the paced run shows whether waiting
//    burns CPU. A plain read/write client against the same paced simulator
//    shows what the pseudo-terminals and wake-ups of the machine allow, and
//    the simulator reports how punctually its replies left.
//
// A pty round trip costs very different times depending on whether the two
// processes share a CPU (a context switch) or run on two (a cross-CPU
// wake-up), so 1 to 3 are measured with both placements pinned, and with the
// placement left to the scheduler; each figure is the median of five
// interleaved rounds of per-exchange medians.
//
// Usage: bench_link [--monitor] [path of k7700-sim]   (default: TALVEK_SIM_BIN,
// else ../bin/k7700-sim beside this program). --monitor attaches a link
// monitor to every RSComm measured (as TALVEK does once its Link Monitor
// window was opened), to compare its cost with the figures without one.

#include "Clock.h"
#include "LinkMonitor.h"
#include "ProgramFolder.h"
#include "Prompter.h"
#include "QtSerialPortControl.h"
#include "RSComm.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace talvek;
using BenchClock = std::chrono::steady_clock;

namespace {

bool gMonitor = false;

// A link monitor on the link when --monitor asked for one.
void watch(RSComm& rs, std::unique_ptr<LinkMonitor>& monitor)
{
    if (!gMonitor)
        return;
    monitor = std::make_unique<LinkMonitor>();
    rs.setMonitor(monitor.get());
}

double usSince(BenchClock::time_point t0)
{
    return std::chrono::duration<double, std::micro>(BenchClock::now() - t0).count();
}

double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double cpuSeconds()
{
    rusage u {};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Where the bench (client) and its peer run: -1 = anywhere.
struct Placement
{
    const char* name;
    int clientCpu;
    int peerCpu;
};

void pinTo(int cpu)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (cpu < 0) {
        for (int i = 0; i < CPU_SETSIZE; ++i)
            CPU_SET(i, &set);
    } else {
        CPU_SET(cpu, &set);
    }
    ::sched_setaffinity(0, sizeof set, &set);
}

// Counts message boxes; a benchmark run must show none.
class CountingPrompter final : public Prompter
{
public:
    MsgResult msgBox(const QString& text, const QString&, MsgIcon, MsgButtons) override
    {
        ++boxes;
        std::fprintf(stderr, "box: %s\n", qPrintable(text));
        return MsgResult::Cancel;
    }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override { return {}; }
    std::optional<QString> openFileName(const FileDialogRequest&) override { return {}; }
    std::optional<QString> saveFileName(const FileDialogRequest&) override { return {}; }
    bool showHelp(const QString&) override { return false; }
    int boxes = 0;
};

int openRaw(const QString& device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY);
    termios t {};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Median microseconds of a one-byte write/read round trip on fd; the bytes
// sent are 0x00 and 0xB4 in turn (the reads of a word in read mode, so the
// simulator answers every one of them).
double pingPong(int fd, int rounds)
{
    std::vector<double> samples;
    samples.reserve(size_t(rounds));
    for (int i = 0; i < rounds + 100; ++i) {
        unsigned char b = (i % 2) ? 0xB4 : 0x00;
        const auto t0 = BenchClock::now();
        if (::write(fd, &b, 1) != 1 || ::read(fd, &b, 1) != 1)
            return -1;
        if (i >= 100) // warm-up
            samples.push_back(usSince(t0));
    }
    return median(samples);
}

// Raw floor: the peer is a child that echoes.
double rawEcho(const Placement& p, int rounds)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return -1;
    const int slave = openRaw(QString::fromLocal8Bit(::ptsname(master)));
    const pid_t child = ::fork();
    if (child == 0) {
        pinTo(p.peerCpu);
        ::close(slave);
        unsigned char b;
        while (::read(master, &b, 1) == 1) {
            if (::write(master, &b, 1) != 1)
                break;
        }
        ::_exit(0);
    }
    ::close(master);
    const double r = pingPong(slave, rounds);
    ::kill(child, SIGTERM);
    ::close(slave);
    ::waitpid(child, nullptr, 0);
    return r;
}

struct Sim
{
    QProcess process;
    QString device;
    bool start(const QString& bin, const QString& folder, int port, const QStringList& extra, int cpu)
    {
        process.setProgram(bin);
        process.setArguments(QStringList { QStringLiteral("--program-folder"), folder,
                                 QStringLiteral("--port"), QString::number(port) }
            + extra);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setChildProcessModifier([cpu] { pinTo(cpu); });
        process.start();
        if (!process.waitForStarted(5000))
            return false;
        while (!process.canReadLine()) {
            if (!process.waitForReadyRead(10000))
                return false;
        }
        device = QString::fromLocal8Bit(process.readLine()).trimmed();
        return true;
    }
    QString ask(const QString& line)
    {
        process.write(line.toLocal8Bit() + '\n');
        while (!process.canReadLine()) {
            if (!process.waitForReadyRead(5000))
                return QStringLiteral("<no answer>");
        }
        return QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    ~Sim()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            process.waitForFinished(5000);
        }
    }
};

bool writeSettings(const QString& folder, int port, int baud)
{
    QDir().mkpath(folder + QStringLiteral("/support"));
    QFile f(folder + QStringLiteral("/support/RSPort.cfg"));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write(QStringLiteral("%1,%2\r\n").arg(port).arg(baud).toLatin1());
    return true;
}

// Plain read/write against the simulator, after a read-mode handshake.
double rawSim(
    const QString& bin, const QString& folder, const Placement& p, int rounds, const QStringList& extra = {})
{
    Sim sim;
    if (!sim.start(bin, folder, 9, extra, p.peerCpu))
        return -1;
    const int fd = openRaw(sim.device);
    unsigned char hs[2] = { 0xFF, 0x01 };
    for (unsigned char b : hs) {
        if (::write(fd, &b, 1) != 1 || ::read(fd, &b, 1) != 1 || b != 0x55) {
            ::close(fd);
            return -1;
        }
    }
    const double r = pingPong(fd, rounds);
    ::close(fd);
    return r;
}

// The QSerialPort control alone against the simulator: write one byte, wait,
// read the reply (what SendByte does, without RSComm around it).
double portSim(const QString& bin, const ProgramFolder& folder, const Placement& p, int rounds)
{
    Sim sim;
    if (!sim.start(bin, folder.root(), 8, {}, p.peerCpu))
        return -1;
    QtSerialPortControl port(folder);
    port.setCommPort(8);
    port.open();
    auto exchange = [&port](int b) {
        port.write(QByteArray(1, char(b)));
        while (port.bytesAvailable() == 0) {
            if (!port.waitForInput(1000))
                return -1;
        }
        return port.readByte();
    };
    if (exchange(0xFF) != 0x55 || exchange(0x01) != 0x55)
        return -1;
    std::vector<double> samples;
    samples.reserve(size_t(rounds));
    for (int i = 0; i < rounds + 100; ++i) {
        const auto t0 = BenchClock::now();
        if (exchange((i % 2) ? 0xB4 : 0x00) < 0)
            return -1;
        if (i >= 100)
            samples.push_back(usSince(t0));
    }
    return median(samples);
}

// RSRead of W180 through RSComm and the QSerialPort control; per exchange.
double rsReadSim(const QString& bin, const ProgramFolder& folder, const Placement& p, int reads,
    Prompter& prompter, bool* failed)
{
    Sim sim;
    if (!writeSettings(folder.root(), 1, 9600) || !sim.start(bin, folder.root(), 1, {}, p.peerCpu))
        return -1;
    SteadyClock clock;
    QtSerialPortControl port(folder);
    ProgramFolder f = folder;
    RSComm rs(f, clock, prompter);
    std::unique_ptr<LinkMonitor> monitor;
    watch(rs, monitor);
    rs.OpenRSComm(&port);
    if (!rs.OnlineMode)
        return -1;
    std::vector<double> samples;
    samples.reserve(size_t(reads));
    for (int i = 0; i < reads + 50; ++i) {
        const auto t0 = BenchClock::now();
        rs.RSRead(QStringLiteral("W180"));
        if (i >= 50)
            samples.push_back(usSince(t0) / 4); // four exchanges per word read
    }
    *failed = *failed || rs.CommError;
    rs.CloseRSComm();
    return median(samples);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    gMonitor = args.removeAll(QStringLiteral("--monitor")) > 0;
    QString bin = !args.isEmpty() ? args.front() : qEnvironmentVariable("TALVEK_SIM_BIN");
    if (bin.isEmpty())
        bin = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/k7700-sim");
    if (!QFileInfo(bin).isExecutable()) {
        std::fprintf(stderr, "k7700-sim not found at %s\n", qPrintable(bin));
        return 2;
    }
    QTemporaryDir dir;
    const ProgramFolder folder(dir.path());
    CountingPrompter prompter;
    bool failed = false;
    const long cpus = ::sysconf(_SC_NPROCESSORS_ONLN);

    std::vector<Placement> placements { { "scheduler's choice", -1, -1 }, { "same CPU", 0, 0 } };
    if (cpus >= 2)
        placements.push_back({ "two CPUs", 0, 1 });

    std::printf("Link monitor: %s\n", gMonitor ? "attached" : "none");
    std::printf("Unpaced, microseconds per one-byte exchange (median of 5 rounds):\n");
    std::printf("  %-20s %10s %10s %10s %10s %8s\n", "placement", "raw echo", "raw sim", "port sim",
        "RSRead/4", "ratio");
    const int rounds = 5;
    for (const Placement& p : placements) {
        pinTo(p.clientCpu);
        std::vector<double> raw, sim, port, rs;
        for (int r = 0; r < rounds; ++r) {
            raw.push_back(rawEcho(p, 2000));
            sim.push_back(rawSim(bin, dir.path(), p, 2000));
            port.push_back(portSim(bin, folder, p, 2000));
            rs.push_back(rsReadSim(bin, folder, p, 500, prompter, &failed));
        }
        const double mr = median(raw), ms = median(sim), mp = median(port), mq = median(rs);
        std::printf("  %-20s %10.1f %10.1f %10.1f %10.1f %7.2fx\n", p.name, mr, ms, mp, mq, mq / mr);
    }
    pinTo(-1);
    std::printf("  (target: RSRead per exchange <= 1.5x the raw echo)\n");

    // Paced at 19200 baud: 1000 word reads, placement left to the scheduler.
    {
        // What a plain read/write client gets from the paced simulator here:
        // the floor of this machine's pseudo-terminals and wake-ups.
        const double rawPaced = rawSim(
            bin, dir.path(), placements.front(), 4000, { QStringLiteral("--baud"), QStringLiteral("19200") });
        std::printf("Paced at 19200 baud, plain read/write client: median %.1f us per exchange (%.3fx the "
                    "wire's %.1f us)\n",
            rawPaced, rawPaced / (2 * 10 * 1e6 / 19200), 2 * 10 * 1e6 / 19200);

        Sim sim;
        if (!writeSettings(dir.path(), 2, 19200)
            || !sim.start(bin, dir.path(), 2, { QStringLiteral("--baud"), QStringLiteral("19200") }, -1)) {
            std::fprintf(stderr, "cannot start the paced simulator\n");
            return 2;
        }
        SteadyClock clock;
        QtSerialPortControl port(folder);
        ProgramFolder f = folder;
        RSComm rs(f, clock, prompter);
        std::unique_ptr<LinkMonitor> monitor;
        watch(rs, monitor);
        rs.OpenRSComm(&port);
        if (!rs.OnlineMode) {
            std::fprintf(stderr, "could not go online (paced)\n");
            return 2;
        }
        rs.RSRead(QStringLiteral("W180")); // handshake into read mode, outside the timing
        sim.ask(QStringLiteral("stats")); // start the simulator's count afresh
        const int reads = 1000;
        std::vector<double> samples;
        samples.reserve(reads);
        const double cpu0 = cpuSeconds();
        const auto t0 = BenchClock::now();
        for (int i = 0; i < reads; ++i) {
            const auto r0 = BenchClock::now();
            rs.RSRead(QStringLiteral("W180"));
            samples.push_back(usSince(r0));
        }
        const double wallUs = usSince(t0);
        const double cpu = cpuSeconds() - cpu0;
        failed = failed || rs.CommError;
        rs.CloseRSComm();
        if (monitor) {
            const LinkMonitor::ReplyTimes t = monitor->replyTimes();
            std::printf("  the monitor saw %llu exchanges; reply times of its last %d: median %.3f ms, 95%% "
                        "%.3f ms, max %.3f ms (wire floor %.3f ms)\n",
                (unsigned long long)monitor->counters().exchanges, t.samples, t.medianNs / 1e6, t.p95Ns / 1e6,
                t.maxNs / 1e6, LinkMonitor::wireFloorNs(19200) / 1e6);
        }
        const double floorUs = 4 * 2 * 10 * 1e6 / 19200; // 4 exchanges, 2 byte times each
        const double mean = wallUs / reads;
        std::printf(
            "Paced at 19200 baud, 1000 x RSRead W180: %.3f s; per read mean %.3f ms, median %.3f ms\n",
            wallUs / 1e6, mean / 1000, median(samples) / 1000);
        std::printf(
            "  wire floor %.3f ms per read; ratio %.3fx (target <= 1.05x)\n", floorUs / 1000, mean / floorUs);
        std::printf("  process CPU time %.3f s over %.3f s wall (%.1f%%)\n", cpu, wallUs / 1e6,
            100 * cpu / (wallUs / 1e6));
        std::printf("  simulator's replies against their due time: %s\n",
            qPrintable(sim.ask(QStringLiteral("stats"))));
    }
    if (failed || prompter.boxes > 0) {
        std::printf("FAILED: CommError or message boxes during the run (%d boxes)\n", prompter.boxes);
        return 1;
    }
    return 0;
}
