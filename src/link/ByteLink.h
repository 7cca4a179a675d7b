#pragma once

#include "base/Outcome.h"
#include "link/BoardGuess.h"
#include "link/WriteAheadRecord.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <utility>

namespace talvek {

class Clock;
class LinkMonitor;
class Prompter;
class SerialPortControl;

// The controller link on the byte level: one byte out, one reply byte back
// (with the waits, the resynchronisations and the Retry/Cancel box of a
// silent board), the mode handshake, the address syntax and the raw value
// reads and writes built on them. RSComm holds one and speaks through it.
//
// Failures are not exceptions: a failed exchange sets CommError and the
// operation returns a Failure with its cause; while CommError is set every
// exchange fails at once without touching the port.
class ByteLink final
{
public:
    ByteLink(Clock& clock, Prompter& prompter);
    ByteLink(const ByteLink&) = delete;
    ByteLink& operator=(const ByteLink&) = delete;

    // The no-reply value of SendByte; never a byte.
    static constexpr int kNoReply = 9999;
    static constexpr int kAttention = 0xFF;
    static constexpr int kAck = 0x55;

    // The link is usable: the port is open and the board answered.
    bool OnlineMode = false;
    // The last exchange failed (no reply in time, or the port not open).
    bool CommError = false;
    // The command mode the board is known to be in: 0 none (a handshake is
    // needed), 1 read, 2 write, 3 to 8 the one-shot PLS modes.
    int CurrentMode = 0;
    // An echo went wrong during the last WriteValue.
    bool WriteMismatch = false;

    // The result of the last ParseAddress, read only: the read and write
    // operations own the parse.
    const QString& AddType() const { return m_addType; }
    qint32 AddNumber() const { return m_addNumber; }
    quint16 BitMask() const { return m_bitMask; }
    bool IsBitAdd() const { return m_isBitAdd; }

    // The last ReadValue; a read of the same address in read mode reuses
    // its parse.
    struct LastReadRecord
    {
        QString address;
        QString type;
        qint32 number = 0;
        quint16 bitMask = 0;
        bool isBit = false;
        int width = 0; // 0 byte, 1 word, 3 double word
        std::array<int, 4> data {};
    };
    LastReadRecord LastRead;

    // The serial-port control the exchanges go through (none: every exchange
    // fails as on a closed port).
    void attach(SerialPortControl* port) { m_port = port; }
    SerialPortControl* port() const { return m_port; }
    // The link monitor that sees every exchange, or none (nullptr).
    void setMonitor(LinkMonitor* monitor) { m_monitor = monitor; }
    LinkMonitor* monitor() const { return m_monitor; }

    // Opens the attached port, forgets what it held and sends the attention
    // byte: OnlineMode when the board answered. A board that does not
    // acknowledge it was inside a pair or triple (or a PLS write): attention
    // bytes follow until it does. What an earlier run left (the write-ahead
    // record, a board inside a triple) is read back: see earlierRun(). A
    // port that cannot be opened throws its BasicError.
    void open();
    // A last attention byte (unless CommError is set), then the port closed;
    // no error escapes. The link is no longer online. A board left inside a
    // triple, stores not read back or a PLS write left open keep the
    // write-ahead record for the next opening, this program's or another's.
    void close();

    // The write-ahead record (see WriteAheadRecord) is kept in `path`; none
    // when empty. Set before open().
    void setRecordPath(const QString& path) { m_record.setPath(path); }
    // A run of writes (a data download) is recorded once, before its first
    // write: every byte each of `addresses` may store at, and the PLS writes
    // when `plsWrites`. Until endWriteRun() the record is not cleared
    // between the writes: one sync for the run instead of one for each
    // write. An address the link would refuse adds nothing (its write is
    // refused before a byte goes out).
    Status beginWriteRun(const QStringList& addresses, bool plsWrites);
    void endWriteRun();
    const WriteAheadRecord& writeAheadRecord() const { return m_record; }

    // What the last open() found of a run that ended inside a write: one
    // killed, crashed or cut off (or an earlier session of this program).
    struct EarlierRun
    {
        // That run left its write-ahead record: it ended inside a write
        // operation, and the bytes it names may hold what it left half done.
        bool recorded = false;
        // The board echoed the opening attention byte instead of
        // acknowledging it: it was inside a triple and stored this run's
        // first byte (or took it as an address byte and stored the next).
        bool insideRecord = false;
        // The reply to the opening attention byte.
        int firstReply = kAck;
        // Each byte the record names, and what it holds now; nothing when it
        // could not be read back (the record is then kept for the next run).
        QList<std::pair<int, std::optional<int>>> held;
        // The record names a PLS write: the PLS may have taken this run's
        // first bytes as part of it.
        bool plsWrite = false;
        // A byte was stored where no record tells (none was left, or it was
        // not whole).
        bool unknownAddress = false;
        bool found() const { return recorded || insideRecord; }
    };
    const EarlierRun& earlierRun() const { return m_earlier; }

