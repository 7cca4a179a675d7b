// Soak run: talvek-cli's operations, one after another, on a line that fails
// now and then, each checked against the controller's whole memory.
//
// Two boards to run against:
//
//   in-process (default)  the simulator model on the fake clock, so the
//                         link's 1 s / 2 s / 3 s waits cost no real time;
//                         the bytes of one reply arrive a millisecond apart,
//                         as on the wire;
//   --paced [BAUD]        k7700-sim on a pseudo-terminal, paced like a real
//                         8N1 line (9600 baud unless given), through the
//                         program's own serial port class and the real clock.
//
// Between the link and the board sits a line that fails before a share of
// the bytes the board hears (--rate, 0.001 unless given) with one fault of
// the line-fault catalogue (K7700LineFaults.h; in this process, or in
// k7700-sim --fault-rate). Each operation is one talvek-cli command line run
// in this process (runTalvekCli): a session of its own, which gives up at
// the first Retry/Cancel box as the command line does.
//
// The oracle is the whole board: before each operation the run takes the
// 64 KiB memory and the PLS (scale factor, offset, the 16 channels); after
// it, an operation reported as a success must have changed exactly the bytes
// it was asked to change and nothing else (the moving machine's registers
// excepted, below), and what it read must be the board's. An operation
// reported as a failure may have changed the bytes it was asked to change;
// any other byte changed must be named by its messages (as "B1023", "03FFH"
// or a range "1C78H-1CF5H"); one that is not is counted as a "failure with
// unreported changes". A run that ends saying the board may store its next
// byte at an address excuses a change there in the runs after it, up to the
// one that says what it found there (the first to reach the board stores
// its first attention byte there); one that ends inside a PLS write excuses
// a change of the PLS likewise.
//
//   bench_soak [--paced [BAUD]] [--rate P] [--ops N] [--seed S] [--show N]
//       N mixed operations (600 unless given), round and round: read of
//       the set-up parameters and of the shift data, write of one parameter,
//       upload and download of each group (params, timing, shift, all), and
//       a program download of 64 bytes. --show N prints operation N's
//       whole output and the
//       link's exchange log.
//   bench_soak --program BYTES [--runs N] [--paced [BAUD]] [--rate P] [--seed S]
//       N program downloads (10 unless given) of a random image of BYTES
//       bytes at 2000H, 16 to a record: how many succeed, and the oracle.
//   bench_soak --kill N [--kill-window MS] [--paced [BAUD]] [--rate P] [--seed S]
//       N talvek-cli processes (TALVEK_CLI_BIN, else ../bin/talvek-cli)
//       writing W1026 or D1100, each killed with SIGKILL 20 ms to MS (1200
//       unless given) in, unless it ended first (a write takes a few hundred
//       ms with the process start), each followed by a run of "read W1026".
//       Every byte that changed and is not the killed write's value, whole,
//       must be named by one of the two runs, and a run that named one must
//       not exit 0. Always paced (k7700-sim, 9600 baud unless given).
//
// k7700-sim: TALVEK_SIM_BIN, else ../bin/k7700-sim beside this program.
#include "K7700LineFaults.h"
#include "K7700Sim.h"
#include "SimProcess.h"
#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "cli/TalvekCli.h"
#include "link/ForwardingPort.h"
#include "link/QtSerialPortControl.h"
#include "shared/MachineData.h"
#include "shared/SetupFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <array>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <csignal>
#include <sys/types.h>

using namespace talvek;
using namespace talvek::bench;

namespace {

using PLSChannel = K7700Sim::PLSChannel;

// The moving machine's own registers: the press and the PLS change them on
// their own (or as copies of the PLS's values), so the oracle leaves them out.
struct MachineRegister
{
    int address;
    int bytes;
    const char* name;
};
constexpr std::array<MachineRegister, 9> kMachineRegisters { {
    { 170, 2, "W170 PLS channel outputs" },
    { 180, 2, "W180 machine position" },
    { 182, 2, "W182 machine speed" },
    { 186, 2, "W186 copy of the PLS scale factor" },
    { 188, 2, "W188 copy of the PLS offset" },
    { 1100, 4, "D1100 good cans, current shift" },
    { 1104, 2, "W1104 short cans, current shift" },
    { 1200, 4, "D1200 good cans, last shift" },
    { 1204, 2, "W1204 short cans, last shift" },
} };

bool machineRegister(int address)
{
    for (const MachineRegister& r : kMachineRegisters)
        if (address >= r.address && address < r.address + r.bytes)
            return true;
    return false;
}

// The parameter rows that are counters (rows 0..3): not compared either.
bool counterRow(int row)
{
    return row >= 0 && row <= 3;
}

struct PlsState
{
    quint16 scale = 0;
    quint16 offset = 0;
    std::array<PLSChannel, K7700Sim::PLSChannelCount> channels {};
    bool operator==(const PlsState&) const = default;
};

struct BoardState
{
    QByteArray memory;
    PlsState pls;
};

// What an operation was asked to change: bytes (each with the mask of the
// bits meant, and their value), and the PLS as it is to leave it.
struct Intended
{
    QMap<int, std::pair<quint8, quint8>> bytes;
    bool touchesPls = false;
    std::optional<PlsState> pls;

