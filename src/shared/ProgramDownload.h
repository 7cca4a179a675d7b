#pragma once

#include "base/Outcome.h"

#include <QString>

namespace talvek {

class Clock;
class OnlineModeSwitch;
class Prompter;
class RSComm;

inline constexpr qint16 kSelectForDownload = 0;
inline constexpr qint16 kSelectForTargetBoard = 1;

// The main window's program selection, purpose kSelectForDownload ("Download
// &Program"): ask to go online when offline, choose a ".nvk" program file,
// validate the set (RSComm's DownloadFile), confirm, and on a running press
// confirm again. Purpose kSelectForTargetBoard ("&Target Board Interface"):
// choose a program file for the target board panel; a cancelled choice
// gives the program chosen before.
class ProgramSelection final
{
public:
    // `programFilePath` is the last program chosen; a choice replaces it.
    ProgramSelection(RSComm& rs, OnlineModeSwitch& mode, Prompter& prompter, QString& programFilePath);
    Q_DISABLE_COPY_MOVE(ProgramSelection)

    // The program to download or to open the panel for. Busy while another
    // controller operation waits; Cancelled when the operator said no or
    // chose nothing; BadFile when the set is not valid (the link has said
    // why).
    [[nodiscard]] Result<QString> choose(qint16 purpose);

private:
    bool goOnlineFirst();
    bool confirmDownload(const QString& path);

    RSComm& m_rs;
    OnlineModeSwitch& m_mode;
    Prompter& m_prompter;
    QString& m_programFilePath;
};

// What the progress window shows of a program transfer.
struct TransferState
{
    QString status; // the status line
    int records = 0; // records of the download (0: not known yet)
    int sent = 0; // of them sent
    QString timeLeft; // "Time left: ..."
};

// A program transfer of RSComm: DumpProgram (the download) or UploadProgram.
// The transfer runs synchronously, letting events run once per record; a
// tick between records follows the link's progress.
class ProgramTransfer final
{
public:
    static constexpr qint16 kModeDownload = 0;
    static constexpr qint16 kModeUpload = 1;

    // `clock` times the download for its time-left estimate.
    ProgramTransfer(RSComm& rs, Clock& clock);
    Q_DISABLE_COPY_MOVE(ProgramTransfer)

    void setMode(qint16 mode) { m_mode = mode; }
    qint16 mode() const { return m_mode; }
    // The status line before the first tick.
    QString openingText() const;
    // Runs the transfer; afterwards the mode is the download again. A failure
    // has been shown by the link where it happened.
    [[nodiscard]] Status run();
    // Follows the link's progress; true when the state has news to draw.
    bool tick();
    const TransferState& state() const { return m_state; }

private:
    void followDownload();

    RSComm& m_rs;
    Clock& m_clock;
    qint16 m_mode = kModeDownload;
    TransferState m_state;
    // When the first record was seen taken (-1: not yet), and how many then.
    qint64 m_firstRecordMs = -1;
    int m_firstRecordSent = 0;
};

// "Time left: " and the estimate for the records still to send, at the pace
// of those sent in `elapsedMs` since the first was seen ("about 2 min 05 s",
// "about 40 s"); "Time left: -" until there is a pace to go by.
QString downloadTimeLeftText(int sentSince, qint64 elapsedMs, int recordsLeft);

} // namespace talvek
