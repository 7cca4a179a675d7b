#include "RSComm.h"

#include "BasicError.h"
#include "BasicText.h"
#include "Clock.h"
#include "FieldInput.h"
#include "ProgramFolder.h"
#include "Prompter.h"
#include "SerialPortControl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace talvek {

namespace {

constexpr qint64 FirstWaitMs = 1000;
constexpr qint64 ResyncWaitMs = 2000;
constexpr qint64 HandshakeWindowMs = 2000;

const QString kCommErrorTitle = QStringLiteral("WARNING - Communication Error!");

// Reads a field the way "Input #" fills a 16-bit integer: empty gives 0, a
// number is rounded (ties to even), anything else is a type mismatch.
int integerField(const QString& field)
{
    if (field.trimmed().isEmpty())
        return 0;
    if (!IsNumeric(field))
        throw BasicError(RuntimeError::TypeMismatch, QStringLiteral("RSComm"), QStringLiteral("Type mismatch"));
    try {
        return CInt(Val(field));
    } catch (const BasicError&) {
        throw BasicError(RuntimeError::Overflow, QStringLiteral("RSComm"), QStringLiteral("Overflow"));
    }
}

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

qint32 saturate32(qint64 v) { return qint32(std::clamp<qint64>(v, 0, 0x7FFFFFFF)); }

// Wire addresses live in a 16-bit byte space; an address past its end wraps.
int wireAddress(qint32 base, int k) { return int((qint64(base) + k) & 0xFFFF); }

} // namespace

RSComm::RSComm(ProgramFolder& folder, Clock& clock, Prompter& prompter)
    : m_folder(folder)
    , m_clock(clock)
    , m_prompter(prompter)
{
}

RSComm::~RSComm() = default;

QString RSComm::CommSettingsFile() const
{
    return m_folder.resolve(QStringLiteral("support/RSPort.cfg"));
}

// ---------------------------------------------------------------------------
// Port settings

RSComm::PortSettings RSComm::ReadPortSettings()
{
    PortSettings s;
    const QString path = CommSettingsFile();
    const QFileInfo info(path);

    // Defaults are written where the program keeps what it writes (an empty
    // file among the installed, read-only files is not rewritten in place).
    auto writeDefaults = [&] {
        const QString target = m_folder.writablePath(QStringLiteral("support/RSPort.cfg"));
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile f(target);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || f.write(QByteArrayLiteral("1,9600\r\n")) != 8) {
            throw BasicError(RuntimeError::PathFileAccess, QStringLiteral("RSComm"),
                              QStringLiteral("Path/File access error: cannot write ") + QDir::toNativeSeparators(target)
                                  + QStringLiteral(" (") + f.errorString() + QStringLiteral(")"));
        }
    };

    if (!info.exists()) {
        writeDefaults();
        return s;
    }
    // A pipe or a device in its place would block the open (and is no
    // settings file).
    if (!info.isFile()) {
        throw BasicError(RuntimeError::PathFileAccess, QStringLiteral("RSComm"),
            QStringLiteral("Path/File access error: cannot read ") + QDir::toNativeSeparators(path)
                + QStringLiteral(" (not a file)"));
    }
    if (info.size() == 0) {
        writeDefaults();
        return s;
    }

    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        throw BasicError(RuntimeError::PathFileAccess, QStringLiteral("RSComm"),
                          QStringLiteral("Path/File access error: cannot read ") + QDir::toNativeSeparators(path)
                              + QStringLiteral(" (") + f.errorString() + QStringLiteral(")"));
    }
    return ParsePortSettings(f.read(PortSettingsReadLimit));
}

