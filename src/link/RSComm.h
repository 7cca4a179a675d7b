#pragma once

#include "link/ByteLink.h"
#include "link/LinkMonitor.h"
#include "link/LinkObserver.h"

#include <QString>
#include <array>
#include <optional>
#include <vector>

namespace talvek {

class Clock;
class Prompter;
class ProgramFolder;
class SerialPortControl;

// The controller link: every access to the K7700 goes through the one instance
// of this class. Half-duplex, byte by byte: one byte out, one reply byte back,
// spoken through the byte link it holds.
//
// Controller failures are not exceptions: a failed exchange sets CommError and
// the operation returns a Failure with its cause (a Result the caller must
// look at); while CommError is set every exchange fails at once without
// touching the port.
//
// One controller operation at a time: while an exchange waits inside a modal
// box (the Retry/Cancel of a timeout), a controller operation started from the
// event loop fails fast and leaves the link state of the waiting one alone.
class RSComm final
{
    // Declared first: the link flags below are its own.
    ByteLink m_link;

public:
    RSComm(ProgramFolder& folder, Clock& clock, Prompter& prompter);
    ~RSComm();
    RSComm(const RSComm&) = delete;
    RSComm& operator=(const RSComm&) = delete;

    // The no-reply value of SendByte; never a byte.
    static constexpr int kNoReply = ByteLink::kNoReply;
    static constexpr int kAttention = ByteLink::kAttention;
    static constexpr int kAck = ByteLink::kAck;

    // ---- the public interface, in the order the class has always declared it ----
    bool& OnlineMode;
    bool& CommError;

    // Full path of the port settings file.
    QString CommSettingsFile() const;

    // Current controller fault code (byte 8176).
    Result<qint16> FaultCode();
    // "Fault Code (0AH): " and the text of the fault code table.
    QString FaultDescription(qint16 FltCode);

    // Program transfer state, read by the download dialog's status timer
    // while DumpProgram / UploadProgram let events run (once per record).
    bool InProgramMode() const { return m_inProgramMode; }
    bool InUploadMode() const { return m_inUploadMode; }
    void setInUploadMode(bool on) { m_inUploadMode = on; }
    QString CurrentProgramAdd() const { return m_currentProgramAdd; }
    // The download's progress: the data records of the image (known once it
    // has been read) and how many of them the board has taken.
    int programRecordCount() const { return m_programRecords; }
    int programRecordsSent() const { return m_programRecordsSent; }
    bool WritingIdent() const { return m_writingIdent; }
    bool ReadingIdent() const { return m_readingIdent; }
    // Select a program file set (DownloadFile: with validation and its
    // messages; UploadFile: names and board code only). Ignored while a
    // download or upload runs: the transfer holds the set it started with.
    void setDownloadFile(const QString& NVK_FileName);
    void setUploadFile(const QString& NVK_FileName);
    bool ValidProgram() const { return m_validProgram; }
    // The selected program file set as last read.
    struct ProgramSet
    {
        QString programPath; // base & "nvk"
        QString revisionPath; // base & "rev"
        QString imagePath; // base & "hex"
        QString configPath; // base & "lcf"
        qint16 boardCode = 0; // character code of the program file's first character
        QString boardName;
        QString ident; // disk program ident, checksum and revision ("Unknown" when
        QString checksum; // the revision file could not be read)
        QString revision;
        qint16 configA = 3; // configuration digits (3, 0, 3 without a configuration file)
        qint16 configB = 0;
        qint16 configC = 3;
    };
    const ProgramSet& selectedProgram() const { return m_program; }
    // Board names and configuration-file indexes by board code (a character code).
    static QString TargetboardName(qint16 TargetboardType);
    static QString LCFBoardIndex(qint16 BoardType);
    // Controller firmware revision (byte 8159); LinkDown when offline.
    Result<qint16> FirmwareRev();

    // PLS board values and channel operations, spoken through the link with
    // the PLS command set. Every one fails (at once, without any exchange,
    // when CommError is already set) with the cause of its failure.
    Result<int> PLSScaleFactor();
    Result<int> PLSOffset();
    Result<int> PLSPos();
    Result<int> PLSRpm();
    // What the last successful RecallChannel gave (states 0 OFF, 1 ON, 2
    // empty, 3 pulse train; any other state fails the recall).
    qint16 ChannelRecallPos = 0;
    qint16 ChannelRecallState = 0;
    Status SingleSetpoint(qint16 Chan, qint16 OnSetpoint, qint16 OffSetpoint, bool ClearChan);
    Status PulseTrain(qint16 Chan, qint16 ON_Division, qint16 OFF_Division, qint16 START_Division);
    Status ClearPLSChan(qint16 Chan);
    // One recall; one that went wrong on the line (not a link failure) is
    // made once more, as a read is.
    Status RecallChannel(qint16 Chan);
    Status SetPLSOffset(qint16 Position);
    Status PLSConfigDownload(const std::array<qint16, 24>& CfgParam, qint16 ScaleFactor);
    // The configuration table; on failure "Not able to Upload Configuration
    // from PLS." has been shown, and nothing of the table is returned.
    Result<std::array<qint16, 19>> PLSConfigUpload();

