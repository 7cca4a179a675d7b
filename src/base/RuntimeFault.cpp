#include "base/RuntimeFault.h"

#include "base/BasicError.h"

namespace talvek {

MsgResult showRuntimeFault(Prompter& prompter, int number, const QString& description, const QString& title,
    MsgIcon icon, MsgButtons buttons, const std::optional<QString>& source)
{
    QString text = QLatin1String(kRuntimeFaultPrefix) + QString::number(number);
    if (source)
        text += QStringLiteral("\r\nError Source = ") + *source;
    text += QStringLiteral("\r\n\r\n") + description;
    return prompter.msgBox(text, title, icon, buttons);
}

void showRuntimeFault(Prompter& prompter, const BasicError& error, const QString& title, MsgIcon icon)
{
    showRuntimeFault(prompter, error.number(), error.description(), title, icon);
}

} // namespace talvek
