// Soak run: the link for a long time on a line that fails now and then.
//
// Two boards to run against:
//
//   in-process (default)  the simulator model on the fake clock, so the
//                         link's 1 s / 2 s / 3 s waits cost no real time and
//                         a run covers many more exchanges than the wire
//                         would carry in the same minutes;
//   --paced [BAUD]        k7700-sim on a pseudo-terminal, paced like a real
//                         8N1 line (9600 baud unless given), through the
//                         program's own serial port class and the real clock.
//
// Either way, between the link and the board sits a line that, at a low
// random rate, loses a byte, spoils an echo, adds a noise byte, doubles a
// reply, answers late (inside the link's first wait) or drops out for a few
// bytes (K7700LineFaults: in this process, or in k7700-sim --fault-rate).
// The operator answers a Retry/Cancel box with Retry, ten times within one
// operation, then with Cancel (counted: the link did not recover by itself).
//
// The run cycles through word and double-word reads and writes, an "All"
// upload and a set-up parameter download, PLS setpoints and a program
// download, and checks each one reported good against the board:
//
//   successes reported wrongly   an operation reported good whose effect is
//                                not in the board (must be 0)
//   failures reported            operations that said they failed
//   faults recovered             faults injected into operations that then
//                                ended as specified (good and true, or failed
//                                and said so)
//
// and the resident memory after the first minute's warm-up and at the end.
//
// Usage: bench_soak [--paced [BAUD]] [minutes, default 10] [seed]
//   (k7700-sim: TALVEK_SIM_BIN, else ../bin/k7700-sim beside this program)
#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "base/Prompter.h"
#include "K7700LineFaults.h"
#include "K7700Sim.h"
#include "link/QtSerialPortControl.h"
#include "link/RSComm.h"
#include "link/SerialPortControl.h"
#include "shared/DataTransfer.h"
#include "shared/MachineData.h"
#include "SimProcess.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMap>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <deque>
#include <random>

using namespace talvek;
using namespace talvek::bench;

namespace {

// The serial port: every byte goes to the board at once and its reply waits
// on the fake clock; the line's faults sit in between.
class SoakLine final : public SerialPortControl
{
public:
    SoakLine(K7700Sim& sim, FakeClock& clock, K7700LineFaults& faults)
        : m_sim(sim)
        , m_clock(clock)
        , m_faults(faults)
    {
    }
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
            if (reply.isEmpty())
                continue;
            // One line: a reply never overtakes the one before it.
            qint64 due = m_clock.nowMs() + std::max(reply.delayMs, 0);
            if (!m_pending.empty())
                due = std::max(due, m_pending.back().first);
            m_pending.emplace_back(due, reply.bytes);
            if (doubled)
                m_pending.emplace_back(due, reply.bytes);
        }
        deliver();
    }

private:
    void deliver()
    {
        while (!m_pending.empty() && m_pending.front().first <= m_clock.nowMs()) {
            if (m_open)
                for (const char b : m_pending.front().second)
                    m_input.push_back(quint8(b));
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
    std::deque<std::pair<qint64, QByteArray>> m_pending;
};

// The operator: Retry to every communication failure, Yes to the download's
// questions, OK to the rest; keeps the last message.
class SoakOperator final : public Prompter
{
public:
    MsgResult msgBox(const QString& text, const QString& title, MsgIcon, MsgButtons buttons, MsgDefault) override
    {
        last = title + QLatin1Char('|') + text;
        switch (buttons) {
        case MsgButtons::RetryCancel:
            // As an operator would: Retry, but not for ever in one operation.
            if (++retriesInOperation <= MaxRetries)
                return MsgResult::Retry;
            ++cancels;
            ++cancelsByText[operation + QStringLiteral(": ") + text.section(QLatin1Char('\r'), 0, 0)];
            return MsgResult::Cancel;
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel: return MsgResult::Yes;
        default: return MsgResult::OK;
        }
    }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override { return {}; }
    std::optional<QString> openFileName(const FileDialogRequest&) override { return {}; }
    std::optional<QString> saveFileName(const FileDialogRequest&) override { return {}; }
    std::optional<PrinterSettings> printerDialog(const PrinterSettings&) override { return {}; }
    bool showHelp(const QString&) override { return false; }
    QString last;
    static constexpr int MaxRetries = 10;
    int retriesInOperation = 0;
    qint64 cancels = 0; // operations the link did not bring back by itself
    QMap<QString, qint64> cancelsByText;
    QString operation; // what the run is doing
};

long residentKiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLong() * 4 : -1;
}

