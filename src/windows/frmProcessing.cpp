#include "windows/frmProcessing.h"

#include "base/Prompter.h"
#include "link/RSComm.h"
#include "shared/ChannelRecall.h"
#include "shared/DownloadPreview.h"
#include "shared/MachineData.h"
#include "shared/modUtility.h"
#include "shared/RefreshLoop.h"
#include "shared/RunningPress.h"
#include "windows/FormUtility.h"
#include "windows/frmMDIMain.h"
#include "windows/ShellContext.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace talvek {

namespace {

const QString kLongestStatus = QStringLiteral("Downloading Set-up Parameters, Please Standby...");

// A transfer window that has not hidden itself yet.
bool transferWindowOpen(const ShellContext& shell)
{
    const auto windows = shell.main.findChildren<frmProcessing*>(QString(), Qt::FindDirectChildrenOnly);
    return std::any_of(windows.begin(), windows.end(),
        [](const frmProcessing* w) { return w->isVisible() || w->transferRunning(); });
}

} // namespace

frmProcessing::frmProcessing(RSComm& rs, Prompter& prompter, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , fraProcessing(new QGroupBox(QStringLiteral("Processing Request:"), this))
    , lblProcessing(new QLabel(fraProcessing))
    , prgProcessing(new QProgressBar(fraProcessing))
    , cmdCancel(new QPushButton(QStringLiteral("&Cancel")))
    , m_rs(rs)
    , m_prompter(prompter)
    , m_transfer(rs, CurrentData,
          DataTransfer::Hooks {
              [] {
                  // "&Cancel" and the timers are served here; the window is
                  // modal, so no other command can start.
                  QCoreApplication::processEvents(QEventLoop::AllEvents);
              },
              [this](const QString& text) {
                  lblProcessing->setText(text);
                  // The timing phases do not look at a cancel request.
                  cmdCancel->setEnabled(false);
              },
              [this](int value) { showProgress(value); },
          })
{
    setObjectName(QStringLiteral("frmProcessing"));
    fraProcessing->setObjectName(QStringLiteral("fraProcessing"));
    lblProcessing->setObjectName(QStringLiteral("lblProcessing"));
    prgProcessing->setObjectName(QStringLiteral("prgProcessing"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    setModal(true);

    lblProcessing->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Wide enough for the longest status text, so that the window keeps its
    // size when the timing phase changes the text.
    lblProcessing->setMinimumWidth(lblProcessing->fontMetrics().horizontalAdvance(kLongestStatus) + 8);
    prgProcessing->setMinimum(0);
    prgProcessing->setValue(0);
    prgProcessing->setTextVisible(false);

    auto* inner = new QVBoxLayout(fraProcessing);
    inner->setContentsMargins(16, 12, 16, 16);
    inner->setSpacing(10);
    inner->addWidget(lblProcessing);
    inner->addWidget(prgProcessing);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdCancel);
    buttons->addStretch(1);

    // Without a title bar, a raised border sets the window off from the one
    // below it.
    auto* border = new QFrame(this);
    border->setFrameStyle(QFrame::Panel | QFrame::Raised);
    border->setLineWidth(2);
    auto* content = new QVBoxLayout(border);
    content->setContentsMargins(12, 12, 12, 12);
    content->setSpacing(10);
    content->addWidget(fraProcessing);
    content->addLayout(buttons);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(border);

    connect(cmdCancel, &QPushButton::clicked, this, &frmProcessing::cmdCancel_Click);
}

frmProcessing::~frmProcessing() = default;

void frmProcessing::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_loaded || event->spontaneous())
        return;
    m_loaded = true;
    Form_Load();
    // The transfer runs once the window is up, from the event loop.
    QTimer::singleShot(0, this, &frmProcessing::Form_Activate);
}

void frmProcessing::Form_Load()
{
    prgProcessing->reset();
    prgProcessing->setValue(0);
    const std::optional<TransferWork> work = transferWorkFor(TransferType, ParamCount);
    lblProcessing->setText(work ? work->status : QString());
    prgProcessing->setMaximum(work ? work->maximum : 1);
    adjustSize();
    CenterForm(this);
}

void frmProcessing::Form_Activate()
{
    if (m_activated)
        return;
    m_activated = true;
    // Never deleted under the run: RunTransfer deletes the window once it has
    // hidden itself, and the modal window keeps the main window from closing.
    const Status outcome = m_transfer.run(TransferType, ParamCount);
    m_completed = outcome.ok();
    tellPulseTrains();
    // A PLS operation or a parameter row that failed without a link fault
    // stops the transfer just as well: the operator must not take it for
    // done. A row that names no parameter of the table stopped it before
    // anything moved; a cancel is the operator's own.
    if (m_transfer.report().refusedRow) {
        m_prompter.msgBox(outcome.error().detail, kAppTitle, MsgIcon::Exclamation, MsgButtons::OK);
    } else if (!outcome && outcome.cause() != Cause::Cancelled) {
        m_prompter.msgBox(QStringLiteral("Error Processing Request\r\n\r\nProcess Not Complete"), kAppTitle,
            MsgIcon::Exclamation, MsgButtons::OK);
    }
    accept();
}

