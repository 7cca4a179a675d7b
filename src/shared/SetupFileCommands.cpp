#include "shared/SetupFileCommands.h"

#include "base/Prompter.h"
#include "shared/MachineData.h"
#include "shared/modUtility.h"
#include "shared/SetupFile.h"

#include <QDateTime>
#include <QFileInfo>

namespace talvek {

const QString SetupFileCommands::kUnnamedCaption = QStringLiteral("[unnamed]");
const QString SetupFileCommands::kDialogFilter = QStringLiteral("Setup Files(*.sdt)|*.sdt|");
const QString SetupFileCommands::kDefaultExtension = QStringLiteral("sdt");

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString fileTitle(const QString& path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QFileInfo(p).fileName();
}

} // namespace

SetupFileCommands::SetupFileCommands(
    Prompter& prompter, ShellGlobals& globals, std::function<void()> updateCaption)
    : m_prompter(prompter)
    , m_globals(globals)
    , m_updateCaption(std::move(updateCaption))
{ }

bool SetupFileCommands::saveChangesFirst()
{
    const auto answer = QuerySaveChanges(m_prompter, HasUnsavedChanges());
    if (answer == MsgResult::Cancel)
        return false;
    // Yes: the data must really be saved before it is replaced; a cancelled
    // Save As or a failed write abandons the command.
    if (answer == MsgResult::Yes)
        return mnuFileSave();
    return true;
}

bool SetupFileCommands::mnuFileNew()
{
    if (!saveChangesFirst())
        return false;
    newMachineData();
    m_globals.gFileNameCaption = kUnnamedCaption;
    if (m_updateCaption)
        m_updateCaption();
    return true;
}

bool SetupFileCommands::mnuFileOpen()
{
    // No at the version question runs the whole command again.
    OpenPass pass = OpenPass::Again;
    while (pass == OpenPass::Again)
        pass = openOnce({});
    return pass == OpenPass::Accepted;
}

bool SetupFileCommands::openFile(const QString& path)
{
    const OpenPass pass = openOnce(QFileInfo(path).absoluteFilePath());
    // No at the version question goes on as Open does: with the file dialog.
    if (pass == OpenPass::Again)
        return mnuFileOpen();
    return pass == OpenPass::Accepted;
}

SetupFileCommands::OpenPass SetupFileCommands::openOnce(const QString& given)
{
    if (!saveChangesFirst())
        return OpenPass::Kept;

    std::optional<QString> chosen = given;
    if (given.isEmpty()) {
        FileDialogRequest request;
        request.title = QStringLiteral("Open");
        request.filter = kDialogFilter;
        request.fileName = m_globals.gFileNamePath;
        request.fileMustExist = true;
        chosen = m_prompter.openFileName(request);
    }
    if (!chosen || chosen->isEmpty())
        return OpenPass::Kept;

    QString reason;
    if (!loadFileData(*chosen, &reason)) {
        m_prompter.msgBox(QStringLiteral("The set-up file could not be opened:") + kCrLf + *chosen + kCrLf
                + kCrLf + reason + kCrLf + kCrLf + QStringLiteral("The data shown has not been changed."),
            kAppTitle, MsgIcon::Exclamation, MsgButtons::OK);
        return OpenPass::Kept;
    }

    // The file's name and time become the current ones only with its data.
    const QString title = fileTitle(*chosen);
    const QString openedAt = generalDateText(QDateTime::currentDateTime());
    OpenPass pass = OpenPass::Kept;
    if (FileData.Version != ProgramVersion) {
        const MsgResult answer = m_prompter.msgBox(QStringLiteral("File created by set-up program version: ")
                + FileData.Version + kCrLf + QStringLiteral("Data tables may not be properly aligned.")
                + kCrLf + kCrLf + QStringLiteral("Do you wish to continue?"),
            kAppTitle, MsgIcon::Information, MsgButtons::YesNoCancel);
        if (answer == MsgResult::Yes)
            pass = OpenPass::Accepted;
        else if (answer == MsgResult::No)
            pass = OpenPass::Again;
    } else {
        pass = OpenPass::Accepted;
    }
    if (pass == OpenPass::Accepted)
        acceptFile(*chosen, title, openedAt);
    DataReloaded = true;
    return pass;
}

void SetupFileCommands::acceptFile(const QString& path, const QString& title, const QString& openedAt)
{
    m_globals.gFileNamePath = path;
    m_globals.gFileNameTitle = title;
    m_globals.gUploadNOW = openedAt;
    AcceptFileData();
    showFileCaption();
}

void SetupFileCommands::showFileCaption()
{
    m_globals.gFileNameCaption = QLatin1Char('[') + m_globals.gFileNameTitle + QLatin1Char(']');
    if (m_updateCaption)
        m_updateCaption();
}

bool SetupFileCommands::mnuFileSave()
{
    if (IsUntitled)
        return mnuFileSaveAs();
    QString reason;
    if (!saveCurrentData(m_globals.gFileNamePath, &reason)) {
        m_prompter.msgBox(QStringLiteral("The set-up file could not be saved:") + kCrLf
                + m_globals.gFileNamePath + kCrLf + kCrLf + reason + kCrLf + kCrLf
                + QStringLiteral("The data has not been saved."),
            kAppTitle, MsgIcon::Exclamation, MsgButtons::OK);
        return false;
    }
    showFileCaption();
    return true;
}

bool SetupFileCommands::mnuFileSaveAs()
{
    FileDialogRequest request;
    request.title = QStringLiteral("Save As");
    request.filter = kDialogFilter;
    request.overwritePrompt = true;
    request.defaultExt = kDefaultExtension;
    // In the folder of the current file, under its name; unnamed data only
    // in the folder (a name proposed there could overwrite another file).
    request.fileName
        = proposedSavePath(IsUntitled ? QFileInfo(m_globals.gFileNamePath).path() + QStringLiteral("/*")
                                      : m_globals.gFileNamePath,
            kDefaultExtension);
    const auto typed = m_prompter.saveFileName(request);
    if (!typed || typed->isEmpty())
        return false;
    const QString chosen = withDefaultExtension(*typed, kDefaultExtension);

    const bool wasUntitled = IsUntitled;
    const QString oldPath = m_globals.gFileNamePath;
    const QString oldTitle = m_globals.gFileNameTitle;
    IsUntitled = false;
    m_globals.gFileNamePath = chosen;
    m_globals.gFileNameTitle = fileTitle(chosen);
    if (mnuFileSave())
        return true;
    // Not written: the data keeps the name it had (the title bar still shows it).
    IsUntitled = wasUntitled;
    m_globals.gFileNamePath = oldPath;
    m_globals.gFileNameTitle = oldTitle;
    return false;
}

} // namespace talvek
