#pragma once

#include "shared/ShellGlobals.h"

#include <QString>
#include <functional>

namespace talvek {

class Prompter;

// The set-up data file commands of the File menu: New, Open, Save, Save As.
// They work on the machine data globals and the main window's file name
// variables, ask through the prompter and let the main window redraw its
// title bar through the given function.
class SetupFileCommands final
{
public:
    static const QString kUnnamedCaption; // "[unnamed]"
    static const QString kDialogFilter; // "Setup Files(*.sdt)|*.sdt|"
    static const QString kDefaultExtension; // "sdt", added to a name typed without one

    SetupFileCommands(Prompter& prompter, ShellGlobals& globals, std::function<void()> updateCaption);
    Q_DISABLE_COPY_MOVE(SetupFileCommands)

    // Each returns true when it did its work, false when it was abandoned
    // (Cancel, a save that did not happen, a file that could not be read).
    bool mnuFileNew();
    bool mnuFileOpen();
    bool mnuFileSave();
    bool mnuFileSaveAs();
    // Open with the file given (the command line) instead of the file dialog;
    // the questions are Open's own.
    bool openFile(const QString& path);

private:
    // The save question before New and Open: true to go on.
    bool saveChangesFirst();
    // Open: one pass from the question to the version check.
    enum class OpenPass
    {
        Accepted,
        Kept,
        Again
    };
    // One pass; the file dialog chooses when given is empty.
    OpenPass openOnce(const QString& given);
    void acceptFile(const QString& path, const QString& title, const QString& openedAt);
    void showFileCaption();

    Prompter& m_prompter;
    ShellGlobals& m_globals;
    std::function<void()> m_updateCaption;
};

} // namespace talvek
