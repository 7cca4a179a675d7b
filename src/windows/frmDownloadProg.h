#pragma once

#include "shared/ProgramDownload.h"

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
    static constexpr qint16 kModeDownload = ProgramTransfer::kModeDownload;
    static constexpr qint16 kModeUpload = ProgramTransfer::kModeUpload;
    static constexpr int kTimerIntervalMs = 250;

    // `clock` times the download for its time-left estimate.
    frmDownloadProg(RSComm& rs, Clock& clock, QWidget* parent = nullptr);
    ~frmDownloadProg() override;

    // Sets the transfer mode; call before the window is shown.
    void SetTransferMode(qint16 Mode);
    qint16 transferMode() const { return m_transfer.mode(); }
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

    void drawState();

    ProgramTransfer m_transfer;
    bool m_loaded = false;
    bool m_running = false;
};

// The main window's program selection (ProgramSelection): a program chosen
// for download is downloaded inside frmDownloadProg with the background
// monitor stopped; when the window has closed the monitor runs again and the
// serial session follows the mode the download left. For the target board,
// the panel opens for the program chosen.
//
// Nothing starts while a controller operation or a transfer is under way.
void SelectProgramFile(ShellContext& shell, qint16 purpose);

} // namespace talvek
