// Link benchmark against the paced simulator: TALVEK beside a plain client.
//
// Every figure compares TALVEK with a plain read/write client that replays
// exactly the bytes TALVEK put on the wire, on the same paced k7700-sim, in
// rounds that take turns within one run (TALVEK first in even rounds, the
// plain client first in odd ones). The paired ratio is the median over the
// rounds of TALVEK's time over the plain client's time in the same round;
// the wire floor (every byte out and back at 10 bits a byte) is given for
// information. Workloads:
//
//   reads         250 word reads (RSRead W180), from a fresh handshake
//   Upload All    the data transfer "&All" from the controller (parameter rows,
//                 PLS configuration, channel setpoints)
//   Download All  the same to the controller
//
// at 9600 and 19200 baud; then Upload All through an emulated USB adapter
// with a 16 ms and a 1 ms latency timer (k7700-sim --usb-latency), which is
// what the adapter's timer costs and what setting it to 1 ms wins back.
// Finally the CPU the whole program uses while ONLINE with the main display
// polling (offscreen windows), per byte exchange, beside the plain client's.
//
// Port opening and closing lie outside the timing for both clients. A run
// in which TALVEK and the plain client did not get the same number of
// replies from the simulator, a CommError or any message box fails the bench.
//
// Usage: bench_link [--monitor] [--journal] [--no-record] [--download-only] [rounds, default 7]
//                   [path of k7700-sim]
//        bench_link --journal-compare [rounds] [path of k7700-sim]
//   (k7700-sim: TALVEK_SIM_BIN, else ../bin/k7700-sim beside this program)
//   --monitor attaches a link monitor to TALVEK's link (as the program does
//   once its Link Monitor window was opened), to compare its cost.
//   --journal records into a press journal (SQLite, in the run's folder) as
//   the program does; the ONLINE CPU runs the whole program with its journal
//   on with it, off without it. --no-record leaves out the link's write-ahead
//   record (on in the program), to measure what it costs; --download-only
//   runs only Download All, where the record is written. --journal-compare runs only Upload All at
//   19200 baud and the ONLINE CPU, each with the journal off and on.

#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "base/Prompter.h"
#include "link/ForwardingPort.h"
#include "link/LinkMonitor.h"
#include "link/QtSerialPortControl.h"
#include "link/RSComm.h"
#include "shared/Journal.h"
#include "shared/JournalHooks.h"
#include "shared/DataTransfer.h"
#include "shared/MachineData.h"
#include "shared/modUtility.h"
#include "windows/frmMDIMain.h"

#include "SimProcess.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

using namespace talvek;
using namespace talvek::bench;
using BenchClock = std::chrono::steady_clock;

