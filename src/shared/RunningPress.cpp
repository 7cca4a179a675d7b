#include "shared/RunningPress.h"

#include "base/BasicText.h"
#include "base/Prompter.h"
#include "link/K7700Registers.h"
#include "link/RSComm.h"
#include "shared/NumericEntry.h"

namespace talvek {

namespace {

const QString kContinue = QStringLiteral("\r\n\r\nDo you wish to continue?");

} // namespace

const QString kDownloadWhileRunning
    = QStringLiteral("The download writes the data to the controller of the running press.");

QString runningPressQuestion(int spm, const QString& what)
{
    return QStringLiteral("The press is running at ") + QString::number(spm) + QStringLiteral(" SPM.\r\n\r\n")
        + what + kContinue;
}

QString unknownSpeedQuestion(const QString& what)
{
    return QStringLiteral("The speed of the press could not be read: it may be running.\r\n\r\n") + what
        + kContinue;
}

PressCheck confirmWhileRunning(RSComm& rs, Prompter& prompter, const QString& title, const QString& what)
{
    if (!rs.OnlineMode)
        return PressCheck::Go;
    if (rs.CommError)
        return PressCheck::Failed;
    const Result<QString> speed = rs.RSRead(reg::kMachineSpeed);
    if (rs.CommError)
        return PressCheck::Failed;
    QString question;
    if (!speed || !IsNumeric(*speed)) {
        // No speed is no reason to think the press stands.
        question = unknownSpeedQuestion(what);
    } else {
        const qint32 spm = roundedInt32(Val(*speed));
        if (spm <= 0)
            return PressCheck::Go;
        question = runningPressQuestion(spm, what);
    }
    const MsgResult answer
        = prompter.msgBox(question, title, MsgIcon::Exclamation, MsgButtons::YesNo, MsgDefault::Button2);
    return answer == MsgResult::Yes ? PressCheck::Go : PressCheck::Declined;
}

} // namespace talvek
