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

#include <QStringList>

namespace talvek {

namespace {

constexpr int kPollByte = 0x55;
constexpr int kReadyQuery = 0x38;
constexpr int kReadyReply = 0x00;
constexpr int kNak = 0x15;
constexpr int kRecallStatePulseTrain = 3;
constexpr qint64 kReadyWindowMs = 3000;
constexpr qint64 kReadyRetryMs = 2000;

// PLS command bytes.
constexpr int kCmdReadScale = 24;
constexpr int kCmdReadOffset = 40;
constexpr int kCmdReadPosition = 72;
constexpr int kCmdReadSpeed = 88;
constexpr int kCmdWriteScale = 26;
constexpr int kCmdWriteOffset = 42;
constexpr int kCmdChannelRecord = 27;
constexpr int kCmdPulseTrain = 43;
constexpr int kCmdRecall = 9;
constexpr int kCmdConfigBlock0 = 59;
constexpr int kCmdReadConfig = 12;

// Modes kept in CurrentMode while a PLS command runs.
constexpr int kModeRecord = 3;
constexpr int kModeReadWord = 4;
constexpr int kModeWriteWord = 5;
constexpr int kModeRecall = 6;
constexpr int kModeConfigBlock = 7;
constexpr int kModeReadConfig = 8;

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
Status RSComm::acknowledged(int value)
{
    const int r = m_link.SendByte(value, false, false);
    if (r == kNoReply || CommError)
        return noReply();
    if (m_link.replyAfterResync()) {
        m_link.troubleOnLine();
        return fail(Cause::ReplyAfterResync);
    }
    if (r == kNak)
        return fail(Cause::RefusedByBoard);
    if (r != kAck) {
        m_link.troubleOnLine();
        return fail(Cause::EchoMismatch);
    }
    return done();
}

Result<int> RSComm::polledByte()
{
    const int r = m_link.SendByte(kPollByte, false, false);
    if (r == kNoReply || CommError)
        return noReply();
    if (m_link.replyAfterResync()) {
        m_link.troubleOnLine();
        return fail(Cause::ReplyAfterResync);
    }
    // 0x55 may be a doubled acknowledgement of the command, the data a
    // byte time behind it: a PLS reply has no echo to show the shift.
    if (r == kAck) {
        const std::optional<int> behind = m_link.byteBehind();
        if (CommError)
            return noReply();
        if (behind)
            return *behind;
    }
    return r;
}

Status RSComm::plsMode(int mode, int command)
{
    m_link.CurrentMode = 0;
    if (m_link.SetPLCMode(mode, command))
        return done();
    m_link.CurrentMode = 0;
    return noReply();
}

Result<int> RSComm::ReadPLSWord(int command)
{
    if (Status mode = plsMode(kModeReadWord, command); !mode)
        return mode.error();
    const Result<int> low = polledByte();
    const Result<int> high = low ? polledByte() : low;
    m_link.CurrentMode = 0;
    if (!high)
        return high.error();
    return *low + 256 * *high;
}

Status RSComm::WritePLSWord(int command, int value)
{
    m_link.CurrentMode = 0;
    // The board takes a 16-bit word; anything else is not sent at all.
    if (value < 0 || value > 0xFFFF)
        return fail(Cause::EntryRefused);
    // Durable before the command byte: from it on the PLS takes every byte
    // as the write's.
    if (Status recorded = m_link.recordPlsWrite(); !recorded)
        return recorded;
    if (Status mode = plsMode(kModeWriteWord, command); !mode)
        return mode;
    m_link.plsWriteBegun();
    for (const int b : { value & 0xFF, value >> 8 }) {
        if (Status ack = acknowledged(b); !ack) {
            m_link.CurrentMode = 0;
            if (ack.cause() == Cause::RefusedByBoard)
                m_link.plsWriteEnded(); // refused: the board is back at rest
            return ack;
        }
    }
    m_link.plsWriteEnded();
    Status ready = WaitPLSReady();
    m_link.CurrentMode = 0;
    return ready;
}

Status RSComm::writePLSWordChecked(int command, int readCommand, int value)
{
    Status written = WritePLSWord(command, value);
    // Only a word the line spoilt is looked at again; a refusal is the
    // board's answer.
    if (written || CommError || written.cause() == Cause::EntryRefused || written.cause() == Cause::RefusedByBoard)
        return written;
    for (int attempt = 0;; ++attempt) {
        const Result<int> held = ReadPLSWord(readCommand);
        if (!held)
            return held.error();
        if (*held == value)
            return done();
        if (attempt == 1)
            return fail(Cause::NotHeld, QString(), *held);
        Status again = WritePLSWord(command, value);
        if (!again && (CommError || again.cause() == Cause::EntryRefused))
            return again;
    }
}

Status RSComm::sendAcknowledgedBlock(int mode, int command, const std::array<int, 6>& bytes)
{
    m_link.CurrentMode = 0;
    for (const int b : bytes) {
        if (!isByte(b))
            return fail(Cause::EntryRefused); // a value the wire cannot carry: nothing is sent
    }
    if (Status recorded = m_link.recordPlsWrite(); !recorded)
        return recorded;
    if (Status handshake = plsMode(mode, command); !handshake)
        return handshake;
    m_link.plsWriteBegun();
    for (const int b : bytes) {
        if (Status ack = acknowledged(b); !ack) {
            m_link.CurrentMode = 0;
            if (ack.cause() == Cause::RefusedByBoard)
                m_link.plsWriteEnded(); // refused: the board is back at rest
            return ack;
        }
    }
    m_link.plsWriteEnded();
    Status ready = WaitPLSReady();
    m_link.CurrentMode = 0;
    return ready;
}

Status RSComm::SendPLSRecord(int command, const std::array<int, 6>& record)
{
    return sendAcknowledgedBlock(kModeRecord, command, record);
}

Status RSComm::SendPLSConfigBlock(int command, const std::array<int, 6>& values)
{
    return sendAcknowledgedBlock(kModeConfigBlock, command, values);
}

Status RSComm::ReceivePLSConfig()
{
    if (Status mode = plsMode(kModeReadConfig, kCmdReadConfig); !mode)
        return mode;
    std::array<qint16, 19> table {};
    for (qint16& entry : table) {
        const Result<int> r = polledByte();
        if (!r) {
            m_link.CurrentMode = 0;
            return r.error();
        }
        entry = qint16(*r);
    }
    // Only a table received whole replaces the one kept.
    m_plsConfigTable = table;
    m_link.CurrentMode = 0;
    return done();
}

Status RSComm::ReadRecallRecord(int Chan)
{
    m_link.CurrentMode = 0;
    if (!isByte(Chan))
        return fail(Cause::EntryRefused);
    if (Status mode = plsMode(kModeRecall, kCmdRecall); !mode)
        return mode;
    auto invalid = [this](qint16 state, Failure why) {
        ChannelRecallState = state;
        ChannelRecallPos = 0;
        m_link.CurrentMode = 0;
        return why;
    };
    if (CommError)
        return invalid(2, noReply());
    if (Status ack = acknowledged(Chan); !ack) {
        m_link.CurrentMode = 0;
        return ack;
    }
    std::array<int, 3> polled {};
    for (int& p : polled) {
        const Result<int> r = polledByte();
        if (!r)
            return invalid(0, r.error());
        p = *r;
    }
    const auto [state, low, high] = polled;
    // A position beyond 4351 is a record the board gave, not a line fault:
    // not made again.
    if (high > 16)
        return invalid(2, fail(Cause::RefusedByBoard));
    // The board gives OFF (0), ON (1), empty (2) and pulse train (3); any
    // other state byte (a doubled acknowledgement, 0x55) is no recall.
    if (state > kRecallStatePulseTrain)
        return invalid(2, fail(Cause::BadReply));
    ChannelRecallState = qint16(state);
    ChannelRecallPos = qint16(low + 256 * high);
    m_link.CurrentMode = 0;
    return done();
}

// A reply after a resynchronisation answers the attention byte: the board
// then waits for a mode byte, and a ready query (no mode byte) sends it back
// to rest without an answer. Sent unanswered, so that no second attention
// byte starts the handshake over; the next ready query then reaches a board
// at rest, as it must.
void RSComm::leaveModeHandshake()
{
    if (!CommError)
        m_link.SendByte(kReadyQuery, true, false);
}

Status RSComm::WaitPLSReady()
{
    qint64 deadline = m_clock.nowMs() + kReadyWindowMs;
    for (;;) {
        if (m_clock.nowMs() >= deadline) {
            const MsgResult r
                = m_prompter.msgBox(QStringLiteral("Cannot Determine PLS READY Mode Within Target Board."),
                    kCommErrorTitle, MsgIcon::Critical, MsgButtons::RetryCancel);
            if (r != MsgResult::Retry) {
                CommError = true;
                return fail(Cause::SilentLine);
            }
            deadline = m_clock.nowMs() + kReadyRetryMs;
        }
        if (CommError)
            return noReply();
        const int ack = m_link.SendByte(kReadyQuery, false, false);
        if (m_link.replyAfterResync()) {
            leaveModeHandshake();
            continue;
        }
        if (ack != kAck)
            continue;
        const int state = m_link.SendByte(kPollByte, false, false);
        if (m_link.replyAfterResync()) {
            leaveModeHandshake();
            continue;
        }
        if (state == kReadyReply) {
            m_link.SendByte(kPollByte, false, false); // the board's closing byte, whatever it is
            if (CommError)
                return noReply();
            return done();
        }
    }
}

// ---------------------------------------------------------------------------
// Board values

Result<int> RSComm::readPLSValue(int command)
{
    OperationGuard guard(*this);
    if (guard.refused())
        return fail(Cause::Busy);
    return ReadPLSWord(command);
}

Result<int> RSComm::PLSScaleFactor()
{
    Result<int> scale = readPLSValue(kCmdReadScale);
    m_plsScaleRead = scale.toOptional();
    return scale;
}
Result<int> RSComm::PLSOffset()
{
    return readPLSValue(kCmdReadOffset);
}
Result<int> RSComm::PLSPos()
{
    return readPLSValue(kCmdReadPosition);
}
Result<int> RSComm::PLSRpm()
{
    return readPLSValue(kCmdReadSpeed);
}

// ---------------------------------------------------------------------------
// Channel operations

namespace {

QString channelTarget(qint16 Chan)
{
    return QStringLiteral("PLS channel ") + QString::number(Chan);
}

} // namespace

Status RSComm::SingleSetpoint(qint16 Chan, qint16 OnSetpoint, qint16 OffSetpoint, bool ClearChan)
{
    const QString value = QStringLiteral("ON %1 OFF %2").arg(OnSetpoint).arg(OffSetpoint);
    tellWriteStarting(channelTarget(Chan), value);
    return toldWritten(
        channelTarget(Chan), value, sendSingleSetpoint(Chan, OnSetpoint, OffSetpoint, ClearChan));
}

Status RSComm::ClearPLSChan(qint16 Chan)
{
    tellWriteStarting(channelTarget(Chan), QStringLiteral("cleared"));
    return toldWritten(channelTarget(Chan), QStringLiteral("cleared"), sendClearChannel(Chan));
}

Status RSComm::PulseTrain(qint16 Chan, qint16 ON_Division, qint16 OFF_Division, qint16 START_Division)
{
    const QString value = QStringLiteral("pulse train ON %1 OFF %2 START %3")
                              .arg(ON_Division)
                              .arg(OFF_Division)
                              .arg(START_Division);
    tellWriteStarting(channelTarget(Chan), value);
    return toldWritten(
        channelTarget(Chan), value, sendPulseTrain(Chan, ON_Division, OFF_Division, START_Division));
}

Status RSComm::SetPLSOffset(qint16 Position)
{
    std::optional<QString> before;
    QString after = QStringLiteral("position ") + QString::number(Position);
    tellWriteStarting(QStringLiteral("PLS offset"), after);
    Status outcome = sendPLSOffset(Position, before, after);
    return toldWritten(QStringLiteral("PLS offset"), after, std::move(outcome), std::move(before));
}

namespace {

// A PLS configuration as the journal names it: each of its fields.
QString plsConfigText(int channels, int program, const std::array<int, 8>& compensation, int scale)
{
    QStringList comp;
    for (const int c : compensation)
        comp << QString::number(c);
    return QStringLiteral("channels %1, program %2, speed compensation %3, scale %4")
        .arg(channels)
        .arg(program)
        .arg(comp.join(QLatin1Char(' ')))
        .arg(scale);
}

} // namespace

Status RSComm::PLSConfigDownload(const std::array<qint16, 24>& CfgParam, qint16 ScaleFactor)
{
    // The download list holds the program at 0, the compensation of
    // channels 0..3 at 1..4 and of 4..7 at 6..9, the channel count at 18.
    std::array<int, 8> compensation {};
    for (size_t i = 0; i < 4; ++i) {
        compensation[i] = CfgParam[1 + i];
        compensation[4 + i] = CfgParam[6 + i];
    }
    const QString after = plsConfigText(CfgParam[18], CfgParam[0], compensation, ScaleFactor);
    // What the PLS held, when this link has read its configuration and
    // scale since it opened.
    std::optional<QString> before;
    if (m_plsConfigRead && m_plsScaleRead) {
        const std::array<qint16, 19>& t = *m_plsConfigRead;
        std::array<int, 8> held {};
        for (size_t i = 0; i < 8; ++i)
            held[i] = t[2 + i];
        before = plsConfigText(t[0], t[1], held, *m_plsScaleRead);
    }
    tellWriteStarting(QStringLiteral("PLS configuration"), after);
    Status outcome = sendPLSConfig(CfgParam, ScaleFactor);
    m_plsConfigRead.reset();
    m_plsScaleRead.reset();
    return toldWritten(QStringLiteral("PLS configuration"), after, std::move(outcome), std::move(before));
}

Status RSComm::sendSingleSetpoint(qint16 Chan, qint16 OnSetpoint, qint16 OffSetpoint, bool ClearChan)
{
    OperationGuard guard(*this);
    if (guard.refused())
        return fail(Cause::Busy);
    if (CommError)
        return fail(Cause::LinkDown);
    const Result<int> scale = ReadPLSWord(kCmdReadScale);
    if (!scale)
        return scale.error();
    for (const qint16 setpoint : { OnSetpoint, OffSetpoint }) {
        if (setpoint > *scale - 1) {
            m_prompter.msgBox(QStringLiteral("Setpoint setting ") + QString::number(setpoint)
                    + QStringLiteral(" is greater than scale factor.\r\n\r\nChannel can not be programmed."),
                QStringLiteral("PLS Single Setpoint"), MsgIcon::Exclamation, MsgButtons::OK);
            return fail(Cause::EntryRefused);
        }
    }
    if (!isByte(Chan))
        return fail(Cause::EntryRefused);
    if (ClearChan) {
        if (Status cleared = SendPLSRecord(kCmdChannelRecord, channelRecord(Chan, 0, 0, 0)); !cleared)
            return cleared;
    }
    return SendPLSRecord(kCmdChannelRecord, channelRecord(Chan, OnSetpoint, OffSetpoint, 1));
}

Status RSComm::sendClearChannel(qint16 Chan)
{
    OperationGuard guard(*this);
    if (guard.refused())
        return fail(Cause::Busy);
    if (!isByte(Chan))
        return fail(Cause::EntryRefused);
    return SendPLSRecord(kCmdChannelRecord, channelRecord(Chan, 0, 0, 0));
}

Status RSComm::sendPulseTrain(qint16 Chan, qint16 ON_Division, qint16 OFF_Division, qint16 START_Division)
{
    OperationGuard guard(*this);
    if (guard.refused())
        return fail(Cause::Busy);
    const Result<int> scaleRead = ReadPLSWord(kCmdReadScale);
    if (!scaleRead)
        return scaleRead.error();
    const int scale = *scaleRead;

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
        return fail(Cause::EntryRefused);
    }