// The board the run checks against, and the line's fault count.
class Board
{
public:
    virtual ~Board() = default;
    // The value at an address ("W1026", "D1100", "B1018.0").
    virtual qint64 value(const QString& address) = 0;
    virtual void set(const QString& address, qint64 value) = 0;
    virtual K7700Sim::PLSChannel channel(int n) = 0;
    // Ends a drop-out: the link reopens the port.
    virtual void restore() = 0;
    virtual qint64 faultsInjected() = 0;
    virtual qint64 bytesHeard() = 0;
};

class LocalBoard final : public Board
{
public:
    LocalBoard(K7700Sim& sim, K7700LineFaults& faults)
        : m_sim(sim)
        , m_faults(faults)
    {
    }
    qint64 value(const QString& address) override { return m_sim.valueAt(address).value_or(-1); }
    void set(const QString& address, qint64 v) override
    {
        const int n = address.mid(1).toInt();
        if (address.startsWith(QLatin1Char('W')))
            m_sim.setWord(n, quint16(v));
        else if (address.startsWith(QLatin1Char('D')))
            m_sim.setD(n, v);
        else
            m_sim.setByte(n, std::uint8_t(v));
    }
    K7700Sim::PLSChannel channel(int n) override { return m_sim.plsChannel(n); }
    void restore() override { m_faults.restore(); }
    qint64 faultsInjected() override { return m_faults.injected(); }
    qint64 bytesHeard() override { return m_faults.bytes(); }

private:
    K7700Sim& m_sim;
    K7700LineFaults& m_faults;
};

// k7700-sim in its own process, asked through its command input.
class RemoteBoard final : public Board
{
public:
    explicit RemoteBoard(SimProcess& sim)
        : m_sim(sim)
    {
    }
    qint64 value(const QString& address) override
    {
        return m_sim.ask(QStringLiteral("get ") + address).section(QLatin1Char('='), 1).toLongLong();
    }
    void set(const QString& address, qint64 v) override
    {
        m_sim.ask(QStringLiteral("set %1 %2").arg(address).arg(v));
    }
    K7700Sim::PLSChannel channel(int n) override
    {
        const QStringList w = m_sim.ask(QStringLiteral("pls %1").arg(n)).split(QLatin1Char(' '));
        K7700Sim::PLSChannel c;
        if (w.size() == 3) {
            c.kind = w.at(0) == QLatin1String("setpoints") ? K7700Sim::PLSChannel::Kind::Setpoints
                : w.at(0) == QLatin1String("pulsetrain")   ? K7700Sim::PLSChannel::Kind::PulseTrain
                                                           : K7700Sim::PLSChannel::Kind::Empty;
            c.on = quint16(w.at(1).toUInt());
            c.off = quint16(w.at(2).toUInt());
        }
        return c;
    }
    void restore() override { m_sim.ask(QStringLiteral("restore")); }
    qint64 faultsInjected() override { return fault(QLatin1String("injected=")); }
    qint64 bytesHeard() override { return fault(QLatin1String("bytes=")); }

private:
    qint64 fault(QLatin1String key)
    {
        for (const QString& part : m_sim.ask(QStringLiteral("faults")).split(QLatin1Char(' ')))
            if (part.startsWith(key))
                return part.mid(key.size()).toLongLong();
        return -1;
    }
    SimProcess& m_sim;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QStringList args = app.arguments().mid(1);
    int baud = 0;
    if (const qsizetype p = args.indexOf(QStringLiteral("--paced")); p >= 0) {
        baud = 9600;
        if (p + 1 < args.size() && (args.at(p + 1) == QLatin1String("9600") || args.at(p + 1) == QLatin1String("19200")))
            baud = args.takeAt(p + 1).toInt();
        args.removeAt(p);
    }
    const double minutes = args.size() > 0 ? args.at(0).toDouble() : 10.0;
    const unsigned seed = args.size() > 1 ? args.at(1).toUInt() : 20261207u;
    const double faultRate = 0.002;
    std::mt19937 random(seed);

    QTemporaryDir dir;
    SoakOperator op;
    ProgramFolder folder(dir.path());
    InitMachineData();

