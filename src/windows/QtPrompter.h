#pragma once

#include "base/Prompter.h"

#include <QPointer>
#include <QString>

class QWidget;

namespace talvek {

class HelpViewer;

// The prompter of the running program: Qt message boxes, input box, file
// dialogs, the printer dialog and the help viewer. CR LF and CR in texts become line breaks.
class QtPrompter final : public Prompter
{
public:
    QtPrompter();
    ~QtPrompter() override;
    Q_DISABLE_COPY_MOVE(QtPrompter)

    MsgResult msgBox(const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons,
        MsgDefault defaultButton = MsgDefault::Button1) override;
    std::optional<QString> inputBox(
        const QString& prompt, const QString& title, const QString& defaultText) override;
    std::optional<QString> openFileName(const FileDialogRequest& request) override;
    std::optional<QString> saveFileName(const FileDialogRequest& request) override;
    bool showHelp(const QString& path) override;
    std::optional<PrinterSettings> printerDialog(const PrinterSettings& current) override;

private:
    std::optional<QString> fileDialog(const FileDialogRequest& request, bool save);

    QPointer<HelpViewer> m_help;
};

// "Setup Files(*.sdt)|*.sdt|All Files (*.*)|*.*" -> the name filters of a Qt
// file dialog ("Setup Files(*.sdt)", "All Files (*.*)"). A description that
// does not end with its own pattern in brackets gets it appended.
QStringList qtNameFilters(const QString& dialogFilter);

// CR LF and lone CR become the line feed that Qt widgets break lines on.
QString qtLineBreaks(const QString& text);

// The text without the control characters a box cannot show (NUL and the
// like); tabs and line breaks stay.
QString qtShownText(const QString& text);

// Throws away the key presses and releases that are waiting to be delivered
// (typed while the program was busy), so that a box shown next is answered
// only by a key pressed while it is on screen. Other events are run.
void discardQueuedInput();

// A message whose lines hold a caption and a value parted by tabs
// ("  Program Ident: \t\tPRESS 1"), as rich text whose captions and values
// stand in two columns that line up in any font; other lines stay lines.
// Empty for a text without a tab (shown as plain text).
QString qtTabColumns(const QString& text);

} // namespace talvek
