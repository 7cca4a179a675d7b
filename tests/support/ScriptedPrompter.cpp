#include "ScriptedPrompter.h"

namespace talvek::test {

namespace {

// The first scripted answer, taken off its queue. Built value by value: a
// plain copy of the optional makes GCC 12 warn that the QString inside "may be
// used uninitialized" (it cannot see that the copy checks for a value).
template <typename T> std::optional<T> takeAnswer(std::deque<std::optional<T>>& answers)
{
    std::optional<T> answer;
    if (answers.front())
        answer.emplace(std::move(*answers.front()));
    answers.pop_front();
    return answer;
}

} // namespace

MsgResult ScriptedPrompter::msgBox(
    const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons, MsgDefault defaultButton)
{
    PromptCall call;
    call.kind = PromptCall::Kind::Message;
    call.text = text;
    call.title = title;
    call.icon = icon;
    call.buttons = buttons;
    call.defaultButton = defaultButton;
    m_calls.append(call);

    if (!m_during.empty()) {
        auto action = std::move(m_during.front());
        m_during.pop_front();
        if (action)
            action();
    }
    if (!m_msgAnswers.empty()) {
        const MsgResult r = m_msgAnswers.front();
        m_msgAnswers.pop_front();
        return r;
    }
    if (m_defaultMsg)
        return *m_defaultMsg;
    if (buttons == MsgButtons::OK)
        return MsgResult::OK; // a plain notice needs no script
    ++m_unexpected;
    m_unexpectedText += title + QStringLiteral(": ") + visibleBreaks(text) + QLatin1Char('\n');
    return MsgResult::Cancel;
}

std::optional<QString> ScriptedPrompter::inputBox(const QString& prompt, const QString& title,
                                                  const QString& defaultText)
{
    PromptCall call;
    call.kind = PromptCall::Kind::Input;
    call.text = prompt;
    call.title = title;
    call.defaultText = defaultText;
    m_calls.append(call);
    if (!m_inputAnswers.empty())
        return takeAnswer(m_inputAnswers);
    ++m_unexpected;
    m_unexpectedText += QStringLiteral("input: ") + prompt + QLatin1Char('\n');
    return std::nullopt;
}

std::optional<QString> ScriptedPrompter::openFileName(const FileDialogRequest& request)
{
    PromptCall call;
    call.kind = PromptCall::Kind::OpenFile;
    call.title = request.title;
    call.file = request;
    m_calls.append(call);
    if (!m_fileAnswers.empty())
        return takeAnswer(m_fileAnswers);
    ++m_unexpected;
    m_unexpectedText += QStringLiteral("open file: ") + request.title + QLatin1Char('\n');
    return std::nullopt;
}

std::optional<QString> ScriptedPrompter::saveFileName(const FileDialogRequest& request)
{
    PromptCall call;
    call.kind = PromptCall::Kind::SaveFile;
    call.title = request.title;
    call.file = request;
    m_calls.append(call);
    if (!m_fileAnswers.empty())
        return takeAnswer(m_fileAnswers);
    ++m_unexpected;
    m_unexpectedText += QStringLiteral("save file: ") + request.title + QLatin1Char('\n');
    return std::nullopt;
}

bool ScriptedPrompter::showHelp(const QString& path)
{
    PromptCall call;
    call.kind = PromptCall::Kind::Help;
    call.text = path;
    m_calls.append(call);
    return true;
}

std::optional<PrinterSettings> ScriptedPrompter::printerDialog(const PrinterSettings& current)
{
    PromptCall call;
    call.kind = PromptCall::Kind::Printer;
    call.printer = current;
    m_calls.append(call);
    if (!m_printerAnswers.empty())
        return takeAnswer(m_printerAnswers);
    ++m_unexpected;
    m_unexpectedText += QStringLiteral("printer dialog\n");
    return std::nullopt;
}

QList<PromptCall> ScriptedPrompter::messages() const
{
    QList<PromptCall> out;
    for (const auto& c : m_calls)
        if (c.kind == PromptCall::Kind::Message)
            out.append(c);
    return out;
}

void ScriptedPrompter::clear()
{
    m_calls.clear();
    m_msgAnswers.clear();
    m_inputAnswers.clear();
    m_fileAnswers.clear();
    m_printerAnswers.clear();
    m_during.clear();
    m_unexpected = 0;
    m_unexpectedText.clear();
}

QString visibleBreaks(const QString& text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("<CRLF>"));
    t.replace(QStringLiteral("\r"), QStringLiteral("<CR>"));
    t.replace(QStringLiteral("\n"), QStringLiteral("<LF>"));
    return t;
}

} // namespace talvek::test