    // Address utilities.
    static QString MarkHex2HEX(QString& MarkHEX);
    static QString HEX2MarkHEX(QString& HexCode);
    static qint16 Dec2Octal(qint16 DecNum);
    static qint16 Octal2Dec(qint16 OctNum);
    static QString EquateAdd(const QString& Var, qint16 TargetBoardIndex);
    static bool ValidAdd(const QString& Var, qint16 TargetBoardIndex);

    // Read and write one controller value by address text.
    //
    // A read whose exchange went wrong without a link failure (a wrong echo,
    // a reply that came only after a resynchronisation) is made once more
    // with a new handshake; when that fails too, the result is the failure.
    [[nodiscard]] Result<QString> RSRead(const QString& Add);
    // A write whose echo goes wrong is made once more; when the second one
    // goes wrong too, the value is read back (and written once more when the
    // controller holds a third value). With WriteFailure::Alert the operator
    // is told that the value was not written, and what the controller holds
    // when that is known (unless CommError already stands for the failure).
    // A value refused by an entry alert fails with Cause::EntryRefused:
    // nothing was sent.
    enum class WriteFailure
    {
        Alert,
        Quiet
    };
    Status RSWrite(const QString& Add, const QString& DataValue, WriteFailure report = WriteFailure::Alert);
    // "Value Not Written to PLC (W1026)." and, when the controller was found
    // holding another value, what it holds.
    static QString writeFailureText(const QString& Add, const Failure& failure);
    // Opens the link. When the board was left inside a write by an earlier
    // run (see ByteLink::earlierRun()), the bytes it may have changed are
    // read back and a box names them, after any box of the opening itself.
    void OpenRSComm(SerialPortControl* CommObj);
    void CloseRSComm();
    // The box's title and text for what an opening found of an earlier run.
    static const QString kInterruptedWriteTitle;
    static QString earlierRunText(const ByteLink::EarlierRun& earlier);
    // Whether writes keep the write-ahead record in the program folder
    // ("support/write-ahead/" and the port's device; on by default). Takes effect at the next
    // OpenRSComm.
    void setWriteAheadRecord(bool on) { m_writeAhead = on; }
    // A data download's writes are recorded once, before the first of them,
    // and the record kept until the last has ended (ByteLink::beginWriteRun).
    Status beginWriteRun(const QStringList& addresses, bool plsWrites)
    {
        return m_link.beginWriteRun(addresses, plsWrites);
    }
    void endWriteRun() { m_link.endWriteRun(); }

    // Program download and upload: synchronous, with one event pump per
    // record; a second call while one runs returns at once.
    Status DumpProgram();
    Status UploadProgram();

    // True while a controller operation is in progress (for example while the
    // Retry/Cancel box of a timeout is up).
    bool isBusy() const { return m_depth > 0; }

    // The link monitor that sees every exchange, or none (nullptr).
    void setMonitor(LinkMonitor* monitor) { m_link.setMonitor(monitor); }
    LinkMonitor* monitor() const { return m_link.monitor(); }

    // Whoever keeps the press's record (the journal), or none: told of every
    // write, program transfer, mode change and lost link (see LinkObserver).
    void setObserver(LinkObserver* observer) { m_observer = observer; }
    LinkObserver* observer() const { return m_observer; }
    // Who the writes from now on are made for ("Set-up Parameters",
    // "talvek-cli"); the observer is told it with each write.
    void setWriteSource(const QString& source) { m_writeSource = source; }
    const QString& writeSource() const { return m_writeSource; }
    // Names the writes of one piece of work, and gives the old name back after.
    class WriteSourceScope final
    {
    public:
        WriteSourceScope(RSComm& rs, const QString& source)
            : m_rs(rs)
            , m_previous(rs.writeSource())
        {
            rs.setWriteSource(source);
        }
        ~WriteSourceScope() { m_rs.setWriteSource(m_previous); }
        WriteSourceScope(const WriteSourceScope&) = delete;
        WriteSourceScope& operator=(const WriteSourceScope&) = delete;

    private:
        RSComm& m_rs;
        QString m_previous;
    };