    void set(int address, quint8 mask, quint8 value)
    {
        auto& [m, v] = bytes[address & 0xFFFF];
        v = quint8((v & ~mask) | (value & mask));
        m = quint8(m | mask);
    }
    // A value at an address text of the parameter table ("W1020", "D1100",
    // "B1018.0").
    void setValue(const QString& address, qint64 value)
    {
        const qsizetype dot = address.indexOf(QLatin1Char('.'));
        const int n = address.mid(1, dot < 0 ? -1 : dot - 1).toInt();
        if (dot >= 0) {
            const auto mask = quint8(1u << address.mid(dot + 1).toInt());
            set(n, mask, value ? mask : 0);
            return;
        }
        switch (address.at(0).toLatin1()) {
        case 'B':
            set(n, 0xFF, quint8(value));
            break;
        case 'W':
            set(n, 0xFF, quint8(value));
            set(n + 1, 0xFF, quint8(value >> 8));
            break;
        default: // 'D': two base-10000 words
            setValue(QStringLiteral("W%1").arg(n), value % 10000);
            setValue(QStringLiteral("W%1").arg(n + 2), value / 10000);
            break;
        }
    }
};

qint64 valueIn(const QByteArray& memory, const QString& address)
{
    const auto byte = [&](int a) { return qint64(quint8(memory.at(a & 0xFFFF))); };
    const qsizetype dot = address.indexOf(QLatin1Char('.'));
    const int n = address.mid(1, dot < 0 ? -1 : dot - 1).toInt();
    if (dot >= 0)
        return (byte(n) >> address.mid(dot + 1).toInt()) & 1;
    switch (address.at(0).toLatin1()) {
    case 'B':
        return byte(n);
    case 'W':
        return byte(n) | (byte(n + 1) << 8);
    default:
        return (byte(n) | (byte(n + 1) << 8)) + 10000 * (byte(n + 2) | (byte(n + 3) << 8));
    }
}

// The byte addresses a command's messages name: "B4095", "03FFH", and
// ranges "1C78H-1CF5H".
QSet<int> addressesNamed(const QString& text)
{
    QSet<int> named;
    static const QRegularExpression byte(QStringLiteral("\\bB(\\d{1,5})\\b"));
    for (const QRegularExpressionMatch& m : byte.globalMatch(text))
        named.insert(m.captured(1).toInt() & 0xFFFF);
    static const QRegularExpression hex(QStringLiteral("\\b([0-9A-F]{4})H(?:-([0-9A-F]{4})H)?"));
    for (const QRegularExpressionMatch& m : hex.globalMatch(text)) {
        const int first = m.captured(1).toInt(nullptr, 16);
        const int last = m.captured(2).isEmpty() ? first : m.captured(2).toInt(nullptr, 16);
        for (int a = first; a <= last; ++a)
            named.insert(a);
    }
    return named;
}

// The addresses a run said the board may store the next session's first
// byte at.
QSet<int> pendingNamed(const QString& err)
{
    QSet<int> pending;
    for (const QString& line : err.split(QLatin1Char('\n')))
        if (line.contains(QStringLiteral("may store its next byte at")))
            pending += addressesNamed(line);
    return pending;
}

QString hexAddress(int a)
{
    return QStringLiteral("%1H").arg(a, 4, 16, QLatin1Char('0')).toUpper();
}

// ---------------------------------------------------------------------------
// The boards

// The in-process line: every byte goes to the board at once and its reply
// waits on the fake clock; the line's faults sit in between. The bytes of a
// reply (a noise byte and the reply, a doubled reply) come a byte time
// (1 ms) apart, as they do on the wire.
class SoakLine final : public SerialPortControl
{
public:
    SoakLine(K7700Sim& sim, FakeClock& clock, K7700LineFaults& faults)
        : m_sim(sim)
        , m_clock(clock)
        , m_faults(faults)
    { }
    void setCommPort(int port) override { m_commPort = port; }
    int commPort() const override { return m_commPort; }
    void setSettings(const QString& s) override { m_settings = s; }
    QString settings() const override { return m_settings; }
    // Opening and closing the port drop whatever was still on its way.
    void open() override
    {
        m_open = true;
        m_input.clear();
        m_pending.clear();
    }
    void close() override
    {
        m_open = false;
        m_pending.clear();
    }
    bool isOpen() const override { return m_open; }
    int bytesAvailable() override
    {
        deliver();
        return int(m_input.size());
    }
    void discardInput() override
    {
        deliver();
        m_input.clear();
    }
    int readByte() override
    {
        deliver();
        if (m_input.empty())
            return -1;
        const int b = m_input.front();
        m_input.pop_front();
        return b;
    }
    bool waitForInput(int timeoutMs) override
    {
        deliver();
        if (!m_input.empty())
            return true;
        const qint64 until = m_clock.nowMs() + timeoutMs;
        if (!m_pending.empty() && m_pending.front().first <= until) {
            m_clock.setNow(std::max(m_clock.nowMs(), m_pending.front().first));
            deliver();
            return !m_input.empty();
        }
        m_clock.setNow(until);
        return false;
    }
    QString deviceForPort(int port) const override { return QStringLiteral("soak:COM%1").arg(port); }

    void write(const QByteArray& bytes) override
    {
        for (const char c : bytes) {
            const bool doubled = m_faults.beforeByte(quint8(c));
            const K7700Sim::Reply reply = m_sim.receive(quint8(c));
            // One line: a reply never overtakes the one before it.
            qint64 due = m_clock.nowMs() + std::max(reply.delayMs, 0);
            for (const char b : doubled ? reply.bytes + reply.bytes : reply.bytes) {
                if (!m_pending.empty())
                    due = std::max(due, m_pending.back().first + 1);
                m_pending.emplace_back(due, quint8(b));
            }
        }
        deliver();
    }

private:
    void deliver()
    {
        while (!m_pending.empty() && m_pending.front().first <= m_clock.nowMs()) {
            if (m_open)
                m_input.push_back(m_pending.front().second);
            m_pending.pop_front();
        }
    }

