#include "link/ByteLink.h"

#include "base/BasicError.h"
#include "base/Clock.h"
#include "base/Prompter.h"
#include "link/AddressUtils.h"
#include "link/LinkMonitor.h"
#include "link/SerialPortControl.h"

#include <algorithm>

namespace talvek {

namespace {

constexpr qint64 kFirstWaitMs = 1000;
constexpr qint64 kResyncWaitMs = 2000;
constexpr qint64 kHandshakeWindowMs = 2000;
// How long a data byte equal to its address high byte waits for a byte
// behind it (a doubled echo's data comes a byte time after the copy; a USB
// adapter may hold it for its latency timer).
constexpr int kDoubledEchoWaitMs = 20;
// The quiet that tells a line drained after a reply went wrong: the reply
// still on its way (behind a noise byte or a doubled one, or the second of
// a late reply and its resynchronisation's) comes within a few byte times.
constexpr int kDrainQuietMs = 50;
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
    m_guess.clear();
    m_strayCandidates.clear();
    m_lostTrack = false;
    m_pending.clear();
    m_strayStores.clear();
    m_strayHeld.clear();
    m_plsWriteOpen = false;
    m_plsWritePending = false;
    m_unsettled = false;
    m_recordFailure.reset();
    m_earlier = {};
    // Read before the first byte goes out: that byte may complete what the
    // record names.
    const std::optional<WriteAheadRecord::Left> left = m_record.left();
    m_record.keep({}); // what the file holds is this opening's to read back
    const int first = SendByte(kAttention, false, false);
    // A board inside a write triple echoes the attention byte (stored as
    // the data, or taken as the low byte: the next byte is then stored at
    // high:FF); inside a read pair it answers the data at high:FF. Attention
    // bytes follow until it acknowledges one.
    int r = first;
    for (int more = 0; more < 3 && r != kAck && r != kNoReply; ++more)
        r = SendByte(kAttention, false, false);
    OnlineMode = !CommError;
    if (OnlineMode) {
        readBackEarlierRun(first, left);
        // A board that fell silent during the read-back: the record stays.
        OnlineMode = !CommError;
    }
}

void ByteLink::readBackEarlierRun(int firstReply, const std::optional<WriteAheadRecord::Left>& left)
{
    EarlierRun e;
    e.firstReply = firstReply;
    e.recorded = left.has_value();
    // With no record, a reply other than the echo is a read pair's: nothing
    // was stored.
    e.insideRecord = firstReply != kAck && (e.recorded || firstReply == kAttention);
    if (!e.found()) {
        m_earlier = e;
        return;
    }
    const WriteAheadRecord::Entry entry = left ? left->entry : WriteAheadRecord::Entry {};
    e.plsWrite = entry.plsWrite;
    e.unknownAddress
        = (left && left->unreadable) || (e.insideRecord && entry.addresses.isEmpty() && !entry.plsWrite);
    bool all = true;
    for (const int address : entry.addresses) {
        std::optional<int> value;
        if (all && !CommError) {
            const Result<QString> now = readRegister(QStringLiteral("B%1").arg(address));
            if (now)
                value = now->toInt();
        }
        all = all && value.has_value();
        e.held.append({ address, value });
    }
    // What could not be read back is told again by the next opening.
    if (all)
        m_record.discard();
    else
        m_record.keep(entry);
    m_earlier = e;
}

void ByteLink::close()
{
    // A port that fails while the session ends throws its error (BasicError,
    // e.g. the adapter pulled out). It is dropped here on purpose: close()
    // runs from destructors and teardown, where nothing may throw, and the
    // session is over either way; the next open reports the port's state.
    bool atRest = false;
    try {
        if (m_port && m_port->isOpen() && !CommError) {
            // A write that went wrong ends in this session, where the link
            // can read back what a lost byte may have stored, and not with
            // the next session's first byte.
            if (strayStoresUnsettled())
                restBoard({});
            if (!CommError) {
                // A board that echoes the last attention byte instead of
                // acknowledging it is inside a pair or triple: it is sent
                // again until acknowledged. Where the link had followed the
                // board through clean write triples, it did not follow it
                // there: a byte was stored where the link cannot tell.
                const bool followed = m_guess.fromWrite() && !m_guess.troubled();
                int r = SendByte(kAttention, false, false);
                for (int more = 0; more < 2 && r != kAck && r != kNoReply; ++more) {
                    m_lostTrack = m_lostTrack || followed || !m_guess.active();
                    if (r == kAttention)
                        m_guess.observeAttention(false);
                    r = SendByte(kAttention, false, false);
                }
                if (r == kAck) {
                    m_guess.observeAttention(true);
                    settleGuess();
                    atRest = !CommError;
                }
            }
        }
    } catch (const BasicError&) { }
    // A board left inside a write triple stores the next byte it hears;
    // stores not read back may have happened. A PLS write left open takes
    // the closing attention byte and may wait for the next session's.
    m_pending = m_guess.pending();
    m_plsWritePending = m_plsWriteOpen;
    m_plsWriteOpen = false;
    for (const BoardGuess::Store& s : std::as_const(m_strayCandidates))
        if (!m_strayStores.contains(s.address))
            m_strayStores.append(s.address);
    // The board at rest (the last attention byte acknowledged) with every
    // store it may have made read back: the record goes. Otherwise it stays
    // for the next opening to read back.
    const bool unread = !m_strayCandidates.isEmpty();
    m_strayCandidates.clear();
    m_guess.clear();
    if (atRest && !unread && m_pending.isEmpty() && !m_plsWritePending)
        m_record.clear();
    m_record.release();
    try {
        if (m_port && m_port->isOpen())
            m_port->close();
    } catch (const BasicError&) { }
    CurrentMode = 0;
    OnlineMode = false;
}

void ByteLink::plsWriteEnded()
{
    m_plsWriteOpen = false;
    settleRecord();
}

Status ByteLink::recordPlsWrite()
{
    return m_record.cover(m_guess.pending(), true);
}

void ByteLink::recordAhead(int value)
{
    if (!m_record.enabled() || !m_guess.fromWrite())
        return;
    BoardGuess next = m_guess;
    next.sent(value);
    const QList<int> pending = next.pending();
    if (m_record.covers(pending, false))
        return;
    if (Status recorded = m_record.cover(pending, false); !recorded)
        m_recordFailure = recorded.error();
}

Status ByteLink::recordWrite(qint32 number, qsizetype count)
{
    QList<int> addresses = m_guess.pending();
    for (int k = 0; k < count; ++k) {
        const int a = wireAddress(number, k);
        addresses << a << ((a & 0xFF00) | 0xFF);
    }
    return m_record.cover(addresses, m_plsWriteOpen);
}

Status ByteLink::settledRecord(Status written)
{
    settleRecord();
    if (m_recordFailure && written)
        return *std::exchange(m_recordFailure, std::nullopt);
    return written;
}

Status ByteLink::beginWriteRun(const QStringList& addresses, bool plsWrites)
{
    if (!m_record.enabled())
        return done();
    QList<int> all;
    for (const QString& address : addresses) {
        ParseAddress(address);
        const int width = widthOf(m_addType);
        if (m_addType.isEmpty() || !parsedAddressUsable(width))
            continue;
        for (int k = 0; k <= width; ++k) {
            const int a = wireAddress(m_addNumber, k);
            all << a << ((a & 0xFF00) | 0xFF);
        }
    }
    Status covered = m_record.cover(all, plsWrites);
    m_writeRun = covered.ok();
    return covered;
}

void ByteLink::endWriteRun()
{
    m_writeRun = false;
    settleRecord();
}

void ByteLink::settleRecord()
{
    if (m_writeRun)
        return;
    if (!CommError && !m_plsWriteOpen && !strayStoresUnsettled() && m_guess.pending().isEmpty())
        m_record.clear();
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
            troubleOnLine(); // a doubled or late reply: the last reply taken may not have been this one's
        if (clearInput || (!noWait && m_port->bytesAvailable() > 0))
            m_port->discardInput();
        recordAhead(value);
        m_port->write(QByteArray(1, char(value & 0xFF)));
        m_guess.sent(value);
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
        troubleOnLine();
        if (m_monitor)
            m_monitor->replyTimedOut(timeouts, timeouts < 3);
        if (timeouts < 3) {
            // Resynchronise: attention byte (or the byte a write triple
            // waits for), keep waiting for a reply.
            CommError = false;
            m_port->discardInput();
            recordAhead(m_resyncByte);
            m_port->write(QByteArray(1, char(m_resyncByte)));
            m_guess.sent(m_resyncByte);
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
    // After a byte that may have been lost, late replies would be taken for
    // the attention byte's.
    m_unsettled = m_unsettled || m_guess.mayHaveStored();
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
        if (m_unsettled)
            drainLine();
        const int r = SendByte(kAttention, false, true);
        // An echo of the attention byte is a board inside a triple; any
        // other answer is a reply still on its way or a spoilt one.
        if (r != kAck && r != kAttention && r != kNoReply)
            m_unsettled = true;
        if (r == kAck) {
            m_guess.observeAttention(true);
            settleGuess();
            const int s = SendByte(command, false, false);
            // An acknowledgement that came only after a resynchronisation
            // answers the attention byte: the board did not take the mode
            // and waits for one. Taken as the mode's, the next byte (an
            // address, 0x03 among them) would reach the board as a command.
            if (s == kAck && !m_replyAfterResync) {
                result = true;
                CurrentMode = mode;
                m_guess.begin(mode);
            } else if (s == kNoReply) {
                return false;
            } else {
                // The board may have taken the command (the reply spoilt,
                // or a noise byte ahead of it): its replies may come one
                // behind until the line is quiet.
                CurrentMode = 0;
                m_unsettled = true;
            }
        } else if (r == kNoReply) {
            return false;
        } else if (r == kAttention) {
            m_guess.observeAttention(false); // taken into a triple
        }
    }
    return result;
}

void ByteLink::settleGuess()
{
    const BoardGuess::Settled settled = m_guess.settle();
    m_lostTrack = m_lostTrack || settled.lostTrack;
    for (const BoardGuess::Store& s : settled.stray)
        if (!m_strayCandidates.contains(s))
            m_strayCandidates.append(s);
}

void ByteLink::drainLine()
{
    m_unsettled = false;
    if (!m_port || !m_port->isOpen())
        return;
    try {
        // A line that never falls quiet is left to the exchanges to report.
        for (int round = 0; round < 16; ++round) {
            m_port->discardInput();
            if (!m_port->waitForInput(kDrainQuietMs))
                break;
        }
        m_port->discardInput();
    } catch (const BasicError&) {
        portLost();
    }
}

void ByteLink::restBoard(const QList<int>& ownBytes)
{
    if (CommError || (m_guess.active() && !SetPLCMode(kReadMode, kReadMode)))
        return;
    const QList<BoardGuess::Store> candidates = std::exchange(m_strayCandidates, {});
    for (const BoardGuess::Store& c : candidates) {
        if (ownBytes.contains(c.address) || m_strayStores.contains(c.address))
            continue;
        // Read back: a byte that holds another value than the store would
        // have left was not stored (or has been written since).
        const Result<QString> now = readRegister(QStringLiteral("B%1").arg(c.address));
        bool stored = !now;
        for (const BoardGuess::Store& same : candidates)
            stored = stored || (same.address == c.address && now && now->toInt() == same.value);
        if (stored) {
            m_strayStores.append(c.address);
            if (now)
                m_strayHeld.insert(c.address, now->toInt());
        }
        if (CommError) {
            // What was not read back stays a store that may have happened.
            for (const BoardGuess::Store& rest : candidates)
                if (!ownBytes.contains(rest.address) && !m_strayStores.contains(rest.address))
                    m_strayStores.append(rest.address);
            return;
        }
    }
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
    // No byte of the value may lie where the address high byte would be
    // the attention byte: the board would start a handshake there.
    return !(m_isBitAdd && m_bitOutOfRange) && m_addNumber >= 0 && !unreachableByte(m_addNumber, width + 1);
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
        troubleOnLine();
        CurrentMode = 0;
        return fail(Cause::EchoMismatch, LastRead.address);
    }
    m_guess.heard();
    const int d = SendByte(a & 0xFF, false, false);
    if (d == kNoReply)
        return noReply(LastRead.address);
    // Likewise the data byte: after a lost address byte the board
    // answers the attention byte as an address of its own.
    if (m_replyAfterResync) {
        CurrentMode = 0;
        return fail(Cause::ReplyAfterResync, LastRead.address);
    }
    // A data byte equal to its address high byte may be a doubled echo of
    // that byte, the real data a byte time behind it: the link would read
    // one reply behind from here. A byte that follows within a few byte
    // times is the data; the value is then taken when a second read agrees.
    // Not in page 0, whose registers are mostly 00 bytes read many times a
    // second: waiting there would slow every poll of the press; a doubled
    // 00 echo is left to the echoes of the pairs after it.
    m_guess.heard();
    int data = d;
    if (d == (a >> 8) && d != 0) {
        const std::optional<int> behind = byteBehind();
        if (CommError)
            return noReply(LastRead.address);
        data = behind.value_or(d);
    }
    LastRead.data[size_t(k)] = data;
    return done();
}