    // The board and the line: in this process on the fake clock, or k7700-sim.
    FakeClock fakeClock;
    SteadyClock steadyClock;
    K7700Sim sim;
    K7700LineFaults faults(sim, seed, faultRate);
    SoakLine localLine(sim, fakeClock, faults);
    LocalBoard localBoard(sim, faults);
    SimProcess simProcess;
    std::unique_ptr<RemoteBoard> remoteBoard;
    std::unique_ptr<QtSerialPortControl> serialPort;
    if (baud > 0) {
        QString bin = qEnvironmentVariable("TALVEK_SIM_BIN");
        if (bin.isEmpty())
            bin = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/k7700-sim");
        if (!QFileInfo(bin).isExecutable()) {
            std::fprintf(stderr, "k7700-sim not found at %s\n", qPrintable(bin));
            return 2;
        }
        const QStringList extra { QStringLiteral("--baud"), QString::number(baud), QStringLiteral("--fault-rate"),
            QString::number(faultRate), QStringLiteral("--seed"), QString::number(seed) };
        if (!writeSettings(dir.path(), 1, baud) || !simProcess.start(bin, dir.path(), 1, extra)) {
            std::fprintf(stderr, "k7700-sim did not start\n");
            return 2;
        }
        remoteBoard = std::make_unique<RemoteBoard>(simProcess);
        serialPort = std::make_unique<QtSerialPortControl>(folder);
    }
    Board& board = baud > 0 ? static_cast<Board&>(*remoteBoard) : localBoard;
    SerialPortControl& line = baud > 0 ? static_cast<SerialPortControl&>(*serialPort) : localLine;
    Clock& clock = baud > 0 ? static_cast<Clock&>(steadyClock) : fakeClock;
    RSComm rs(folder, clock, op);

