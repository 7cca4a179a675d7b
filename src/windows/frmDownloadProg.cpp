#include "windows/frmDownloadProg.h"

#include "base/Clock.h"
#include "base/Prompter.h"
#include "link/RSComm.h"
#include "shared/modUtility.h"
#include "shared/RunningPress.h"
#include "windows/FormUtility.h"
#include "windows/frmMDIMain.h"
#include "windows/frmTargetBoard.h"
#include "windows/ShellContext.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace talvek {

namespace {

const QString kDownloadTitle = QStringLiteral("Program Download");

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

QString downloadTimeLeftText(int sentSince, qint64 elapsedMs, int recordsLeft)
{
    const QString head = QStringLiteral("Time left: ");
    if (recordsLeft <= 0)
        return head + QStringLiteral("0 s");
    if (sentSince <= 0 || elapsedMs <= 0)
        return head + QStringLiteral("-");
    const qint64 seconds = (elapsedMs * recordsLeft / sentSince + 999) / 1000;
    if (seconds < 60)
        return head + QStringLiteral("about ") + QString::number(seconds) + QStringLiteral(" s");
    return head + QStringLiteral("about ") + QString::number(seconds / 60) + QStringLiteral(" min ")
        + QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0')) + QStringLiteral(" s");
}

frmDownloadProg::frmDownloadProg(RSComm& rs, Clock& clock, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , fraWaitDisplay(new QGroupBox(this))
    , lblWaitDisplay(new QLabel(QStringLiteral("Sending Program at Address: 0000H"), fraWaitDisplay))
    , prgDownload(new QProgressBar(fraWaitDisplay))
    , lblTimeLeft(new QLabel(QStringLiteral("Time left: -"), fraWaitDisplay))
    , Timer1(new QTimer(this))
    , m_rs(rs)
    , m_clock(clock)
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
    m_mode = Mode;
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
    lblWaitDisplay->setText(m_mode == kModeUpload ? QStringLiteral("Reading Program at Address: ")
                                                 : QStringLiteral("Sending Program at Address: "));
    // The upload reads a window of the board whose size the status line
    // shows; the progress bar belongs to the download.
    prgDownload->setVisible(m_mode == kModeDownload);
    lblTimeLeft->setVisible(m_mode == kModeDownload);
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
    if (m_mode == kModeUpload)
        reportedWhereItHappened(m_rs.UploadProgram());
    else
        reportedWhereItHappened(m_rs.DumpProgram());
    Timer1->stop();
    m_running = false;
    Form_Terminate();
}

void frmDownloadProg::Form_Terminate()
{
    m_mode = kModeDownload;
    letPendingEventsRun();
    accept();
}

void frmDownloadProg::Timer1_Timer()
{
    if (m_mode == kModeDownload && m_rs.InProgramMode()) {
        lblWaitDisplay->setText(m_rs.WritingIdent()
                ? QStringLiteral("Writing Program Ident ... ")
                : QStringLiteral("Writing to Program Address: ") + m_rs.CurrentProgramAdd());
        showProgress();
    } else if (m_mode == kModeUpload && m_rs.InUploadMode()) {
        lblWaitDisplay->setText(m_rs.ReadingIdent()
                ? QStringLiteral("Reading Program Ident ... ")
                : QStringLiteral("Reading From Program Address: ") + m_rs.CurrentProgramAdd());
    }
}

void frmDownloadProg::showProgress()
{
    const int count = m_rs.programRecordCount();
    if (count <= 0)
        return;
    const int sent = std::min(m_rs.programRecordsSent(), count);
    prgDownload->setRange(0, count);
    prgDownload->setValue(sent);
    // The pace is taken from the first record seen taken on, so that the
    // set-up before the records (program mode, configuration) does not count.
    const qint64 now = m_clock.nowMs();
    if (m_firstRecordMs < 0) {
        if (sent > 0) {
            m_firstRecordMs = now;
            m_firstRecordSent = sent;
        }
        lblTimeLeft->setText(downloadTimeLeftText(0, 0, count - sent));
        return;
    }
    lblTimeLeft->setText(downloadTimeLeftText(sent - m_firstRecordSent, now - m_firstRecordMs, count - sent));
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
    RSComm& rs = shell.rs;
    if (rs.isBusy() || transferWindowOpen(shell))
        return;

    if (purpose == kSelectForDownload && !rs.OnlineMode) {
        const MsgResult answer = shell.prompter.msgBox(
            QStringLiteral(
                "Program is Currently OFFLINE\r\n\r\nDo You Wish to Switch to ONLINE MODE to Continue?"),
            QStringLiteral("Program Offline"), MsgIcon::Question, MsgButtons::YesNo);
        if (answer != MsgResult::Yes)
            return;
        shell.mode.setMode(true); // "O&nline Data"
    }

    FileDialogRequest request;
    request.title = QStringLiteral("Open");
    request.filter = QStringLiteral("Norvik Files(*.nvk)|*.nvk|");
    request.fileMustExist = true;
    if (!shell.globals.gProgramFilePath.isEmpty())
        request.fileName = shell.globals.gProgramFilePath;
    const std::optional<QString> chosen = shell.prompter.openFileName(request);
    if (!chosen || chosen->isEmpty()) {
        if (purpose == kSelectForTargetBoard)
            targetBoardPanel(shell)->InitializeForm(shell.globals.gProgramFilePath);
        return;
    }

    shell.globals.gProgramFilePath = *chosen;
    rs.setDownloadFile(*chosen);
    if (!rs.ValidProgram())
        return;

    if (purpose == kSelectForTargetBoard) {
        targetBoardPanel(shell)->InitializeForm(shell.globals.gProgramFilePath);
        return;
    }

    const QString name = QFileInfo(QString(*chosen).replace(QLatin1Char('\\'), QLatin1Char('/'))).fileName();
    const MsgResult go = shell.prompter.msgBox(QStringLiteral("You are about to download \"") + name
            + QStringLiteral("\" to the K7700.\r\n\r\nDo you wish to continue?"),
        kDownloadTitle, MsgIcon::Question, MsgButtons::YesNo, MsgDefault::Button2);
    if (go != MsgResult::Yes)
        return;
    // Every output goes off while the program is loaded: on a running press
    // the operator is asked again.
    if (confirmWhileRunning(rs, shell.prompter, kDownloadTitle,
            QStringLiteral("A program download turns every output of the K7700 off."))
        != PressCheck::Go)
        return;

    // No other exchange may interleave with the raw program stream.
    QTimer* monitor = shell.main.tmrBackgroungUpdate;
    monitor->stop();
    auto* window = new frmDownloadProg(rs, shell.clock, &shell.main);
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
