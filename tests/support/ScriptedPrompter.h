#pragma once

#include "base/Prompter.h"

#include <QList>
#include <QString>

#include <deque>
#include <functional>
#include <optional>

namespace talvek::test {

// One prompt the code under test asked for.
struct PromptCall
{
    enum class Kind { Message, Input, OpenFile, SaveFile, Help, Printer };
    Kind kind = Kind::Message;
    QString text;  // message or prompt text
    QString title;
    QString defaultText; // input box
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::OK;
    MsgDefault defaultButton = MsgDefault::Button1;
    FileDialogRequest file; // for file dialogs
    PrinterSettings printer; // printer dialog: the choice it opened on
};

// A prompter for tests: records every call and answers from a queue.
// A call that finds no scripted answer is recorded as unexpected and answered
// with Cancel (or "cancelled"); tests check unexpected() at the end.
class ScriptedPrompter final : public Prompter
{
public:
    // Answers, taken in order by the calls of the matching kind.
    void answerMsg(MsgResult r) { m_msgAnswers.push_back(r); }
    void answerInput(std::optional<QString> text) { m_inputAnswers.push_back(std::move(text)); }
    void answerFile(std::optional<QString> path) { m_fileAnswers.push_back(std::move(path)); }
    void answerPrinter(std::optional<PrinterSettings> s) { m_printerAnswers.push_back(std::move(s)); }
    // Runs inside the next message box (as the operator's time in the box).
    void duringNextMsg(std::function<void()> action) { m_during.push_back(std::move(action)); }
    // Answer every message box with r, without counting it unexpected.
    void setDefaultMsgAnswer(std::optional<MsgResult> r) { m_defaultMsg = r; }

    MsgResult msgBox(const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons,
        MsgDefault defaultButton = MsgDefault::Button1) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
    std::optional<QString> openFileName(const FileDialogRequest& request) override;
    std::optional<QString> saveFileName(const FileDialogRequest& request) override;
    bool showHelp(const QString& path) override;
    std::optional<PrinterSettings> printerDialog(const PrinterSettings& current) override;

    const QList<PromptCall>& calls() const { return m_calls; }
    QList<PromptCall> messages() const;
    int unexpected() const { return m_unexpected; }
    QString unexpectedText() const { return m_unexpectedText; }
    bool allAnswersUsed() const
    {
        return m_msgAnswers.empty() && m_inputAnswers.empty() && m_fileAnswers.empty()
            && m_printerAnswers.empty();
    }
    void clear();

private:
    QList<PromptCall> m_calls;
    std::deque<MsgResult> m_msgAnswers;
    std::deque<std::optional<QString>> m_inputAnswers;
    std::deque<std::optional<QString>> m_fileAnswers;
    std::deque<std::optional<PrinterSettings>> m_printerAnswers;
    std::deque<std::function<void()>> m_during;
    std::optional<MsgResult> m_defaultMsg;
    int m_unexpected = 0;
    QString m_unexpectedText;
};

// "Error:\rmessage" style texts are easier to assert with visible breaks.
QString visibleBreaks(const QString& text);

} // namespace talvek::test