RSComm::PortSettings RSComm::ParsePortSettings(const QByteArray& contents)
{
    PortSettings s;
    FieldInput in(contents);
    const QString portField = in.next();
    if (in.pastEnd())
        throw BasicError(RuntimeError::InputPastEnd, QStringLiteral("RSComm"), QStringLiteral("Input past end of file"));
    const int port = integerField(portField);
    const QString speedField = in.next();
    if (in.pastEnd())
        throw BasicError(RuntimeError::InputPastEnd, QStringLiteral("RSComm"), QStringLiteral("Input past end of file"));

    s.port = std::clamp(port, 1, 99);
    // The speed the link accepts is a speed it can open: the canonical text
    // of 9600 or 19200, however the file spells it ("1.92E4", "&H2580").
    const double speed = Val(speedField);
    s.speed = speed == 19200.0 ? QStringLiteral("19200") : QStringLiteral("9600");
    return s;
}

void RSComm::ConfigurePort(SerialPortControl* port)
{
    PortSettings settings;
    int step = 1;
    while (step <= 4) {
        try {
            switch (step) {
            case 1:
                settings = ReadPortSettings();
                break;
            case 2:
                if (port->isOpen())
                    port->close();
                break;
            case 3:
                port->setCommPort(settings.port);
                port->setSettings(settings.speed + QStringLiteral(",n,8,1"));
                break;
            case 4:
                m_port = port;
                PortFailed = false;
                break;
            }
            ++step;
        } catch (const BasicError& e) {
            bool retry = false;
            errorBox(e.number(), e.source(), e.description(), QStringLiteral("RSComm InitializeRSComm"), false, true,
                     &retry);
            if (!retry) {
                OnlineMode = false;
                PortFailed = true;
                return;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Open and close

void RSComm::OpenRSComm(SerialPortControl* CommObj)
{
    if (!CommObj)
        return;
    OperationGuard guard(*this);
    if (guard.refused())
        return; // never reconfigure a port under a waiting exchange
    if (m_monitor)
        m_monitor->linkOpening();

    m_port = CommObj;
    ConfigurePort(CommObj);
    if (PortFailed)
        return;
    try {
        CommObj->open();
        CommObj->discardInput();
        CurrentMode = 0;
        CommError = false;
        SendByte(Attention, false, false);
        OnlineMode = !CommError;
    } catch (const BasicError& e) {
        errorBox(e.number(), e.source(), e.description(), QStringLiteral("Comm Port Error"), true, false, nullptr);
        CommError = true;
        OnlineMode = false;
        PortFailed = true;
    }
    if (!OnlineMode && CommObj->isOpen()) {
        // The port stays open only while the program is online.
        try {
            CommObj->close();
        } catch (const SerialError&) {
        }
        CurrentMode = 0;
    }
}

void RSComm::CloseRSComm()
{
    try {
        if (m_port && m_port->isOpen() && !CommError)
            SendByte(Attention, false, false);
    } catch (...) {
    }
    try {
        if (m_port && m_port->isOpen())
            m_port->close();
    } catch (...) {
    }
    CurrentMode = 0;
    OnlineMode = false;
}

// ---------------------------------------------------------------------------
// One byte out, one byte back

int RSComm::exchangeByte(int value, bool noWait, bool clearInput)
{
    if (CommError)
        return NoReply;
    if (!m_port || !m_port->isOpen()) {
        CurrentMode = 0;
        CommError = true;
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

        qint64 deadline = m_clock.nowMs() + FirstWaitMs;
        int timeouts = 0;
        bool resynced = false; // an attention byte went out in the byte's place
        for (;;) {
            // The port may have been closed from a nested event loop (while
            // the Retry/Cancel box was up): the exchange ends as failed.
            if (!m_port->isOpen()) {
                CurrentMode = 0;
                CommError = true;
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
            if (now >= deadline) {
                CurrentMode = 0;
                CommError = true;
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
                } else {
                    QString text = QStringLiteral("Cannot Communicate with Target Board.\rVerify RS-232 Cable "
                                                  "is Connected Between\rCOMM Port and PROG Port.");
                    if (const QString facts = m_port->portFacts(); !facts.isEmpty())
                        text += QLatin1Char('\r') + facts;
                    const MsgResult r = m_prompter.msgBox(text,
                        kCommErrorTitle, MsgIcon::Critical, MsgButtons::RetryCancel);
                    if (r != MsgResult::Retry) {
                        CommError = true;
                        return NoReply;
                    }
                    timeouts = 0; // the deadline set before the box stands
                }
                continue;
            }
            m_port->waitForInput(int(std::min<qint64>(deadline - now, 1000)));
        }
    } catch (const BasicError&) {
        // A port that fails under us (a vanished adapter) is a lost link.
        CurrentMode = 0;
        CommError = true;
        return NoReply;
    }
}

void RSComm::SendBytes(const QByteArray& bytes)
{
    if (CommError || bytes.isEmpty())
        return;
    if (!m_port || !m_port->isOpen()) {
        CurrentMode = 0;
        CommError = true;
        return;
    }
    const qint64 start = m_monitor ? m_monitor->byteGoingOut() : 0;
    try {
        m_port->write(bytes);
    } catch (const BasicError&) {
        CurrentMode = 0;
        CommError = true;
    }
    if (m_monitor)
        for (const char c : bytes)
            m_monitor->exchanged(quint8(c), -1, start, CommError ? LinkMonitor::Outcome::NoReply
                                                                 : LinkMonitor::Outcome::Sent);
}

bool RSComm::SetPLCMode(int mode, int command)
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
                OnlineMode = false;
                CloseRSComm();
                return false;
            }
            deadline = m_clock.nowMs() + HandshakeWindowMs;
        }
        const int r = SendByte(Attention, false, true);
        if (r == Ack) {
            const int s = SendByte(command, false, false);
            if (s == Ack) {
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

void RSComm::ParseAddress(const QString& address)
{
    IsBitAdd = false;
    m_bitOutOfRange = false;
    const QStringView t(address);

    if (!t.isEmpty() && (t.back() == QLatin1Char('H') || t.back() == QLatin1Char('h'))) {
        const QStringView digits = t.chopped(1);
        const qsizetype split = std::max<qsizetype>(0, digits.size() - 2);
        const qint64 low = leadingHex(digits.mid(split));
        const qint64 high = leadingHex(digits.left(split));
        AddNumber = saturate32(high * 256 + low);
        AddType = QStringLiteral("B");
        return;
    }

    if (t.contains(QLatin1Char('.'))) {
        IsBitAdd = true;
        AddType = QStringLiteral("B");
        const QStringView middle = t.size() >= 3 ? t.mid(1, t.size() - 3) : QStringView();
        AddNumber = saturate32(leadingDigits(middle));
        const QChar last = t.back();
        const int bit = last.isDigit() ? last.digitValue() : 0;
        BitMask = quint16(1u << std::min(bit, 15));
        m_bitOutOfRange = bit > 7; // a byte has no bit 8 or 9
        return;
    }

    const QChar first = t.isEmpty() ? QChar() : t.front().toUpper();
    if (first == QLatin1Char('B') || first == QLatin1Char('W') || first == QLatin1Char('D')) {
        AddType = QString(first);
        AddNumber = saturate32(leadingDigits(t.mid(1)));
    } else if (first == QLatin1Char('F')) {
        const qint64 n = leadingDigits(t.mid(1));
        IsBitAdd = true;
        AddType = QStringLiteral("B");
        AddNumber = saturate32(n / 8 + 32);
        BitMask = quint16(1u << (n % 8));
    } else {
        AddType = QStringLiteral("B");
        AddNumber = 32;
    }
}

// ---------------------------------------------------------------------------
// Read

bool RSComm::parsedAddressUsable(int width) const
{
    return !(IsBitAdd && m_bitOutOfRange) && AddNumber >= 0 && qint64(AddNumber) + width <= 0xFFFF;
}

QString RSComm::ReadValue(const QString& Add)
{
    // The parse of an address read last in read mode is kept; any other
    // address is parsed (and checked) before the handshake.
    const bool reuse = CurrentMode == 1 && Add.compare(LastRead.address, Qt::CaseInsensitive) == 0;
    int width = LastRead.width;
    if (reuse) {
        AddType = LastRead.type;
        AddNumber = LastRead.number;
        IsBitAdd = LastRead.isBit;
        if (LastRead.isBit)
            BitMask = LastRead.bitMask;
    } else {
        ParseAddress(Add);
        if (AddType == QLatin1String("B"))
            width = 0;
        else if (AddType == QLatin1String("W"))
            width = 1;
        else if (AddType == QLatin1String("D"))
            width = 3;
        else {
            CurrentMode = 0;
            return {};
        }
        // A bit above 7 or bytes past 0xFFFF: no such value, nothing is sent.
        if (!parsedAddressUsable(width))
            return {};
        if (CurrentMode != 1 && !SetPLCMode(1, 1))
            return {};
    }

    LastRead.address = Add;
    LastRead.type = AddType;
    LastRead.number = AddNumber;
    LastRead.bitMask = BitMask;
    LastRead.isBit = IsBitAdd;
    LastRead.width = width;

    for (int k = 0; k <= LastRead.width; ++k) {
        const int a = wireAddress(LastRead.number, k);
        const int h = SendByte(a >> 8, false, false);
        if (h == NoReply)
            return {};
        // A reply that came after a resynchronisation answers the attention
        // byte (or lands the board elsewhere in its triple): no echo.
        if (h != (a >> 8) || m_replyAfterResync) {
            if (m_monitor && !m_replyAfterResync)
                m_monitor->echoMismatch();
            CurrentMode = 0;
            return {};
        }
        const int d = SendByte(a & 0xFF, false, false);
        if (d == NoReply)
            return {};
        // Likewise the data byte: after a lost address byte the board
        // answers the attention byte as an address of its own.
        if (m_replyAfterResync) {
            CurrentMode = 0;
            return {};
        }
        LastRead.data[size_t(k)] = d;
    }

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

QString RSComm::readRegister(const QString& Add)
{
    const bool linkWasDown = CommError; // a read that fails fast is no new fault
    QString value = ReadValue(Add);
    if (value.isEmpty() && !CommError)
        value = ReadValue(Add); // an echo went wrong: the read costs a new handshake
    if (value.isEmpty() && !linkWasDown && m_monitor)
        m_monitor->failedRead();
    return value;
}

QString RSComm::RSRead(const QString& Add)
{
    OperationGuard guard(*this);
    if (guard.refused()) {
        m_readFailed = true;
        return QStringLiteral("0");
    }
    const QString raw = readRegister(Add);
    m_readFailed = raw.isEmpty();
    return m_readFailed ? QStringLiteral("0") : raw;
}

// ---------------------------------------------------------------------------
// The exchanges as the link monitor sees them

int RSComm::SendByte(int value, bool noWait, bool clearInput)
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
        m_monitor->exchanged(value, reply, start, Outcome::Reply);
    return reply;
}

// ---------------------------------------------------------------------------
// Write

void RSComm::entryAlert(const QString& message)
{
    m_prompter.msgBox(QStringLiteral("Error:\r") + message, QStringLiteral("ENTRY ALERT"), MsgIcon::Critical,
                      MsgButtons::OK);
}

void RSComm::WriteValue(const QString& Add, const QString& DataValue)
{
    WriteMismatch = false;
    m_writeRefused = true; // until something is sent
    m_writeIncomplete = false;

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
            return;
        }
    }

    ParseAddress(Add);
    const qint32 number = AddNumber;
    QString type = AddType;
    // A bit above 7 is none of the byte's; bytes past 0xFFFF would wrap to
    // other addresses.
    if (IsBitAdd && m_bitOutOfRange) {
        entryAlert(QStringLiteral("Entry out of Range (0-255)."));
        return;
    }
    const int width = type == QLatin1String("W") ? 1 : type == QLatin1String("D") ? 3 : 0;
    if (!parsedAddressUsable(width)) {
        entryAlert(QStringLiteral("Entry out of Range (0-65,535)."));
        return;
    }
    m_writeTarget = v;

    if (IsBitAdd) {
        const quint16 mask = BitMask;
        if (v > 1) {
            entryAlert(QStringLiteral("Enter 0 or 1 Only."));
            return;
        }
        m_writeRefused = false;
        const QString current = readRegister(QStringLiteral("B") + QString::number(number));
        // Without the byte as it stands, the other seven bits would be lost.
        if (current.isEmpty()) {
            m_writeIncomplete = true;
            return;
        }
        const quint64 byte = current.toULongLong();
        v = (v == 1 ? (byte | mask) : (byte & ~quint64(mask))) & 0xFF;
        type = QStringLiteral("B");
    }

    QList<int> bytes;
    if (type == QLatin1String("B")) {
        if (v > 255) {
            entryAlert(QStringLiteral("Entry out of Range (0-255)."));
            return;
        }
        bytes = {int(v)};
    } else if (type == QLatin1String("W")) {
        if (v > 65535) {
            entryAlert(QStringLiteral("Entry out of Range (0-65,535)."));
            return;
        }
        bytes = {int(v % 256), int(v / 256)};
    } else if (type == QLatin1String("D")) {
        if (v > 655359999) {
            entryAlert(QStringLiteral("Entry out of Range (0-655,359,999)."));
            return;
        }
        const int low = int(v % 10000);
        const int high = int(v / 10000);
        bytes = {low % 256, low / 256, high % 256, high / 256};
    } else {
        return;
    }

    m_writeRefused = false;
    if (CurrentMode != 2 && !SetPLCMode(2, 2)) {
        m_writeIncomplete = true;
        return;
    }

    for (int k = 0; k < bytes.size() && !WriteMismatch; ++k) {
        const int a = wireAddress(number, k);
        for (const int expected : {a >> 8, a & 0xFF, bytes[k]}) {
            const int r = SendByte(expected, false, false);
            if (r == NoReply) {
                m_writeIncomplete = true;
                return;
            }
            // An echo that came after a resynchronisation may be the board's
            // answer to the attention byte: not an echo of this byte.
            if (r != expected || m_replyAfterResync) {
                if (m_monitor && !m_replyAfterResync)
                    m_monitor->echoMismatch();
                WriteMismatch = true;
                break;
            }
        }
    }
    if (WriteMismatch)
        CurrentMode = 0;
}

bool RSComm::writeRegister(const QString& Add, const QString& DataValue)
{
    WriteValue(Add, DataValue);
    if (WriteMismatch) {
        if (m_monitor)
            m_monitor->repeatedWrite();
        WriteValue(Add, DataValue);
    }
    if (m_writeRefused || m_writeIncomplete || CommError)
        return false;
    if (!WriteMismatch)
        return true;
    // Two wrong echoes: the board may or may not have taken the value (or
    // taken a resynchronising 0xFF as its data byte). Ask it.
    const QString held = readRegister(Add);
    return !held.isEmpty() && held.toULongLong() == m_writeTarget;
}

bool RSComm::RSWrite(const QString& Add, const QString& DataValue, WriteFailure report)
{
    OperationGuard guard(*this);
    if (guard.refused()) {
        m_writeFailed = true;
        return false;
    }
    const bool written = writeRegister(Add, DataValue);
    m_writeFailed = !written && !m_writeRefused;
    // A link failure has had its own box; the operator is going OFFLINE.
    if (m_writeFailed && !CommError && report == WriteFailure::Alert)
        entryAlert(QStringLiteral("Value Not Written to PLC (") + Add + QStringLiteral(")."));
    return written;
}

// ---------------------------------------------------------------------------

void RSComm::errorBox(int number, const QString& source, const QString& description, const QString& title,
                      bool withSource, bool retryCancel, bool* retry)
{
    QString text = QStringLiteral("Error Number = ") + QString::number(number);
    if (withSource)
        text += QStringLiteral("\r\nError Source = ") + source;
    text += QStringLiteral("\r\n\r\n") + description;
    const MsgResult r = m_prompter.msgBox(text, title, MsgIcon::Critical,
                                          retryCancel ? MsgButtons::RetryCancel : MsgButtons::OK);
    if (retry)
        *retry = (r == MsgResult::Retry);
}

} // namespace talvek
