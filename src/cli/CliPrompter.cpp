#include "cli/CliPrompter.h"

#include "base/RuntimeFault.h"
#include "link/SerialPortControl.h"

#include <QRegularExpression>

namespace talvek {

CliPrompter::CliPrompter(QTextStream& err, bool yes)
    : m_err(err)
    , m_yes(yes)
{ }

QString CliPrompter::oneLine(const QString& text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    t.replace(QLatin1Char('\t'), QLatin1Char(' '));
    // Other control characters (the zeros after a short program ident) would
    // garble the terminal or cut the line short.
    t.removeIf([](QChar c) { return c.unicode() < 0x20 && c != QLatin1Char('\n'); });
    QStringList parts = t.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (QString& p : parts)
        p = p.simplified();
    parts.removeAll(QString());
    return parts.join(QLatin1String(" / "));
}

CliExit CliPrompter::classify(const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons)
{
    if (buttons == MsgButtons::YesNoCancel || buttons == MsgButtons::YesNo)
        return CliExit::Ok; // a question, answered by the prompter itself
    if (text == QLatin1String("Program Download Complete!")
        || text == QLatin1String("Program Upload Complete!"))
        return CliExit::Ok;
    if (title == QLatin1String("ENTRY ALERT"))
        return CliExit::ValueRefused;
    if (title == QLatin1String("WARNING - Communication Error!"))
        return text.startsWith(QLatin1String("Cannot Communicate")) ? CliExit::Silent
                                                                    : CliExit::ControllerRefused;
    if (title == QLatin1String("Comm Port Error") || title == QLatin1String("RSComm InitializeRSComm")) {
        static const QRegularExpression number(
            QLatin1Char('^') + QLatin1String(runtimeFaultPrefix) + QStringLiteral("(\\d+)"));
        const QRegularExpressionMatch m = number.match(text);
        const int n = m.hasMatch() ? m.captured(1).toInt() : 0;
        switch (n) {
        case SerialErrorNumber::DeviceNotFound:
        case SerialErrorNumber::InvalidPortNumber:
            return CliExit::NoDevice;
        case SerialErrorNumber::PermissionDenied:
            return CliExit::Permission;
        default:
            return CliExit::PortError;
        }
    }
    // The program set's own checks and the run-time faults of the program
    // transfers are about files; the rest is the controller's answer.
    if (text.contains(QLatin1String("Not Valid")) || text.contains(QLatin1String("Does Not Exist"))
        || text.contains(QLatin1String("is Invalid")) || text.contains(QLatin1String("incompatible"))
        || text.contains(QLatin1String("PLS target board program"))
        || text.startsWith(QLatin1String(runtimeFaultPrefix)))
        return CliExit::File;
    Q_UNUSED(icon);
    return CliExit::ControllerRefused;
}

MsgResult CliPrompter::msgBox(
    const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons, MsgDefault)
{
    m_lastText = text;
    note(oneLine(title) + QStringLiteral(": ") + oneLine(text));
    const CliExit cause = classify(text, title, icon, buttons);
    if (cause != CliExit::Ok && m_failure == CliExit::Ok)
        m_failure = cause;
    switch (buttons) {
    case MsgButtons::OK:
        return MsgResult::OK;
    case MsgButtons::OKCancel:
    case MsgButtons::RetryCancel:
        return MsgResult::Cancel;
    case MsgButtons::AbortRetryIgnore:
        return MsgResult::Abort;
    case MsgButtons::YesNoCancel:
        // The one Yes / No / Cancel question of a command is the program
        // download's confirmation, which --yes answers.
        return m_yes ? MsgResult::Yes : MsgResult::Cancel;
    case MsgButtons::YesNo:
        return MsgResult::No;
    }
    return MsgResult::Cancel;
}

std::optional<QString> CliPrompter::inputBox(const QString& prompt, const QString& title, const QString&)
{
    note(title + QStringLiteral(": ") + oneLine(prompt) + QStringLiteral(" (not answered)"));
    return std::nullopt;
}

std::optional<QString> CliPrompter::openFileName(const FileDialogRequest&)
{
    return std::nullopt;
}

std::optional<QString> CliPrompter::saveFileName(const FileDialogRequest&)
{
    return std::nullopt;
}

bool CliPrompter::showHelp(const QString&)
{
    return false;
}

void CliPrompter::note(const QString& text)
{
    m_err << QStringLiteral("talvek-cli: ") << text << Qt::endl;
}

void CliPrompter::fail(CliExit cause, const QString& text)
{
    note(text);
    if (m_failure == CliExit::Ok)
        m_failure = cause;
}

} // namespace talvek
