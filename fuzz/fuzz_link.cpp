// The link's receive path with a line that misbehaves as the input says.
//
// The controller is the in-process simulator on the fake clock; between it and
// the link sits a port that, byte by byte as the input's tail dictates, loses
// the byte, corrupts or doubles the reply, adds noise, answers late or drops
// out for a while. The input's head is a list of operations: reads, writes,
// set-up parameter uploads and downloads, PLS setpoints and channel recalls.
//
// The faults are the line-fault catalogue's (K7700LineFaults.h), with its
// reasons for leaving two out; lost bytes and drop-outs, with the
// resynchronisations they cause, are in, and a doubled reply is doubled near
// a data reply too (SimPort delivers the copy at once).
//
// What must hold: an operation reported as a success did what it says (the
// value read is the controller's, the value written is in the controller, a
// setpoint programmed is in the PLS), and a failed read stores nothing.
#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "FuzzCheck.h"
#include "K7700LineFaults.h"
#include "K7700Sim.h"
#include "link/ForwardingPort.h"
#include "link/RSComm.h"
#include "ScriptedPrompter.h"
#include "shared/DataTransfer.h"
#include "shared/MachineData.h"

#include <array>
#include "SimPort.h"

#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

using namespace talvek;

namespace {

// The input read from both ends: operations from the front, line faults from the back.
class Script
{
public:
    Script(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_end(size)
    {
    }
    bool opsLeft() const { return m_front < m_end; }
    int op() { return m_front < m_end ? m_data[m_front++] : 0; }
    int fault() { return m_end > m_front ? m_data[--m_end] : 0; }

private:
    const std::uint8_t* m_data;
    std::size_t m_front = 0;
    std::size_t m_end;
};

// The input's fault bytes, named from the line-fault catalogue: 224..255 by
// their remainder modulo 8 (the table below), 216..220 the aimed faults; any
// other byte is no fault. The detail picks the noise byte, the delay or the
// drop-out's length.
struct ByteFault
{
    LineFault fault;
    std::uint32_t (*detail)(int f);
};

constexpr std::array<ByteFault, 8> kByteFaults { {
    { LineFault::LostByte, [](int) { return 0u; } },
    { LineFault::SpoiltReply, [](int) { return 0u; } },
    { LineFault::SpoiltReply, [](int) { return 0u; } },
    { LineFault::NoiseBeforeReply, [](int f) { return std::uint32_t(f * 7); } },
    // inside the link's first wait
    { LineFault::LateReply, [](int f) { return std::uint32_t(300 + (f % 3) * 250); } },
    { LineFault::DoubledReply, [](int) { return 0u; } },
    { LineFault::DropOut, [](int f) { return std::uint32_t(std::min(f % 5, 3)); } },
    { LineFault::LateReply, [](int) { return 200u; } }, // 300 ms
} };

std::optional<std::pair<LineFault, std::uint32_t>> faultOf(int f)
{
    if (f >= 216 && f <= 220)
        return std::pair { LineFault(int(LineFault::LostAddressHigh) + f - 216), 0u };
    if (f < 224)
        return std::nullopt;
    const ByteFault& entry = kByteFaults[size_t(f % 8)];
    return std::pair { entry.fault, entry.detail(f) };
}

// What one step of the input does on the link.
enum class Operation
{
    Read, // RSRead of one address
    Write, // RSWrite of one address
    Upload, // the set-up parameters' upload
    Download, // the set-up parameters' download
    Setpoint, // a PLS channel's setpoints
    Recall, // a PLS channel's recall
};
constexpr int kOperationCount = 6;

// The line between the link and the board.
class FaultyLine final : public ForwardingPort
{
public:
    FaultyLine(test::SimPort& inner, Script& script)
        : ForwardingPort(inner)
        , m_inner(inner)
        , m_script(script)
        , m_faults(inner.sim(), 0, 0.0)
    {
    }

    void write(const QByteArray& bytes) override
    {
        for (const char c : bytes) {
            const auto fault = faultOf(m_script.fault());
            const bool doubled = m_faults.beforeByte(
                quint8(c), fault ? std::optional(fault->first) : std::nullopt, fault ? fault->second : 0);
            m_inner.write(QByteArray(1, c));
            if (doubled)
                m_inner.repeatLastReply();
        }
    }
    void restore() { m_faults.restore(); }

private:
    test::SimPort& m_inner;
    Script& m_script;
    K7700LineFaults m_faults;
};

struct Address
{
    const char* text;
    char type; // B, W, D, or b for a bit
};
constexpr std::array<Address, 8> addresses { {
    { "B40", 'B' },
    { "W1026", 'W' },
    { "W180", 'W' },
    { "D1100", 'D' },
    { "B1018.0", 'b' },
    { "B4050", 'B' },
    { "F15", 'b' },
    { "W65278", 'W' }, // the last word below FF00H, where the board can no longer be reached
} };

qint64 truth(const K7700Sim& sim, const QString& address)
{
    return sim.valueAt(address).value_or(-1);
}

qint64 truth(const K7700Sim& sim, const Address& a)
{
    return truth(sim, QString::fromLatin1(a.text));
}

qint64 valueFor(const Address& a, int x, int y)
{
    switch (a.type) {
    case 'B': return x;
    case 'W': return x * 256 + y;
    case 'D': return (qint64(x) * 256 + y) * 9973 % 655360000;
    default: return x & 1;
    }
}

MachineData setupRecord(qint32 fill)
{
    MachineData r;
    for (const ParamRowDefault& row : kParamRowDefaults) {
        r.ParamAddress.append(QString::fromLatin1(row.address));
        r.ParamValue.append(fill);
    }
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 512)
        return 0;
    static QTemporaryDir dir;
    Script script(data, size);
    K7700Sim sim;
    FakeClock clock;
    test::ScriptedPrompter prompter;
    ProgramFolder folder(dir.path());
    test::SimPort simPort(sim, clock);
    FaultyLine line(simPort, script);
    RSComm rs(folder, clock, prompter);

