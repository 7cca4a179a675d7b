#include "windows/frmDownloadProg.h"

#include "base/Clock.h"
#include "link/RSComm.h"
#include "shared/modUtility.h"
#include "windows/FormUtility.h"
#include "windows/ShellContext.h"
#include "windows/frmMDIMain.h"
#include "windows/frmTargetBoard.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace talvek {

namespace {

// Lets pending paint and timer events run; operator input waits.
void letPendingEventsRun()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// The one target board panel of the main window, made at its first opening.
frmTargetBoard* targetBoardPanel(ShellContext& shell)
{
    auto* panel = shell.main.findChild<frmTargetBoard*>(QString(), Qt::FindDirectChildrenOnly);
    if (!panel)
        panel = new frmTargetBoard(shell.prompter, shell.rs, shell.mode, shell.folder, &shell.main);
    return panel;
}

bool transferWindowOpen(const ShellContext& shell)
{
    return shell.main.findChild<frmDownloadProg*>(QString(), Qt::FindDirectChildrenOnly) != nullptr;
}

} // namespace

frmDownloadProg::frmDownloadProg(RSComm& rs, Clock& clock, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , fraWaitDisplay(new QGroupBox(this))
    , lblWaitDisplay(new QLabel(QStringLiteral("Sending Program at Address: 0000H"), fraWaitDisplay))
    , prgDownload(new QProgressBar(fraWaitDisplay))
    , lblTimeLeft(new QLabel(QStringLiteral("Time left: -"), fraWaitDisplay))
    , Timer1(new QTimer(this))
    , m_transfer(rs, clock)
{
    setObjectName(QStringLiteral("frmDownloadProg"));
    fraWaitDisplay->setObjectName(QStringLiteral("fraWaitDisplay"));
    lblWaitDisplay->setObjectName(QStringLiteral("lblWaitDisplay"));
    Timer1->setObjectName(QStringLiteral("Timer1"));
    setModal(true);

    QFont font = lblWaitDisplay->font();
    font.setPointSizeF(font.pointSizeF() * 1.2);
    font.setBold(true);
    lblWaitDisplay->setFont(font);
    lblWaitDisplay->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Wide enough for the longest status line, so that the window keeps its
    // size while the address changes.
    lblWaitDisplay->setMinimumWidth(
        lblWaitDisplay->fontMetrics().horizontalAdvance(QStringLiteral("Reading From Program Address: 0000H"))
        + 8);

    prgDownload->setObjectName(QStringLiteral("prgDownload"));
    prgDownload->setRange(0, 1);
    prgDownload->setValue(0);
    prgDownload->setFormat(QStringLiteral("%v of %m records (%p%)"));
    prgDownload->setTextVisible(true);
    lblTimeLeft->setObjectName(QStringLiteral("lblTimeLeft"));

    auto* inner = new QVBoxLayout(fraWaitDisplay);
    inner->setContentsMargins(24, 20, 24, 20);
    inner->setSpacing(10);
    inner->addWidget(lblWaitDisplay);
    inner->addWidget(prgDownload);
    inner->addWidget(lblTimeLeft);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    outer->addWidget(fraWaitDisplay);

    Timer1->setInterval(kTimerIntervalMs);
    connect(Timer1, &QTimer::timeout, this, &frmDownloadProg::Timer1_Timer);
}

frmDownloadProg::~frmDownloadProg()
{
    Timer1->stop();
}

void frmDownloadProg::SetTransferMode(qint16 Mode)
{
    m_transfer.setMode(Mode);
}

void frmDownloadProg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_loaded || event->spontaneous())
        return;
    m_loaded = true;
    Form_Load();
    // The transfer runs once the window is up, from the event loop.
    QTimer::singleShot(0, this, &frmDownloadProg::Form_Activate);
}

void frmDownloadProg::Form_Load()
{
    lblWaitDisplay->setText(m_transfer.openingText());
    // The upload reads a window of the board whose size the status line
    // shows; the progress bar belongs to the download.
    prgDownload->setVisible(m_transfer.mode() == kModeDownload);
    lblTimeLeft->setVisible(m_transfer.mode() == kModeDownload);
    adjustSize();
    CenterForm(this);
    Timer1->stop();
}

void frmDownloadProg::Form_Activate()
{
    if (m_running)
        return;
    m_running = true;
    letPendingEventsRun();
    Timer1->start();
    reportedWhereItHappened(m_transfer.run());
    Timer1->stop();
    m_running = false;
    Form_Terminate();
}

void frmDownloadProg::Form_Terminate()
{
    letPendingEventsRun();
    accept();
}

void frmDownloadProg::Timer1_Timer()
{
    if (m_transfer.tick())
        drawState();
}

void frmDownloadProg::drawState()
{
    const TransferState& state = m_transfer.state();
    lblWaitDisplay->setText(state.status);
    if (state.records <= 0)
        return;
    prgDownload->setRange(0, state.records);
    prgDownload->setValue(state.sent);
    lblTimeLeft->setText(state.timeLeft);
}

void frmDownloadProg::closeEvent(QCloseEvent* event)
{
    // The window closes itself when the transfer has ended, never under it.
    if (m_running) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmDownloadProg::reject()
{
    if (m_running)
        return;
    QDialog::reject();
}

// ---------------------------------------------------------------------------
// The program selection of the main window

void SelectProgramFile(ShellContext& shell, qint16 purpose)
{
    if (transferWindowOpen(shell))
        return;
    // A selection given up has had its questions and messages already.
    ProgramSelection selection(shell.rs, shell.mode, shell.prompter, shell.globals.gProgramFilePath);
    const Result<QString> chosen = selection.choose(purpose);
    if (!chosen)
        return;
    if (purpose == kSelectForTargetBoard) {
        targetBoardPanel(shell)->InitializeForm(*chosen);
        return;
    }

    // No other exchange may interleave with the raw program stream.
    QTimer* monitor = shell.main.tmrBackgroungUpdate;
    monitor->stop();
    auto* window = new frmDownloadProg(shell.rs, shell.clock, &shell.main);
    window->SetTransferMode(frmDownloadProg::kModeDownload);
    OnlineModeSwitch& mode = shell.mode;
    QObject::connect(window, &QDialog::finished, &shell.main, [window, monitor, &mode] {
        monitor->start();
        // The serial session follows the mode the download left behind.
        mode.ApplyOnlineMode();
        window->deleteLater();
    });
    window->show();
}

} // namespace talvek
