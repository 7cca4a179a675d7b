#pragma once

#include "base/Prompter.h"

#include <QStringList>
#include <QTextStream>

namespace talvek {

// The exit codes of talvek-cli, one per cause (the README lists them).
enum class CliExit : int
{
    Ok = 0,
    Differs = 1, // compare: the controller does not hold the file's data
    Usage = 2, // bad command line, address or option
    File = 3, // a file could not be read or written, or is not what it must be
    NoDevice = 4, // the port has no device, or the device does not exist
    Permission = 5, // no permission to open the device
    PortError = 6, // the port is in use or could not be set up
    Silent = 7, // the controller did not answer
    ValueRefused = 8, // the link refused the value to write (not a number, out of range)
    ControllerRefused = 9, // the controller answered wrongly or refused an operation
    NeedsYes = 10, // a write to the controller without --yes
    Interrupted = 11, // the controller holds a value an interrupted run may have changed
};

// The prompter of the command line: it never waits for anyone. Each message
// becomes one line on the error stream ("talvek-cli: title: text"), Retry /
// Cancel is answered Cancel, the program download's confirmation is answered
// Yes only when the command line said --yes, and every other question No.
// The exit code of a run comes from the outcome of its operation, never
// from a message's text.
class CliPrompter final : public Prompter
{
public:
    CliPrompter(QTextStream& err, bool yes);
    Q_DISABLE_COPY_MOVE(CliPrompter)

    MsgResult msgBox(const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons,
        MsgDefault defaultButton = MsgDefault::Button1) override;
    std::optional<QString> inputBox(
        const QString& prompt, const QString& title, const QString& defaultText) override;
    std::optional<QString> openFileName(const FileDialogRequest& request) override;
    std::optional<QString> saveFileName(const FileDialogRequest& request) override;
    bool showHelp(const QString& path) override;

    // A message of its own, as a line on the error stream.
    void note(const QString& text);
    // Whether a message box has printed this text already (on one line).
    bool hasShown(const QString& text) const;

    // The run is over: `done` when it did what it was asked. A Retry /
    // Cancel box ("Cannot Communicate with Target Board.") is held back
    // until the next line or the run's end: a run that was done after all
    // (the link tried again and the board answered, or only the closing
    // byte went unanswered) says so in one line, any other shows the box.
    void endRun(bool done);

    // Message texts on one line: CR LF, CR and LF become " / ", tabs a blank,
    // other control characters are dropped.
    static QString oneLine(const QString& text);

private:
    void showHeld();

    QTextStream& m_err;
    bool m_yes;
    QStringList m_held; // Retry / Cancel boxes not shown yet
    QStringList m_shown; // the texts of the message boxes printed
};

} // namespace talvek
