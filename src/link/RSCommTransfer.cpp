// The program transfers of RSComm: DumpProgram streams the program image of
// the selected set into the controller in program mode, UploadProgram reads
// the controller's program back into a program file set.

#include "base/BasicError.h"
#include "base/BasicText.h"
#include "base/Clock.h"
#include "base/FieldInput.h"
#include "base/Prompter.h"
#include "base/RuntimeFault.h"
#include "link/AddressUtils.h"
#include "link/BrokenRecord.h"
#include "link/K7700Registers.h"
#include "link/ProgramFiles.h"
#include "link/RSComm.h"
#include "link/SerialPortControl.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QSet>
#include <algorithm>
#include <utility>

namespace talvek {

namespace {

const QString kSource = QStringLiteral("RSComm");
const QString kDownloadTitle = QStringLiteral("Program Download");
const QString kUploadTitle = QStringLiteral("Program Upload");
const QString kStrayChanged = QStringLiteral("memory outside the program may have changed: ");

constexpr int kProgramModeCommand = 0x03;
// The mode number of the program-mode handshake: CurrentMode holds it only
// while the handshake runs (raw record bytes follow, so it is 0 again at once).
constexpr int kProgramModeHandshake = 9;
constexpr qint64 kRecordReplyWaitMs = 1000;
constexpr qint64 kProgramModeSettleMs = 100;
constexpr qint64 kProgramModeExitMs = 2000;
// A record whose sum does not come back right is sent this many times in
// all before the download halts; the exit attention likewise.
constexpr int kMaxRecordSends = 4;
constexpr int kMaxExitAttentions = 3;

bool configBoard(int code)
{
    return code >= 56 && code <= 65;
}

// One record of a program image as the board takes it: length, address
// high and low byte, data bytes (the record type and checksum stay on disk).
struct ImageRecord
{
    int high = 0;
    int low = 0;
    QByteArray data;
    QString address; // the four address digits of the line, for the status
};

// Intel HEX record types the board can take: data, and the end record.
constexpr int kDataRecord = 0x00;
constexpr int kEndRecord = 0x01;

// One line of a program image as a record, or nothing when it is not a
// whole, correct Intel HEX data or end record: ":" and pairs of hexadecimal
// digits holding length, address, type, exactly `length` data bytes and a
// checksum that brings the sum of all of them to 0 modulo 256. A record of
// 255 bytes would begin with the attention byte, which takes the board out
// of program mode, so no such record can be sent. An end record, or a
// record of length 0, sends nothing.
std::optional<ImageRecord> parseRecord(const QString& line)
{
    if (!line.startsWith(QLatin1Char(':')))
        return std::nullopt;
    const QStringView digits = QStringView(line).mid(1);
    if (digits.size() < 10 || digits.size() % 2 != 0)
        return std::nullopt;
    QByteArray bytes;
    bytes.reserve(digits.size() / 2);
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        int value = 0;
        for (const QChar c : digits.mid(i, 2)) {
            const int digit = QStringView(u"0123456789ABCDEF").indexOf(c, 0, Qt::CaseInsensitive);
            if (digit < 0)
                return std::nullopt;
            value = value * 16 + digit;
        }
        bytes.append(char(value));
    }
    const int length = quint8(bytes.at(0));
    const int type = quint8(bytes.at(3));
    if (bytes.size() != length + 5 || length == 0xFF || (type != kDataRecord && type != kEndRecord))
        return std::nullopt;
    int sum = 0;
    for (const char b : std::as_const(bytes))
        sum += quint8(b);
    if ((sum & 0xFF) != 0)
        return std::nullopt;
    ImageRecord record;
    record.high = quint8(bytes.at(1));
    record.low = quint8(bytes.at(2));
    if (type == kDataRecord)
        record.data = bytes.mid(4, length);
    record.address = line.mid(3, 4);
    return record;
}

bool isBlankOrLineEnd(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The lines of a program image, each read as one field of the field input.
// Ctrl+Z ends the text; blank lines after the last record are not lines.
class ImageLines final
{
public:
    explicit ImageLines(QByteArray data)
        : m_data(std::move(data))
    {
        const qsizetype eof = m_data.indexOf('\x1a');
        if (eof >= 0)
            m_data.truncate(eof);
        qsizetype end = m_data.size();
        while (end > 0 && isBlankOrLineEnd(m_data.at(end - 1)))
            --end;
        m_data.truncate(end);
    }

    bool next(QString& field)
    {
        if (m_pos >= m_data.size())
            return false;
        ++m_line;
        qsizetype end = m_pos;
        while (end < m_data.size() && m_data.at(end) != '\r' && m_data.at(end) != '\n')
            ++end;
        FieldInput input(m_data.mid(m_pos, end - m_pos));
        field = input.next();
        m_pos = end;
        if (m_pos < m_data.size() && m_data.at(m_pos) == '\r')
            ++m_pos;
        if (m_pos < m_data.size() && m_data.at(m_pos) == '\n')
            ++m_pos;
        return true;
    }

    // The number of the line last read, from 1.
    int lineNumber() const { return m_line; }

private:
    QByteArray m_data;
    qsizetype m_pos = 0;
    int m_line = 0;
};

QString hex2(int value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

// The program memory window of a board: first address and length.
std::pair<int, int> memoryWindow(int code)
{
    switch (code) {
    case '2':
        // Up to the record at 0xFEF0: no board serves 0xFF00..0xFFFF, where
        // the high address byte 0xFF is always the attention byte.
        return { 0x5000, 0xAF00 };
    case '3':
    case '6':
    case ':':
    case ';':
    case '<':
    case '=':
    case 'A':
    case 'B':
        return { 0x2000, 0x6000 };
    case '4':
    case '5':
    case '8':
        return { 0x2000, 0x2000 };
    case 'D':
        return { 0x4000, 0x8000 };
    default:
        return { 0, 0 };
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Shared steps

void RSComm::letEventsRun()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

std::optional<int> RSComm::awaitRecordReply()
{
    LinkMonitor* const watcher = monitor();
    SerialPortControl* const port = m_link.port();
    const qint64 start = watcher ? watcher->byteGoingOut() : 0;
    try {
        const qint64 deadline = m_clock.nowMs() + kRecordReplyWaitMs;
        for (;;) {
            if (!port || !port->isOpen()) {
                m_link.CurrentMode = 0;
                CommError = true;
                return std::nullopt;
            }
            if (port->bytesAvailable() > 0) {
                const int b = port->readByte();
                if (b >= 0) {
                    if (watcher)
                        watcher->recordReply(b, start);
                    return b;
                }
            }
            const qint64 now = m_clock.nowMs();
            if (now >= deadline) {
                if (watcher)
                    watcher->recordReply(-1, start);
                return std::nullopt;
            }
            port->waitForInput(int(deadline - now));
        }
    } catch (const BasicError&) {
        m_link.CurrentMode = 0;
        CommError = true;
        return std::nullopt;
    }
}

// ---------------------------------------------------------------------------
// The steps of a download

namespace {

// What the steps of a transfer work on: the link and the program file set
// the transfer started with.
struct TransferSteps
{
    RSComm& rs;
    ByteLink& link;
    Prompter& prompter;
    const RSComm::ProgramSet programSet;
    // Why the transfer stopped, once it has; the first cause stands.
    std::optional<Failure> failure {};

    void failWith(Failure why)
    {
        if (!failure)
            failure = std::move(why);
    }
    // The link failed under the transfer (its own box said so).
    void linkFailed() { failWith(fail(link.lastCause())); }
    Status outcome() const { return failure ? Status(*failure) : done(); }
};

} // namespace

// One program download on the link: checks, the operator's consent, the
// image, program mode and the records, the ident registers.
class ProgramDownload final : TransferSteps
{
public:
    explicit ProgramDownload(RSComm& rs)
        : TransferSteps { rs, rs.m_link, rs.m_prompter, rs.m_program }
    { }

    Status run();

private:
    bool allowed();
    // What the controller holds now, set against the set on disk; the
    // operator's Yes.
    bool confirmed();
    // The records of the image, every line checked before the board leaves
    // its program.
    bool imageRead();
    bool identCleared();
    void enterProgramMode();
    bool recordsSent();
    bool programModeLeft();
    void writeIdent();

    // ---- records on a line that loses bytes (see BrokenRecord.h) ----
    enum class RecordOutcome
    {
        Taken, // answered with its sum
        Refused, // answered wrongly every time: the board was taken out of the record
        LinkLost // CommError: the link's own box has said so
    };
    static QByteArray wire(const ImageRecord& record);
    // Sends record `index` until the board answers it with its sum.
    RecordOutcome recordSent(int index);
    // Records already sent that stray bytes may have spoilt, sent again.
    RecordOutcome repairsSent();
    // Fillers until the board answers an attention; nothing when the link
    // failed.
    std::optional<RecordAftermath> leaveBrokenRecord(int firstReply);
    // The board waits for a command: back into program mode.
    bool backInProgramMode();
    // Where the ways the line can have broken record `index` stored bytes:
    // records already sent are queued to go again, bytes outside the image
    // are kept for strayBytesChecked().
    void accountForLostBytes(int index, const RecordAftermath& seen);
    void queueRepair(int index);
    // Reads the bytes outside the image that each way kept would have
    // stored; a way whose bytes are not there did not happen.
    void strayBytesChecked();
    // The bytes outside the image that may have changed, as address ranges
    // ("0021H-0040H, 1000H"); "anywhere" when the board may have taken a
    // command; empty when none.
    QString strayText() const;
    // The outcome of a download that failed after records went out, with
    // the bytes outside the image that may have changed named in its
    // detail and a box.
    Status strayNamed();
    void dropStaleInput();
    void box(const QString& text, MsgIcon icon, const QString& title = kDownloadTitle)
    {
        prompter.msgBox(text, title, icon, MsgButtons::OK);
    }

    // A register write the board did not take (two wrong echoes, the value
    // not found on reading it back) fails the download like a lost link.
    bool ok() const { return !rs.CommError && !failure; }
    void write(const QString& address, const QString& value)
    {
        if (!ok())
            return;
        if (Status written = link.writeRegister(address, value); !written)
            failWith(written.error());
    }
    // After a step that stopped on CommError: the link's cause.
    bool stopped()
    {
        if (rs.CommError)
            linkFailed();
        return !ok();
    }

    QList<ImageRecord> m_records;
    // Per address, the last record of the image that stores there (-1:
    // none); filled at the first broken record.
    QList<int> m_owner;
    int m_current = -1; // the record of the image being sent, in file order
    QList<int> m_repairs; // in file order
    QList<StrayStores> m_stray;
    // Per broken record that only stray ways explain: those ways, one of
    // which must stand after the read-back.
    QList<QList<StrayStores>> m_mustStand;
};

Status ProgramDownload::run()
{
    if (!allowed() || !confirmed())
        return outcome();
    rs.OnlineMode = false;
    if (!imageRead() || !identCleared())
        return outcome();
    enterProgramMode();
    if (!recordsSent() || !programModeLeft())
        return strayNamed();
    strayBytesChecked();
    writeIdent();
    rs.m_validProgram = false;
    rs.m_writingIdent = false;

    const QString stray = strayText();
    if (stopped()) {
        box(QStringLiteral("Program Download Not Complete!"), MsgIcon::Critical);
        rs.OnlineMode = false;
        return strayNamed();
    }
    if (!stray.isEmpty()) {
        // The program is in, but bytes the line lost in a record header
        // went elsewhere, and what they overwrote is not known.
        box(QStringLiteral("Program Download Complete, but Bytes Were Lost on the Line.\r\n\r\n"
                           "PLC Memory Outside the Program May Have Changed:\r\n")
                + stray,
            MsgIcon::Exclamation);
        failWith(fail(Cause::BadReply, kStrayChanged + stray));
    } else {
        box(QStringLiteral("Program Download Complete!"), MsgIcon::Information);
    }
    rs.OnlineMode = true;
    return outcome();
}

Status ProgramDownload::strayNamed()
{
    const QString stray = strayText();
    if (!failure || stray.isEmpty())
        return outcome();
    box(QStringLiteral(
            "Bytes Were Lost on the Line.\r\n\r\nPLC Memory Outside the Program May Have Changed:\r\n")
            + stray,
        MsgIcon::Exclamation);
    failure->detail
        += (failure->detail.isEmpty() ? QString() : QStringLiteral("; ")) + kStrayChanged + stray;
    return outcome();
}

bool ProgramDownload::allowed()
{
    if (!rs.OnlineMode) {
        box(QStringLiteral("Program is Currently OFFLINE.\r\n\r\nSwitch to ONLINE MODE to Continue."),
            MsgIcon::Information);
        failWith(fail(Cause::LinkDown, QStringLiteral("OFFLINE")));
        return false;
    }
    if (!rs.m_validProgram) {
        box(QStringLiteral("Currently Selected Program is Invalid.\r\n\r\nProgram Download Halted!"),
            MsgIcon::Exclamation);
        failWith(fail(Cause::BadFile, programSet.programPath));
        return false;
    }
    return true;
}

bool ProgramDownload::confirmed()
{
    // What the controller holds now ("---" where a read failed).
    QString boardIdent;
    QString boardChecksum;
    QString boardRevision;
    bool identUnread = false;
    for (int i = 0; i < reg::kIdentRegisterCount && !rs.CommError; ++i) {
        const Result<QString> value = link.readRegister(reg::identRegister(i));
        if (rs.CommError) {
            linkFailed();
            return false;
        }
        if (i < 8) {
            identUnread = identUnread || !value;
            const int code = value ? value->toInt() : 0;
            if (code > 31)
                boardIdent += QChar(char16_t(code));
        } else {
            (i == 8 ? boardChecksum : boardRevision) = value.valueOr(QStringLiteral("---"));
        }
    }
    if (identUnread)
        boardIdent = QStringLiteral("---");

    const RSComm::ProgramSet& program = programSet;
    const QString text = QStringLiteral("Program to be loaded into module (on disk):\r\n")
        + QStringLiteral("  Program Ident: \t\t") + program.ident + QStringLiteral("\r\n")
        + QStringLiteral("  Program Revision: \t\t") + program.revision + QStringLiteral("\r\n")
        + QStringLiteral("  Program Checksum: \t") + program.checksum + QStringLiteral("\r\n")
        + QStringLiteral("  Target Board: \t\t") + program.boardName + QStringLiteral("\r\n\r\n")
        + QStringLiteral("Program currently loaded in module:\r\n") + QStringLiteral("  Program Ident: \t\t")
        + boardIdent + QStringLiteral("\r\n") + QStringLiteral("  Program Revision: \t\t") + boardRevision
        + QStringLiteral("\r\n") + QStringLiteral("  Program Checksum: \t") + boardChecksum
        + QStringLiteral("\r\n\r\n") + QStringLiteral("Entire program file will be dumped to the PLC.\r\n")
        + QStringLiteral("All outputs are off while program dump occurrs.\r\n\r\n")
        + QStringLiteral("Do You Wish to Continue?\r\n");
    const bool yes = prompter.msgBox(text,
                         QStringLiteral("Program Download - [") + program.ident + QStringLiteral("]"),
                         MsgIcon::Question, MsgButtons::YesNoCancel, MsgDefault::Button2)
        == MsgResult::Yes;
    if (!yes)
        failWith(fail(Cause::Cancelled));
    return yes;
}

bool ProgramDownload::imageRead()
{
    const QString& image = programSet.imagePath;
    failWith(fail(Cause::BadFile, image)); // taken back below when the image is good
    if (!QFileInfo::exists(image)) {
        box(image + QStringLiteral(" File Does Not Exist.\r\n\r\nProgram Downloaded Halted"),
            MsgIcon::Information);
        rs.OnlineMode = true;
        return false;
    }
    const std::optional<QByteArray> data = readWholeFile(image, kMaxProgramImageBytes);
    if (!data || data->isEmpty()) {
        box(image + QStringLiteral(" File is Not Valid\r\n\r\nProgram Downloaded Halted"),
            MsgIcon::Exclamation);
        rs.OnlineMode = true;
        return false;
    }

    // A bad line found half way would leave the board in program mode with
    // half a program.
    const QString invalid
        = QStringLiteral("Currently Selected Program is Invalid.\r\n\r\nProgram Download Halted!");
    ImageLines lines(*data);
    QString line;
    while (lines.next(line)) {
        std::optional<ImageRecord> record = parseRecord(line);
        if (!record) {
            box(invalid + QStringLiteral("\r\n\r\nLine ") + QString::number(lines.lineNumber()),
                MsgIcon::Exclamation, QStringLiteral("Program Dump"));
            rs.m_validProgram = false;
            rs.OnlineMode = true; // nothing was sent: the board runs its program as before
            return false;
        }
        m_records.append(std::move(*record));
    }
    // An image without a single data record would take the board out of its
    // program and give it the new identity without a byte of the program.
    const auto hasData = [](const ImageRecord& r) { return !r.data.isEmpty(); };
    rs.m_programRecords = int(std::count_if(m_records.cbegin(), m_records.cend(), hasData));
    if (rs.m_programRecords == 0) {
        box(invalid, MsgIcon::Exclamation, QStringLiteral("Program Dump"));
        rs.m_validProgram = false;
        rs.OnlineMode = true;
        return false;
    }
    failure.reset();
    return true;
}

bool ProgramDownload::identCleared()
{
    // The ident registers are cleared first: a download that stops half way
    // never leaves the old program's identity on show.
    for (int i = 0; i < reg::kIdentRegisterCount && ok(); ++i)
        write(reg::identRegister(i), QStringLiteral("0"));
    if (!stopped())
        return true;
    box(QStringLiteral("Could Not Send Program Ident and Revision to PLC!"), MsgIcon::Critical);
    box(QStringLiteral("Program Download Not Complete!"), MsgIcon::Critical);
    rs.OnlineMode = false;
    return false;
}

void ProgramDownload::enterProgramMode()
{
    write(reg::kProgramModeKey, QStringLiteral("86"));
    write(reg::kFaultCode, QStringLiteral("0"));
    if (ok())
        rs.m_clock.waitMs(kProgramModeSettleMs);
    if (ok())
        link.SendByte(ByteLink::kAttention, false, false);
    link.CurrentMode = 0;

    if (configBoard(programSet.boardCode) && ok()) {
        const int c = programSet.configC == 1 ? 5 : programSet.configC == 2 ? 10 : 20;
        const int a = programSet.configA == 1 ? 3 : programSet.configA == 2 ? 5 : 12;
        write(reg::kConfigC, QString::number(c));
        write(reg::kConfigB, QString::number(programSet.configB));
        write(reg::kConfigA, QString::number(a));
        if (!ok()) {
            box(QStringLiteral("Could Not Set Program Configuration in PLC!"), MsgIcon::Critical,
                QStringLiteral("Program Config Download"));
        }
    }
    // Records may go out only to a board in program mode: a board still
    // waiting for a command would take a record's 0xFF and the byte after
    // it as a command (0x02: write mode, and the rest as writes).
    if (ok())
        (void)backInProgramMode();
    link.CurrentMode = 0;
}

bool ProgramDownload::recordsSent()
{
    // Each record is answered with the 8-bit sum of its bytes.
    for (m_current = 0; m_current < m_records.size(); ++m_current) {
        if (!ok())
            break;
        rs.letEventsRun();
        if (rs.CommError)
            break;
        if (m_records.at(m_current).data.isEmpty())
            continue;
        RecordOutcome sent = recordSent(m_current);
        if (sent == RecordOutcome::Taken) {
            ++rs.m_programRecordsSent;
            sent = repairsSent();
        }
        if (sent == RecordOutcome::LinkLost)
            break;
        if (sent == RecordOutcome::Refused) {
            link.CurrentMode = 0;
            box(QStringLiteral("Checksum Error, Program Download Halted!"), MsgIcon::Exclamation);
            failWith(fail(Cause::BadReply, rs.m_currentProgramAdd));
            rs.OnlineMode = false;
            return false;
        }
    }
    // A lost link ends in "Program Download Not Complete!" below.
    link.CurrentMode = 0;
    return true;
}

QByteArray ProgramDownload::wire(const ImageRecord& record)
{
    QByteArray bytes;
    bytes.reserve(3 + record.data.size());
    bytes.append(char(record.data.size())).append(char(record.high)).append(char(record.low));
    return bytes.append(record.data);
}

ProgramDownload::RecordOutcome ProgramDownload::recordSent(int index)
{
    const ImageRecord& record = m_records.at(index);
    // No byte of a record is answered on its own: the whole record goes out
    // in one write.
    const QByteArray bytes = wire(record);
    int sum = 0;
    for (const char c : bytes)
        sum += quint8(c);
    rs.m_currentProgramAdd = record.address + QStringLiteral("H");
    for (int sends = 1;; ++sends) {
        dropStaleInput();
        link.sendBytes(bytes);
        if (rs.CommError)
            return RecordOutcome::LinkLost;
        const std::optional<int> reply = rs.awaitRecordReply();
        if (rs.CommError)
            return RecordOutcome::LinkLost;
        if (reply == (sum & 0xFF))
            return RecordOutcome::Taken;
        // A sum missing or wrong: the line lost or spoilt a byte. The
        // board is brought out of the record and the record sent again
        // (a record stored twice at its address does no harm).
        const std::optional<RecordAftermath> seen = leaveBrokenRecord(reply.value_or(-1));
        if (!seen)
            return RecordOutcome::LinkLost;
        accountForLostBytes(index, *seen);
        // A board that answered nothing to the fillers has stopped
        // answering: the handshake below waits for it with the link's
        // Retry/Cancel box, however often the record went.
        if (sends >= kMaxRecordSends && seen->firstReply >= 0)
            return RecordOutcome::Refused;
        if (!backInProgramMode())
            return RecordOutcome::LinkLost;
    }
}

ProgramDownload::RecordOutcome ProgramDownload::repairsSent()
{
    const QString shown = rs.m_currentProgramAdd;
    while (!m_repairs.isEmpty()) {
        const RecordOutcome sent = recordSent(m_repairs.takeFirst());
        if (sent != RecordOutcome::Taken)
            return sent;
    }
    rs.m_currentProgramAdd = shown;
    return RecordOutcome::Taken;
}

std::optional<RecordAftermath> ProgramDownload::leaveBrokenRecord(int firstReply)
{
    RecordAftermath seen { firstReply, 0 };
    int replies = firstReply >= 0 ? 1 : 0;
    int last = firstReply;
    for (int burst = 1; burst <= int(kFillerBursts.size()); ++burst) {
        const int fillers = kFillerBursts.at(burst - 1);
        link.sendBytes(QByteArray(fillers, char(ByteLink::kAttention)));
        if (rs.CommError)
            return std::nullopt;
        // One answer a filler at most; the wait ends a second after the
        // last one that came.
        for (int i = 0; i < fillers; ++i) {
            const std::optional<int> b = rs.awaitRecordReply();
            if (rs.CommError)
                return std::nullopt;
            if (!b)
                break;
            if (seen.firstReply < 0)
                seen = { *b, burst };
            ++replies;
            last = *b;
        }
        // An attention answered after the record's own answer: the board
        // waits for a command.
        if (replies >= 2 && last == ByteLink::kAck)
            break;
    }
    link.CurrentMode = 0;
    return seen;
}

bool ProgramDownload::backInProgramMode()
{
    const bool entered = link.SetPLCMode(kProgramModeHandshake, kProgramModeCommand);
    link.CurrentMode = 0;
    return entered && !rs.CommError;
}

void ProgramDownload::dropStaleInput()
{
    // Nothing that came before a record can answer it.
    SerialPortControl* const port = link.port();
    try {
        if (port && port->isOpen() && port->bytesAvailable() > 0)
            port->discardInput();
    } catch (const BasicError&) {
        // The write that follows finds the port gone.
    }
}

void ProgramDownload::accountForLostBytes(int index, const RecordAftermath& seen)
{
    QList<StrayStores> ways = strayStoresOf(wire(m_records.at(index)), seen);
    // No loss that leaves the rest of memory alone explains the answer: one
    // of the ways listed must have happened, or more was lost than the link
    // reckons with. If the read-back refutes them all, where the board stored
    // the record is not known (strayBytesChecked).
    const bool mustStand = !aftermathExplainedInside(wire(m_records.at(index)), seen);
    if (ways.isEmpty() && mustStand)
        ways.append(StrayStores { {}, true });
    if (ways.isEmpty())
        return;
    if (m_owner.isEmpty()) {
        m_owner = QList<int>(0x10000, -1);
        for (int i = 0; i < m_records.size(); ++i) {
            const ImageRecord& r = m_records.at(i);
            for (int k = 0; k < r.data.size(); ++k)
                m_owner[((r.high << 8) + r.low + k) & 0xFFFF] = i;
        }
    }
    QList<StrayStores> group;
    for (const StrayStores& way : ways) {
        StrayStores outside;
        outside.anywhere = way.anywhere;
        for (const auto& [address, value] : way.stores) {
            const int owner = m_owner.at(address);
            if (owner >= 0) {
                // In the image: a record still to come overwrites it.
                if (owner <= m_current)
                    queueRepair(owner);
            } else if (address < reg::kIdentBase || address >= reg::kIdentBase + reg::kIdentRegisterCount) {
                // (the ident registers are written after the records)
                outside.stores.append({ address, value });
            }
        }
        group.append(outside);
        if ((outside.anywhere || !outside.stores.isEmpty()) && !m_stray.contains(outside))
            m_stray.append(outside);
    }
    if (mustStand)
        m_mustStand.append(group);
}

void ProgramDownload::queueRepair(int index)
{
    if (m_repairs.contains(index))
        return;
    m_repairs.append(index);
    std::sort(m_repairs.begin(), m_repairs.end());
    // Records after it that overlap it go again after it, so that each
    // address ends with the byte of the last record that stores there.
    const ImageRecord& r = m_records.at(index);
    for (int k = 0; k < r.data.size(); ++k) {
        const int owner = m_owner.at(((r.high << 8) + r.low + k) & 0xFFFF);
        if (owner != index && owner <= m_current)
            queueRepair(owner);
    }
}

void ProgramDownload::strayBytesChecked()
{
    if (m_stray.isEmpty() || !ok())
        return;
    // An address two ways store at may hold the other's byte: it refutes
    // neither.
    QHash<int, int> ways;
    for (const StrayStores& way : std::as_const(m_stray)) {
        QSet<int> mine;
        for (const auto& store : way.stores)
            mine.insert(store.first);
        for (const int a : std::as_const(mine))
            ++ways[a];
    }
    QList<StrayStores> standing;
    for (const StrayStores& way : std::as_const(m_stray)) {
        QMap<int, quint8> last; // each address with the last byte stored there
        for (const auto& [address, value] : way.stores)
            last[address] = value;
        bool refuted = false;
        for (auto it = last.cbegin(); it != last.cend() && !refuted && !way.anywhere; ++it) {
            if (ways.value(it.key()) > 1)
                continue;
            const Result<QString> held = link.readRegister(QStringLiteral("B%1").arg(it.key()));
            if (rs.CommError) {
                linkFailed();
                return;
            }
            refuted = held && held->toInt() != it.value();
        }
        if (!refuted)
            standing.append(way);
    }
    // A record whose answer only stray ways explain: when the read-back has
    // refuted every one, more was lost than they reckon with, and the board
    // may have stored the record anywhere.
    const StrayStores anywhere { {}, true };
    for (const QList<StrayStores>& group : std::as_const(m_mustStand)) {
        const bool stands = std::any_of(group.cbegin(), group.cend(), [&](const StrayStores& way) {
            return way.stores.isEmpty() || standing.contains(way); // (a way the records sent again undo)
        });
        if (!stands && !standing.contains(anywhere))
            standing.append(anywhere);
    }
    m_stray = standing;
}

QString ProgramDownload::strayText() const
{
    QSet<int> addresses;
    for (const StrayStores& way : m_stray) {
        if (way.anywhere)
            return QStringLiteral("anywhere");
        for (const auto& store : way.stores)
            addresses.insert(store.first);
    }
    QList<int> sorted(addresses.cbegin(), addresses.cend());
    std::sort(sorted.begin(), sorted.end());
    QStringList ranges;
    const auto hex = [](int a) { return QStringLiteral("%1H").arg(a, 4, 16, QLatin1Char('0')).toUpper(); };
    for (qsizetype i = 0; i < sorted.size();) {
        qsizetype j = i;
        while (j + 1 < sorted.size() && sorted.at(j + 1) == sorted.at(j) + 1)
            ++j;
        ranges.append(j == i ? hex(sorted.at(i)) : hex(sorted.at(i)) + QLatin1Char('-') + hex(sorted.at(j)));
        i = j + 1;
    }
    return ranges.join(QStringLiteral(", "));
}

bool ProgramDownload::programModeLeft()
{
    if (ok()) {
        // A spoilt answer to the attention leaves the board waiting for a
        // command, where another attention is answered 0x55 again.
        int reply = ByteLink::kNoReply;
        for (int i = 0; i < kMaxExitAttentions && ok(); ++i) {
            reply = link.SendByte(ByteLink::kAttention, false, false);
            if (reply == ByteLink::kAck || reply == ByteLink::kNoReply)
                break;
        }
        link.CurrentMode = 0;
        if (reply != ByteLink::kAck) {
            box(QStringLiteral("PLC did not Exit Program Mode!"), MsgIcon::Critical);
            failWith(reply == ByteLink::kNoReply ? fail(link.lastCause()) : fail(Cause::BadReply));
            rs.OnlineMode = false;
            return false;
        }
    }
    rs.m_clock.waitMs(kProgramModeExitMs);
    return true;
}

void ProgramDownload::writeIdent()
{
    if (!ok())
        return;
    rs.m_writingIdent = true;
    QString ident = programSet.ident;
    while (ident.startsWith(QLatin1Char(' ')))
        ident.remove(0, 1);
    while (ident.endsWith(QLatin1Char(' ')))
        ident.chop(1);
    ident += QString(8, QChar(0));
    for (int i = 0; i < reg::kIdentRegisterCount; ++i) {
        const QString value = i < 8 ? QString::number(ident.at(i).unicode() & 0xFF)
            : i == 8                ? programSet.checksum
                                    : programSet.revision;
        write(reg::identRegister(i), value);
        if (!ok()) {
            box(QStringLiteral("Could Not Send Program Ident and Revision to PLC!"), MsgIcon::Critical);
            break;
        }
    }
}

// ---------------------------------------------------------------------------
// Download

Status RSComm::DumpProgram()
{
    OperationGuard guard(*this);
    if (guard.refused() || transferRunning())
        return fail(Cause::Busy);
    m_inProgramMode = true;
    m_writingIdent = false;
    m_currentProgramAdd = QStringLiteral(" ");
    m_programRecords = 0;
    m_programRecordsSent = 0;
    Status outcome = done();
    try {
        outcome = dumpProgramSteps();
    } catch (const BasicError& e) {
        m_link.CurrentMode = 0;
        OnlineMode = false;
        m_inProgramMode = false;
        m_writingIdent = false;
        m_validProgram = false;
        showRuntimeFault(m_prompter, e, QStringLiteral("RSComm DumpProgram"), MsgIcon::Information);
        outcome = fail(Cause::BadFile, e.description());
    }
    m_inProgramMode = false;
    if (m_observer)
        m_observer->transferred(
            TransferRecord { QStringLiteral("program download"), m_program.programPath, outcome, m_programRecordsSent });
    return outcome;
}

Status RSComm::dumpProgramSteps()
{
    return ProgramDownload(*this).run();
}

// ---------------------------------------------------------------------------
// Upload

Status RSComm::UploadProgram()
{
    OperationGuard guard(*this);
    if (guard.refused() || transferRunning())
        return fail(Cause::Busy);
    m_readingIdent = false;
    if (!m_inUploadMode)
        return fail(Cause::Cancelled);
    m_transferring = true;
    Status outcome = done();
    try {
        outcome = uploadProgramSteps();
    } catch (const BasicError& e) {
        showRuntimeFault(m_prompter, e, QStringLiteral("RSComm-Upload Program"), MsgIcon::Information);
        outcome = fail(Cause::BadFile, e.description());
    }
    m_readingIdent = false;
    m_inUploadMode = false;
    m_transferring = false;
    if (m_observer)
        m_observer->transferred(TransferRecord { QStringLiteral("program upload"), m_program.programPath, outcome, 0 });
    return outcome;
}

// One program upload on the link: the ident registers, the configuration
// (on the boards that have one) and the memory window of the board, read
// before anything is written.
class ProgramUpload final : TransferSteps
{
public:
    explicit ProgramUpload(RSComm& rs)
        : TransferSteps { rs, rs.m_link, rs.m_prompter, rs.m_program }
    { }

    Status run();

private:
    // Each reader gives nothing when the upload stops: after a link failure
    // (its own box said so) or with "Program Upload Not Complete!".
    std::optional<QByteArray> revisionFile();
    std::optional<QByteArray> configFile(int code);
    std::optional<QByteArray> imageFile(int code);
    // A register read that failed: the link's own failure, or the read's.
    // A lost link has had its own box; only the ident's reads end there
    // without "Program Upload Not Complete!".
    std::nullopt_t readFailed(const Result<QString>& read, bool quietOnLinkLoss = false)
    {
        const Failure why = read ? fail(link.lastCause()) : read.error();
        if (rs.CommError && quietOnLinkLoss) {
            failWith(why);
            return std::nullopt;
        }
        return notComplete(why);
    }
    std::nullopt_t notComplete(Failure why)
    {
        failWith(std::move(why));
        prompter.msgBox(QStringLiteral("Program Upload Not Complete!\r\n\r\nHEX file not created."),
            kUploadTitle, MsgIcon::Critical, MsgButtons::OK);
        rs.OnlineMode = false;
        return std::nullopt;
    }
};

Status ProgramUpload::run()
{
    if (!rs.OnlineMode) {
        prompter.msgBox(
            QStringLiteral("Program is Currently OFFLINE.\r\n\r\nSwitch to ONLINE MODE to Continue."),
            kUploadTitle, MsgIcon::Information, MsgButtons::OK);
        return fail(Cause::LinkDown, QStringLiteral("OFFLINE"));
    }
    // The program file names the board (and so the memory window); it is
    // read before anything else, and nothing is written before every read
    // succeeded, so a failed upload leaves the file set as it was.
    const std::optional<QString> field = readFirstField(programSet.programPath);
    if (!field)
        return fail(Cause::BadFile, programSet.programPath);
    if (field->isEmpty())
        throw BasicError(
            RuntimeError::kInvalidCall, kSource, QStringLiteral("Invalid procedure call or argument"));
    const int code = field->front().unicode();

    const std::optional<QByteArray> revision = revisionFile();
    if (!revision)
        return outcome();
    const std::optional<QByteArray> config = configFile(code);
    if (!config)
        return outcome();
    const std::optional<QByteArray> image = imageFile(code);
    if (!image)
        return outcome();

    // Every read succeeded: the set is replaced, all files or none.
    QList<std::pair<QString, QByteArray>> files { { programSet.imagePath, *image } };
    if (!config->isEmpty())
        files.append({ programSet.configPath, *config });
    files.append({ programSet.revisionPath, *revision });
    saveFileSet(files);
    QString complete = QStringLiteral("Program Upload Complete!");
    // The top of the memory window lies where the high address byte is the
    // attention byte: the board cannot be asked for it.
    if (code == '2')
        complete += QStringLiteral("\r\n\r\nAddresses FF00H to FFFFH cannot be read from the board and "
                                   "are not in the HEX file.");
    prompter.msgBox(complete, kUploadTitle, MsgIcon::Information, MsgButtons::OK);
    rs.OnlineMode = true;
    return done();
}

std::optional<QByteArray> ProgramUpload::revisionFile()
{
    QString ident;
    QString checksum;
    QString revision;
    for (int i = 0; i < reg::kIdentRegisterCount; ++i) {
        rs.m_readingIdent = true;
        const Result<QString> value = link.readRegister(reg::identRegister(i));
        // A register that could not be read after its retry is not taken as 0.
        if (!value || rs.CommError)
            return readFailed(value, true);
        const int byte = value->toInt() & 0xFF;
        if (i < 8) {
            ident += QChar(char16_t(byte));
        } else {
            QString pair = hex2(byte);
            HEX2MarkHEX(pair);
            (i == 8 ? checksum : revision) = pair;
        }
    }
    rs.m_readingIdent = false;
    return (ident + checksum + revision + QStringLiteral("\r\n")).toLatin1();
}

std::optional<QByteArray> ProgramUpload::configFile(int code)
{
    if (!configBoard(code))
        return QByteArray();
    // Settings that could not be read are not written as if they had been.
    const Result<QString> readA = link.readRegister(reg::kConfigA);
    if (!readA || rs.CommError)
        return readFailed(readA);
    const Result<QString> readB = link.readRegister(reg::kConfigB);
    if (!readB || rs.CommError)
        return readFailed(readB);
    const Result<QString> readC = link.readRegister(reg::kConfigC);
    if (!readC || rs.CommError)
        return readFailed(readC);
    const QString& a = *readA;
    const QString& b = *readB;
    const QString& c = *readC;
    const int digitA = a == QLatin1String("3") ? 1 : a == QLatin1String("5") ? 2 : 3;
    const int digitB = CInt(Val(b));
    const int digitC = c == QLatin1String("5") ? 1 : c == QLatin1String("10") ? 2 : 3;
    return (RSComm::LCFBoardIndex(qint16(code)) + QString(34, QLatin1Char('0')) + QString::number(digitA)
        + QStringLiteral("00") + QString::number(digitB) + QString::number(digitC)
        + QStringLiteral("000%\r\n"))
        .toLatin1();
}

std::optional<QByteArray> ProgramUpload::imageFile(int code)
{
    const auto [first, length] = memoryWindow(code);
    rs.m_currentProgramAdd = QStringLiteral(" ");
    QByteArray image;
    image.reserve(length / 16 * 45 + 13);
    for (int a = first; a < first + length; a += 16) {
        rs.m_currentProgramAdd = QStringLiteral("%1H").arg(a, 4, 16, QLatin1Char('0')).toUpper();
        rs.letEventsRun();
        QString record = QStringLiteral(":10")
            + QStringLiteral("%1").arg(a, 4, 16, QLatin1Char('0')).toUpper() + QStringLiteral("00");
        int sum = 0x10 + (a >> 8) + (a & 0xFF);
        for (int k = 0; k < 16; ++k) {
            const Result<QString> value = link.readRegister(QStringLiteral("B") + QString::number(a + k));
            // A byte that could not be read is never written as one.
            if (!value || rs.CommError)
                return readFailed(value);
            const int b = value->toInt() & 0xFF;
            record += hex2(b);
            sum += b;
        }
        record += hex2((0x100 - (sum & 0xFF)) & 0xFF) + QStringLiteral("\r\n");
        image += record.toLatin1();
    }
    image += ":00000001FF\r\n";
    return image;
}

Status RSComm::uploadProgramSteps()
{
    return ProgramUpload(*this).run();
}

} // namespace talvek
