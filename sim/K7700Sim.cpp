#include "K7700Sim.h"

#include <algorithm>

namespace talvek {

namespace {

QByteArray one(std::uint8_t b)
{
    return QByteArray(1, static_cast<char>(b));
}

} // namespace

K7700Sim::K7700Sim()
{
    powerUpPLS();
}

void K7700Sim::resetProtocol()
{
    m_mode = Mode::Idle;
    m_step = 0;
    m_address = 0;
}

// ---- protocol ----

K7700Sim::Reply K7700Sim::receive(std::uint8_t byte)
{
    ++m_received;
    if (m_dropOutAfter == 0)
        m_droppedOut = true;
    if (m_dropOutAfter >= 0)
        --m_dropOutAfter;
    if (m_droppedOut)
        return {};
    if (m_silenceAfter > 0) {
        --m_silenceAfter;
    } else if (m_silence > 0) {
        --m_silence;
        return {};
    }
    Reply reply = process(byte);
    if (!reply.isEmpty())
        applyFaults(reply);
    return reply;
}

K7700Sim::Reply K7700Sim::process(std::uint8_t byte)
{
    if (byte == Attention && atRecordStart()) {
        m_mode = Mode::Command;
        m_step = 0;
        return { one(Ack) };
    }
    switch (m_mode) {
    case Mode::Idle:
        return onIdle(byte);
    case Mode::Command:
        return onCommand(byte);
    case Mode::Read:
        return onRead(byte);
    case Mode::Write:
        return onWrite(byte);
    case Mode::PLS:
        return onPLS(byte);
    case Mode::PLSReady:
        return onPLSReady(byte);
    case Mode::Program:
        return onProgram(byte);
    }
    return {};
}

K7700Sim::Reply K7700Sim::onCommand(std::uint8_t byte)
{
    m_step = 0;
    switch (byte) {
    case CommandRead:
        m_mode = Mode::Read;
        return { one(Ack) };
    case CommandWrite:
        m_mode = Mode::Write;
        return { one(Ack) };
    case CommandProgram:
        m_mode = Mode::Program;
        return { one(Ack) };
    default:
        if (isPLSCommand(byte))
            return startPLSCommand(byte);
        // Unknown command: not answered; wait for a new attention.
        m_mode = Mode::Idle;
        return {};
    }
}

K7700Sim::Reply K7700Sim::onRead(std::uint8_t byte)
{
    if (m_step == 0) {
        m_address = byte << 8;
        m_step = 1;
        return { one(byte) };
    }
    m_address |= byte;
    m_step = 0;
    return { one(m_memory[m_address]) };
}

K7700Sim::Reply K7700Sim::onWrite(std::uint8_t byte)
{
    switch (m_step) {
    case 0:
        m_address = byte << 8;
        m_step = 1;
        break;
    case 1:
        m_address |= byte;
        m_step = 2;
        break;
    default:
        store(m_address, byte);
        m_step = 0;
        break;
    }
    return { one(byte) };
}

void K7700Sim::applyFaults(Reply& reply)
{
    if (m_corruptAt.removeOne(m_received))
        reply.bytes[0] = static_cast<char>(~static_cast<std::uint8_t>(reply.bytes.at(0)));
    if (m_corrupt) {
        const auto right = static_cast<std::uint8_t>(reply.bytes.at(0));
        reply.bytes[0] = static_cast<char>(m_corruptValue.value_or(static_cast<std::uint8_t>(~right)));
        m_corrupt = false;
        m_corruptValue.reset();
    }
    for (qsizetype i = 0; i < m_noiseAt.size(); ++i) {
        if (m_noiseAt.at(i).first == m_received) {
            reply.bytes.prepend(static_cast<char>(m_noiseAt.at(i).second));
            m_noiseAt.removeAt(i);
            break;
        }
    }
    if (m_noise) {
        reply.bytes.prepend(static_cast<char>(*m_noise));
        m_noise.reset();
    }
    if (m_lateMs > 0 && m_lateAfter > 0) {
        --m_lateAfter;
    } else if (m_lateMs > 0) {
        reply.delayMs = m_lateMs;
        m_lateMs = 0;
    m_lateAfter = 0;
    }
}

void K7700Sim::corruptNextReply(std::optional<std::uint8_t> value)
{
    m_corrupt = true;
    m_corruptValue = value;
}

void K7700Sim::corruptReplyTo(int after)
{
    m_corruptAt.append(m_received + std::max(after, 0) + 1);
}

void K7700Sim::insertNoiseBeforeReplyTo(std::uint8_t noise, int after)
{
    m_noiseAt.append({ m_received + std::max(after, 0) + 1, noise });
}

void K7700Sim::silenceNext(int n, int after)
{
    m_silence = std::max(n, 0);
    m_silenceAfter = std::max(after, 0);
}

void K7700Sim::clearFaults()
{
    m_silenceAfter = 0;
    m_silence = 0;
    m_dropOutAfter = -1;
    m_lateMs = 0;
    m_corrupt = false;
    m_corruptValue.reset();
    m_corruptAt.clear();
    m_noiseAt.clear();
    m_noise.reset();
    m_droppedOut = false;
}

// ---- memory ----

std::uint8_t K7700Sim::byte(int address) const
{
    return m_memory[wrap(address)];
}

void K7700Sim::setByte(int address, std::uint8_t value)
{
    store(address, value);
}

void K7700Sim::store(int address, std::uint8_t value)
{
    address = wrap(address);
    const int endOfShiftByte = FlagBase + EndOfShiftFlag / 8;
    const auto endOfShiftMask = static_cast<std::uint8_t>(1u << (EndOfShiftFlag % 8));
    const bool shiftEnds = address == endOfShiftByte && !(m_memory[address] & endOfShiftMask)
        && (value & endOfShiftMask);
    m_memory[address] = value;
    if (shiftEnds)
        endShift();
    if (address == PositionWord || address == PositionWord + 1)
        updatePLSOutputs();
}

void K7700Sim::endShift()
{
    setD(LastGoodCansDword, getD(GoodCansDword));
    setWord(LastShortCansWord, word(ShortCansWord));
    setD(GoodCansDword, 0);
    setWord(ShortCansWord, 0);
}

quint16 K7700Sim::word(int address) const
{
    return static_cast<quint16>(byte(address) | (byte(address + 1) << 8));
}

void K7700Sim::setWord(int address, quint16 value)
{
    setByte(address, static_cast<std::uint8_t>(value & 0xFF));
    setByte(address + 1, static_cast<std::uint8_t>(value >> 8));
}

qint64 K7700Sim::getD(int address) const
{
    return qint64(word(address + 2)) * 10000 + word(address);
}

void K7700Sim::setD(int address, qint64 value)
{
    value %= DwordLimit;
    if (value < 0)
        value += DwordLimit;
    setWord(address, static_cast<quint16>(value % 10000));
    setWord(address + 2, static_cast<quint16>(value / 10000));
}

bool K7700Sim::flag(int n) const
{
    return (byte(FlagBase + n / 8) >> (n % 8)) & 1;
}

std::optional<qint64> K7700Sim::valueAt(const QString& address) const
{
    const QString text = address.toUpper();
    const QChar type = text.isEmpty() ? QChar() : text.at(0);
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    bool numOk = false;
    const int n = text.mid(1, dot < 0 ? -1 : dot - 1).toInt(&numOk, 10);
    if (!numOk || n < 0 || n > 65535 || !QStringLiteral("BWDF").contains(type))
        return std::nullopt;
    if (dot >= 0) {
        bool bitOk = false;
        const int bit = text.mid(dot + 1).toInt(&bitOk, 10);
        if (type != QLatin1Char('B') || !bitOk || bit < 0 || bit > 7)
            return std::nullopt;
        return (byte(n) >> bit) & 1;
    }
    switch (type.toLatin1()) {
    case 'B': return byte(n);
    case 'W': return word(n);
    case 'D': return getD(n);
    default: return flag(n) ? 1 : 0;
    }
}

void K7700Sim::setFlag(int n, bool on)
{
    const int address = FlagBase + n / 8;
    const auto mask = static_cast<std::uint8_t>(1u << (n % 8));
    setByte(address, on ? (byte(address) | mask) : (byte(address) & ~mask));
}

// ---- alarms ----

void K7700Sim::setAlarm(int flag, bool on)
{
    setFlag(flag, on);
    updateFaultSummary();
}

void K7700Sim::updateFaultSummary()
{
    bool pending = false;
    for (const int f : { 2, 4, 8, 42, 43, 48, 49 })
        pending = pending || flag(f);
    setFlag(FaultSummaryFlag, !pending);
}

// ---- the R8816 DF1 board ----

void K7700Sim::setDF1Board(const DF1Board& board)
{
    setFlag(DF1DriverFlag, board.driverEnabled);
    setByte(4023, board.configStatus);
    setByte(4021, board.transmitStatus);
    setByte(4022, board.previousTransmitStatus);
    setWord(4016, board.transaction);
    setByte(4014, board.activeCommand);
    setByte(4026, board.bytesReceived);
    setByte(4302, board.replyReceived ? (byte(4302) | 0x40) : (byte(4302) & ~0x40));
    setByte(4303, board.linkStatus);
    setByte(4018, board.sts);
    setByte(4019, board.extSts);
    setWord(4304, board.transactionReceived);
    setByte(4001, board.slc500 ? (byte(4001) | 0x01) : (byte(4001) & ~0x01));
    setByte(4050, board.destinationNode);
    setByte(4011, board.destinationFile);
}

// ---- the moving machine ----

void K7700Sim::setShortCanInterval(int strokes)
{
    m_shortCanInterval = strokes > 0 ? strokes : 1;
}

void K7700Sim::driftBrake(qint64 ms)
{
    m_driftMs = (m_driftMs + ms) % m_driftWeekMs;
    const qint64 limit = word(StoppingLimitWord) > 0 ? word(StoppingLimitWord) : 300;
    // Wear in thousandths of the week.
    const qint64 wear = m_driftMs * 1000 / m_driftWeekMs;
    setWord(BrakeLowWord, quint16(limit / 2 + limit * 2 * wear / 10000));
    const qint64 high = limit * 3 / 4 + limit * 3 * wear / 10000;
    setWord(BrakeHighWord, quint16(high));
    setAlarm(BrakeResponseFlag, high > limit);
}

void K7700Sim::advance(qint64 ms)
{
    if (m_driftWeekMs > 0 && ms > 0)
        driftBrake(ms);
    if (!m_running || ms <= 0)
        return;
    const qint64 spm = word(SpeedWord);
    if (spm == 0)
        return;
    // Thousandths of a degree: spm strokes/min * 360000 / 60000 ms = spm * 6 per ms.
    const qint64 total = (word(PositionWord) % 360) * 1000 + m_milliDegrees + ms * spm * 6;
    const qint64 newStrokes = total / 360000;
    const qint64 rest = total % 360000;
    m_milliDegrees = rest % 1000;
    setWord(PositionWord, static_cast<quint16>(rest / 1000));
    if (newStrokes == 0)
        return;

    const qint64 n = m_shortCanInterval;
    const qint64 shorts = (m_strokes + newStrokes) / n - m_strokes / n;
    const qint64 goods = newStrokes - shorts;
    m_strokes += newStrokes;
    setD(GoodCansDword, getD(GoodCansDword) + goods);
    setWord(ShortCansWord, static_cast<quint16>((word(ShortCansWord) + shorts) & 0xFFFF));
}

} // namespace talvek