    // A small program for the board 'D' (two data records).
    const auto put = [&](const char* name, const QByteArray& data) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        f.open(QIODevice::WriteOnly);
        f.write(data);
    };
    put("P.nvk", "D");
    put("P.rev", "SOAK 10312");
    put("P.hex", ":10010000214601360121470136007EFE09D2190140\r\n:040110001122334441\r\n:00000001FF\r\n");
    rs.setDownloadFile(dir.filePath(QStringLiteral("P.nvk")));
    if (!rs.ValidProgram()) {
        std::fprintf(stderr, "the soak program file set does not validate\n");
        return 2;
    }
    const QByteArray image = QByteArray::fromHex("214601360121470136007EFE09D21901") + QByteArray::fromHex("11223344");

    qint64 operations = 0, failures = 0, wrong = 0, faultsRecovered = 0, shiftEnds = 0;
    qint64 faultsBefore = 0;
    const auto verdict = [&](bool reportedGood, bool actuallyTrue) {
        ++operations;
        if (!reportedGood)
            ++failures;
        else if (!actuallyTrue) {
            ++wrong;
            std::printf("  wrong success: %s\n", qPrintable(op.operation));
        }
        const qint64 injected = board.faultsInjected();
        if (reportedGood == false || actuallyTrue)
            faultsRecovered += injected - faultsBefore;
        faultsBefore = injected;
        op.retriesInOperation = 0;
    };

    const auto start = std::chrono::steady_clock::now();
    const auto elapsedMin = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 60.0;
    };
    long rssStart = -1;
    for (qint64 cycle = 0; elapsedMin() < minutes; ++cycle) {
        if (rssStart < 0 && elapsedMin() > std::min(1.0, minutes / 10))
            rssStart = residentKiB();
        if (!rs.OnlineMode || rs.CommError) {
            board.restore();
            rs.CloseRSComm();
            op.operation = QStringLiteral("going online");
            rs.OpenRSComm(&line);
            faultsBefore = board.faultsInjected();
            op.retriesInOperation = 0;
            if (!rs.OnlineMode)
                continue;
        }
        const int step = int(cycle % 8);
        static const char* const kOperations[] { "read", "read", "write", "write", "upload all",
            "set-up download", "PLS setpoint", "program download" };
        op.operation = QLatin1String(kOperations[step]);

        const quint32 x = random();
        if (step <= 1) {
            const QString add = step == 0 ? QStringLiteral("W1026") : QStringLiteral("D1100");
            if (step == 0)
                board.set(add, quint16(x));
            else
                board.set(add, qint64(x % 655360000));
            const Result<QString> v = rs.RSRead(add);
            verdict(v.ok(), v && v->toLongLong() == board.value(add));
        } else if (step <= 3) {
            const QString add = step == 2 ? QStringLiteral("W1028") : QStringLiteral("D1200");
            const qint64 v = step == 2 ? qint64(x % 65536) : qint64(x % 655360000);
            const bool ok = rs.RSWrite(add, QString::number(v), RSComm::WriteFailure::Quiet).ok();
            verdict(ok, board.value(add) == v);
        } else if (step == 4) {
            MachineData record = CurrentData;
            for (qint32& v : record.ParamValue)
                v = -1;
            DataTransfer t(rs, record);
            const qint64 shiftBefore = board.value(QStringLiteral("D1200"));
            const bool whole = t.Run(TransferAll, ParamCount).ok();
            // A shift that ended while the rows were read moves the board's
            // shift rows (current to last, current to 0) after they were read.
            const bool shiftEnded = board.value(QStringLiteral("D1200")) != shiftBefore;
            if (shiftEnded)
                ++shiftEnds;
            const int firstChecked = shiftEnded ? SetupParamFirstRow : 0;
            bool stored = true;
            for (int row = firstChecked; row <= ParamCount; ++row) {
                const qint32 v = record.ParamValue.at(row);
                if (v != -1 && v != board.value(record.ParamAddress.at(row)))
                    stored = false; // a value stored that the board does not hold
            }
            bool complete = true;
            for (int row = firstChecked; row <= ParamCount && whole; ++row)
                complete = complete && record.ParamValue.at(row) == board.value(record.ParamAddress.at(row));
            verdict(whole, stored && complete);
            if (!whole && !stored) {
                ++wrong; // a failed upload must still store nothing false
                std::printf("  wrong value stored by a failed upload\n");
            }
        } else if (step == 5) {
            MachineData record = CurrentData;
            for (int row = SetupParamFirstRow; row <= SetupParamLastRow; ++row) {
                const QString& a = record.ParamAddress.at(row);
                record.ParamValue[row] = a.contains(QLatin1Char('.')) ? int(x >> row) & 1
                    : a.startsWith(QLatin1Char('B'))                  ? int((x >> row) % 256)
                                                                      : int((x >> row) % 65536);
            }
            DataTransfer t(rs, record);
            const bool whole = t.Run(TransferSetupParameters + TransferDownloadOffset, ParamCount).ok();
            bool held = true;
            for (int row = SetupParamFirstRow; row <= SetupParamLastRow; ++row)
                held = held && record.ParamValue.at(row) == board.value(record.ParamAddress.at(row));
            verdict(whole, held);
        } else if (step == 6) {
            const int chan = int(x % 16);
            const int on = int(x % 360);
            const int off = (on + 1 + int((x >> 9) % 358)) % 360;
            const bool ok = rs.SingleSetpoint(qint16(chan), qint16(on), qint16(off), false).ok();
            const K7700Sim::PLSChannel c = board.channel(chan);
            verdict(ok, c.kind == K7700Sim::PLSChannel::Kind::Setpoints && c.on == on && c.off == off);
        } else if (cycle % 64 == 7) {
            for (int a = 0x0100; a < 0x0114; ++a)
                board.set(QStringLiteral("B%1").arg(a), 0);
            op.last.clear();
            const bool loaded = rs.DumpProgram().ok();
            bool held = true;
            for (int i = 0; i < image.size(); ++i)
                held = held && board.value(QStringLiteral("B%1").arg(0x0100 + i)) == quint8(image.at(i));
            verdict(loaded, held);
        }
    }
    const long rssEnd = residentKiB();
    rs.CloseRSComm();

    std::printf("soak: %.1f min, %s, seed %u, fault rate %.1f%% of bytes\n", elapsedMin(),
        baud > 0 ? qPrintable(QStringLiteral("k7700-sim paced at %1 baud").arg(baud))
                 : "in-process simulator on the fake clock",
        seed, faultRate * 100);
    std::printf("  exchanges                    %lld\n", (long long)board.bytesHeard());
    std::printf("  operations                   %lld\n", (long long)operations);
    std::printf("  faults injected              %lld\n", (long long)board.faultsInjected());
    std::printf("  faults recovered as specified %lld\n", (long long)faultsRecovered);
    std::printf("  failures reported            %lld\n", (long long)failures);
    std::printf("  successes reported wrongly   %lld\n", (long long)wrong);
    std::printf("  operator Cancels             %lld (after %d Retries in one operation)\n", (long long)op.cancels,
        SoakOperator::MaxRetries);
    for (auto it = op.cancelsByText.cbegin(); it != op.cancelsByText.cend(); ++it)
        std::printf("    %6lld  %s\n", (long long)it.value(), qPrintable(it.key()));
    std::printf("  shifts ended during an upload %lld (the board's own end of shift; shift rows not checked)\n",
        (long long)shiftEnds);
    std::printf("  resident memory              %ld KiB after warm-up, %ld KiB at the end\n", rssStart, rssEnd);
    return wrong == 0 ? 0 : 1;
}