    K7700Sim& m_sim;
    FakeClock& m_clock;
    K7700LineFaults& m_faults;
    int m_commPort = 1;
    QString m_settings;
    bool m_open = false;
    std::deque<quint8> m_input;
    std::deque<std::pair<qint64, quint8>> m_pending;
};

// The board the run checks against, and the line's fault counts.
class Board
{
public:
    virtual ~Board() = default;
    virtual BoardState state() = 0;
    // A new session: the port is opened again (a drop-out or a cut line ends).
    virtual void restore() = 0;
    virtual QMap<QString, qint64> faults() = 0; // "injected", "bytes", and by name
    virtual Clock& clock() = 0;
    // The command-line arguments that reach the board.
    virtual QStringList portArguments() const = 0;
    virtual std::unique_ptr<SerialPortControl> makePort(const ProgramFolder& folder, const QString& device)
        = 0;
};

class LocalBoard final : public Board
{
public:
    LocalBoard(std::uint32_t seed, double rate)
        : m_faults(m_sim, seed, rate)
    {
        std::mt19937 random(seed ^ 0x5eed);
        for (int a = 0; a < K7700Sim::MemorySize; ++a)
            m_sim.setByte(a, quint8(random()));
        m_sim.setWord(K7700Sim::SpeedWord, 0);
        m_sim.setPLSScaleFactor(360);
        for (int ch = 0; ch < 8; ++ch)
            m_sim.setPLSChannel(
                ch, PLSChannel { PLSChannel::Kind::Setpoints, quint16(20 * ch), quint16(20 * ch + 15) });
    }
    BoardState state() override
    {
        BoardState s;
        s.memory.resize(K7700Sim::MemorySize);
        for (int a = 0; a < K7700Sim::MemorySize; ++a)
            s.memory[a] = char(m_sim.byte(a));
        s.pls.scale = m_sim.plsScaleFactor();
        s.pls.offset = m_sim.plsOffset();
        for (int ch = 0; ch < K7700Sim::PLSChannelCount; ++ch)
            s.pls.channels[std::size_t(ch)] = m_sim.plsChannel(ch);
        return s;
    }
    void restore() override { m_faults.restore(); }
    QMap<QString, qint64> faults() override
    {
        QMap<QString, qint64> f { { QStringLiteral("injected"), m_faults.injected() },
            { QStringLiteral("bytes"), m_faults.bytes() } };
        for (int k = 0; k < LineFaultCount; ++k)
            f[QLatin1String(lineFaultName(LineFault(k)))] = m_faults.injected(LineFault(k));
        return f;
    }
    Clock& clock() override { return m_clock; }
    QStringList portArguments() const override { return { QStringLiteral("--port"), QStringLiteral("1") }; }
    std::unique_ptr<SerialPortControl> makePort(const ProgramFolder&, const QString&) override
    {
        return std::make_unique<ForwardingPort>(m_line);
    }

private:
    K7700Sim m_sim;
    FakeClock m_clock;
    K7700LineFaults m_faults;
    SoakLine m_line { m_sim, m_clock, m_faults };
};

// k7700-sim in its own process, asked through its command input.
class RemoteBoard final : public Board
{
public:
    RemoteBoard(SimProcess& sim, int baud)
        : m_sim(sim)
        , m_baud(baud)
    { }
    BoardState state() override
    {
        BoardState s;
        s.memory = QByteArray::fromHex(m_sim.ask(QStringLiteral("dump")).toLatin1());
        const QStringList w = m_sim.ask(QStringLiteral("plsdump")).split(QLatin1Char(' '));
        if (s.memory.size() != K7700Sim::MemorySize || w.size() != 2 + K7700Sim::PLSChannelCount) {
            std::fprintf(stderr, "k7700-sim did not answer dump / plsdump\n");
            std::exit(2);
        }
        s.pls.scale = quint16(w.at(0).section(QLatin1Char('='), 1).toUInt());
        s.pls.offset = quint16(w.at(1).section(QLatin1Char('='), 1).toUInt());
        for (int ch = 0; ch < K7700Sim::PLSChannelCount; ++ch) {
            const QStringList f = w.at(2 + ch).split(QLatin1Char(':'));
            PLSChannel& c = s.pls.channels[std::size_t(ch)];
            c.kind = f.value(0) == QLatin1String("setpoints") ? PLSChannel::Kind::Setpoints
                : f.value(0) == QLatin1String("pulsetrain")   ? PLSChannel::Kind::PulseTrain
                                                              : PLSChannel::Kind::Empty;
            c.on = quint16(f.value(1).toUInt());
            c.off = quint16(f.value(2).toUInt());
            c.onDivisions = quint8(f.value(3).toUInt());
            c.offDivisions = quint8(f.value(4).toUInt());
        }
        return s;
    }
    void restore() override { m_sim.ask(QStringLiteral("restore")); }
    QMap<QString, qint64> faults() override
    {
        QMap<QString, qint64> f;
        for (const QString& part : m_sim.ask(QStringLiteral("faults")).split(QLatin1Char(' ')))
            f[part.section(QLatin1Char('='), 0, 0)] = part.section(QLatin1Char('='), 1).toLongLong();
        return f;
    }
    Clock& clock() override { return m_clock; }
    QStringList portArguments() const override
    {
        return { QStringLiteral("--device"), m_sim.device, QStringLiteral("--baud"),
            QString::number(m_baud) };
    }
    std::unique_ptr<SerialPortControl> makePort(const ProgramFolder& folder, const QString& device) override
    {
        auto port = std::make_unique<QtSerialPortControl>(folder);
        if (!device.isEmpty())
            port->setDevice(device);
        return port;
    }

private:
    SimProcess& m_sim;
    int m_baud;
    SteadyClock m_clock;
};

// ---------------------------------------------------------------------------
// The oracle

struct CliResult
{
    int exit = 0;
    QString out;
    QString err;
};

// One operation: its command line, what it was asked to change, and (for
// reads and uploads) a check of what it read against the board before it.
struct Operation
{
    QString name;
    QStringList arguments;
    Intended intended;
    std::function<QStringList(const CliResult&, const BoardState&)> readsRight;
};

// The bytes (and PLS) that differ from what the operation may leave: for a
// success, exactly what it was asked; for a failure, what it was asked may
// have changed (or not), nothing else.
QStringList differences(const BoardState& before, const BoardState& after, const Intended& in, bool success,
    const QSet<int>& excused, bool plsExcused)
{
    QStringList out;
    for (int a = 0; a < K7700Sim::MemorySize; ++a) {
        if (machineRegister(a) || excused.contains(a))
            continue;
        const quint8 was = quint8(before.memory.at(a));
        const quint8 is = quint8(after.memory.at(a));
        const auto meant = in.bytes.constFind(a);
        const quint8 mask = meant == in.bytes.cend() ? 0 : meant->first;
        const quint8 expected
            = meant == in.bytes.cend() ? was : quint8((was & ~mask) | (meant->second & mask));
        const bool wrong = success ? is != expected : ((is ^ was) & ~mask) != 0;
        if (wrong)
            out << QStringLiteral("%1 %2->%3")
                       .arg(hexAddress(a))
                       .arg(was, 2, 16, QLatin1Char('0'))
                       .arg(is, 2, 16, QLatin1Char('0'));
    }
    if (plsExcused)
        return out;
    if (success && after.pls != in.pls.value_or(before.pls))
        out << QStringLiteral("PLS not as meant");
    if (!in.touchesPls && after.pls != before.pls)
        out << QStringLiteral("PLS changed");
    return out;
}

// What a set-up file holds against the board, for the rows of an upload.
QStringList fileAgainstBoard(
    const QString& path, const BoardState& board, int firstRow, int lastRow, bool timing)
{
    MachineData record;
    QString reason;
    if (!readSetupFile(path, record, &reason))
        return { QStringLiteral("file: ") + reason };
    QStringList out;
    for (int row = firstRow; row <= lastRow; ++row) {
        if (counterRow(row))
            continue;
        const qint64 held = valueIn(board.memory, record.ParamAddress.value(row));
        if (record.ParamValue.value(row) != held)
            out << QStringLiteral("row %1: file %2, board %3")
                       .arg(row)
                       .arg(record.ParamValue.value(row))
                       .arg(held);
    }
    if (!timing)
        return out;
    if (record.PlsScaleFactor != board.pls.scale || record.PlsOffset != board.pls.offset)
        out << QStringLiteral("scale/offset: file %1/%2, board %3/%4")
                   .arg(record.PlsScaleFactor)
                   .arg(record.PlsOffset)
                   .arg(board.pls.scale)
                   .arg(board.pls.offset);
    for (int ch = 0; ch < K7700Sim::PLSChannelCount; ++ch) {
        const PLSChannel& c = board.pls.channels[std::size_t(ch)];
        const bool setpoints = c.kind == PLSChannel::Kind::Setpoints;
        if (record.OnSetpoint[std::size_t(ch)] != (setpoints ? c.on : 0)
            || record.OffSetpoint[std::size_t(ch)] != (setpoints ? c.off : 0))
            out << QStringLiteral("channel %1").arg(ch);
    }
    return out;
}

// "W1020=123" lines against the board.
QStringList printedAgainstBoard(const CliResult& r, const BoardState& board)
{
    QStringList out;
    for (const QString& line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString address = line.section(QLatin1Char('='), 0, 0);
        const qint64 printed = line.section(QLatin1Char('='), 1).toLongLong();
        if (printed != valueIn(board.memory, address))
            out << QStringLiteral("%1 printed %2, board %3")
                       .arg(address)
                       .arg(printed)
                       .arg(valueIn(board.memory, address));
    }
    return out;
}

// ---------------------------------------------------------------------------
// The run

struct Tally
{
    qint64 runs = 0;
    qint64 failed = 0;
    qint64 wrongSuccesses = 0;
    qint64 unreportedChanges = 0;
};

class Soak
{
public:
    Soak(Board& board, const QString& folder, std::uint32_t seed)
        : m_board(board)
        , m_dir(folder)
        , m_folder(folder)
        , m_random(seed)
    { }

