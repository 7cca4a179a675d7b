#include "shared/PasscodeCommand.h"

#include "base/Prompter.h"
#include "link/K7700Registers.h"
#include "link/RSComm.h"

namespace talvek {

const QString PasscodeCommand::kPrompt = QStringLiteral("Please Enter New Passcode (0-65535)");
const QString PasscodeCommand::kTitle = QStringLiteral("Keypad Set-up Passcode");

PasscodeCommand::PasscodeCommand(RSComm& rs, Prompter& prompter)
    : m_rs(rs)
    , m_prompter(prompter)
{ }

Status PasscodeCommand::run()
{
    if (m_rs.isBusy())
        return fail(Cause::Busy);
    const QString address = reg::kPasscode.address();
    // A failed read is never proposed as the passcode: the box stays empty.
    QString current;
    if (!m_rs.CommError)
        current = m_rs.RSRead(address).valueOr(QString());
    const auto entered = m_prompter.inputBox(kPrompt, kTitle, current);
    if (!entered || entered->trimmed().isEmpty())
        return fail(Cause::Cancelled);
    if (m_rs.CommError)
        return fail(Cause::LinkDown, address);
    return m_rs.RSWrite(address, *entered);
}

} // namespace talvek
