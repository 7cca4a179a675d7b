// The PLS board of the K7700 simulator: its commands, its channels and the
// outputs they switch (see "The PLS board" in K7700Sim.h).

#include "K7700Sim.h"

namespace talvek {

namespace {

QByteArray one(std::uint8_t b)
{
    return QByteArray(1, static_cast<char>(b));
}

constexpr std::uint8_t CmdReadScale = 24;
constexpr std::uint8_t CmdReadOffset = 40;
constexpr std::uint8_t CmdReadPosition = 72;
constexpr std::uint8_t CmdReadSpeed = 88;
constexpr std::uint8_t CmdWriteScale = 26;
constexpr std::uint8_t CmdWriteOffset = 42;
constexpr std::uint8_t CmdChannelRecord = 27;
constexpr std::uint8_t CmdPulseTrain = 43;
constexpr std::uint8_t CmdRecall = 9;
constexpr std::uint8_t CmdReadConfig = 12;
constexpr std::uint8_t CmdConfigBlock0 = 59;

bool isConfigBlock(std::uint8_t command)
{
    return command >= CmdConfigBlock0 && (command - CmdConfigBlock0) % 16 == 0
        && (command - CmdConfigBlock0) / 16 < 4;
}

// The table entry that reports configuration parameter i, or -1.
int tableEntryOf(int parameter)
{
    if (parameter == 18)
        return 0;
    if (parameter == 0)
        return 1;
    if (parameter >= 1 && parameter <= 4)
        return parameter + 1;
    if (parameter == 5)
        return 18;
    if (parameter >= 6 && parameter <= 17)
        return parameter;
    return -1;
}

// A recall's state bytes.
constexpr std::uint8_t RecallOff = 0;
constexpr std::uint8_t RecallOn = 1;
constexpr std::uint8_t RecallEmpty = 2;
constexpr std::uint8_t RecallPulseTrain = 3;

} // namespace

void K7700Sim::powerUpPLS()
{
    m_plsParams[18] = PLSChannelCount;
    m_plsTable[size_t(tableEntryOf(18))] = PLSChannelCount;
    mirrorPLS();
    updatePLSOutputs();
}

// ---- protocol ----

K7700Sim::Reply K7700Sim::onIdle(std::uint8_t byte)
{
    if (byte != PLSReadyQuery)
        return {};
    ++m_plsReadyQueries;
    m_mode = Mode::PLSReady;
    m_step = 1;
    return { one(Ack) };
}

K7700Sim::Reply K7700Sim::onPLSReady(std::uint8_t)
{
    if (m_step == 1 && m_plsBusy != 0) {
        if (m_plsBusy > 0)
            --m_plsBusy;
        resetProtocol();
        return { one(Ack), m_plsBusyDelayMs };
    }
    if (m_step == 1) {
        m_step = 2;
        return { one(PLSReadyReply) };
    }
    resetProtocol();
    return { one(Ack) };
}

bool K7700Sim::isPLSCommand(std::uint8_t byte)
{
    switch (byte) {
    case CmdReadScale:
    case CmdReadOffset:
    case CmdReadPosition:
    case CmdReadSpeed:
    case CmdWriteScale:
    case CmdWriteOffset:
    case CmdChannelRecord:
    case CmdPulseTrain:
    case CmdRecall:
    case CmdReadConfig:
        return true;
    default:
        return isConfigBlock(byte);
    }
}

K7700Sim::Reply K7700Sim::startPLSCommand(std::uint8_t command)
{
    m_mode = Mode::PLS;
    m_step = 0;
    m_plsCommand = command;
    m_plsBytes.fill(0);
    quint16 word = 0;
    switch (command) {
    case CmdReadScale:
        word = m_plsScale;
        break;
    case CmdReadOffset:
        word = m_plsOffset;
        break;
    case CmdReadPosition:
        word = plsPosition();
        break;
    case CmdReadSpeed:
        word = plsRpm();
        break;
    default:
        break;
    }
    m_plsBytes[0] = static_cast<std::uint8_t>(word & 0xFF);
    m_plsBytes[1] = static_cast<std::uint8_t>(word >> 8);
    return { one(Ack) };
}

K7700Sim::Reply K7700Sim::refusePLS()
{
    resetProtocol();
    return { one(PLSNak) };
}

K7700Sim::Reply K7700Sim::onPLS(std::uint8_t byte)
{
    const int step = m_step++;
    switch (m_plsCommand) {
    case CmdReadScale:
    case CmdReadOffset:
    case CmdReadPosition:
    case CmdReadSpeed: {
        const std::uint8_t data = m_plsBytes[size_t(step)];
        if (step == 1)
            resetProtocol();
        return { one(data) };
    }
    case CmdWriteScale:
    case CmdWriteOffset:
        m_plsBytes[size_t(step)] = byte;
        if (step == 0)
            return { one(Ack) };
        if (takePLSRejection() || !applyPLSWord(static_cast<quint16>(m_plsBytes[0] | (m_plsBytes[1] << 8))))
            return refusePLS();
        resetProtocol();
        return { one(Ack) };
    case CmdRecall: {
        if (step == 0) {
            if (byte >= PLSChannelCount)
                return refusePLS();
            const PLSChannel& c = m_plsChannels[byte];
            quint16 position = 0;
            std::uint8_t state = RecallEmpty;
            if (c.kind == PLSChannel::Kind::Setpoints) {
                const bool off = m_plsRecallOff[byte];
                state = off ? RecallOff : RecallOn;
                position = off ? c.off : c.on;
                m_plsRecallOff[byte] = !off;
            } else if (c.kind == PLSChannel::Kind::PulseTrain) {
                state = RecallPulseTrain;
                position = c.on;
            }
            m_plsBytes = { state, static_cast<std::uint8_t>(position & 0xFF),
                static_cast<std::uint8_t>(position >> 8) };
            return { one(Ack) };
        }
        const std::uint8_t data = m_plsBytes[size_t(step - 1)];
        if (step == 3)
            resetProtocol();
        return { one(data) };
    }
    case CmdReadConfig: {
        const std::uint8_t data = m_plsTable[size_t(step)];
        if (step == PLSConfigTableSize - 1)
            resetProtocol();
        return { one(data) };
    }
    default: // a channel record, a pulse train or a configuration block
        m_plsBytes[size_t(step)] = byte;
        if (step == 0 && m_plsCommand != CmdChannelRecord && m_plsCommand != CmdPulseTrain)
            return { one(Ack) };
        if (step == 0)
            return byte < PLSChannelCount ? Reply { one(Ack) } : refusePLS();
        if (step < 5)
            return { one(Ack) };
        if (takePLSRejection())
            return refusePLS();
        if (isConfigBlock(m_plsCommand)) {
            applyPLSConfigBlock();
        } else if (!applyPLSRecord()) {
            return refusePLS();
        }
        resetProtocol();
        return { one(Ack) };
    }
}

bool K7700Sim::takePLSRejection()
{
    if (m_plsRejectAfter < 0)
        return false;
    return m_plsRejectAfter-- == 0;
}

bool K7700Sim::applyPLSWord(quint16 value)
{
    if (m_plsCommand == CmdWriteScale) {
        if (value == 0)
            return false;
        setPLSScaleFactor(value);
        return true;
    }
    if (value >= m_plsScale)
        return false;
    setPLSOffset(value);
    return true;
}

bool K7700Sim::applyPLSRecord()
{
    const auto& b = m_plsBytes;
    const int ch = b[0];
    const auto first = static_cast<quint16>(b[1] | (b[2] << 8));
    PLSChannel c;
    if (m_plsCommand == CmdChannelRecord) {
        const quint16 second = static_cast<quint16>(b[3] | (b[4] << 8));
        if (b[5] == 0) {
            setPLSChannel(ch, c);
            return true;
        }
        if (b[5] != 1 || first >= m_plsScale || second >= m_plsScale)
            return false;
        c.kind = PLSChannel::Kind::Setpoints;
        c.on = first;
        c.off = second;
    } else {
        const int onDivisions = b[3];
        const int offDivisions = b[4];
        if (onDivisions == 0 || offDivisions == 0 || m_plsScale % (onDivisions + offDivisions) != 0
            || first >= m_plsScale)
            return false;
        c.kind = PLSChannel::Kind::PulseTrain;
        c.on = first;
        c.onDivisions = static_cast<quint8>(onDivisions);
        c.offDivisions = static_cast<quint8>(offDivisions);
    }
    setPLSChannel(ch, c);
    return true;
}

void K7700Sim::applyPLSConfigBlock()
{
    const int block = (m_plsCommand - CmdConfigBlock0) / 16;
    for (int k = 0; k < 6; ++k) {
        const int parameter = 6 * block + k;
        m_plsParams[size_t(parameter)] = m_plsBytes[size_t(k)];
        const int entry = tableEntryOf(parameter);
        if (entry >= 0)
            m_plsTable[size_t(entry)] = m_plsBytes[size_t(k)];
    }
}

// ---- the board's values ----

void K7700Sim::setPLSScaleFactor(quint16 scale)
{
    m_plsScale = scale == 0 ? 1 : scale;
    m_plsOffset = static_cast<quint16>(m_plsOffset % m_plsScale);
    mirrorPLS();
    updatePLSOutputs();
}

void K7700Sim::setPLSOffset(quint16 offset)
{
    m_plsOffset = static_cast<quint16>(offset % m_plsScale);
    mirrorPLS();
    updatePLSOutputs();
}

quint16 K7700Sim::plsPosition() const
{
    const qint64 scale = m_plsScale;
    const qint64 milliDegrees = qint64(word(PositionWord) % 360) * 1000 + m_milliDegrees;
    const qint64 resolver = milliDegrees * scale / 360000;
    return static_cast<quint16>((resolver + scale - m_plsOffset) % scale);
}

quint16 K7700Sim::plsRpm() const
{
    return m_running ? word(SpeedWord) : 0;
}

K7700Sim::PLSChannel K7700Sim::plsChannel(int ch) const
{
    return ch >= 0 && ch < PLSChannelCount ? m_plsChannels[size_t(ch)] : PLSChannel {};
}

void K7700Sim::setPLSChannel(int ch, const PLSChannel& channel)
{
    if (ch < 0 || ch >= PLSChannelCount)
        return;
    m_plsChannels[size_t(ch)] = channel;
    m_plsRecallOff[size_t(ch)] = false;
    updatePLSOutputs();
}

void K7700Sim::setPLSBusy(int queries, int replyDelayMs)
{
    m_plsBusy = queries;
    m_plsBusyDelayMs = replyDelayMs > 0 ? replyDelayMs : 0;
}

bool K7700Sim::plsChannelOn(const PLSChannel& c, int position) const
{
    switch (c.kind) {
    case PLSChannel::Kind::Empty:
        return false;
    case PLSChannel::Kind::Setpoints:
        if (c.on < c.off)
            return position >= c.on && position < c.off;
        if (c.on > c.off)
            return position >= c.on || position < c.off;
        return false;
    case PLSChannel::Kind::PulseTrain: {
        const int period = c.onDivisions + c.offDivisions;
        if (period == 0)
            return false;
        const int fromStart = (position - c.on % m_plsScale + m_plsScale) % m_plsScale;
        return fromStart % period < c.onDivisions;
    }
    }
    return false;
}

void K7700Sim::updatePLSOutputs()
{
    const int position = plsPosition();
    quint16 outputs = 0;
    for (int ch = 0; ch < PLSChannelCount; ++ch) {
        if (plsChannelOn(m_plsChannels[size_t(ch)], position))
            outputs |= static_cast<quint16>(1u << ch);
    }
    // Straight into memory: the outputs are the board's, not a write.
    m_memory[PLSOutputWord] = static_cast<std::uint8_t>(outputs & 0xFF);
    m_memory[PLSOutputWord + 1] = static_cast<std::uint8_t>(outputs >> 8);
}

void K7700Sim::mirrorPLS()
{
    m_memory[PLSScaleWord] = static_cast<std::uint8_t>(m_plsScale & 0xFF);
    m_memory[PLSScaleWord + 1] = static_cast<std::uint8_t>(m_plsScale >> 8);
    m_memory[PLSOffsetWord] = static_cast<std::uint8_t>(m_plsOffset & 0xFF);
    m_memory[PLSOffsetWord + 1] = static_cast<std::uint8_t>(m_plsOffset >> 8);
}

} // namespace talvek