    CliResult runCli(const QStringList& arguments)
    {
        CliResult r;
        QTextStream out(&r.out);
        QTextStream err(&r.err);
        CliContext context { m_folder, m_board.clock(), out, err, false,
            [this](const ProgramFolder& folder, const QString& device) {
                return m_board.makePort(folder, device);
            } };
        m_board.restore();
        r.exit = runTalvekCli(m_board.portArguments() + arguments, context);
        out.flush();
        err.flush();
        return r;
    }

    // Runs the operation and judges it; true for a success as it should be.
    bool judge(const Operation& op, qint64 number)
    {
        const BoardState before = m_board.state();
        // The operation shown runs with the link's exchange log, printed after it.
        const QString tracePath = m_dir.filePath(QStringLiteral("show.trace"));
        const CliResult r = runCli(
            number == m_show ? QStringList { QStringLiteral("--trace"), tracePath } + op.arguments : op.arguments);
        const BoardState after = m_board.state();
        if (number == m_show) {
            QFile trace(tracePath);
            const QByteArray log = trace.open(QIODevice::ReadOnly) ? trace.readAll() : QByteArray();
            std::printf("  #%lld %s: exit %d\n%s%s%s", (long long)number,
                qPrintable(op.arguments.join(QLatin1Char(' '))), r.exit, qPrintable(r.out), qPrintable(r.err),
                log.constData());
        }
        Tally& t = m_tally[op.name];
        ++t.runs;
        // What the run before said the board may store this run's first
        // byte at is excused here; so, for a failure, is every byte it names.
        // (Kept until a run says it found them: a run that cannot open the
        // link, or whose read-back fails, leaves them for the next.)
        const QSet<int> carried = m_carried;
        const bool carriedPls = m_carriedPls;
        // The opening's "Interrupted Write" names what it read back.
        const bool toldEarlier = r.err.contains(QStringLiteral("Interrupted Write"));
        if (toldEarlier)
            m_carried.clear();
        if (toldEarlier && r.err.contains(QStringLiteral("The PLS may have taken")))
            m_carriedPls = false;
        m_carried += pendingNamed(r.err);
        m_carriedPls = m_carriedPls || r.err.contains(QStringLiteral("the link ended inside a PLS write"));
        if (r.exit != 0) {
            ++t.failed;
            // The command's own failure line (a box's text may follow it),
            // and its cause: the words after its last ": ", without the
            // detail in brackets.
            const QStringList lines = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            static const QRegularExpression failureLine(
                QStringLiteral("(failed|not written|not complete|could not be opened)"));
            QString said = lines.value(lines.size() - 1);
            for (const QString& line : lines)
                if (failureLine.match(line).hasMatch())
                    said = line;
            const QString cause
                = said.left(said.indexOf(QStringLiteral(" ("))).section(QStringLiteral(": "), -1);
            ++m_failureTexts[op.name + QStringLiteral(": ") + cause];
            // "may have changed: anywhere" names every byte.
            const bool anywhere = r.err.contains(QStringLiteral("may have changed: anywhere"));
            const QStringList changed = anywhere
                ? QStringList()
                : differences(before, after, op.intended, false, carried + addressesNamed(r.err), carriedPls);
            if (!changed.isEmpty()) {
                ++t.unreportedChanges;
                report(QStringLiteral("failure with unreported changes"), op, number, changed);
                std::printf("      it said: %s\n", qPrintable(said));
            }
            return false;
        }
        QStringList wrong = differences(before, after, op.intended, true, carried, carriedPls);
        if (op.readsRight) {
            // What it read: the board before it, but for the bytes (and the
            // PLS write) the run before left pending, which this run's first
            // bytes completed.
            BoardState read = before;
            for (const int a : carried)
                read.memory[a] = after.memory.at(a);
            if (carriedPls)
                read.pls = after.pls;
            wrong += op.readsRight(r, read);
        }
        if (!wrong.isEmpty()) {
            ++t.wrongSuccesses;
            report(QStringLiteral("WRONG SUCCESS"), op, number, wrong);
            return false;
        }
        return true;
    }

