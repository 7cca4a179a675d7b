#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QProgressBar;
class QTimer;

namespace talvek {

class Clock;
class RSComm;
struct ShellContext;

// The small modal window inside which a program transfer of RSComm runs:
// DumpProgram (transfer mode 0) or UploadProgram (mode 1). The transfer starts
// when the window has been shown and runs synchronously, letting events run
// once per record; meanwhile Timer1 keeps the status line up to date. When the
// transfer has ended the window closes itself (finished()); until then it
// cannot be closed.
class frmDownloadProg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmDownloadProg)

public:
    static constexpr qint16 kModeDownload = 0;
    static constexpr qint16 kModeUpload = 1;
    static constexpr int kTimerIntervalMs = 250;

    // `clock` times the download for its time-left estimate.
    frmDownloadProg(RSComm& rs, Clock& clock, QWidget* parent = nullptr);
    ~frmDownloadProg() override;

    // Sets the transfer mode; call before the window is shown.
    void SetTransferMode(qint16 Mode);
    qint16 transferMode() const { return m_mode; }
    // True from the start of the transfer until it has returned.
    bool transferRunning() const { return m_running; }

    // ---- controls, named as the form names them ----
    QGroupBox* fraWaitDisplay;
    QLabel* lblWaitDisplay;
    // Download only: records sent of records, and the time left.
    QProgressBar* prgDownload;
    QLabel* lblTimeLeft;
    QTimer* Timer1;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

public slots:
    void reject() override;

private:
    void Form_Load();
    void Form_Activate();
    void Form_Terminate();
    void Timer1_Timer();

    void showProgress();

    RSComm& m_rs;
    Clock& m_clock;
    // When the first record was seen taken (-1: not yet), and how many then.
    qint64 m_firstRecordMs = -1;
    int m_firstRecordSent = 0;
    qint16 m_mode = kModeDownload;
    bool m_loaded = false;
    bool m_running = false;
};

// "Time left: " and the estimate for the records still to send, at the pace
// of those sent in `elapsedMs` since the first was seen ("about 2 min 05 s",
// "about 40 s"); "Time left: -" until there is a pace to go by.
QString downloadTimeLeftText(int sentSince, qint64 elapsedMs, int recordsLeft);

// The main window's program selection, purpose 0 ("Download &Program"): ask to
// go online when offline, choose a ".nvk" program file, validate the set
// (RSComm's DownloadFile), confirm, then download it inside frmDownloadProg
// with the background monitor stopped; when the window has closed the
// monitor runs again and the serial session follows the mode the download
// left. Purpose 1 ("&Target Board Interface"): choose a program file and open
// the target board panel for it; a cancelled choice opens the panel for the
// program chosen before.
//
// Nothing starts while a controller operation or a transfer is under way.
void SelectProgramFile(ShellContext& shell, qint16 purpose);

inline constexpr qint16 kSelectForDownload = 0;
inline constexpr qint16 kSelectForTargetBoard = 1;

} // namespace talvek
