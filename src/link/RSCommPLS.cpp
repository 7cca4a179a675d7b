// The PLS channel operations of RSComm: the programmable limit switch board
// beside the K7700, spoken to with its own command set through the link.
//
// Every wire operation but the ready wait starts with a handshake of its own
// command byte and leaves CurrentMode at 0 when it finishes: no PLS mode is
// ever reused. Polling means sending 0x55 and taking the reply as the next
// data byte; a byte sent "acknowledged" must be answered with 0x55.

#include "base/Clock.h"
#include "base/Prompter.h"
#include "link/RSComm.h"

namespace talvek {

namespace {

constexpr int PollByte = 0x55;
constexpr int ReadyQuery = 0x38;
constexpr int ReadyReply = 0x00;
constexpr int PLSFailure = -9999;
constexpr qint64 ReadyWindowMs = 3000;
constexpr qint64 ReadyRetryMs = 2000;

// PLS command bytes.
constexpr int CmdReadScale = 24;
constexpr int CmdReadOffset = 40;
constexpr int CmdReadPosition = 72;
constexpr int CmdReadSpeed = 88;
constexpr int CmdWriteScale = 26;
constexpr int CmdWriteOffset = 42;
constexpr int CmdChannelRecord = 27;
constexpr int CmdPulseTrain = 43;
constexpr int CmdRecall = 9;
constexpr int CmdConfigBlock0 = 59;
constexpr int CmdReadConfig = 12;

// Modes kept in CurrentMode while a PLS command runs.
constexpr int ModeRecord = 3;
constexpr int ModeReadWord = 4;
constexpr int ModeWriteWord = 5;
constexpr int ModeRecall = 6;
constexpr int ModeConfigBlock = 7;
constexpr int ModeReadConfig = 8;

const QString kCommErrorTitle = QStringLiteral("WARNING - Communication Error!");

// A channel record: channel, first value (low, high), second value (low,
// high), flag. Values travel as their 16-bit pattern.
std::array<int, 6> channelRecord(int chan, int first, int second, int flag)
{
    const auto u1 = quint16(first);
    const auto u2 = quint16(second);
    return { chan, u1 & 0xFF, u1 >> 8, u2 & 0xFF, u2 >> 8, flag };
}

bool isByte(int v)
{
    return v >= 0 && v <= 255;
}

} // namespace

// ---------------------------------------------------------------------------
// Wire operations

// A reply that came only after a resynchronisation may answer the attention
// byte, and the board may have taken that attention byte as the data the
// lost byte was to carry: neither an acknowledgement nor a value then.
bool RSComm::acknowledged(int value)
{
    return m_link.SendByte(value, false, false) == Ack && !CommError && !m_link.replyAfterResync();
}

int RSComm::polledByte()
{
    const int r = m_link.SendByte(PollByte, false, false);
    return CommError || m_link.replyAfterResync() ? NoReply : r;
}

int RSComm::ReadPLSWord(int command)
{
    m_link.CurrentMode = 0;
    if (!m_link.SetPLCMode(ModeReadWord, command)) {
        m_link.CurrentMode = 0;
        return PLSFailure;
    }
    const int low = polledByte();
    if (low == NoReply) {
        m_link.CurrentMode = 0;
        return PLSFailure;
    }
    const int high = polledByte();
    m_link.CurrentMode = 0;
    if (high == NoReply)
        return PLSFailure;
    return low + 256 * high;
}

bool RSComm::WritePLSWord(int command, int value)
{
    m_link.CurrentMode = 0;
    // The board takes a 16-bit word; anything else is not sent at all.
    if (value < 0 || value > 0xFFFF)
        return false;
    if (!m_link.SetPLCMode(ModeWriteWord, command)) {
        m_link.CurrentMode = 0;
        return false;
    }
    for (const int b : { value & 0xFF, value >> 8 }) {
        if (!acknowledged(b)) {
            m_link.CurrentMode = 0;
            return false;
        }
    }
    const bool ready = WaitPLSReady();
    m_link.CurrentMode = 0;
    return ready;
}

bool RSComm::sendAcknowledgedBlock(int mode, int command, const std::array<int, 6>& bytes)
{
    m_link.CurrentMode = 0;
    for (const int b : bytes) {
        if (!isByte(b))
            return false; // a value the wire cannot carry: nothing is sent
    }
    if (!m_link.SetPLCMode(mode, command)) {
        m_link.CurrentMode = 0;
        return false;
    }
    for (const int b : bytes) {
        if (!acknowledged(b)) {
            m_link.CurrentMode = 0;
            return false;
        }
    }
    const bool ready = WaitPLSReady();
    m_link.CurrentMode = 0;
    return ready;
}

bool RSComm::SendPLSRecord(int command, const std::array<int, 6>& record)
{
    return sendAcknowledgedBlock(ModeRecord, command, record);
}

bool RSComm::SendPLSConfigBlock(int command, const std::array<int, 6>& values)
{
    return sendAcknowledgedBlock(ModeConfigBlock, command, values);
}

bool RSComm::ReceivePLSConfig()
{
    m_link.CurrentMode = 0;
    if (!m_link.SetPLCMode(ModeReadConfig, CmdReadConfig)) {
        m_link.CurrentMode = 0;
        return false;
    }
    for (size_t i = 0; i < m_plsConfigTable.size(); ++i) {
        const int r = polledByte();
        if (r == NoReply) {
            // The entries received so far stay; the failed one keeps its value.
            m_link.CurrentMode = 0;
            return false;
        }
        m_plsConfigTable[i] = qint16(r);
    }
    m_link.CurrentMode = 0;
    return true;
}

bool RSComm::ReadRecallRecord(int Chan)
{
    m_link.CurrentMode = 0;
    if (!isByte(Chan))
        return false;
    if (!m_link.SetPLCMode(ModeRecall, CmdRecall)) {
        m_link.CurrentMode = 0;
        return false;
    }
    auto invalid = [this](qint16 state) {
        ChannelRecallState = state;
        ChannelRecallPos = 0;
        m_link.CurrentMode = 0;
        return false;
    };
    if (CommError)
        return invalid(2);
    if (!acknowledged(Chan)) {
        m_link.CurrentMode = 0;
        return false;
    }
    std::array<int, 3> polled {};
    for (int& p : polled) {
        p = polledByte();
        if (p == NoReply)
            return invalid(0);
    }
    const auto [state, low, high] = polled;
    if (high > 16)
        return invalid(2);
    ChannelRecallState = qint16(state);
    ChannelRecallPos = qint16(low + 256 * high);
    m_link.CurrentMode = 0;
    return true;
}

// A reply after a resynchronisation answers the attention byte: the board
// then waits for a mode byte, and a ready query (no mode byte) sends it back
// to rest without an answer. Sent unanswered, so that no second attention
// byte starts the handshake over; the next ready query then reaches a board
// at rest, as it must.
void RSComm::leaveModeHandshake()
{
    if (!CommError)
        m_link.SendByte(ReadyQuery, true, false);
}

bool RSComm::WaitPLSReady()
{
    qint64 deadline = m_clock.nowMs() + ReadyWindowMs;
    for (;;) {
        if (m_clock.nowMs() >= deadline) {
            const MsgResult r
                = m_prompter.msgBox(QStringLiteral("Cannot Determine PLS READY Mode Within Target Board."),
                    kCommErrorTitle, MsgIcon::Critical, MsgButtons::RetryCancel);
            if (r != MsgResult::Retry) {
                CommError = true;
                return false;
            }
            deadline = m_clock.nowMs() + ReadyRetryMs;
        }
        if (CommError)
            return false;
        const int ack = m_link.SendByte(ReadyQuery, false, false);
        if (m_link.replyAfterResync()) {
            leaveModeHandshake();
            continue;
        }
        if (ack != Ack)
            continue;
        const int state = m_link.SendByte(PollByte, false, false);
        if (m_link.replyAfterResync()) {
            leaveModeHandshake();
            continue;
        }
        if (state == ReadyReply) {
            m_link.SendByte(PollByte, false, false); // the board's closing byte, whatever it is
            return true;
        }
    }
}

// ---------------------------------------------------------------------------
// Board values

QString RSComm::readPLSText(int command)
{
    OperationGuard guard(*this);
    if (guard.refused())
        return QString::number(PLSFailure);
    return QString::number(ReadPLSWord(command));
}

QString RSComm::PLSScaleFactor()
{
    return readPLSText(CmdReadScale);
}
QString RSComm::PLSOffset()
{
    return readPLSText(CmdReadOffset);
}
QString RSComm::PLSPos()
{
    return readPLSText(CmdReadPosition);
}
QString RSComm::PLSRpm()
{
    return readPLSText(CmdReadSpeed);
}

// ---------------------------------------------------------------------------
// Channel operations

bool RSComm::SingleSetpoint(qint16 Chan, qint16 OnSetpoint, qint16 OffSetpoint, bool ClearChan)
{
    OperationGuard guard(*this);
    if (guard.refused() || CommError)
        return false;
    const int scale = ReadPLSWord(CmdReadScale);
    if (CommError || scale == PLSFailure)
        return false;
    for (const qint16 setpoint : { OnSetpoint, OffSetpoint }) {
        if (setpoint > scale - 1) {
            m_prompter.msgBox(QStringLiteral("Setpoint setting ") + QString::number(setpoint)
                    + QStringLiteral(" is greater than scale factor.\r\n\r\nChannel can not be programmed."),
                QStringLiteral("PLS Single Setpoint"), MsgIcon::Exclamation, MsgButtons::OK);
            return false;
        }
    }
    if (!isByte(Chan))
        return false;
    if (ClearChan) {
        if (!SendPLSRecord(CmdChannelRecord, channelRecord(Chan, 0, 0, 0)) || CommError)
            return false;
    }
    return SendPLSRecord(CmdChannelRecord, channelRecord(Chan, OnSetpoint, OffSetpoint, 1));
}

bool RSComm::ClearPLSChan(qint16 Chan)
{
    OperationGuard guard(*this);
    if (guard.refused() || !isByte(Chan))
        return false;
    return SendPLSRecord(CmdChannelRecord, channelRecord(Chan, 0, 0, 0));
}

bool RSComm::PulseTrain(qint16 Chan, qint16 ON_Division, qint16 OFF_Division, qint16 START_Division)
{
    OperationGuard guard(*this);
    if (guard.refused())
        return false;
    const int scale = ReadPLSWord(CmdReadScale);
    if (CommError || scale == PLSFailure)
        return false;

    const int on = ON_Division;
    const int off = OFF_Division;
    QString reason;
    if (on <= 0 || off <= 0)
        reason = QStringLiteral("ON Division and OFF Division Must be Greater Than 0.");
    else if (scale % (on + off) != 0)
        reason = QStringLiteral("ON Division Plus OFF Division\r\nMust be a Multiple of ")
            + QString::number(scale) + QStringLiteral(".");
    else if (on >= 256 || off >= 256)
        reason = QStringLiteral("ON Division or OFF Division Must be Less Than 255.");
    else if (START_Division > scale - 1)
        reason = QStringLiteral("Start Position Must Not Be Greater Than ") + QString::number(scale - 1)
            + QStringLiteral(".");
    if (!reason.isEmpty()) {
        m_prompter.msgBox(reason + QStringLiteral("\r\n\r\nPLS Channel will not be Programmed."),
            QStringLiteral("PLS Pulse Train"), MsgIcon::Exclamation, MsgButtons::OK);
        return false;
    }

    if (isByte(Chan) && SendPLSRecord(CmdPulseTrain, channelRecord(Chan, START_Division, off * 256 + on, 0)))
        return !CommError;
    m_prompter.msgBox(
        QStringLiteral("Error Encountered while Programming Pulse Train.\r\n\r\nPLS Channel will not be "
                       "Programmed."),
        QStringLiteral("PLS Pulse Train"), MsgIcon::Information, MsgButtons::OK);
    return false;
}

bool RSComm::RecallChannel(qint16 Chan)
{
    OperationGuard guard(*this);
    if (guard.refused())
        return false;
    return ReadRecallRecord(Chan);
}

bool RSComm::SetPLSOffset(qint16 Position)
{
    OperationGuard guard(*this);
    if (guard.refused() || CommError)
        return false;
    const int offset = ReadPLSWord(CmdReadOffset);
    if (CommError)
        return false;
    const int pos = ReadPLSWord(CmdReadPosition);
    if (CommError)
        return false;
    const int scale = ReadPLSWord(CmdReadScale);
    if (CommError)
        return false;
    if (offset == PLSFailure || pos == PLSFailure || scale == PLSFailure)
        return false;

    if (Position > scale) {
        m_prompter.msgBox(QStringLiteral("Desired Position cannot be greater than Scale Factor of ")
                + QString::number(scale) + QStringLiteral(".\r\n\r\nPLS Offset will not be Programmed."),
            QStringLiteral("Set PLS Offset"), MsgIcon::Exclamation, MsgButtons::OK);
        return false;
    }
    // A board that reports no scale has no cycle to place the position in.
    if (scale <= 0)
        return false;
    // The words are 0..65535 and the scale positive: no overflow in int.
    const int newOffset = (((offset + pos) % scale) + scale - Position) % scale;
    return WritePLSWord(CmdWriteOffset, newOffset);
}

bool RSComm::PLSConfigDownload(const std::array<qint16, 24>& CfgParam, qint16 ScaleFactor)
{
    OperationGuard guard(*this);
    if (guard.refused())
        return false;
    for (int b = 0; b < 4; ++b) {
        std::array<int, 6> values {};
        for (int k = 0; k < 6; ++k)
            values[size_t(k)] = CfgParam[size_t(6 * b + k)];
        if (!SendPLSConfigBlock(CmdConfigBlock0 + 16 * b, values))
            return false;
    }
    return WritePLSWord(CmdWriteScale, ScaleFactor);
}

std::array<qint16, 19> RSComm::PLSConfigUpload()
{
    OperationGuard guard(*this);
    if (guard.refused())
        return m_plsConfigTable;
    if (!ReceivePLSConfig()) {
        m_prompter.msgBox(QStringLiteral("Not able to Upload Configuration from PLS."),
            QStringLiteral("PLS Upload"), MsgIcon::Exclamation, MsgButtons::OK);
    }
    return m_plsConfigTable;
}

} // namespace talvek