    for (int a = 0; a < 4096; ++a)
        sim.setByte(1000 + a, std::uint8_t(a * 37 + 11));
    sim.setPLSScaleFactor(360);

    for (int ops = 0; ops < 24 && script.opsLeft(); ++ops) {
        const int op = script.op();
        const int x = script.op();
        const int y = script.op();
        if (!rs.OnlineMode || rs.CommError) {
            line.restore();
            rs.CloseRSComm();
            rs.OpenRSComm(&line);
            if (!rs.OnlineMode)
                continue;
        }
        const Address& a = addresses[x % addresses.size()];
        switch (Operation(op % kOperationCount)) {
        case Operation::Read: {
            const Result<QString> value = rs.RSRead(QString::fromLatin1(a.text));
            if (value)
                FUZZ_CHECK(value->toLongLong() == truth(sim, a), "a read reported good is not the controller's value");
            break;
        }
        case Operation::Write: {
            const qint64 v = valueFor(a, y, x);
            const Status written = rs.RSWrite(QString::fromLatin1(a.text), QString::number(v), RSComm::WriteFailure::Quiet);
            if (written)
                FUZZ_CHECK(truth(sim, a) == v, "a write reported good is not in the controller");
            else if (written.cause() == Cause::NotHeld && written.error().held)
                FUZZ_CHECK(truth(sim, a) == *written.error().held, "a write not held names another value than the controller's");
            break;
        }
        case Operation::Upload: {
            MachineData record = setupRecord(-1);
            DataTransfer transfer(rs, record);
            const bool whole = transfer.run(kTransferSetupParameters, 17).ok();
            for (int row = kSetupParamFirstRow; row <= kSetupParamLastRow; ++row) {
                const qint32 v = record.ParamValue.at(row);
                if (v != -1 || whole)
                    FUZZ_CHECK(v == truth(sim, record.ParamAddress.at(row)),
                        "an uploaded row holds something else than the controller's value");
            }
            for (int row = 0; row < kSetupParamFirstRow; ++row)
                FUZZ_CHECK(record.ParamValue.at(row) == -1, "the set-up upload touched a shift row");
            break;
        }
        case Operation::Download: {
            MachineData record = setupRecord(0);
            for (int row = kSetupParamFirstRow; row <= kSetupParamLastRow; ++row) {
                const QString& add = record.ParamAddress.at(row);
                record.ParamValue[row] = add.contains(QLatin1Char('.')) ? (x + row) & 1
                    : add.startsWith(QLatin1Char('B'))                  ? (x * row + y) % 256
                                                                        : (x * 256 + y + row) % 65536;
            }
            DataTransfer transfer(rs, record);
            if (transfer.run(kTransferSetupParameters + kTransferDownloadOffset, 17))
                for (int row = kSetupParamFirstRow; row <= kSetupParamLastRow; ++row)
                    FUZZ_CHECK(record.ParamValue.at(row) == truth(sim, record.ParamAddress.at(row)),
                        "a download reported whole left a row unwritten");
            break;
        }
        case Operation::Setpoint: {
            const int chan = x % 16;
            const int on = (x * 7 + y) % 360;
            const int off = (on + 1 + y % 358) % 360;
            if (rs.SingleSetpoint(qint16(chan), qint16(on), qint16(off), false)) {
                const K7700Sim::PLSChannel c = sim.plsChannel(chan);
                FUZZ_CHECK(c.kind == K7700Sim::PLSChannel::Kind::Setpoints && c.on == on && c.off == off,
                    "a setpoint reported programmed is not in the PLS");
            }
            break;
        }
        case Operation::Recall: {
            const int chan = x % 16;
            if (rs.RecallChannel(qint16(chan))) {
                const K7700Sim::PLSChannel c = sim.plsChannel(chan);
                if (c.kind == K7700Sim::PLSChannel::Kind::Setpoints)
                    FUZZ_CHECK(rs.ChannelRecallPos == c.on || rs.ChannelRecallPos == c.off,
                        "a channel recall reported good gave a position the channel does not hold");
            }
            break;
        }
        }
    }
    line.restore();
    rs.CloseRSComm();
    return 0;
}
