#pragma once

#include "shared/DataTransfer.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace talvek {

class Prompter;
class RSComm;
struct ShellContext;

// The modal progress window inside which a data transfer runs: the work of
// TransferType (set by RunTransfer) between the controller and CurrentData.
// The transfer starts once the window is up and runs synchronously, letting
// events run between controller operations, so that "&Cancel" (honoured
// between parameter rows) and the timers are served. When it has ended the
// window hides itself (finished()); until then it cannot be closed, and
// Escape asks to cancel, as "&Cancel" does.
class frmProcessing final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmProcessing)

public:
    frmProcessing(RSComm& rs, Prompter& prompter, QWidget* parent = nullptr);
    ~frmProcessing() override;

    // True from the start of the transfer until it has returned.
    bool transferRunning() const { return m_transfer.running(); }
    const DataTransfer& transfer() const { return m_transfer; }
    // The set-up file the working data belongs to, for the journal's record.
    void setFileName(const QString& file) { m_transfer.setFileName(file); }
    // The transfer ran to its end: no link fault, nothing failed, no cancel.
    bool completed() const { return m_completed; }

    // ---- controls, named as the form names them ----
    QGroupBox* fraProcessing;
    QLabel* lblProcessing;
    QProgressBar* prgProcessing;
    QPushButton* cmdCancel;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

public slots:
    void reject() override;

private:
    void Form_Load();
    void Form_Activate();
    void cmdCancel_Click();
    void showProgress(int value);
    void tellPulseTrains();

    RSComm& m_rs;
    Prompter& m_prompter;
    DataTransfer m_transfer;
    bool m_loaded = false;
    bool m_activated = false;
    bool m_completed = false;
};

// The File menu's "&Upload (save) Data" item `Index` (0 "Set-up &Parameters",
// 1 "Timing &Channels", 2 "Shift &Data", 4 "&All"): confirm, stamp gUploadNOW,
// then RunTransfer with code Index.
void mnuFileUploadData_Click(ShellContext& shell, int index);
// The "&Download Data" item `Index`: confirm, then RunTransfer with Index + 10.
void mnuFileDownloadData_Click(ShellContext& shell, int index);

// Offers to go ONLINE when the program is OFFLINE (No: nothing happens), then
// sets TransferType and runs the transfer inside frmProcessing, shown modally
// over the main window; the window is deleted once it has hidden itself.
// Meanwhile the shown child window's refresh loop waits (its reads would
// interleave with the transfer's); the background timer keeps ticking.
// Nothing starts while a controller operation or another transfer is under
// way, nor for a code that is not a transfer code.
void RunTransfer(ShellContext& shell, qint16 code);

} // namespace talvek
