#include "shared/ProgramDownload.h"

#include "base/Clock.h"
#include "base/Prompter.h"
#include "link/RSComm.h"
#include "shared/RunningPress.h"
#include "shared/modUtility.h"

#include <QFileInfo>
#include <algorithm>

namespace talvek {

namespace {

const QString kDownloadTitle = QStringLiteral("Program Download");

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

// ---------------------------------------------------------------------------

ProgramSelection::ProgramSelection(
    RSComm& rs, OnlineModeSwitch& mode, Prompter& prompter, QString& programFilePath)
    : m_rs(rs)
    , m_mode(mode)
    , m_prompter(prompter)
    , m_programFilePath(programFilePath)
{ }

Result<QString> ProgramSelection::choose(qint16 purpose)
{
    if (m_rs.isBusy())
        return fail(Cause::Busy);
    if (purpose == kSelectForDownload && !m_rs.OnlineMode && !goOnlineFirst())
        return fail(Cause::Cancelled);

    FileDialogRequest request;
    request.title = QStringLiteral("Open");
    request.filter = QStringLiteral("Norvik Files(*.nvk)|*.nvk|");
    request.fileMustExist = true;
    if (!m_programFilePath.isEmpty())
        request.fileName = m_programFilePath;
    const std::optional<QString> chosen = m_prompter.openFileName(request);
    if (!chosen || chosen->isEmpty()) {
        // The panel opens all the same, for the program chosen before.
        if (purpose == kSelectForTargetBoard)
            return m_programFilePath;
        return fail(Cause::Cancelled);
    }

    m_programFilePath = *chosen;
    m_rs.setDownloadFile(*chosen);
    if (!m_rs.ValidProgram())
        return fail(Cause::BadFile, *chosen);
    if (purpose == kSelectForTargetBoard)
        return m_programFilePath;
    if (!confirmDownload(*chosen))
        return fail(Cause::Cancelled);
    return m_programFilePath;
}

bool ProgramSelection::goOnlineFirst()
{
    const MsgResult answer = m_prompter.msgBox(
        QStringLiteral(
            "Program is Currently OFFLINE\r\n\r\nDo You Wish to Switch to ONLINE MODE to Continue?"),
        QStringLiteral("Program Offline"), MsgIcon::Question, MsgButtons::YesNo);
    if (answer != MsgResult::Yes)
        return false;
    m_mode.setMode(true); // "O&nline Data"
    return true;
}

bool ProgramSelection::confirmDownload(const QString& path)
{
    const QString name = QFileInfo(QString(path).replace(QLatin1Char('\\'), QLatin1Char('/'))).fileName();
    const MsgResult go = m_prompter.msgBox(QStringLiteral("You are about to download \"") + name
            + QStringLiteral("\" to the K7700.\r\n\r\nDo you wish to continue?"),
        kDownloadTitle, MsgIcon::Question, MsgButtons::YesNo, MsgDefault::Button2);
    if (go != MsgResult::Yes)
        return false;
    // Every output goes off while the program is loaded: on a running press
    // the operator is asked again.
    return confirmWhileRunning(m_rs, m_prompter, kDownloadTitle,
               QStringLiteral("A program download turns every output of the K7700 off."))
        == PressCheck::Go;
}

// ---------------------------------------------------------------------------

ProgramTransfer::ProgramTransfer(RSComm& rs, Clock& clock)
    : m_rs(rs)
    , m_clock(clock)
{ }

QString ProgramTransfer::openingText() const
{
    return m_mode == kModeUpload ? QStringLiteral("Reading Program at Address: ")
                                 : QStringLiteral("Sending Program at Address: ");
}

Status ProgramTransfer::run()
{
    m_state = TransferState {};
    m_firstRecordMs = -1;
    m_firstRecordSent = 0;
    const Status done = m_mode == kModeUpload ? m_rs.UploadProgram() : m_rs.DumpProgram();
    m_mode = kModeDownload;
    return done;
}

bool ProgramTransfer::tick()
{
    if (m_mode == kModeDownload && m_rs.InProgramMode()) {
        m_state.status = m_rs.WritingIdent()
            ? QStringLiteral("Writing Program Ident ... ")
            : QStringLiteral("Writing to Program Address: ") + m_rs.CurrentProgramAdd();
        followDownload();
        return true;
    }
    if (m_mode == kModeUpload && m_rs.InUploadMode()) {
        m_state.status = m_rs.ReadingIdent()
            ? QStringLiteral("Reading Program Ident ... ")
            : QStringLiteral("Reading From Program Address: ") + m_rs.CurrentProgramAdd();
        return true;
    }
    return false;
}

void ProgramTransfer::followDownload()
{
    const int count = m_rs.programRecordCount();
    if (count <= 0)
        return;
    const int sent = std::min(m_rs.programRecordsSent(), count);
    m_state.records = count;
    m_state.sent = sent;
    // The pace is taken from the first record seen taken on, so that the
    // set-up before the records (program mode, configuration) does not count.
    const qint64 now = m_clock.nowMs();
    if (m_firstRecordMs < 0) {
        if (sent > 0) {
            m_firstRecordMs = now;
            m_firstRecordSent = sent;
        }
        m_state.timeLeft = downloadTimeLeftText(0, 0, count - sent);
        return;
    }
    m_state.timeLeft = downloadTimeLeftText(sent - m_firstRecordSent, now - m_firstRecordMs, count - sent);
}

} // namespace talvek