namespace {

double secondsSince(BenchClock::time_point t0)
{
    return std::chrono::duration<double>(BenchClock::now() - t0).count();
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

// Counts message boxes; a benchmark run must show none.
class CountingPrompter final : public Prompter
{
public:
    MsgResult msgBox(const QString& text, const QString&, MsgIcon, MsgButtons, MsgDefault) override
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

// ---- the wire script: what TALVEK sent and how many replies it read ----

struct Step
{
    QByteArray out; // written together (one write or several in a row)
    int in = 0; // reply bytes read before the next write
};
using Script = std::vector<Step>;

// Passes everything to the real port and writes down the script.
class RecordingPort final : public ForwardingPort
{
public:
    explicit RecordingPort(SerialPortControl& inner)
        : ForwardingPort(inner)
    { }
    int readByte() override
    {
        const int b = inner().readByte();
        if (b >= 0 && recording) {
            if (script.empty())
                script.push_back({});
            ++script.back().in;
        }
        return b;
    }
    void write(const QByteArray& bytes) override
    {
        if (recording) {
            if (script.empty() || script.back().in > 0)
                script.push_back({});
            script.back().out += bytes;
        }
        inner().write(bytes);
    }

    bool recording = false;
    Script script;
};

qint64 scriptBytes(const Script& s)
{
    qint64 n = 0;
    for (const Step& step : s)
        n += step.out.size() + step.in;
    return n;
}

// The plain client: raw descriptor, write, blocking read.
class PlainClient
{
public:
    explicit PlainClient(const QString& device)
    {
        m_fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY);
        termios t {};
        ::tcgetattr(m_fd, &t);
        ::cfmakeraw(&t);
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        ::tcsetattr(m_fd, TCSANOW, &t);
        ::tcflush(m_fd, TCIFLUSH);
    }
    ~PlainClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    PlainClient(const PlainClient&) = delete;
    PlainClient& operator=(const PlainClient&) = delete;

    bool replay(const Script& script)
    {
        char buf[256];
        for (const Step& step : script) {
            if (!step.out.isEmpty()
                && ::write(m_fd, step.out.constData(), size_t(step.out.size())) != step.out.size())
                return false;
            int left = step.in;
            while (left > 0) {
                pollfd p { m_fd, POLLIN, 0 };
                if (::poll(&p, 1, 3000) <= 0)
                    return false;
                const ssize_t n = ::read(m_fd, buf, size_t(std::min<int>(left, int(sizeof buf))));
                if (n <= 0)
                    return false;
                left -= int(n);
            }
        }
        return true;
    }

private:
    int m_fd = -1;
};

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// ---- paired runs ----

using Work = std::function<void(RSComm&)>;

struct Paired
{
    std::vector<double> talvek; // seconds per round
    std::vector<double> plain;
    qint64 exchanges = 0; // replies per run
    qint64 wireBytes = 0; // bytes out and back per run
    bool ok = true;

    double ratio() const
    {
        std::vector<double> r;
        for (size_t i = 0; i < talvek.size() && i < plain.size(); ++i)
            r.push_back(talvek[i] / plain[i]);
        return median(r);
    }
    double ratioMin() const
    {
        double m = 1e9;
        for (size_t i = 0; i < talvek.size() && i < plain.size(); ++i)
            m = std::min(m, talvek[i] / plain[i]);
        return m;
    }
    double ratioMax() const
    {
        double m = 0;
        for (size_t i = 0; i < talvek.size() && i < plain.size(); ++i)
            m = std::max(m, talvek[i] / plain[i]);
        return m;
    }
};

class Bench
{
public:
    Bench(QString bin, const QString& root, CountingPrompter& prompter, bool monitor)
        : m_bin(std::move(bin))
        , m_root(root)
        , m_folder(root)
        , m_prompter(prompter)
        , m_monitor(monitor)
    { }

    // Runs `work` through TALVEK and its replay through the plain client in
    // `rounds` alternating rounds on one simulator.
    Paired pair(const Work& work, int baud, int usbLatencyMs, int rounds)
    {
        Paired result;
        SimProcess sim;
        QStringList extra { QStringLiteral("--baud"), QString::number(baud) };
        if (usbLatencyMs > 0)
            extra << QStringLiteral("--usb-latency") << QString::number(usbLatencyMs);
        if (!writeSettings(m_root, 1, baud) || !sim.start(m_bin, m_root, 1, extra)) {
            std::fprintf(stderr, "cannot start the simulator\n");
            result.ok = false;
            return result;
        }
        // The script, from one recorded run (not timed).
        Script script;
        if (!runTalvek(work, sim, &script, nullptr)) {
            result.ok = false;
            return result;
        }
        result.wireBytes = scriptBytes(script);
        for (int r = 0; r < rounds && result.ok; ++r) {
            for (int turn = 0; turn < 2; ++turn) {
                const bool talvekTurn = (turn == 0) == (r % 2 == 0);
                double seconds = 0;
                qint64 replies = 0;
                if (talvekTurn) {
                    result.ok = runTalvek(work, sim, nullptr, &seconds) && result.ok;
                    replies = m_lastReplies;
                    result.talvek.push_back(seconds);
                } else {
                    PlainClient client(sim.device);
                    sim.replies(); // count afresh
                    const auto t0 = BenchClock::now();
                    result.ok = client.replay(script) && result.ok;
                    seconds = secondsSince(t0);
                    replies = sim.replies();
                    result.plain.push_back(seconds);
                }
                if (result.exchanges == 0)
                    result.exchanges = replies;
                if (replies != result.exchanges) {
                    std::fprintf(stderr, "replies differ between runs: %lld and %lld\n",
                        static_cast<long long>(replies), static_cast<long long>(result.exchanges));
                    result.ok = false;
                }
            }
        }
        return result;
    }

    // The whole program ONLINE with the main display polling, for `seconds`:
    // process CPU seconds and the exchanges the simulator answered.
    bool onlineCpu(int baud, int seconds, double* cpu, qint64* exchanges, double* wall)
    {
        SimProcess sim;
        if (!writeSettings(m_root, 1, baud)
            || !sim.start(m_bin, m_root, 1,
                { QStringLiteral("--baud"), QString::number(baud), QStringLiteral("--demo"),
                    QStringLiteral("--running") }))
            return false;
        SteadyClock clock;
        QtSerialPortControl port(m_folder);
        ProgramFolder folder = m_folder;
        qputenv("TALVEK_JOURNAL", journal ? QByteArray() : QByteArray("off"));
        frmMDIMain main(m_prompter, clock, folder, &port);
        main.show();
        main.modeSwitch().setMode(true);
        if (!main.rsComm().OnlineMode)
            return false;
        runEventLoopFor(1000); // settle: first paint, first reads
        sim.replies();
        const double cpu0 = cpuSeconds();
        const auto t0 = BenchClock::now();
        runEventLoopFor(seconds * 1000);
        *cpu = cpuSeconds() - cpu0;
        *wall = secondsSince(t0);
        *exchanges = sim.replies();
        const bool ok = main.rsComm().OnlineMode && !main.rsComm().CommError;
        main.modeSwitch().setMode(false);
        return ok;
    }

    // The plain client's CPU per exchange, replaying reads.
    double plainCpuPerExchange(const Work& work, int baud)
    {
        SimProcess sim;
        if (!writeSettings(m_root, 1, baud)
            || !sim.start(m_bin, m_root, 1, { QStringLiteral("--baud"), QString::number(baud) }))
            return -1;
        Script script;
        if (!runTalvek(work, sim, &script, nullptr))
            return -1;
        PlainClient client(sim.device);
        sim.replies();
        const double cpu0 = cpuSeconds();
        if (!client.replay(script))
            return -1;
        const double cpu = cpuSeconds() - cpu0;
        return cpu / double(sim.replies());
    }

private:
    bool runTalvek(const Work& work, SimProcess& sim, Script* script, double* seconds)
    {
        SteadyClock clock;
        QtSerialPortControl real(m_folder);
        RecordingPort port(real);
        ProgramFolder folder = m_folder;
        RSComm rs(folder, clock, m_prompter);
        rs.setWriteAheadRecord(record);
        LinkMonitor monitor;
        if (m_monitor)
            rs.setMonitor(&monitor);
        JournalConfig config;
        config.file = m_root + QStringLiteral("/journal.sqlite");
        Journal log(config);
        std::unique_ptr<JournalHooks> hooks;
        if (journal && log.open())
            hooks = std::make_unique<JournalHooks>(log, rs, clock);
        rs.OpenRSComm(script ? static_cast<SerialPortControl*>(&port) : &real);
        if (!rs.OnlineMode) {
            std::fprintf(stderr, "could not go online\n");
            return false;
        }
        rs.byteLink().CurrentMode = 0; // every run starts with its handshake
        port.recording = script != nullptr;
        sim.replies();
        const auto t0 = BenchClock::now();
        work(rs);
        if (seconds)
            *seconds = secondsSince(t0);
        m_lastReplies = sim.replies();
        port.recording = false;
        const bool ok = !rs.CommError;
        rs.CloseRSComm();
        if (script)
            *script = port.script;
        if (!ok)
            std::fprintf(stderr, "CommError during a run\n");
        return ok;
    }

    QString m_bin;
    QString m_root;
    ProgramFolder m_folder;
    CountingPrompter& m_prompter;
    bool m_monitor = false;
    qint64 m_lastReplies = 0;

public:
    bool journal = false;
    bool record = true; // the write-ahead record kept, as the program does
};

void reads(RSComm& rs)
{
    for (int i = 0; i < 250; ++i)
        (void)rs.RSRead(QStringLiteral("W180"));
}

void transfer(RSComm& rs, qint16 code)
{
    DataTransfer t(rs, CurrentData, { [] { QCoreApplication::processEvents(); }, {}, {} });
    (void)t.run(code, ParamCount);
}

double wireSeconds(qint64 bytes, int baud)
{
    return double(bytes) * 10.0 / baud;
}

} // namespace

// Upload All at 19200 baud (paired with the plain client) and the whole
// program ONLINE, each with the journal off, then on.
int compareJournal(Bench& bench, int rounds, CountingPrompter& prompter)
{
    std::printf("Journal off / on: Upload All at 19200 baud, TALVEK / plain client; CPU while ONLINE\n");
    bool ok = true;
    double cpuPerExchange[2] = { 0, 0 };
    for (const bool on : { false, true }) {
        bench.journal = on;
        const Paired p = bench.pair([](RSComm& rs) { transfer(rs, kTransferAll); }, 19200, 0, rounds);
        ok = ok && p.ok && !p.talvek.empty();
        if (p.ok && !p.talvek.empty()) {
            std::printf("  journal %-3s Upload All: TALVEK %.3f s, plain %.3f s, ratio %.3fx (%.3f-%.3fx), %lld "
                        "exchanges\n",
                on ? "on" : "off", median(p.talvek), median(p.plain), p.ratio(), p.ratioMin(), p.ratioMax(),
                static_cast<long long>(p.exchanges));
        }
        double cpu = 0, wall = 0;
        qint64 exchanges = 0;
        if (bench.onlineCpu(19200, 10, &cpu, &exchanges, &wall) && exchanges > 0) {
            cpuPerExchange[on ? 1 : 0] = 1e6 * cpu / double(exchanges);
            std::printf("  journal %-3s ONLINE: %lld exchanges in %.2f s, CPU %.3f s: %.1f us per exchange\n",
                on ? "on" : "off", static_cast<long long>(exchanges), wall, cpu, cpuPerExchange[on ? 1 : 0]);
        } else {
            ok = false;
        }
    }
    if (cpuPerExchange[0] > 0)
        std::printf("  CPU per exchange, on / off: %.3f (target: within 1.10)\n", cpuPerExchange[1] / cpuPerExchange[0]);
    if (!ok || prompter.boxes > 0) {
        std::printf("FAILED: a run failed, or message boxes during the run (%d boxes)\n", prompter.boxes);
        return 1;
    }
    return 0;
}

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QStringList args = app.arguments().mid(1);
    const bool withMonitor = args.removeAll(QStringLiteral("--monitor")) > 0;
    const bool withJournal = args.removeAll(QStringLiteral("--journal")) > 0;
    const bool journalCompare = args.removeAll(QStringLiteral("--journal-compare")) > 0;
    const bool withoutRecord = args.removeAll(QStringLiteral("--no-record")) > 0;
    const bool downloadOnly = args.removeAll(QStringLiteral("--download-only")) > 0;
    const int rounds = args.size() > 0 ? std::max(1, args.at(0).toInt()) : 7;
    QString bin = args.size() > 1 ? args.at(1) : qEnvironmentVariable("TALVEK_SIM_BIN");
    if (bin.isEmpty())
        bin = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/k7700-sim");
    if (!QFileInfo(bin).isExecutable()) {
        std::fprintf(stderr, "k7700-sim not found at %s\n", qPrintable(bin));
        return 2;
    }
    QTemporaryDir dir;
    CountingPrompter prompter;
    InitMachineData();
    if (withMonitor)
        std::printf("with a link monitor attached\n");
    Bench bench(bin, dir.path(), prompter, withMonitor);
    bench.journal = withJournal;
    bench.record = !withoutRecord;
    if (withoutRecord)
        std::printf("without the write-ahead record\n");
    bool failed = false;
    if (journalCompare)
        return compareJournal(bench, rounds, prompter);