    // Configuring or opening the port failed: OpenRSComm left it closed.
    bool PortFailed() const { return m_portFailed; }
    // How the last OpenRSComm ended: done when the board answered, else the
    // port's failure (with its error number) or the silent line.
    Status openOutcome() const { return m_openFailure ? Status(*m_openFailure) : done(); }
    SerialPortControl* port() const { return m_link.port(); }
    // The byte link the controller operations speak through: its mode, the
    // last write's echo (WriteMismatch), the raw reads and writes.
    ByteLink& byteLink() { return m_link; }
    const ByteLink& byteLink() const { return m_link; }

private:
    // Marks a public controller operation in progress. An operation started
    // while another one waits (inside a modal box) is refused before it
    // touches the link.
    class OperationGuard final
    {
    public:
        explicit OperationGuard(RSComm& link)
            : m_link(link)
            , m_refused(link.m_depth > 0)
        {
            ++m_link.m_depth;
        }
        ~OperationGuard()
        {
            if (m_link.monitor() && m_link.CommError && !m_refused)
                m_link.monitor()->linkFailed();
            if (m_link.CommError && !m_refused)
                m_link.tellLinkFault();
            --m_link.m_depth;
        }
        OperationGuard(const OperationGuard&) = delete;
        OperationGuard& operator=(const OperationGuard&) = delete;
        bool refused() const { return m_refused; }

    private:
        RSComm& m_link;
        bool m_refused;
    };
    void ConfigurePort(SerialPortControl* port);
    // The observer's reports (nothing without one).
    void tellWriteStarting(const QString& address, const QString& value);
    Status toldWritten(const QString& address, const QString& value, Status outcome,
        std::optional<QString> before = std::nullopt);
    void tellOpened();
    void tellLinkFault();
    // The write operations themselves, told to the observer by the public ones.
    Status writeRegister(const QString& Add, const QString& DataValue, WriteFailure report);
    Status sendSingleSetpoint(qint16 Chan, qint16 OnSetpoint, qint16 OffSetpoint, bool ClearChan);
    Status sendPulseTrain(qint16 Chan, qint16 ON_Division, qint16 OFF_Division, qint16 START_Division);
    Status sendClearChannel(qint16 Chan);
    Status sendPLSOffset(qint16 Position, std::optional<QString>& before, QString& after);
    Status sendPLSConfig(const std::array<qint16, 24>& CfgParam, qint16 ScaleFactor);
    // One byte of a PLS command that the board must acknowledge; one byte
    // polled from the board (a failure when the exchange failed or its reply
    // came only after a resynchronisation).
    Status acknowledged(int value);
    Result<int> polledByte();
    // The failure of an exchange that gave no reply.
    Failure noReply() const { return fail(m_link.lastCause()); }
    // The handshake of a PLS command.
    Status plsMode(int mode, int command);

    // ---- PLS wire operations (each one handshakes with its own command
    // byte; no PLS mode is ever reused) ----
    // The word as low + 256 * high.
    Result<int> ReadPLSWord(int command);
    Status WritePLSWord(int command, int value);
    // WritePLSWord, and after a failure inside it that left the link up, the
    // word read back (the read's handshake ends a word the board was left
    // in: it took a resynchronising 0xFF as one of its bytes) and written
    // once more when it is not the value. A word still not held fails with
    // Cause::NotHeld and the value the board holds.
    Status writePLSWordChecked(int command, int readCommand, int value);
    // Six record bytes, each acknowledged with 0x55, then the ready wait.
    Status SendPLSRecord(int command, const std::array<int, 6>& record);
    Status SendPLSConfigBlock(int command, const std::array<int, 6>& values);
    Status ReceivePLSConfig();
    Status ReadRecallRecord(int Chan);
    Status WaitPLSReady();
    void leaveModeHandshake();
    Status sendAcknowledgedBlock(int mode, int command, const std::array<int, 6>& bytes);
    Result<int> readPLSValue(int command);

    // ---- program file set, download and upload ----
    bool SetProgramIdent(const QString& path);
    bool SetProgramConfig(const QString& path);
    bool transferRunning() const { return m_inProgramMode || m_transferring; }
    Status dumpProgramSteps();
    Status uploadProgramSteps();
    // The controller's reply to a program record: the byte, or nothing after 1 s.
    std::optional<int> awaitRecordReply();
    void letEventsRun();

    // The steps of the transfers (RSCommTransfer.cpp).
    friend class ProgramDownload;
    friend class ProgramUpload;

    LinkObserver* m_observer = nullptr;
    // The PLS configuration and scale factor as last read since the link
    // opened (the journal's value before a configuration download).
    std::optional<std::array<qint16, 19>> m_plsConfigRead;
    std::optional<int> m_plsScaleRead;
    QString m_writeSource = QStringLiteral("TALVEK");
    bool m_faultTold = false;
    ProgramFolder& m_folder;
    Clock& m_clock;
    Prompter& m_prompter;
    int m_depth = 0;
    bool m_portFailed = false;
    std::optional<Failure> m_openFailure;
    bool m_writeAhead = true;

    bool m_inProgramMode = false;
    bool m_inUploadMode = false;
    bool m_writingIdent = false;
    bool m_readingIdent = false;
    bool m_validProgram = false;
    QString m_currentProgramAdd;
    int m_programRecords = 0;
    int m_programRecordsSent = 0;
    bool m_transferring = false;
    ProgramSet m_program;
    std::array<qint16, 19> m_plsConfigTable {};
};

} // namespace talvek
