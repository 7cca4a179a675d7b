#include "base/RuntimeFault.h"

#include "base/BasicError.h"

namespace talvek {

MsgResult ShowRuntimeFault(Prompter& prompter, int number, const QString& description, const QString& title,
    MsgIcon icon, MsgButtons buttons, const std::optional<QString>& source)
{
    QString text = QLatin1String(runtimeFaultPrefix) + QString::number(number);
    if (source)
        text += QStringLiteral("\r\nError Source = ") + *source;
    text += QStringLiteral("\r\n\r\n") + description;
    return prompter.msgBox(text, title, icon, buttons);
}

void ShowRuntimeFault(Prompter& prompter, const BasicError& error, const QString& title, MsgIcon icon)
{
    ShowRuntimeFault(prompter, error.number(), error.description(), title, icon);
}

} // namespace talvek