// An upload that found channels holding a pulse train, which a set-up file
// cannot hold, says so at its end: a download of this data clears them.
void frmProcessing::tellPulseTrains()
{
    const std::optional<TransferWork> work = transferWorkFor(TransferType, ParamCount);
    const QList<int>& trains = m_transfer.report().pulseTrainChannels;
    if (!work || work->download || trains.isEmpty())
        return;
    m_prompter.msgBox(
        pulseTrainNotice(trains), QStringLiteral("Data Upload"), MsgIcon::Information, MsgButtons::OK);
}

void frmProcessing::cmdCancel_Click()
{
    m_transfer.requestCancel();
}

void frmProcessing::showProgress(int value)
{
    prgProcessing->setValue(std::min(value, prgProcessing->maximum()));
}

void frmProcessing::closeEvent(QCloseEvent* event)
{
    // The window hides itself when the transfer has ended, never under it.
    if (m_transfer.running()) {
        cmdCancel_Click();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmProcessing::reject()
{
    if (m_transfer.running()) {
        cmdCancel_Click();
        return;
    }
    QDialog::reject();
}

// ---------------------------------------------------------------------------
// The File menu's data transfer commands

void mnuFileUploadData_Click(ShellContext& shell, int index)
{
    const MsgResult answer = shell.prompter.msgBox(
        QStringLiteral("You are about to Upload Data from the PLC\r\n\r\nDo You Wish to Continue?"),
        QStringLiteral("Data Upload"), MsgIcon::Question, MsgButtons::YesNo);
    if (answer != MsgResult::Yes)
        return;
    shell.globals.gUploadNOW = generalDateText(QDateTime::currentDateTime());
    RunTransfer(shell, qint16(index));
}

void mnuFileDownloadData_Click(ShellContext& shell, int index)
{
    // What is about to be written: the data group, the file, and what of it
    // differs from what the controller holds now (read just before).
    const qint16 code = qint16(index + kTransferDownloadOffset);
    if (shell.rs.isBusy() || transferWindowOpen(shell))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const DownloadPreview preview = previewDownload(shell.rs, code, CurrentData);
    QApplication::restoreOverrideCursor();
    const QString line = downloadDataLine(preview, shell.globals.gFileNameCaption);
    const MsgResult answer = shell.prompter.msgBox(downloadDataQuestion(line), QStringLiteral("Data Download"),
        MsgIcon::Question, MsgButtons::YesNo, MsgDefault::Button2);
    if (answer != MsgResult::Yes)
        return;
    RunTransfer(shell, qint16(index + kTransferDownloadOffset));
}

void RunTransfer(ShellContext& shell, qint16 code)
{
    RSComm& rs = shell.rs;
    if (rs.isBusy() || transferWindowOpen(shell) || !transferWorkFor(code, ParamCount))
        return;

    if (!rs.OnlineMode) {
        const MsgResult answer = shell.prompter.msgBox(
            QStringLiteral(
                "Program is Currently OFFLINE\r\n\r\nDo You Wish to Switch to ONLINE MODE to Continue?"),
            QStringLiteral("Program Offline"), MsgIcon::Question, MsgButtons::YesNo);
        if (answer != MsgResult::Yes)
            return;
        // "O&nline Data"; a link that does not open stops the transfer at
        // its first check.
        shell.mode.setMode(true);
    }
    if (code >= kTransferDownloadOffset
        && confirmWhileRunning(rs, shell.prompter, QStringLiteral("Data Download"), kDownloadWhileRunning)
            != PressCheck::Go)
        return;

    TransferType = code;
    // The shown child window waits, as it would below a modal window.
    QPointer<RefreshLoop> loop = RefreshLoop::of(shell.main.currentChild());
    const bool loopStepped = loop && loop->autoStep();
    if (loop)
        loop->setAutoStep(false);

    auto* window = new frmProcessing(rs, shell.prompter, &shell.main);
    window->setFileName(IsUntitled ? QString() : shell.globals.gFileNamePath);
    QObject::connect(window, &QDialog::finished, &shell.main, [window, loop, loopStepped] {
        if (loop && loopStepped)
            loop->setAutoStep(true);
        window->deleteLater();
    });
    window->show();
}

} // namespace talvek
