// Soak run: the link for a long time on a line that fails now and then.
//
// The controller is the simulator model in-process, on the fake clock, so
// the link's 1 s / 2 s / 3 s waits cost no real time and a run covers many
// more exchanges than the wire would carry in the same minutes. Between the
// link and the board sits a line that, at a low random rate, loses a byte,
// spoils an echo, adds a noise byte, doubles a reply, answers late (inside
// the link's first wait) or drops out for a few bytes. The operator answers
// every Retry/Cancel with Retry.
//
// Two faults are left out because no byte protocol without a checksum can
// see them: a data byte spoilt on its way back (reads have no echo of their
// data), and a reply so late that the link has resynchronised and moved on
// before it lands, as the answer to a later byte. Lost bytes, drop-outs and
// the resynchronisations they cause are in.
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
// Usage: bench_soak [minutes, default 10] [seed]
#include "Clock.h"
#include "DataTransfer.h"
#include "K7700Sim.h"
#include "MachineData.h"
#include "ProgramFolder.h"
#include "Prompter.h"
#include "RSComm.h"
#include "SerialPortControl.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <deque>
#include <random>

using namespace talvek;

namespace {

// The serial port: every byte goes to the board at once and its reply waits
// on the fake clock; the line's faults sit in between.
class SoakLine final : public SerialPortControl
{
public:
    SoakLine(K7700Sim& sim, FakeClock& clock, std::mt19937& random, double faultRate)
        : m_sim(sim)
        , m_clock(clock)
        , m_random(random)
        , m_faultRate(faultRate)
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
            ++exchanges;
            if (m_dropOutLeft > 0 && --m_dropOutLeft == 0)
                m_sim.setDroppedOut(false);
            bool doubled = false;
            // A data byte has no echo: a spoilt one cannot be told from a
            // good one by any link, so only checkable replies are spoilt.
            const bool dataReply = (m_sim.mode() == K7700Sim::Mode::Read && m_sim.step() == 1)
                || m_sim.mode() == K7700Sim::Mode::PLS || m_sim.mode() == K7700Sim::Mode::PLSReady
                || m_sim.mode() == K7700Sim::Mode::Program;
            if (m_chance(m_random) < m_faultRate) {
                const int kind = int(m_random() % 6);
                if (!(dataReply && (kind == 1 || kind == 2)) && !(kind == 5 && m_sim.droppedOut())) {
                    ++faultsInjected;
                    ++faultsInOperation;
                    switch (kind) {
                    case 0: m_sim.silenceNext(1); break;
                    case 1: m_sim.corruptNextReply(); break;
                    case 2: m_sim.insertNoiseBeforeNextReply(std::uint8_t(m_random())); break;
                    case 3: doubled = true; break;
                    case 4: m_sim.delayNextReply(100 + int(m_random() % 850)); break;
                    case 5:
                        m_sim.setDroppedOut(true);
                        m_dropOutLeft = 1 + int(m_random() % 4);
                        break;
                    }
                }
            }
            const K7700Sim::Reply reply = m_sim.receive(quint8(c));

            if (!reply.isEmpty()) {
                const qint64 due = m_clock.nowMs() + std::max(reply.delayMs, 0);
                m_pending.emplace_back(due, reply.bytes);
                if (doubled)
                    m_pending.emplace_back(due, reply.bytes);
                std::stable_sort(m_pending.begin(), m_pending.end(),
                    [](const auto& a, const auto& b) { return a.first < b.first; });
            }
        }
        deliver();
    }

    qint64 exchanges = 0;
    qint64 faultsInjected = 0;
    int faultsInOperation = 0;

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
    std::mt19937& m_random;
    std::uniform_real_distribution<double> m_chance { 0.0, 1.0 };
    double m_faultRate;
    int m_commPort = 1;
    QString m_settings;
    bool m_open = false;
    std::deque<quint8> m_input;
    std::deque<std::pair<qint64, QByteArray>> m_pending;
    int m_dropOutLeft = 0;
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
        case MsgButtons::RetryCancel: return MsgResult::Retry;
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
};

long residentKiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLong() * 4 : -1;
}