    // One byte out; unless noWait, the reply byte (0 to 255) or NoReply.
    // clearInput discards what the port holds before the byte goes out.
    int SendByte(int value, bool noWait, bool clearInput);
    // Bytes that need no reply each, in one write: SendByte without waiting
    // for every one of them (a USB adapter carries them in one transfer).
    void sendBytes(const QByteArray& bytes);
    // The reply SendByte returned last came only after a resynchronisation:
    // it may answer the attention byte, not the byte that was sent.
    bool replyAfterResync() const { return m_replyAfterResync; }
    // Why the last exchange gave NoReply: the operator gave up on a silent
    // line, the port failed, or CommError was already set.
    Cause lastCause() const { return m_lastCause; }
    // The mode handshake: 0xFF, 0x55, the command byte, 0x55. On success
    // CurrentMode is the mode. When the operator gives up after 2 s without
    // an acknowledge, the port is closed and the link goes offline.
    bool SetPLCMode(int mode, int command);
    void ParseAddress(const QString& address);

    // The raw read: the value as decimal text, or the failure.
    Result<QString> ReadValue(const QString& Add);
    // The raw write; WriteMismatch tells of a wrong echo (the failure's cause
    // too). A value the entry rules refuse is refused with an entry alert,
    // and nothing is sent (Cause::EntryRefused).
    Status WriteValue(const QString& Add, const QString& DataValue);
    // ReadValue, once more when it failed without a link failure (the
    // repetition costs a new handshake).
    Result<QString> readRegister(const QString& Add);
    // WriteValue, once more after an echo mismatch, and a read-back after a
    // second one. When the read-back finds another value, the value is
    // written and read back once more; a value still not held fails with
    // Cause::NotHeld and the value the controller holds. The attempts after
    // the first send the bytes the first one worked out (a bit write does
    // not read its byte again: the first attempt may have spoilt it).
    // A write whose trouble made the board store a byte outside the value
    // (see strayStores()) fails with Cause::StrayStore, naming that byte and
    // what it holds, even when the value itself was taken.
    Status writeRegister(const QString& Add, const QString& DataValue);

    // Byte addresses outside the values written where, this session, a
    // lost byte inside a write may have made the board store a byte: a
    // board that went on from the lost byte as it does (see BoardGuess)
    // stored there, and the address, read back, holds what it would have
    // stored (or could not be read back).
    const QList<int>& strayStores() const { return m_strayStores; }
    // The addresses a board may still be waiting to store at: the session
    // ended (or the line fell silent) inside a write triple. The next byte
    // the board hears from anyone (the next session's first 0xFF) is stored
    // at one of them.
    const QList<int>& pendingStores() const { return m_pending; }
    // A board took a byte somewhere the link did not follow it (a lost byte
    // hidden by a doubled reply): a byte may have been stored at an address
    // the link cannot tell.
    bool lostTrack() const { return m_lostTrack; }
    // A PLS write command (scale factor, offset, channel record,
    // configuration block) has begun and not been seen to end: the PLS takes
    // every byte as the command's until it has them all, 0xFF included.
    void plsWriteBegun() { m_plsWriteOpen = true; }
    void plsWriteEnded();
    // Before the handshake of a PLS write: the write-ahead record names it
    // (Cause::BadFile when it cannot be written; nothing may be sent then).
    Status recordPlsWrite();
    // The session ended inside a PLS write: the next bytes the board hears
    // from anyone may complete it and change the PLS.
    bool plsWritePending() const { return m_plsWritePending; }

    // A reply taken that may be a doubled copy of the one before it (a data
    // byte equal to its address high byte, a PLS poll answered 0x55): the
    // byte that follows within a few byte times, which is then the real
    // reply (and trouble on the line), or nothing.
    std::optional<int> byteBehind();
    // A reply that was not the one the board gives (a PLS acknowledgement
    // spoilt, a reply after a resynchronisation): the line may hold a reply
    // still on its way, and the next handshake waits for it to go quiet.
    void troubleOnLine()
    {
        m_trouble = true;
        m_unsettled = true;
    }

    // "Error:" CR message, title "ENTRY ALERT".
    void entryAlert(const QString& message);

private:
    // The write-ahead record names every address the board may store at
    // once `value` has gone out (a board waiting in a triple), before it goes.
    void recordAhead(int value);
    // The record of a write: the value's bytes and high:FF of each triple.
    Status recordWrite(qint32 number, qsizetype count);
    // The board is at rest and every store it may have made is known: the
    // record goes.
    void settleRecord();
    // settleRecord(), and the write failed when the record could not be
    // kept up before one of its bytes.
    Status settledRecord(Status written);
    // open(): the earlier run's record read back, after the opening byte
    // was answered with `firstReply`.
    void readBackEarlierRun(int firstReply, const std::optional<WriteAheadRecord::Left>& left);