    double load[3] = { 0, 0, 0 };
    ::getloadavg(load, 3);
    std::printf("Load average before the run: %.2f %.2f %.2f; %ld CPUs online; %d paired rounds\n", load[0],
        load[1], load[2], ::sysconf(_SC_NPROCESSORS_ONLN), rounds);
    std::printf("\nTALVEK against a plain client replaying the same bytes on the same paced simulator\n");
    std::printf("  %-13s %6s %9s %10s %10s %9s %15s %11s\n", "workload", "baud", "exchanges", "TALVEK s",
        "plain s", "ratio", "ratio min-max", "wire floor");

    struct Workload
    {
        const char* name;
        Work work;
    };
    const Workload workloads[] = {
        { "reads", reads },
        { "Upload All", [](RSComm& rs) { transfer(rs, kTransferAll); } },
        { "Download All", [](RSComm& rs) { transfer(rs, kTransferAll + kTransferDownloadOffset); } },
    };
    auto report = [&failed](const char* name, int baud, const char* note, const Paired& p) {
        if (!p.ok || p.talvek.empty()) {
            std::printf("  %-13s %6d  FAILED\n", name, baud);
            failed = true;
            return;
        }
        const double floor = wireSeconds(p.wireBytes, baud);
        std::printf("  %-13s %6d %9lld %10.3f %10.3f %8.3fx %7.3f-%.3fx %9.3f s%s\n", name, baud,
            static_cast<long long>(p.exchanges), median(p.talvek), median(p.plain), p.ratio(), p.ratioMin(),
            p.ratioMax(), floor, note);
    };
    for (const int baud : { 9600, 19200 }) {
        for (const Workload& w : workloads)
            if (!downloadOnly || &w == &workloads[2])
                report(w.name, baud, "", bench.pair(w.work, baud, 0, rounds));
    }
    std::printf("  (target: ratio <= 1.03x; times are medians over the rounds)\n");
    if (downloadOnly)
        return failed ? 1 : 0;