    Operation next(qint64 i);
    Operation programDownload(const QString& name, int bytes);

    const QMap<QString, Tally>& tally() const { return m_tally; }
    const QMap<QString, qint64>& failureTexts() const { return m_failureTexts; }
    // The operation whose whole output is printed (-1: none).
    void show(qint64 number) { m_show = number; }

private:
    void report(const QString& what, const Operation& op, qint64 number, const QStringList& details)
    {
        std::printf("  %s #%lld %s: %s%s\n", qPrintable(what), (long long)number,
            qPrintable(op.arguments.join(QLatin1Char(' '))),
            qPrintable(details.mid(0, 6).join(QStringLiteral(", "))), details.size() > 6 ? ", ..." : "");
    }
    Operation read(int firstRow, int lastRow);
    Operation write();
    Operation upload(const char* group, int firstRow, int lastRow, bool timing);
    Operation download(const char* group, int firstRow, int lastRow, bool timing);
    qint64 randomValue(const QString& address);

    Board& m_board;
    QDir m_dir;
    ProgramFolder m_folder;
    std::mt19937 m_random;
    QMap<QString, Tally> m_tally;
    QMap<QString, qint64> m_failureTexts;
    qint64 m_show = -1;
    QSet<int> m_carried;
    bool m_carriedPls = false;
};

qint64 Soak::randomValue(const QString& address)
{
    const quint32 x = m_random();
    if (address.contains(QLatin1Char('.')))
        return x & 1;
    switch (address.at(0).toLatin1()) {
    case 'B':
        return x % 256;
    case 'W':
        return x % 65536;
    default:
        return x % 655360000;
    }
}

Operation Soak::read(int firstRow, int lastRow)
{
    Operation op;
    op.name = firstRow == kSetupParamFirstRow ? QStringLiteral("read params") : QStringLiteral("read shift");
    op.arguments << QStringLiteral("read");
    for (int row = firstRow; row <= lastRow; ++row)
        if (!counterRow(row))
            op.arguments << QLatin1String(kParamRowDefaults[std::size_t(row)].address);
    op.readsRight = printedAgainstBoard;
    return op;
}

Operation Soak::write()
{
    const int row = kSetupParamFirstRow + int(m_random() % (kSetupParamLastRow - kSetupParamFirstRow + 1));
    const QString address = QLatin1String(kParamRowDefaults[std::size_t(row)].address);
    const qint64 value = randomValue(address);
    Operation op;
    op.name = QStringLiteral("write");
    op.arguments
        = QStringList { QStringLiteral("write"), address, QString::number(value), QStringLiteral("--yes") };
    op.intended.setValue(address, value);
    // It prints the value it reads back: the one written.
    op.readsRight = [=](const CliResult& r, const BoardState&) {
        const QString expected = address + QLatin1Char('=') + QString::number(value) + QLatin1Char('\n');
        return r.out == expected ? QStringList()
                                 : QStringList { QStringLiteral("printed ") + r.out.trimmed() };
    };
    return op;
}

Operation Soak::upload(const char* group, int firstRow, int lastRow, bool timing)
{
    const QString path = m_dir.filePath(QStringLiteral("up.sdt"));
    QFile::remove(path);
    Operation op;
    op.name = QStringLiteral("upload ") + QLatin1String(group);
    op.arguments = QStringList { QStringLiteral("upload"), QLatin1String(group), QStringLiteral("-o"), path };
    op.readsRight = [=](const CliResult&, const BoardState& before) {
        return fileAgainstBoard(path, before, firstRow, lastRow, timing);
    };
    return op;
}

Operation Soak::download(const char* group, int firstRow, int lastRow, bool timing)
{
    InitMachineData();
    MachineData record = DefaultData;
    Operation op;
    for (int row = firstRow; row <= lastRow; ++row) {
        record.ParamValue[row] = qint32(randomValue(record.ParamAddress.at(row)));
        op.intended.setValue(record.ParamAddress.at(row), record.ParamValue.at(row));
    }
    if (timing) {
        record.PlsScaleFactor = m_random() % 2 ? 360 : 720;
        PlsState pls;
        pls.scale = quint16(record.PlsScaleFactor);
        for (std::size_t ch = 0; ch < 16; ++ch) {
            const bool empty = m_random() % 4 == 0;
            record.OnSetpoint[ch] = empty ? 0 : qint16(m_random() % pls.scale);
            record.OffSetpoint[ch] = empty ? 0 : qint16(m_random() % pls.scale);
            if (!isChannelEmpty(record, int(ch)))
                pls.channels[ch] = PLSChannel { PLSChannel::Kind::Setpoints, quint16(record.OnSetpoint[ch]),
                    quint16(record.OffSetpoint[ch]) };
        }
        op.intended.touchesPls = true;
        op.intended.pls = pls; // the offset: filled in below from the board
    }
    const QString path = m_dir.filePath(QStringLiteral("down.sdt"));
    QString reason;
    if (!writeSetupFile(path, record, &reason)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(reason));
        std::exit(2);
    }
    op.name = QStringLiteral("download ") + QLatin1String(group);
    op.arguments = QStringList { QStringLiteral("download"), QLatin1String(group), QStringLiteral("-i"), path,
        QStringLiteral("--yes") };
    return op;
}