    // SendByte without the monitor's view of it.
    int exchangeByte(int value, bool noWait, bool clearInput);
    // The wait for the reply to a byte sent: the byte, or NoReply when the
    // operator gave up (or the port went away).
    int awaitReply();
    // Three timeouts in a row: the operator chooses Retry or Cancel.
    bool askRetry();
    void portLost();

    // Whether the parsed address (AddNumber, with `width` more bytes) lies
    // below FF00H, where every byte can be reached (see unreachableByte),
    // and names a bit 0 to 7.
    bool parsedAddressUsable(int width) const;
    // The failure of an exchange that gave NoReply.
    Failure noReply(const QString& detail) const { return fail(m_lastCause, detail); }
    // The parse ReadValue goes by: the one kept in LastRead, or a new one
    // followed by the read handshake.
    Status prepareRead(const QString& Add);
    // One address pair of a read: the byte the board answered goes to LastRead.
    Status readByteAt(int k);
    QString lastReadValue() const;
    // The digits of a value text, or nothing (after the entry alert).
    std::optional<quint64> writeDigits(const QString& DataValue);
    // The data bytes of a write to the parsed address, in wire order, or the
    // failure (after the entry alert, or when the byte of a bit could not be
    // read).
    Result<QList<int>> writeBytes(quint64 value, const QString& Add);
    Status sendWriteTriples(qint32 number, const QList<int>& bytes, const QString& Add);
    // A write worked out once: its first address, data bytes and the value
    // a read-back of the address text must find.
    struct PreparedWrite
    {
        qint32 number = 0;
        QList<int> bytes;
        quint64 target = 0;
        quint16 bitMask = 0; // a bit write's bit in its byte; 0 otherwise
        // What a read-back reads (a bit's whole byte) and must find there.
        QString readBack;
        quint64 readTarget = 0;
        // A read-back value as the caller's address shows it (a bit: 0 or 1).
        qint64 shown(qint64 held) const { return bitMask ? ((held & bitMask) ? 1 : 0) : held; }
    };
    Result<PreparedWrite> prepareWrite(const QString& Add, const QString& DataValue);
    Status sendPrepared(const PreparedWrite& write, const QString& Add);
    // Lines up the guess of what the board did with the bytes of a write:
    // the line drained of late replies, then attention bytes until one is
    // acknowledged (SetPLCMode into read mode), and the stores only a board
    // that lost a byte would have made read back (strayStores()).
    void restBoard(const QList<int>& ownBytes);
    // A lost byte may have made the board store somewhere, and it is not
    // read back yet.
    bool strayStoresUnsettled() const { return m_guess.mayHaveStored() || !m_strayCandidates.isEmpty(); }
    // The guess settled (an attention byte acknowledged): its stray stores
    // are kept for restBoard() to read back.
    void settleGuess();
    // Waits until no reply is on its way (late or doubled replies of an
    // exchange that went wrong), discarding what comes.
    void drainLine();
    // ReadValue until two reads agree (after trouble inside the first).
    Result<QString> confirmedRead(const QString& Add, Result<QString> first);

    Clock& m_clock;
    Prompter& m_prompter;
    QString m_addType = QStringLiteral("B");
    qint32 m_addNumber = 0;
    quint16 m_bitMask = 0;
    bool m_isBitAdd = false;
    SerialPortControl* m_port = nullptr;
    LinkMonitor* m_monitor = nullptr;
    bool m_replyAfterResync = false;
    Cause m_lastCause = Cause::SilentLine;
    // Something went wrong on the line during the current operation: a
    // timeout, an echo mismatch, or a byte nobody asked for (a doubled or
    // late reply) found waiting.
    bool m_trouble = false;
    // Since the last handshake a reply went wrong: see troubleOnLine().
    bool m_unsettled = false;
    // What the board did with the bytes since its last acknowledged
    // attention byte, when some may have been lost.
    BoardGuess m_guess;
    // Stores of a settled guess not yet read back: address, value.
    QList<BoardGuess::Store> m_strayCandidates;
    // A board may have taken a byte as a command the guess does not follow.
    bool m_lostTrack = false;
    QList<int> m_pending; // see pendingStores()
    bool m_plsWriteOpen = false;
    bool m_plsWritePending = false;
    QList<int> m_strayStores;
    QHash<int, int> m_strayHeld; // what the read-back found in a stray store
    // The byte a timeout resends: the attention byte, or inside a write
    // triple the address low byte (a board still waiting for it takes it as
    // such; one that had it stores it at the address being written).
    int m_resyncByte = kAttention;
    // The last ParseAddress named a bit above 7.
    bool m_bitOutOfRange = false;
    // The value the last WriteValue was to leave in the controller (0 or 1
    // for a bit).
    quint64 m_writeTarget = 0;
    WriteAheadRecord m_record;
    bool m_writeRun = false; // between beginWriteRun() and endWriteRun()
    // The record could not be written before a byte went out.
    std::optional<Failure> m_recordFailure;
    EarlierRun m_earlier;
};

} // namespace talvek
