#pragma once

#include <QSizeF>
#include <QString>
#include <QStringList>

#include <optional>

namespace talvek {

// Icons and button sets of the message boxes the system shows.
enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { OK, OKCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };
enum class MsgResult { OK = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };
// Which button of the set Enter alone presses: the first (Yes, OK, Abort,
// Retry), the second (No in Yes/No and Yes/No/Cancel) or the third.
// Questions whose Yes writes to the controller or replaces its program
// default to No, so that Enter alone never changes a running press.
enum class MsgDefault
{
    Button1,
    Button2,
    Button3
};

// A file dialog request, shaped like the common dialog's properties.
struct FileDialogRequest
{
    QString title;
    QString filter;        // "Set-up Files (*.sdt)|*.sdt|All Files (*.*)|*.*" style pairs
    QString initialDir;
    QString fileName;      // proposed name (save) or initial selection
    QString defaultExt;    // without the dot
    bool overwritePrompt = false;
    bool fileMustExist = false;
};

// The printer and page a printout goes to, as the printer dialog chose them.
struct PrinterSettings
{
    QString printerName;    // empty: the system's default printer
    QString outputFileName; // not empty: the printout goes into this PDF file
    QString paperName;      // "Letter", "A4" ...; empty: the printer's own paper
    QSizeF paperSize;       // of paperName, in millimetres
    bool landscape = false;
    int copies = 1;

    bool operator==(const PrinterSettings&) const = default;
};

// Every message box, input box, file dialog, printer dialog and help request of
// the program goes through one instance of this interface. The real one shows
// Qt dialogs; tests use a scripted one that records each call.
// Texts use CR LF or CR for line breaks, as the messages are written.
class Prompter
{
public:
    virtual ~Prompter() = default;

    virtual MsgResult msgBox(const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons,
        MsgDefault defaultButton = MsgDefault::Button1)
        = 0;

    // Returns the entered text, or nothing when the operator cancelled.
    virtual std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                            const QString& defaultText)
        = 0;

    // Return the chosen path, or nothing when cancelled.
    virtual std::optional<QString> openFileName(const FileDialogRequest& request) = 0;
    virtual std::optional<QString> saveFileName(const FileDialogRequest& request) = 0;

    // The printer dialog, opened on the current choice; returns the printer and
    // page settings chosen, or nothing when cancelled. A prompter that has no
    // printer dialog answers as if it was cancelled.
    virtual std::optional<PrinterSettings> printerDialog(const PrinterSettings& current)
    {
        return std::nullopt;
    }

    // Opens a help document; returns false when it could not be shown.
    virtual bool showHelp(const QString& path) = 0;

    // Convenience for the common OK box.
    void message(const QString& text, const QString& title = QStringLiteral("TALVEK"),
                 MsgIcon icon = MsgIcon::None)
    {
        msgBox(text, title, icon, MsgButtons::OK);
    }
};

} // namespace talvek
