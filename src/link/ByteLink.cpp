#include "link/ByteLink.h"

#include "base/BasicError.h"
#include "base/Clock.h"
#include "base/Prompter.h"
#include "link/LinkMonitor.h"
#include "link/SerialPortControl.h"

#include <algorithm>

namespace talvek {

namespace {

constexpr qint64 kFirstWaitMs = 1000;
constexpr qint64 kResyncWaitMs = 2000;
constexpr qint64 kHandshakeWindowMs = 2000;
constexpr int kReadMode = 1;
constexpr int kWriteMode = 2;

const QString kCommErrorTitle = QStringLiteral("WARNING - Communication Error!");

// Leading decimal digits (blanks skipped) as a number, saturated far above
// anything the 16-bit address space can hold.
qint64 leadingDigits(QStringView text)
{
    qint64 n = 0;
    for (const QChar c : text) {
        if (c == QLatin1Char(' '))
            continue;
        if (!c.isDigit())
            break;
        n = std::min<qint64>(n * 10 + c.digitValue(), 1'000'000'000LL);
    }
    return n;
}

// Leading hexadecimal digits as a number, saturated likewise.
qint64 leadingHex(QStringView text)
{
    qint64 n = 0;
    for (const QChar c : text) {
        int v = -1;
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            v = c.unicode() - '0';
        else if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
            v = c.unicode() - 'A' + 10;
        else if (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
            v = c.unicode() - 'a' + 10;
        if (v < 0)
            break;
        n = std::min<qint64>(n * 16 + v, 1'000'000'000LL);
    }
    return n;
}

qint32 saturate32(qint64 v)
{
    return qint32(std::clamp<qint64>(v, 0, 0x7FFFFFFF));
}

// Wire addresses live in a 16-bit byte space; an address past its end wraps.
int wireAddress(qint32 base, int k)
{
    return int((qint64(base) + k) & 0xFFFF);
}

// Bytes after the first of a value of this type: the width code.
int widthOf(const QString& type)
{
    return type == QLatin1String("W") ? 1 : type == QLatin1String("D") ? 3 : 0;
}

} // namespace

ByteLink::ByteLink(Clock& clock, Prompter& prompter)
    : m_clock(clock)
    , m_prompter(prompter)
{ }

// ---------------------------------------------------------------------------
// Open and close

void ByteLink::open()
{
    m_port->open();
    m_port->discardInput();
    CurrentMode = 0;
    CommError = false;
    SendByte(kAttention, false, false);
    OnlineMode = !CommError;
}

void ByteLink::close()
{
    // A port that fails while the session ends throws its error (BasicError,
    // e.g. the adapter pulled out). It is dropped here on purpose: close()
    // runs from destructors and teardown, where nothing may throw, and the
    // session is over either way; the next open reports the port's state.
    try {
        if (m_port && m_port->isOpen() && !CommError) {
            // A board inside a write triple echoes the attention byte as one
            // of the triple's; it is sent again until the board acknowledges
            // one, so that the triple ends in this session (where the link
            // can tell of it) and not with the next session's first byte.
            const bool pending = m_pendingHigh.has_value();
            int r = SendByte(kAttention, false, false);
            notePendingStore(r);
            for (int more = 0; pending && more < 2 && r != kAck && r != kNoReply; ++more)
                r = SendByte(kAttention, false, false);
        }
    } catch (const BasicError&) { }
    try {
        if (m_port && m_port->isOpen())
            m_port->close();
    } catch (const BasicError&) { }
    CurrentMode = 0;
    OnlineMode = false;
}

// ---------------------------------------------------------------------------
// One byte out, one byte back

void ByteLink::portLost()
{
    CurrentMode = 0;
    CommError = true;
    m_lastCause = Cause::PortFailed;
}

int ByteLink::exchangeByte(int value, bool noWait, bool clearInput)
{
    if (CommError) {
        m_lastCause = Cause::LinkDown;
        return kNoReply;
    }
    if (!m_port || !m_port->isOpen()) {
        portLost();
        return kNoReply;
    }
    Q_ASSERT(value >= 0 && value <= 255);

    m_replyAfterResync = false;
    try {
        // Nothing received before the byte goes out can answer it: a byte
        // left over (a doubled or stray reply) would otherwise be taken as
        // this byte's reply and shift every reply after it by one.
        if (!clearInput && !noWait && m_port->bytesAvailable() > 0)
            m_trouble = true; // a doubled or late reply: the last reply taken may not have been this one's
        if (clearInput || (!noWait && m_port->bytesAvailable() > 0))
            m_port->discardInput();
        m_port->write(QByteArray(1, char(value & 0xFF)));
        if (noWait)
            return 0;
        return awaitReply();
    } catch (const BasicError&) {
        // A port that fails under us (a vanished adapter) is a lost link.
        portLost();
        return kNoReply;
    }
}

int ByteLink::awaitReply()
{
    qint64 deadline = m_clock.nowMs() + kFirstWaitMs;
    int timeouts = 0;
    bool resynced = false; // an attention byte went out in the byte's place
    for (;;) {
        // The port may have been closed from a nested event loop (while
        // the Retry/Cancel box was up): the exchange ends as failed.
        if (!m_port->isOpen()) {
            portLost();
            return kNoReply;
        }
        if (m_port->bytesAvailable() > 0) {
            const int b = m_port->readByte();
            if (b >= 0) {
                m_replyAfterResync = resynced;
                return b;
            }
        }
        const qint64 now = m_clock.nowMs();
        if (now < deadline) {
            m_port->waitForInput(int(std::min<qint64>(deadline - now, 1000)));
            continue;
        }
        portLost();
        deadline = now + kResyncWaitMs;
        ++timeouts;
        resynced = true;
        m_trouble = true;
        if (m_monitor)
            m_monitor->replyTimedOut(timeouts, timeouts < 3);
        if (timeouts < 3) {
            // Resynchronise: attention byte, keep waiting for a reply.
            CommError = false;
            m_port->discardInput();
            m_port->write(QByteArray(1, char(kAttention)));
        } else if (askRetry()) {
            timeouts = 0; // the deadline set before the box stands
        } else {
            CommError = true;
            m_lastCause = Cause::SilentLine;
            return kNoReply;
        }
    }
}

bool ByteLink::askRetry()
{
    QString text = QStringLiteral("Cannot Communicate with Target Board.\rVerify RS-232 Cable "
                                  "is Connected Between\rCOMM Port and PROG Port.");
    if (const QString facts = m_port->portFacts(); !facts.isEmpty())
        text += QLatin1Char('\r') + facts;
    return m_prompter.msgBox(text, kCommErrorTitle, MsgIcon::Critical, MsgButtons::RetryCancel)
        == MsgResult::Retry;
}

int ByteLink::SendByte(int value, bool noWait, bool clearInput)
{
    if (!m_monitor || CommError)
        return exchangeByte(value, noWait, clearInput);
    using Outcome = LinkMonitor::Outcome;
    const qint64 start = m_monitor->byteGoingOut();
    const int reply = exchangeByte(value, noWait, clearInput);
    if (reply == kNoReply)
        m_monitor->exchanged(value, -1, start, Outcome::NoReply);
    else if (noWait)
        m_monitor->exchanged(value, -1, start, Outcome::Sent);
    else
        m_monitor->exchanged(value, reply, start, m_replyAfterResync ? Outcome::ReplyAfterResync : Outcome::Reply);
    return reply;
}

void ByteLink::sendBytes(const QByteArray& bytes)
{
    if (CommError) {
        m_lastCause = Cause::LinkDown;
        return;
    }
    if (bytes.isEmpty())
        return;
    if (!m_port || !m_port->isOpen()) {
        portLost();
        return;
    }
    const qint64 start = m_monitor ? m_monitor->byteGoingOut() : 0;
    try {
        m_port->write(bytes);
    } catch (const BasicError&) {
        portLost();
    }
    if (m_monitor)
        for (const char c : bytes)
            m_monitor->exchanged(
                quint8(c), -1, start, CommError ? LinkMonitor::Outcome::NoReply : LinkMonitor::Outcome::Sent);
}

bool ByteLink::SetPLCMode(int mode, int command)
{
    CurrentMode = 0;
    qint64 deadline = m_clock.nowMs() + kHandshakeWindowMs;
    bool result = false;
    while (CurrentMode != mode) {
        if (m_clock.nowMs() >= deadline) {
            const MsgResult r = m_prompter.msgBox(QStringLiteral("Cannot Set PLC Mode Within Target Board."),
                kCommErrorTitle, MsgIcon::Critical, MsgButtons::RetryCancel);
            if (r != MsgResult::Retry) {
                CommError = true;
                m_lastCause = Cause::SilentLine;
                close();
                return false;
            }
            deadline = m_clock.nowMs() + kHandshakeWindowMs;
        }
        const int r = SendByte(kAttention, false, true);
        notePendingStore(r);
        if (r == kAck) {
            const int s = SendByte(command, false, false);
            // An acknowledgement that came only after a resynchronisation
            // answers the attention byte: the board did not take the mode
            // and waits for one. Taken as the mode's, the next byte (an
            // address, 0x03 among them) would reach the board as a command.
            if (s == kAck && !m_replyAfterResync) {
                result = true;
                CurrentMode = mode;
            } else if (s == kNoReply) {
                return false;
            } else {
                CurrentMode = 0;
            }
        } else if (r == kNoReply) {
            return false;
        }
    }
    return result;
}

// ---------------------------------------------------------------------------
// Addresses

void ByteLink::ParseAddress(const QString& address)
{
    m_isBitAdd = false;
    m_bitOutOfRange = false;
    const QStringView t(address);

    if (!t.isEmpty() && (t.back() == QLatin1Char('H') || t.back() == QLatin1Char('h'))) {
        const QStringView digits = t.chopped(1);
        const qsizetype split = std::max<qsizetype>(0, digits.size() - 2);
        const qint64 low = leadingHex(digits.mid(split));
        const qint64 high = leadingHex(digits.left(split));
        m_addNumber = saturate32(high * 256 + low);
        m_addType = QStringLiteral("B");
        return;
    }

    if (t.contains(QLatin1Char('.'))) {
        m_isBitAdd = true;
        m_addType = QStringLiteral("B");
        const QStringView middle = t.size() >= 3 ? t.mid(1, t.size() - 3) : QStringView();
        m_addNumber = saturate32(leadingDigits(middle));
        const QChar last = t.back();
        const int bit = last.isDigit() ? last.digitValue() : 0;
        m_bitMask = quint16(1u << std::min(bit, 15));
        m_bitOutOfRange = bit > 7; // a byte has no bit 8 or 9
        return;
    }

    const QChar first = t.isEmpty() ? QChar() : t.front().toUpper();
    if (first == QLatin1Char('B') || first == QLatin1Char('W') || first == QLatin1Char('D')) {
        m_addType = QString(first);
        m_addNumber = saturate32(leadingDigits(t.mid(1)));
    } else if (first == QLatin1Char('F')) {
        const qint64 n = leadingDigits(t.mid(1));
        m_isBitAdd = true;
        m_addType = QStringLiteral("B");
        m_addNumber = saturate32(n / 8 + 32);
        m_bitMask = quint16(1u << (n % 8));
    } else {
        m_addType = QStringLiteral("B");
        m_addNumber = 32;
    }
}

bool ByteLink::parsedAddressUsable(int width) const
{
    return !(m_isBitAdd && m_bitOutOfRange) && m_addNumber >= 0 && qint64(m_addNumber) + width <= 0xFFFF;
}

// ---------------------------------------------------------------------------
// Read

Status ByteLink::prepareRead(const QString& Add)
{
    // The parse of an address read last in read mode is kept; any other
    // address is parsed (and checked) before the handshake.
    const bool reuse = CurrentMode == kReadMode && Add.compare(LastRead.address, Qt::CaseInsensitive) == 0;
    int width = LastRead.width;
    if (reuse) {
        m_addType = LastRead.type;
        m_addNumber = LastRead.number;
        m_isBitAdd = LastRead.isBit;
        if (LastRead.isBit)
            m_bitMask = LastRead.bitMask;
    } else {
        ParseAddress(Add);
        if (m_addType != QLatin1String("B") && m_addType != QLatin1String("W") && m_addType != QLatin1String("D")) {
            CurrentMode = 0;
            return fail(Cause::EntryRefused, Add);
        }
        width = widthOf(m_addType);
        // A bit above 7 or bytes past 0xFFFF: no such value, nothing is sent.
        if (!parsedAddressUsable(width))
            return fail(Cause::EntryRefused, Add);
        if (CurrentMode != kReadMode && !SetPLCMode(kReadMode, kReadMode))
            return noReply(Add);
    }

    LastRead.address = Add;
    LastRead.type = m_addType;
    LastRead.number = m_addNumber;
    LastRead.bitMask = m_bitMask;
    LastRead.isBit = m_isBitAdd;
    LastRead.width = width;
    return done();
}

Status ByteLink::readByteAt(int k)
{
    const int a = wireAddress(LastRead.number, k);
    const int h = SendByte(a >> 8, false, false);
    if (h == kNoReply)
        return noReply(LastRead.address);
    // A reply that came after a resynchronisation answers the attention
    // byte (or lands the board elsewhere in its triple): no echo.
    if (m_replyAfterResync) {
        CurrentMode = 0;
        return fail(Cause::ReplyAfterResync, LastRead.address);
    }
    if (h != (a >> 8)) {
        if (m_monitor)
            m_monitor->echoMismatch();
        m_trouble = true;
        CurrentMode = 0;
        return fail(Cause::EchoMismatch, LastRead.address);
    }
    const int d = SendByte(a & 0xFF, false, false);
    if (d == kNoReply)
        return noReply(LastRead.address);
    // Likewise the data byte: after a lost address byte the board
    // answers the attention byte as an address of its own.
    if (m_replyAfterResync) {
        CurrentMode = 0;
        return fail(Cause::ReplyAfterResync, LastRead.address);
    }
    LastRead.data[size_t(k)] = d;
    return done();
}

QString ByteLink::lastReadValue() const
{
    const auto& b = LastRead.data;
    qint64 value = 0;
    switch (LastRead.width) {
    case 0:
        value = LastRead.isBit ? ((b[0] & LastRead.bitMask) ? 1 : 0) : b[0];
        break;
    case 1:
        value = b[0] + 256 * b[1];
        break;
    default:
        value = qint64(b[2] + 256 * b[3]) * 10000 + (b[0] + 256 * b[1]);
        break;
    }
    return QString::number(value);
}

Result<QString> ByteLink::ReadValue(const QString& Add)
{
    if (Status prepared = prepareRead(Add); !prepared)
        return prepared.error();
    for (int k = 0; k <= LastRead.width; ++k) {
        if (Status byte = readByteAt(k); !byte)
            return byte.error();
    }
    // A reply waiting that nobody asked for: one of the replies taken may
    // have been a doubled copy of the one before it.
    if (m_port && m_port->isOpen() && m_port->bytesAvailable() > 0)
        m_trouble = true;
    return lastReadValue();
}

Result<QString> ByteLink::readRegister(const QString& Add)
{
    const bool linkWasDown = CommError; // a read that fails fast is no new fault
    m_trouble = false;
    Result<QString> value = ReadValue(Add);
    if (m_trouble && !CommError && (value || value.cause() != Cause::EntryRefused))
        value = confirmedRead(Add, std::move(value));
    if (!value && !linkWasDown && m_monitor)
        m_monitor->failedRead();
    return value;
}

// After trouble on the line a reply may have been a doubled copy of the one
// before it (an echo equal to the data passes its check), or an answer to a
// resynchronising byte: the value is taken only when a second read gives it
// again. A read that went wrong is made once more (with a new handshake);
// when that one goes wrong too, the read fails.
Result<QString> ByteLink::confirmedRead(const QString& Add, Result<QString> first)
{
    Result<QString> value = first ? std::move(first) : ReadValue(Add);
    if (!value || CommError)
        return value;
    Result<QString> check = ReadValue(Add);
    if (!check)
        return check;
    if (*check != *value)
        return fail(Cause::BadReply, Add);
    return check;
}

// ---------------------------------------------------------------------------
// Write

void ByteLink::entryAlert(const QString& message)
{
    m_prompter.msgBox(QStringLiteral("Error:\r") + message, QStringLiteral("ENTRY ALERT"), MsgIcon::Critical,
        MsgButtons::OK);
}

std::optional<quint64> ByteLink::writeDigits(const QString& DataValue)
{
    // Keep the digits; drop blanks, "%", ",", "." and the degree sign.
    quint64 v = 0;
    for (const QChar c : DataValue) {
        const char16_t u = c.unicode();
        if (u >= u'0' && u <= u'9') {
            v = std::min<quint64>(v * 10 + (u - u'0'), 1'000'000'000'000ULL);
        } else if (u == u' ' || u == u'%' || u == u',' || u == u'.' || u == 0xB0) {
            continue;
        } else {
            entryAlert(QStringLiteral("Only Numerical Data Allowed."));
            return std::nullopt;
        }
    }
    return v;
}

Result<QList<int>> ByteLink::writeBytes(quint64 v, const QString& Add)
{
    const Failure refused = fail(Cause::EntryRefused, Add);
    const qint32 number = m_addNumber;
    QString type = m_addType;
    // A bit above 7 is none of the byte's; bytes past 0xFFFF would wrap to
    // other addresses.
    if (m_isBitAdd && m_bitOutOfRange) {
        entryAlert(QStringLiteral("Entry out of Range (0-255)."));
        return refused;
    }
    if (!parsedAddressUsable(widthOf(type))) {
        entryAlert(QStringLiteral("Entry out of Range (0-65,535)."));
        return refused;
    }
    m_writeTarget = v;

    if (m_isBitAdd) {
        const quint16 mask = m_bitMask;
        if (v > 1) {
            entryAlert(QStringLiteral("Enter 0 or 1 Only."));
            return refused;
        }
        const Result<QString> current = readRegister(QStringLiteral("B") + QString::number(number));
        // Without the byte as it stands, the other seven bits would be lost.
        if (!current)
            return fail(current.cause(), Add);
        const quint64 byte = current->toULongLong();
        v = (v == 1 ? (byte | mask) : (byte & ~quint64(mask))) & 0xFF;
        type = QStringLiteral("B");
    }

    if (type == QLatin1String("B")) {
        if (v <= 255)
            return QList<int> { int(v) };
        entryAlert(QStringLiteral("Entry out of Range (0-255)."));
    } else if (type == QLatin1String("W")) {
        if (v <= 65535)
            return QList<int> { int(v % 256), int(v / 256) };
        entryAlert(QStringLiteral("Entry out of Range (0-65,535)."));
    } else if (type == QLatin1String("D")) {
        const int low = int(v % 10000);
        const int high = int(v / 10000);
        if (v <= 655359999)
            return QList<int> { low % 256, low / 256, high % 256, high / 256 };
        entryAlert(QStringLiteral("Entry out of Range (0-655,359,999)."));
    }
    return refused;
}

// What the board does with the bytes of a write triple when one goes wrong:
//
//   lost on the way (no reply): the link resynchronises with 0xFF. A board
//     at the start of a triple takes it as the attention byte (0x55); a
//     board waiting for the low byte takes it as the low byte (echo 0xFF)
//     and then waits for a data byte, which it stores at high:FF; a board
//     waiting for the data byte stores 0xFF at the address being written.
//   echo spoilt on the way back: the board heard the byte. The link sends
//     the rest of the triple as it is, so that the board stores the value
//     being written where it belongs, and then makes the write again; left
//     waiting instead, the board would take the next handshake's 0xFF as the
//     low byte and the one after it as data.
//
// So only a lost high byte's echo or a lost low byte can leave the board
// waiting to store at high:FF; the link notes it (m_pendingHigh), and the
// next handshake's first reply tells whether the store happened.
Status ByteLink::sendWriteTriples(qint32 number, const QList<int>& bytes, const QString& Add)
{
    for (int k = 0; k < bytes.size(); ++k) {
        const int a = wireAddress(number, k);
        const std::array<int, 3> triple { a >> 8, a & 0xFF, bytes[k] };
        for (int position = 0; position < 3; ++position) {
            const int expected = triple[size_t(position)];
            const int r = SendByte(expected, false, false);
            if (r == kNoReply) {
                if (position < 2)
                    m_pendingHigh = a >> 8; // unknown: the session may end here
                return noReply(Add);
            }
            if (m_replyAfterResync) {
                // The reply may answer the resynchronising 0xFF, which the
                // board took as an attention byte (0x55) or as this
                // triple's next byte.
                m_trouble = true;
                if ((position == 0 && r != kAck) || position == 1)
                    m_pendingHigh = a >> 8;
                WriteMismatch = true;
                return fail(Cause::ReplyAfterResync, Add);
            }
            if (r != expected) {
                if (m_monitor)
                    m_monitor->echoMismatch();
                m_trouble = true;
                WriteMismatch = true;
                // The rest of the triple as it is; its echoes are not looked
                // at, only whether the board is still there.
                for (int rest = position + 1; rest < 3; ++rest) {
                    if (SendByte(triple[size_t(rest)], false, false) == kNoReply) {
                        if (rest < 2)
                            m_pendingHigh = a >> 8;
                        return noReply(Add);
                    }
                }
                return fail(Cause::EchoMismatch, Add);
            }
        }
    }
    return done();
}

void ByteLink::notePendingStore(int firstReply)
{
    if (!m_pendingHigh || firstReply == kNoReply)
        return;
    // An acknowledgement: the board was at the start of a triple, and took
    // the 0xFF as the attention byte. Any other answer is an echo: the 0xFF
    // went into the triple; the link repeats the 0xFF until it is
    // acknowledged, and the one that completes the triple is stored at
    // high:FF (the first of them having become the low byte).
    if (firstReply != kAck) {
        const int address = (*m_pendingHigh << 8) | 0xFF;
        if (!m_strayStores.contains(address))
            m_strayStores.append(address);
    }
    m_pendingHigh.reset();
}

Result<ByteLink::PreparedWrite> ByteLink::prepareWrite(const QString& Add, const QString& DataValue)
{
    const std::optional<quint64> value = writeDigits(DataValue);
    if (!value)
        return fail(Cause::EntryRefused, Add);
    ParseAddress(Add);
    PreparedWrite write;
    write.number = m_addNumber;
    Result<QList<int>> bytes = writeBytes(*value, Add);
    if (!bytes)
        return bytes.error();
    write.bytes = *bytes;
    write.target = m_writeTarget;
    return write;
}

Status ByteLink::sendPrepared(const PreparedWrite& write, const QString& Add)
{
    WriteMismatch = false;
    if (CurrentMode != kWriteMode && !SetPLCMode(kWriteMode, kWriteMode))
        return noReply(Add);
    Status sent = sendWriteTriples(write.number, write.bytes, Add);
    if (WriteMismatch)
        CurrentMode = 0;
    return sent;
}

Status ByteLink::WriteValue(const QString& Add, const QString& DataValue)
{
    WriteMismatch = false;
    const Result<PreparedWrite> write = prepareWrite(Add, DataValue);
    if (!write)
        return write.error();
    return sendPrepared(*write, Add);
}

Status ByteLink::writeRegister(const QString& Add, const QString& DataValue)
{
    WriteMismatch = false;
    m_trouble = false;
    const qsizetype straysBefore = m_strayStores.size();
    const Result<PreparedWrite> prepared = prepareWrite(Add, DataValue);
    if (!prepared)
        return prepared.error();
    const PreparedWrite& write = *prepared;

    Status written = [&]() -> Status {
        Status sent = sendPrepared(write, Add);
        if (sent || !WriteMismatch)
            return sent; // done, or the link failed
        if (m_monitor)
            m_monitor->repeatedWrite();
        sent = sendPrepared(write, Add);
        if (sent || !WriteMismatch)
            return sent;
        // Two wrong echoes: the board may or may not have taken the value (or
        // taken a resynchronising 0xFF as its data byte). Ask it; when it
        // holds another value (a data byte lost on the way), write once more.
        for (int attempt = 0;; ++attempt) {
            const Result<QString> held = readRegister(Add);
            if (!held)
                return fail(sent.cause(), Add);
            if (held->toULongLong() == write.target)
                return done();
            if (attempt == 1 || CommError)
                return fail(Cause::NotHeld, Add, held->toLongLong());
            if (m_monitor)
                m_monitor->repeatedWrite();
            Status again = sendPrepared(write, Add);
            if (again)
                return again; // every echo right: taken
            if (!WriteMismatch)
                return again;
        }
    }();

    // A byte the board stored beside the value, outside the bytes written:
    // the write is not what was asked for, whatever became of the value.
    for (qsizetype i = straysBefore; i < m_strayStores.size() && !CommError; ++i) {
        const int address = m_strayStores.at(i);
        const int offset = (address - write.number) & 0xFFFF;
        if (offset < write.bytes.size())
            continue; // one of the value's own bytes, written since
        const QString stray = QStringLiteral("B%1").arg(address);
        const Result<QString> now = readRegister(stray);
        return fail(Cause::StrayStore, stray, now ? std::optional<qint64>(now->toLongLong()) : std::nullopt);
    }
    return written;
}

} // namespace talvek