Operation Soak::programDownload(const QString& name, int bytes)
{
    QByteArray image(bytes, '\0');
    for (char& c : image)
        c = char(m_random());
    QByteArray hex;
    Operation op;
    for (int at = 0; at < bytes; at += 16) {
        const QByteArray data = image.mid(at, 16);
        const int address = 0x2000 + at;
        QByteArray record
            = QByteArray(1, char(data.size())) + char(address >> 8) + char(address & 0xFF) + '\0';
        record += data;
        int sum = 0;
        for (const char c : std::as_const(record))
            sum += quint8(c);
        record.append(char(-sum));
        hex += ":" + record.toHex().toUpper() + "\r\n";
        for (int k = 0; k < data.size(); ++k)
            op.intended.set(address + k, 0xFF, quint8(data.at(k)));
    }
    hex += ":00000001FF\r\n";
    const auto put = [&](const char* file, const QByteArray& data) {
        QFile f(m_dir.filePath(QLatin1String(file)));
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size())
            std::exit(2);
    };
    put("P.nvk", "D");
    put("P.rev", "SOAK 10312");
    put("P.hex", hex);
    op.intended.set(8181, 0xFF, 86);
    op.intended.set(8176, 0xFF, 0);
    const QByteArray ident("SOAK 1\0\0\x03\x12", 10); // from "SOAK 10312"
    for (int i = 0; i < ident.size(); ++i)
        op.intended.set(K7700Sim::IdentRegister + i, 0xFF, quint8(ident.at(i)));
    op.name = name;
    op.arguments = QStringList { QStringLiteral("program-download"), m_dir.filePath(QStringLiteral("P.nvk")),
        QStringLiteral("--yes") };
    return op;
}

Operation Soak::next(qint64 i)
{
    const int shiftLast = kShiftDataLastRow;
    switch (i % 12) {
    case 0:
        return read(kSetupParamFirstRow, kSetupParamLastRow);
    case 1:
        return read(kShiftDataFirstRow, shiftLast);
    case 2:
        return write();
    case 3:
        return upload("params", kSetupParamFirstRow, kSetupParamLastRow, false);
    case 4:
        return upload("timing", 0, -1, true);
    case 5:
        return upload("shift", kShiftDataFirstRow, shiftLast, false);
    case 6:
        return upload("all", kShiftDataFirstRow, kSetupParamLastRow, true);
    case 7:
        return download("params", kSetupParamFirstRow, kSetupParamLastRow, false);
    case 8:
        return download("timing", 0, -1, true);
    case 9:
        return download("shift", kShiftDataFirstRow, shiftLast, false);
    case 10:
        return download("all", kShiftDataFirstRow, kSetupParamLastRow, true);
    default:
        return programDownload(QStringLiteral("program download"), 64);
    }
}

// ---------------------------------------------------------------------------

struct Options
{
    int baud = 0; // 0: in-process
    double rate = 0.001;
    qint64 ops = 600;
    int programBytes = 0; // the program download runs
    int runs = 10;
    std::uint32_t seed = 20261207u;
    qint64 show = -1;
    int killRuns = 0; // the killed-process soak
    int killWindowMs = 1200; // killed 20 ms to this long in
};

std::optional<Options> parse(QStringList args)
{
    Options o;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        const auto number = [&]() { return args.isEmpty() ? QString() : args.takeFirst(); };
        if (a == QLatin1String("--paced")) {
            o.baud = 9600;
            if (!args.isEmpty()
                && (args.first() == QLatin1String("9600") || args.first() == QLatin1String("19200")))
                o.baud = args.takeFirst().toInt();
        } else if (a == QLatin1String("--rate")) {
            o.rate = number().toDouble();
        } else if (a == QLatin1String("--ops")) {
            o.ops = number().toLongLong();
        } else if (a == QLatin1String("--program")) {
            o.programBytes = number().toInt();
        } else if (a == QLatin1String("--runs")) {
            o.runs = number().toInt();
        } else if (a == QLatin1String("--seed")) {
            o.seed = number().toUInt();
        } else if (a == QLatin1String("--show")) {
            o.show = number().toLongLong();
        } else if (a == QLatin1String("--kill-window")) {
            o.killWindowMs = std::max(21, number().toInt());
        } else if (a == QLatin1String("--kill")) {
            o.killRuns = number().toInt();
            o.baud = o.baud > 0 ? o.baud : 9600;
        } else {
            return std::nullopt;
        }
    }
    if (o.rate < 0 || o.rate > 1 || o.ops < 1 || o.runs < 1 || o.programBytes < 0 || o.programBytes > 0x8000)
        return std::nullopt;
    return o;
}