    Status sent = isByte(Chan) ? SendPLSRecord(kCmdPulseTrain, channelRecord(Chan, START_Division, off * 256 + on, 0))
                               : Status(fail(Cause::EntryRefused));
    if (sent)
        return sent;
    m_prompter.msgBox(
        QStringLiteral("Error Encountered while Programming Pulse Train.\r\n\r\nPLS Channel will not be "
                       "Programmed."),
        QStringLiteral("PLS Pulse Train"), MsgIcon::Information, MsgButtons::OK);
    return sent;
}

Status RSComm::RecallChannel(qint16 Chan)
{
    OperationGuard guard(*this);
    if (guard.refused())
        return fail(Cause::Busy);
    Status recall = ReadRecallRecord(Chan);
    // A recall that went wrong on the line (a wrong acknowledgement, a state
    // the board does not give, a reply after a resynchronisation) is made
    // once more; a link failure or a refusal is not.
    if (!recall && !CommError && recall.cause() != Cause::EntryRefused
        && recall.cause() != Cause::RefusedByBoard) {
        recall = ReadRecallRecord(Chan);
    }
    return recall;
}

Status RSComm::sendPLSOffset(qint16 Position, std::optional<QString>& before, QString& after)
{
    OperationGuard guard(*this);
    if (guard.refused())
        return fail(Cause::Busy);
    if (CommError)
        return fail(Cause::LinkDown);
    const Result<int> offset = ReadPLSWord(kCmdReadOffset);
    if (!offset)
        return offset.error();
    const Result<int> pos = ReadPLSWord(kCmdReadPosition);
    if (!pos)
        return pos.error();
    const Result<int> scale = ReadPLSWord(kCmdReadScale);
    if (!scale)
        return scale.error();

    if (Position > *scale) {
        m_prompter.msgBox(QStringLiteral("Desired Position cannot be greater than Scale Factor of ")
                + QString::number(*scale) + QStringLiteral(".\r\n\r\nPLS Offset will not be Programmed."),
            QStringLiteral("Set PLS Offset"), MsgIcon::Exclamation, MsgButtons::OK);
        return fail(Cause::EntryRefused);
    }
    // A board that reports no scale has no cycle to place the position in.
    if (*scale <= 0)
        return fail(Cause::BadReply);
    // The words are 0..65535 and the scale positive: no overflow in int.
    const int newOffset = (((*offset + *pos) % *scale) + *scale - Position) % *scale;
    before = QString::number(*offset);
    after = QString::number(newOffset);
    return writePLSWordChecked(kCmdWriteOffset, kCmdReadOffset, newOffset);
}

Status RSComm::sendPLSConfig(const std::array<qint16, 24>& CfgParam, qint16 ScaleFactor)
{
    OperationGuard guard(*this);
    if (guard.refused())
        return fail(Cause::Busy);
    for (int b = 0; b < 4; ++b) {
        std::array<int, 6> values {};
        for (int k = 0; k < 6; ++k)
            values[size_t(k)] = CfgParam[size_t(6 * b + k)];
        if (Status block = SendPLSConfigBlock(kCmdConfigBlock0 + 16 * b, values); !block)
            return block;
    }
    return writePLSWordChecked(kCmdWriteScale, kCmdReadScale, ScaleFactor);
}

Result<std::array<qint16, 19>> RSComm::PLSConfigUpload()
{
    OperationGuard guard(*this);
    if (guard.refused())
        return fail(Cause::Busy);
    if (Status received = ReceivePLSConfig(); !received) {
        m_prompter.msgBox(QStringLiteral("Not able to Upload Configuration from PLS."),
            QStringLiteral("PLS Upload"), MsgIcon::Exclamation, MsgButtons::OK);
        m_plsConfigRead.reset();
        return received.error();
    }
    m_plsConfigRead = m_plsConfigTable;
    return m_plsConfigTable;
}

} // namespace talvek