    std::printf("\nUpload All through an emulated USB adapter (k7700-sim --usb-latency)\n");
    std::printf("  %-13s %6s %9s %10s %10s %9s %15s %11s\n", "latency timer", "baud", "exchanges", "TALVEK s",
        "plain s", "ratio", "ratio min-max", "wire floor");
    const int latencyRounds = std::max(1, (rounds + 1) / 2);
    for (const int baud : { 9600, 19200 }) {
        for (const int ms : { 16, 1 }) {
            const Paired p = bench.pair(workloads[1].work, baud, ms, latencyRounds);
            const QByteArray label = QByteArray::number(ms) + " ms";
            report(label.constData(), baud, "", p);
            if (p.ok && !p.talvek.empty())
                std::printf("  %-13s %6s %9s %10s: %.2fx the wire floor\n", "", "", "", "TALVEK",
                    median(p.talvek) / wireSeconds(p.wireBytes, baud));
        }
    }

    std::printf("\nCPU while ONLINE (main display polling, whole program, offscreen), per exchange\n");
    for (const int baud : { 9600, 19200 }) {
        double cpu = 0, wall = 0;
        qint64 exchanges = 0;
        if (!bench.onlineCpu(baud, 10, &cpu, &exchanges, &wall) || exchanges <= 0) {
            std::printf("  %6d baud: FAILED\n", baud);
            failed = true;
            continue;
        }
        const double plain = bench.plainCpuPerExchange(reads, baud);
        std::printf("  %6d baud: %lld exchanges in %.2f s, CPU %.3f s (%.1f %% of one core): %.1f us per "
                    "exchange; plain client %.1f us\n",
            baud, static_cast<long long>(exchanges), wall, cpu, 100 * cpu / wall,
            1e6 * cpu / double(exchanges), 1e6 * plain);
    }

    ::getloadavg(load, 3);
    std::printf("\nLoad average after the run: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    if (failed || prompter.boxes > 0) {
        std::printf("FAILED: a run failed, or message boxes during the run (%d boxes)\n", prompter.boxes);
        return 1;
    }
    return 0;
}
