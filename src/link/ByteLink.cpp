#include "link/ByteLink.h"

#include "base/BasicError.h"
#include "base/Clock.h"
#include "base/Prompter.h"
#include "link/LinkMonitor.h"
#include "link/SerialPortControl.h"

#include <algorithm>

namespace talvek {

namespace {

constexpr qint64 FirstWaitMs = 1000;
constexpr qint64 ResyncWaitMs = 2000;
constexpr qint64 HandshakeWindowMs = 2000;
constexpr int ReadMode = 1;
constexpr int WriteMode = 2;

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
    SendByte(Attention, false, false);
    OnlineMode = !CommError;
}

void ByteLink::close()
{
    try {
        if (m_port && m_port->isOpen() && !CommError)
            SendByte(Attention, false, false);
    } catch (...) { }
    try {
        if (m_port && m_port->isOpen())
            m_port->close();
    } catch (...) { }
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
        return NoReply;
    }
    if (!m_port || !m_port->isOpen()) {
        portLost();
        return NoReply;
    }
    Q_ASSERT(value >= 0 && value <= 255);

    m_replyAfterResync = false;
    try {
        // Nothing received before the byte goes out can answer it: a byte
        // left over (a doubled or stray reply) would otherwise be taken as
        // this byte's reply and shift every reply after it by one.
        if (clearInput || (!noWait && m_port->bytesAvailable() > 0))
            m_port->discardInput();
        m_port->write(QByteArray(1, char(value & 0xFF)));
        if (noWait)
            return 0;
        return awaitReply();
    } catch (const BasicError&) {
        // A port that fails under us (a vanished adapter) is a lost link.
        portLost();
        return NoReply;
    }
}

int ByteLink::awaitReply()
{
    qint64 deadline = m_clock.nowMs() + FirstWaitMs;
    int timeouts = 0;
    bool resynced = false; // an attention byte went out in the byte's place
    for (;;) {
        // The port may have been closed from a nested event loop (while
        // the Retry/Cancel box was up): the exchange ends as failed.
        if (!m_port->isOpen()) {
            portLost();
            return NoReply;
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
        deadline = now + ResyncWaitMs;
        ++timeouts;
        resynced = true;
        if (m_monitor)
            m_monitor->replyTimedOut(timeouts, timeouts < 3);
        if (timeouts < 3) {
            // Resynchronise: attention byte, keep waiting for a reply.
            CommError = false;
            m_port->discardInput();
            m_port->write(QByteArray(1, char(Attention)));
        } else if (askRetry()) {
            timeouts = 0; // the deadline set before the box stands
        } else {
            CommError = true;
            m_lastCause = Cause::SilentLine;
            return NoReply;
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
    if (reply == NoReply)
        m_monitor->exchanged(value, -1, start, Outcome::NoReply);
    else if (noWait)
        m_monitor->exchanged(value, -1, start, Outcome::Sent);
    else
        m_monitor->exchanged(value, reply, start, m_replyAfterResync ? Outcome::ReplyAfterResync : Outcome::Reply);
    return reply;
}

void ByteLink::SendBytes(const QByteArray& bytes)
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
    qint64 deadline = m_clock.nowMs() + HandshakeWindowMs;
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
            deadline = m_clock.nowMs() + HandshakeWindowMs;
        }
        const int r = SendByte(Attention, false, true);
        if (r == Ack) {
            const int s = SendByte(command, false, false);
            // An acknowledgement that came only after a resynchronisation
            // answers the attention byte: the board did not take the mode
            // and waits for one. Taken as the mode's, the next byte (an
            // address, 0x03 among them) would reach the board as a command.
            if (s == Ack && !m_replyAfterResync) {
                result = true;
                CurrentMode = mode;
            } else if (s == NoReply) {
                return false;
            } else {
                CurrentMode = 0;
            }
        } else if (r == NoReply) {
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
    const bool reuse = CurrentMode == ReadMode && Add.compare(LastRead.address, Qt::CaseInsensitive) == 0;
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
        if (CurrentMode != ReadMode && !SetPLCMode(ReadMode, ReadMode))
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
    if (h == NoReply)
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
        CurrentMode = 0;
        return fail(Cause::EchoMismatch, LastRead.address);
    }
    const int d = SendByte(a & 0xFF, false, false);
    if (d == NoReply)
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
    return lastReadValue();
}

Result<QString> ByteLink::readRegister(const QString& Add)
{
    const bool linkWasDown = CommError; // a read that fails fast is no new fault
    Result<QString> value = ReadValue(Add);
    // An echo went wrong: the read costs a new handshake. An address that
    // is refused is refused again.
    if (!value && !CommError && value.cause() != Cause::EntryRefused)
        value = ReadValue(Add);
    if (!value && !linkWasDown && m_monitor)
        m_monitor->failedRead();
    return value;
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

Status ByteLink::sendWriteTriples(qint32 number, const QList<int>& bytes, const QString& Add)
{
    for (int k = 0; k < bytes.size(); ++k) {
        const int a = wireAddress(number, k);
        for (const int expected : { a >> 8, a & 0xFF, bytes[k] }) {
            const int r = SendByte(expected, false, false);
            if (r == NoReply)
                return noReply(Add);
            // An echo that came after a resynchronisation may be the board's
            // answer to the attention byte: not an echo of this byte.
            if (r != expected || m_replyAfterResync) {
                if (m_monitor && !m_replyAfterResync)
                    m_monitor->echoMismatch();
                WriteMismatch = true;
                return fail(m_replyAfterResync ? Cause::ReplyAfterResync : Cause::EchoMismatch, Add);
            }
        }
    }
    return done();
}

Status ByteLink::WriteValue(const QString& Add, const QString& DataValue)
{
    WriteMismatch = false;

    const std::optional<quint64> value = writeDigits(DataValue);
    if (!value)
        return fail(Cause::EntryRefused, Add);
    ParseAddress(Add);
    const qint32 number = m_addNumber;
    const Result<QList<int>> bytes = writeBytes(*value, Add);
    if (!bytes)
        return bytes.error();

    if (CurrentMode != WriteMode && !SetPLCMode(WriteMode, WriteMode))
        return noReply(Add);
    Status sent = sendWriteTriples(number, *bytes, Add);
    if (WriteMismatch)
        CurrentMode = 0;
    return sent;
}

Status ByteLink::writeRegister(const QString& Add, const QString& DataValue)
{
    Status written = WriteValue(Add, DataValue);
    if (written || !WriteMismatch)
        return written; // done, refused, or the link failed
    if (m_monitor)
        m_monitor->repeatedWrite();
    written = WriteValue(Add, DataValue);
    if (written || !WriteMismatch)
        return written;
    // Two wrong echoes: the board may or may not have taken the value (or
    // taken a resynchronising 0xFF as its data byte). Ask it; when it holds
    // a third value (a data byte lost on the way), write once more.
    const quint64 target = m_writeTarget;
    for (int attempt = 0;; ++attempt) {
        const Result<QString> held = readRegister(Add);
        if (!held)
            return fail(written.cause(), Add);
        if (held->toULongLong() == target)
            return done();
        if (attempt == 1 || CommError)
            return fail(Cause::NotHeld, Add, held->toLongLong());
        if (m_monitor)
            m_monitor->repeatedWrite();
        Status again = WriteValue(Add, DataValue);
        if (again)
            return again; // every echo right: taken
        if (!WriteMismatch)
            return again;
    }
}

} // namespace talvek
