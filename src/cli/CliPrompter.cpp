#include "cli/CliPrompter.h"

#include <algorithm>
#include <utility>

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

MsgResult CliPrompter::msgBox(
    const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons, MsgDefault)
{
    Q_UNUSED(icon);
    // A Retry / Cancel box is held: it is printed if the run then fails,
    // and replaced by one line saying the link tried again if it succeeds.
    m_shown.append(oneLine(text));
    const QString line = oneLine(title) + QStringLiteral(": ") + oneLine(text);
    if (buttons == MsgButtons::RetryCancel)
        m_held.append(line);
    else
        note(line);
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

bool CliPrompter::hasShown(const QString& text) const
{
    const QString line = oneLine(text);
    return !line.isEmpty() && std::any_of(m_shown.cbegin(), m_shown.cend(), [&line](const QString& shown) {
        return shown.contains(line);
    });
}

void CliPrompter::note(const QString& text)
{
    showHeld();
    m_err << QStringLiteral("talvek-cli: ") << text << Qt::endl;
}

void CliPrompter::showHeld()
{
    const QStringList held = std::exchange(m_held, {});
    for (const QString& line : held)
        m_err << QStringLiteral("talvek-cli: ") << line << Qt::endl;
}

void CliPrompter::endRun(bool done)
{
    if (!done || m_held.isEmpty()) {
        showHeld();
        return;
    }
    m_held.clear();
    m_err << QStringLiteral(
        "talvek-cli: the controller did not answer in time; the link tried again, and the "
        "command was done")
          << Qt::endl;
}

} // namespace talvek