std::optional<int> ByteLink::byteBehind()
{
    if (CommError || !m_port || !m_port->isOpen())
        return std::nullopt;
    try {
        if (m_port->waitForInput(kDoubledEchoWaitMs)) {
            const int b = m_port->readByte();
            if (b >= 0) {
                troubleOnLine();
                return b;
            }
        }
    } catch (const BasicError&) {
        portLost();
    }
    return std::nullopt;
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
        troubleOnLine();
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
    // A new handshake: its attention bytes find the line where the board is
    // (a link one reply behind takes the stale reply for the first of them).
    CurrentMode = 0;
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

// What the board does with the bytes of a write triple when one goes wrong
// (the board never notices: it takes the bytes it hears, in order):
//
//   address high lost: the board stands at the start of the triple. The
//     resynchronising 0xFF is an attention byte (0x55); the write fails
//     and is made again after a new handshake.
//   address low lost: the board waits for the low byte. The link sends the
//     low byte again instead of an 0xFF (which would become the low byte,
//     and the next byte a store at high:FF); its echo means the board has
//     the address, and the triple goes on. A board that had heard the low
//     byte after all (its echo lost) takes the repetition as the data, at
//     the address being written, which the write then puts right.
//   data byte lost: the resynchronising 0xFF is the data, stored at the
//     address being written (echo 0xFF); the write is made again.
//   echo spoilt on the way back (or a noise byte, or a doubled reply taken
//     for it): the board heard the byte, or (a doubled reply hiding a lost
//     byte) did not. The link sends the rest of the triple as it is, so that
//     a board that heard it stores the value where it belongs, and makes
//     the write again.
//
// Every byte not answered as the board answers it goes into the guess
// (m_guess) as perhaps lost; the attention bytes of the next handshake show
// where the board stood, and the stores only a board that lost a byte
// would have made are read back at the end of the write (restBoard).
Status ByteLink::sendWriteTriples(qint32 number, const QList<int>& bytes, const QString& Add)
{
    for (int k = 0; k < bytes.size(); ++k) {
        const int a = wireAddress(number, k);
        const std::array<int, 3> triple { a >> 8, a & 0xFF, bytes[k] };
        m_guess.intend(a, bytes[k]);
        for (int position = 0; position < 3; ++position) {
            const int expected = triple[size_t(position)];
            m_resyncByte = position == 1 ? expected : kAttention;
            const int r = SendByte(expected, false, false);
            m_resyncByte = kAttention;
            if (r == kNoReply)
                return noReply(Add);
            if (m_replyAfterResync) {
                troubleOnLine();
                // The low byte sent again and echoed: the board has the
                // address (the byte stays in the guess as perhaps lost).
                if (position == 1 && r == expected)
                    continue;
                // Otherwise the reply answers the resynchronising 0xFF: an
                // attention byte (0x55) or a byte of the triple (its echo).
                if (position != 1 && (r == kAck || r == kAttention))
                    m_guess.observeAttention(r == kAck);
                WriteMismatch = true;
                return fail(Cause::ReplyAfterResync, Add);
            }
            if (r != expected) {
                if (m_monitor)
                    m_monitor->echoMismatch();
                troubleOnLine();
                WriteMismatch = true;
                // The rest of the triple as it is; its echoes are not looked
                // at, only whether the board is still there.
                for (int rest = position + 1; rest < 3; ++rest) {
                    if (SendByte(triple[size_t(rest)], false, false) == kNoReply)
                        return noReply(Add);
                }
                return fail(Cause::EchoMismatch, Add);
            }
            m_guess.heard();
        }
    }
    return done();
}

Result<ByteLink::PreparedWrite> ByteLink::prepareWrite(const QString& Add, const QString& DataValue)
{
    const std::optional<quint64> value = writeDigits(DataValue);
    if (!value)
        return fail(Cause::EntryRefused, Add);
    ParseAddress(Add);
    PreparedWrite write;
    write.number = m_addNumber;
    // (A bit write reads its byte first, which parses another address.)
    const bool bit = m_isBitAdd;
    const quint16 mask = m_bitMask;
    Result<QList<int>> bytes = writeBytes(*value, Add);
    if (!bytes)
        return bytes.error();
    write.bytes = *bytes;
    write.target = m_writeTarget;
    // A bit is checked as the whole byte it was written as: a lost byte
    // may have spoilt the other seven bits, and they must be as read.
    write.bitMask = bit ? mask : 0;
    write.readBack = bit ? QStringLiteral("B%1").arg(write.number) : Add;
    write.readTarget = bit ? quint64(write.bytes.value(0)) : write.target;
    return write;
}

Status ByteLink::sendPrepared(const PreparedWrite& write, const QString& Add)
{
    WriteMismatch = false;
    // Durable before the first byte: a run that dies inside the write
    // leaves the next one the addresses to read back.
    if (Status recorded = recordWrite(write.number, write.bytes.size()); !recorded)
        return recorded;
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
    Status sent = sendPrepared(*write, Add);
    settleRecord();
    return sent;
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
            const Result<QString> held = readRegister(write.readBack);
            if (!held)
                return fail(sent.cause(), Add);
            if (held->toULongLong() == write.readTarget)
                return done();
            if (attempt == 1 || CommError)
                return fail(Cause::NotHeld, Add, write.shown(held->toLongLong()));
            if (m_monitor)
                m_monitor->repeatedWrite();
            Status again = sendPrepared(write, Add);
            if (again)
                return again; // every echo right: taken
            if (!WriteMismatch)
                return again;
        }
    }();

    // A lost byte on the way: the board brought to rest and what only a
    // board that lost a byte would have stored read back. A byte stored
    // beside the value, outside the bytes written, makes the write not what
    // was asked for, whatever became of the value.
    QList<int> own;
    for (int k = 0; k < write.bytes.size(); ++k)
        own.append(wireAddress(write.number, k));
    if (!CommError && strayStoresUnsettled()) {
        restBoard(own);
        // A board that went on from a lost byte may have stored over the
        // value itself after its echoes were right: it is read back, and
        // written once more when it is not held.
        if (written && !CommError) {
            const Result<QString> held = readRegister(write.readBack);
            if (!held) {
                written = fail(held.cause(), Add);
            } else if (held->toULongLong() != write.readTarget) {
                if (m_monitor)
                    m_monitor->repeatedWrite();
                written = sendPrepared(write, Add);
                if (!written && WriteMismatch)
                    written = fail(Cause::NotHeld, Add, write.shown(held->toLongLong()));
                if (!CommError && strayStoresUnsettled())
                    restBoard(own);
            }
        }
    }
    written = settledRecord(std::move(written));
    if (straysBefore < m_strayStores.size() && !CommError) {
        const int address = m_strayStores.at(straysBefore);
        const auto held = m_strayHeld.constFind(address);
        return fail(Cause::StrayStore, QStringLiteral("B%1").arg(address),
            held == m_strayHeld.cend() ? std::nullopt : std::optional<qint64>(*held));
    }
    if (m_lostTrack && !CommError) {
        m_lostTrack = false;
        return fail(Cause::StrayStore, Add);
    }
    return written;
}

} // namespace talvek