void printFaults(Board& board)
{
    const QMap<QString, qint64> f = board.faults();
    std::printf("  bytes heard by the board     %lld\n", (long long)f.value(QStringLiteral("bytes")));
    std::printf("  faults injected              %lld:", (long long)f.value(QStringLiteral("injected")));
    for (int k = 0; k < LineFaultCount; ++k) {
        const QString name = QLatin1String(lineFaultName(LineFault(k)));
        std::printf(" %s %lld", qPrintable(name), (long long)f.value(name));
    }
    std::printf("\n");
}

int soakRun(Soak& soak, Board& board, const Options& o)
{
    QElapsedTimer wall;
    wall.start();
    for (qint64 i = 0; i < o.ops; ++i) {
        Operation op = soak.next(i);
        // A timing download leaves the offset modulo the new scale factor.
        if (op.intended.pls)
            op.intended.pls->offset = quint16(board.state().pls.offset % op.intended.pls->scale);
        soak.judge(op, i);
    }
    Tally all;
    std::printf("  %-20s %6s %7s %16s %18s\n", "operation", "runs", "failed", "wrong successes",
        "unreported changes");
    for (auto it = soak.tally().cbegin(); it != soak.tally().cend(); ++it) {
        const Tally& t = it.value();
        std::printf("  %-20s %6lld %7lld %16lld %18lld\n", qPrintable(it.key()), (long long)t.runs,
            (long long)t.failed, (long long)t.wrongSuccesses, (long long)t.unreportedChanges);
        all.runs += t.runs;
        all.failed += t.failed;
        all.wrongSuccesses += t.wrongSuccesses;
        all.unreportedChanges += t.unreportedChanges;
    }
    std::printf("  %-20s %6lld %7lld %16lld %18lld\n", "all", (long long)all.runs, (long long)all.failed,
        (long long)all.wrongSuccesses, (long long)all.unreportedChanges);
    printFaults(board);
    std::printf("  failures by cause (stderr's last words):\n");
    for (auto it = soak.failureTexts().cbegin(); it != soak.failureTexts().cend(); ++it)
        std::printf("    %5lld  %s\n", (long long)it.value(), qPrintable(it.key()));
    std::printf("  wall time %.1f min\n", double(wall.elapsed()) / 60000.0);
    return all.wrongSuccesses == 0 ? 0 : 1;
}

struct ProcessRun
{
    int exit = -1; // -1: killed
    QString err;
};

// talvek-cli as a process: killed with SIGKILL after killAfterMs (never
// when negative).
ProcessRun runProcess(const QString& cli, const QStringList& arguments, int killAfterMs)
{
    QProcess p;
    p.start(cli, arguments);
    ProcessRun r;
    if (!p.waitForStarted(5000))
        return r;
    if (killAfterMs >= 0 && !p.waitForFinished(killAfterMs)) {
        ::kill(pid_t(p.processId()), SIGKILL);
        p.waitForFinished(5000);
    } else {
        p.waitForFinished(120000);
    }
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    if (p.exitStatus() == QProcess::NormalExit)
        r.exit = p.exitCode();
    return r;
}

int killedRuns(Board& board, const QString& device, const QString& folder, const Options& o)
{
    QString cli = qEnvironmentVariable("TALVEK_CLI_BIN");
    if (cli.isEmpty())
        cli = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/talvek-cli");
    const QStringList common { QStringLiteral("--program-folder"), folder, QStringLiteral("--device"), device,
        QStringLiteral("--baud"), QString::number(o.baud), QStringLiteral("--journal"), QStringLiteral("off") };
    std::mt19937 random(o.seed);
    qint64 killed = 0, ended = 0, found = 0, whole = 0, unnamed = 0, exitZero = 0;
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < o.killRuns; ++i) {
        const BoardState before = board.state();
        const bool word = random() % 2 == 0;
        const quint32 value = word ? random() % 65536 : random() % 655360000;
        QMap<int, quint8> meant; // the value's bytes
        if (word) {
            meant = { { 1026, quint8(value & 0xFF) }, { 1027, quint8(value >> 8) } };
        } else {
            const quint32 low = value % 10000, high = value / 10000;
            meant = { { 1100, quint8(low & 0xFF) }, { 1101, quint8(low >> 8) }, { 1102, quint8(high & 0xFF) },
                { 1103, quint8(high >> 8) } };
        }
        const int killAfter = 20 + int(random() % quint32(o.killWindowMs - 19));
        const ProcessRun first = runProcess(cli,
            common
                + QStringList { QStringLiteral("write"), QLatin1String(word ? "W1026" : "D1100"),
                    QString::number(value), QStringLiteral("--yes") },
            killAfter);
        ++(first.exit < 0 ? killed : ended);
        const ProcessRun next
            = runProcess(cli, common + QStringList { QStringLiteral("read"), QStringLiteral("W1026") }, -1);
        found += next.exit == 11 ? 1 : 0;
        const BoardState after = board.state();
        QSet<int> changed;
        for (int a = 0; a < K7700Sim::MemorySize; ++a)
            if (!machineRegister(a) && before.memory.at(a) != after.memory.at(a))
                changed.insert(a);
        bool asMeant = true;
        for (auto it = meant.cbegin(); it != meant.cend(); ++it)
            asMeant = asMeant && quint8(after.memory.at(it.key())) == it.value();
        QSet<int> outside = changed;
        for (auto it = meant.cbegin(); it != meant.cend(); ++it)
            outside.remove(it.key());
        if (changed.isEmpty() || (outside.isEmpty() && asMeant)) {
            ++whole; // nothing changed, or the write done whole
            continue;
        }
        const QSet<int> named = addressesNamed(first.err) + addressesNamed(next.err);
        QStringList missing;
        for (const int a : changed)
            if (!named.contains(a))
                missing << hexAddress(a);
        if (!missing.isEmpty()) {
            ++unnamed;
            std::printf("  #%d killed after %d ms: changed, named by no run: %s\n%s%s", i, killAfter,
                qPrintable(missing.join(QLatin1Char(' '))), qPrintable(first.err), qPrintable(next.err));
        }
        // A run that named a change (or was the one to find it) must not
        // exit 0.
        if ((first.exit == 0 && !addressesNamed(first.err).isEmpty())
            || (next.exit == 0 && !addressesNamed(next.err).isEmpty())) {
            ++exitZero;
            QStringList differ;
            for (const int a : changed)
                differ << QStringLiteral("%1 %2->%3")
                              .arg(hexAddress(a))
                              .arg(quint8(before.memory.at(a)), 2, 16, QLatin1Char('0'))
                              .arg(quint8(after.memory.at(a)), 2, 16, QLatin1Char('0'));
            std::printf("  #%d killed after %d ms: a run that left or found a change exited 0 (exits %d, %d; %s)\n"
                        "%s%s",
                i, killAfter, first.exit, next.exit, qPrintable(differ.join(QLatin1Char(' '))), qPrintable(first.err),
                qPrintable(next.err));
        }
    }
    std::printf("  runs %d: killed %lld, ended before the kill %lld\n", o.killRuns, (long long)killed,
        (long long)ended);
    std::printf("  next run found an interrupted write (exit 11)   %lld\n", (long long)found);
    std::printf("  board as meant or untouched                    %lld\n", (long long)whole);
    std::printf("  changed bytes no run named                     %lld (must be 0)\n", (long long)unnamed);
    std::printf("  runs that found or left a change and exited 0  %lld (must be 0)\n", (long long)exitZero);
    printFaults(board);
    std::printf("  wall time %.1f min\n", double(wall.elapsed()) / 60000.0);
    return unnamed == 0 && exitZero == 0 ? 0 : 1;
}