qint64 wordAt(const K7700Sim& sim, const QString& address)
{
    const int dot = address.indexOf(QLatin1Char('.'));
    const int n = address.mid(1, dot < 0 ? -1 : dot - 1).toInt();
    if (dot >= 0)
        return (sim.byte(n) >> address.mid(dot + 1).toInt()) & 1;
    if (address.startsWith(QLatin1Char('W')))
        return sim.word(n);
    if (address.startsWith(QLatin1Char('D')))
        return sim.getD(n);
    return sim.byte(n);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const double minutes = argc > 1 ? QByteArray(argv[1]).toDouble() : 10.0;
    const unsigned seed = argc > 2 ? unsigned(QByteArray(argv[2]).toUInt()) : 20261207u;
    std::mt19937 random(seed);

    QTemporaryDir dir;
    FakeClock clock;
    K7700Sim sim;
    SoakLine line(sim, clock, random, 0.002);
    SoakOperator op;
    ProgramFolder folder(dir.path());
    RSComm rs(folder, clock, op);
    InitMachineData();

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
    const auto verdict = [&](bool reportedGood, bool actuallyTrue) {
        ++operations;
        if (!reportedGood)
            ++failures;
        else if (!actuallyTrue)
            ++wrong;
        if (reportedGood == false || actuallyTrue)
            faultsRecovered += line.faultsInOperation;
        line.faultsInOperation = 0;
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
            sim.setDroppedOut(false);
            rs.CloseRSComm();
            rs.OpenRSComm(&line);
            line.faultsInOperation = 0;
            if (!rs.OnlineMode)
                continue;
        }
        const int step = int(cycle % 8);

        const quint32 x = random();
        if (step <= 1) {
            const QString add = step == 0 ? QStringLiteral("W1026") : QStringLiteral("D1100");
            sim.setWord(1026, quint16(x));
            sim.setD(1100, qint64(x % 655360000));
            const QString v = rs.RSRead(add);
            verdict(!rs.CommError && !rs.lastReadFailed(), v.toLongLong() == wordAt(sim, add));
        } else if (step <= 3) {
            const QString add = step == 2 ? QStringLiteral("W1028") : QStringLiteral("D1200");
            const qint64 v = step == 2 ? qint64(x % 65536) : qint64(x % 655360000);
            const bool ok = rs.RSWrite(add, QString::number(v), RSComm::WriteFailure::Quiet);
            verdict(ok, wordAt(sim, add) == v);
        } else if (step == 4) {
            MachineData record = CurrentData;
            for (qint32& v : record.ParamValue)
                v = -1;
            DataTransfer t(rs, record);
            const qint64 shiftBefore = sim.getD(1200);
            t.Run(TransferAll, ParamCount);
            // A shift that ended while the rows were read moves the board's
            // shift rows (current to last, current to 0) after they were read.
            const bool shiftEnded = sim.getD(1200) != shiftBefore;
            if (shiftEnded)
                ++shiftEnds;
            bool stored = true;
            const int firstChecked = shiftEnded ? SetupParamFirstRow : 0;
            for (int row = firstChecked; row <= ParamCount; ++row) {
                const qint32 v = record.ParamValue.at(row);
                if (v != -1 && v != wordAt(sim, record.ParamAddress.at(row)))
                    stored = false; // a value stored that the board does not hold
            }
            const bool whole = !t.rowFailed() && !t.timingAborted() && !rs.CommError;
            bool complete = true;
            for (int row = firstChecked; row <= ParamCount && whole; ++row)
                complete = complete && record.ParamValue.at(row) == wordAt(sim, record.ParamAddress.at(row));
            verdict(whole, stored && complete);
            if (!whole && !stored)
                ++wrong; // a failed upload must still store nothing false
        } else if (step == 5) {
            MachineData record = CurrentData;
            for (int row = SetupParamFirstRow; row <= SetupParamLastRow; ++row) {
                const QString& a = record.ParamAddress.at(row);
                record.ParamValue[row] = a.contains(QLatin1Char('.')) ? int(x >> row) & 1
                    : a.startsWith(QLatin1Char('B'))                  ? int((x >> row) % 256)
                                                                      : int((x >> row) % 65536);
            }
            DataTransfer t(rs, record);
            t.Run(TransferSetupParameters + TransferDownloadOffset, ParamCount);
            bool held = true;
            for (int row = SetupParamFirstRow; row <= SetupParamLastRow; ++row)
                held = held && record.ParamValue.at(row) == wordAt(sim, record.ParamAddress.at(row));
            verdict(!t.rowFailed() && !t.timingAborted() && !rs.CommError, held);
        } else if (step == 6) {
            const int chan = int(x % 16);
            const int on = int(x % 360);
            const int off = (on + 1 + int((x >> 9) % 358)) % 360;
            const bool ok = rs.SingleSetpoint(qint16(chan), qint16(on), qint16(off), false);
            const K7700Sim::PLSChannel c = sim.plsChannel(chan);
            verdict(ok, c.kind == K7700Sim::PLSChannel::Kind::Setpoints && c.on == on && c.off == off);
        } else if (cycle % 64 == 7) {
            for (int a = 0x0100; a < 0x0114; ++a)
                sim.setByte(a, 0);
            op.last.clear();
            rs.DumpProgram();
            bool held = true;
            for (int i = 0; i < image.size(); ++i)
                held = held && sim.byte(0x0100 + i) == quint8(image.at(i));
            verdict(op.last == QLatin1String("Program Download|Program Download Complete!"), held);
        }

    }
    const long rssEnd = residentKiB();

    std::printf("soak: %.1f min, seed %u, fault rate 0.2%% of bytes\n", elapsedMin(), seed);
    std::printf("  exchanges                    %lld\n", (long long)line.exchanges);
    std::printf("  operations                   %lld\n", (long long)operations);
    std::printf("  faults injected              %lld\n", (long long)line.faultsInjected);
    std::printf("  faults recovered as specified %lld\n", (long long)faultsRecovered);
    std::printf("  failures reported            %lld\n", (long long)failures);
    std::printf("  successes reported wrongly   %lld\n", (long long)wrong);
    std::printf("  shifts ended during an upload %lld (the board's own end of shift; shift rows not checked)\n",
        (long long)shiftEnds);
    std::printf("  resident memory              %ld KiB after warm-up, %ld KiB at the end\n", rssStart, rssEnd);
    return wrong == 0 ? 0 : 1;
}