int programRuns(Soak& soak, Board& board, const Options& o)
{
    qint64 good = 0;
    QElapsedTimer wall;
    wall.start();
    QList<qint64> ms;
    for (int i = 0; i < o.runs; ++i) {
        const Operation op = soak.programDownload(QStringLiteral("program download"), o.programBytes);
        const qint64 start = board.clock().nowMs();
        good += soak.judge(op, i) ? 1 : 0;
        ms.append(board.clock().nowMs() - start);
    }
    std::sort(ms.begin(), ms.end());
    const Tally t = soak.tally().value(QStringLiteral("program download"));
    std::printf("  downloads                    %d of %d bytes (%d records at 2000H)\n", o.runs,
        o.programBytes, (o.programBytes + 15) / 16);
    std::printf("  succeeded, board as meant    %lld\n", (long long)good);
    std::printf("  failed                       %lld\n", (long long)t.failed);
    std::printf("  wrong successes              %lld\n", (long long)t.wrongSuccesses);
    std::printf("  failures with unreported changes %lld\n", (long long)t.unreportedChanges);
    std::printf("  time per download            median %.1f s, max %.1f s (%s)\n",
        double(ms.at(ms.size() / 2)) / 1000.0, double(ms.back()) / 1000.0,
        o.baud > 0 ? "real" : "fake clock: the waits only");
    printFaults(board);
    for (auto it = soak.failureTexts().cbegin(); it != soak.failureTexts().cend(); ++it)
        std::printf("    %5lld  %s\n", (long long)it.value(), qPrintable(it.key()));
    std::printf("  wall time %.1f min\n", double(wall.elapsed()) / 60000.0);
    return t.wrongSuccesses == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::optional<Options> o = parse(app.arguments().mid(1));
    if (!o) {
        std::fprintf(stderr,
            "usage: bench_soak [--paced [9600|19200]] [--rate P] [--ops N] [--seed S] [--show N]\n"
            "       bench_soak --program BYTES [--runs N] [--paced [BAUD]] [--rate P] [--seed S]\n"
            "       bench_soak --kill N [--kill-window MS] [--paced [BAUD]] [--rate P] [--seed S]\n");
        return 2;
    }
    QTemporaryDir dir;
    if (!writeSettings(dir.path(), 1, o->baud > 0 ? o->baud : 9600))
        return 2;
    SimProcess simProcess;
    std::unique_ptr<Board> board;
    if (o->baud > 0) {
        QString bin = qEnvironmentVariable("TALVEK_SIM_BIN");
        if (bin.isEmpty())
            bin = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/k7700-sim");
        const QStringList extra { QStringLiteral("--demo"), QStringLiteral("--baud"),
            QString::number(o->baud), QStringLiteral("--fault-rate"), QString::number(o->rate),
            QStringLiteral("--seed"), QString::number(o->seed) };
        if (!QFileInfo(bin).isExecutable() || !simProcess.start(bin, dir.path(), 1, extra)) {
            std::fprintf(stderr, "k7700-sim did not start (%s)\n", qPrintable(bin));
            return 2;
        }
        board = std::make_unique<RemoteBoard>(simProcess, o->baud);
    } else {
        board = std::make_unique<LocalBoard>(o->seed, o->rate);
    }
    std::printf("soak: %s, seed %u, fault rate %.2f %% of the bytes the board hears\n",
        o->baud > 0 ? qPrintable(QStringLiteral("k7700-sim paced at %1 baud").arg(o->baud))
                    : "in-process simulator on the fake clock",
        o->seed, o->rate * 100);
    if (o->killRuns > 0)
        return killedRuns(*board, simProcess.device, dir.path(), *o);
    Soak soak(*board, dir.path(), o->seed);
    soak.show(o->show);
    return o->programBytes > 0 ? programRuns(soak, *board, *o) : soakRun(soak, *board, *o);
}
