// The main window's menus: built in menu order, then bound to their commands.

#include "windows/frmMDIMain.h"

#include "link/RSComm.h"
#include "shared/MachineData.h"
#include "windows/frmTrends.h"
#include "windows/JournalTableWindow.h"
#include "shared/modUtility.h"
#include "shared/ShiftExport.h"
#include "windows/ControlArray.h"
#include "windows/frmCompare.h"
#include "windows/frmDownloadProg.h"
#include "windows/frmLinkMonitor.h"
#include "windows/frmProcessing.h"
#include "windows/frmSetupComm.h"
#include "windows/PrintReportCommand.h"
#include "shared/SetupFileCommands.h"

#include <QFileInfo>
#include <QMenuBar>

namespace talvek {

namespace {

struct WindowMenuItem
{
    const char* caption;
    bool visible;
};

// The Window menu: one item per child window, by index.
constexpr std::array<WindowMenuItem, kChildWindowCount> kWindowMenu { {
    { "&1 Main Display", true },
    { "&2 Set-up Parameters", true },
    { "&3 Serial Communications", false },
    { "&3 Machine Timing", true },
    { "&4 Shift Data", true },
    { "&5 I/O States", true },
} };

constexpr std::array<const char*, 5> kTransferItems { "Set-up &Parameters", "Timing &Channels", "Shift &Data",
    nullptr, "&All" };

QAction* addItem(QMenu* menu, const char* name, const QString& caption, const QKeySequence& shortcut = {})
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

} // namespace

void frmMDIMain::buildMenus()
{
    QMenuBar* bar = menuBar();
    buildFileMenu(bar);
    buildEditMenu(bar);
    buildViewMenu(bar);
    buildWindowMenu(bar);
    buildHelpMenu(bar);
    connectMenuCommands();
}

void frmMDIMain::buildFileMenu(QMenuBar* bar)
{
    mnuFile = bar->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileNew
        = addItem(mnuFile, "mnuFileNew", QStringLiteral("&New..."), QKeySequence(Qt::CTRL | Qt::Key_N));
    mnuFileOpen
        = addItem(mnuFile, "mnuFileOpen", QStringLiteral("&Open..."), QKeySequence(Qt::CTRL | Qt::Key_O));
    mnuFileSave
        = addItem(mnuFile, "mnuFileSave", QStringLiteral("&Save"), QKeySequence(Qt::CTRL | Qt::Key_S));
    mnuFileSaveAs = addItem(mnuFile, "mnuFileSaveAs", QStringLiteral("Save &As..."));
    mnuFile->addSeparator();
    mnuFileExport = addItem(
        mnuFile, "mnuFileExport", QStringLiteral("Export Shift Data..."), QKeySequence(Qt::CTRL | Qt::Key_X));
    mnuFile->addSeparator();
    mnuFileUpload = mnuFile->addMenu(QStringLiteral("&Upload (save) Data"));
    mnuFileUpload->setObjectName(QStringLiteral("mnuFileUpload"));
    // "Download P&rogram": the P belongs to "&Print Report...".
    mnuFileDownloadProgram = addItem(mnuFile, "mnuFileDownloadProgram", QStringLiteral("Download P&rogram"));
    mnuFileDownload = mnuFile->addMenu(QStringLiteral("&Download Data"));
    mnuFileDownload->setObjectName(QStringLiteral("mnuFileDownload"));
    for (int i = 0; i < 5; ++i) {
        for (auto [menu, items, name] :
            { std::tuple { mnuFileUpload, &mnuFileUploadData, "mnuFileUploadData" },
                std::tuple { mnuFileDownload, &mnuFileDownloadData, "mnuFileDownloadData" } }) {
            QAction* item = kTransferItems[i] ? menu->addAction(QString::fromLatin1(kTransferItems[i]))
                                              : menu->addSeparator();
            item->setObjectName(controlArrayName(name, i));
            (*items)[i] = item;
        }
    }
    // "Compare with &Controller..." and "Compare &Files...": C and F are
    // free in this menu.
    mnuFileCompareController
        = addItem(mnuFile, "mnuFileCompareController", QStringLiteral("Compare with &Controller..."));
    mnuFileCompareController->setEnabled(false);
    mnuFileCompareFiles = addItem(mnuFile, "mnuFileCompareFiles", QStringLiteral("Compare &Files..."));
    mnuFile->addSeparator();
    mnuFilePrint = addItem(
        mnuFile, "mnuFilePrint", QStringLiteral("&Print Report..."), QKeySequence(Qt::CTRL | Qt::Key_P));
    mnuFilePrintSetup = addItem(mnuFile, "mnuFilePrintSetup", QStringLiteral("Print Set&up..."));
    mnuFilePrintSetup->setVisible(false);
    mnuFilePrintSetup->setEnabled(false);
    mnuFile->addSeparator();
    mnuFileExit = addItem(mnuFile, "mnuFileExit", QStringLiteral("E&xit"));
}

void frmMDIMain::buildEditMenu(QMenuBar* bar)
{
    mnuEdit = bar->addMenu(QStringLiteral("&Edit"));
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    mnuEditOfflineEditing = addItem(mnuEdit, "mnuEditOfflineEditing",
        QStringLiteral("Enable &Offline Editing"), QKeySequence(Qt::Key_F2));
    mnuEditOfflineEditing->setCheckable(true);
    mnuEdit->addSeparator();
    mnuEditCommPort = addItem(
        mnuEdit, "mnuEditCommPort", QStringLiteral("Co&mm Port"), QKeySequence(Qt::CTRL | Qt::Key_M));
    mnuEdit->addSeparator();
    mnuEditPasscode = addItem(mnuEdit, "mnuEditPasscode", QStringLiteral("Set-up Passcode"));
    mnuEditPasscode->setEnabled(false);
}

void frmMDIMain::buildViewMenu(QMenuBar* bar)
{
    mnuView = bar->addMenu(QStringLiteral("&View"));
    mnuView->setObjectName(QStringLiteral("mnuView"));
    mnuViewTargetBoardStatus
        = addItem(mnuView, "mnuViewTargetBoardStatus", QStringLiteral("&Target Board Interface"));
    mnuViewLinkMonitor = addItem(
        mnuView, "mnuViewLinkMonitor", QStringLiteral("&Link Monitor"), QKeySequence(Qt::CTRL | Qt::Key_L));
    mnuViewAlarmHistory = addItem(mnuView, "mnuViewAlarmHistory", QStringLiteral("Alarm &History"));
    mnuViewChangeLog = addItem(mnuView, "mnuViewChangeLog", QStringLiteral("&Change Log"));
    mnuViewTrends = addItem(mnuView, "mnuViewTrends", QStringLiteral("T&rends"));
    mnuView->addSeparator();
    mnuViewOnline
        = addItem(mnuView, "mnuViewOnline", QStringLiteral("O&nline Data"), QKeySequence(Qt::Key_F3));
    mnuViewOffline
        = addItem(mnuView, "mnuViewOffline", QStringLiteral("O&ffline Data"), QKeySequence(Qt::Key_F4));
    mnuViewOnline->setCheckable(true);
    mnuViewOffline->setCheckable(true);
    mnuViewOffline->setChecked(true);
}

void frmMDIMain::buildWindowMenu(QMenuBar* bar)
{
    mnuWindow = bar->addMenu(QStringLiteral("&Window"));
    mnuWindow->setObjectName(QStringLiteral("mnuWindow"));
    for (int i = 0; i < kChildWindowCount; ++i) {
        QAction* item = mnuWindow->addAction(QString::fromLatin1(kWindowMenu[i].caption));
        item->setObjectName(controlArrayName("mnuWindowForm", i));
        item->setCheckable(true);
        item->setVisible(kWindowMenu[i].visible);
        item->setEnabled(kWindowMenu[i].visible);
        mnuWindowForm[i] = item;
        connect(item, &QAction::triggered, this, [this, i] {
            if (endFieldEntry())
                ShowChildForm(i);
            syncWindowMenuChecks();
        });
    }
}

void frmMDIMain::buildHelpMenu(QMenuBar* bar)
{
    mnuHelp = bar->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpHelpTopics = addItem(
        mnuHelp, "mnuHelpHelpTopics", QStringLiteral("&Help Topics"), QKeySequence(Qt::CTRL | Qt::Key_H));
    mnuHelp->addSeparator();
    mnuHelpAbout = addItem(mnuHelp, "mnuHelpAbout", QStringLiteral("&About TALVEK"));
}

namespace {

// A journal window made once and shown again (its filters kept).
template <class Make>
void showJournalWindow(QPointer<QWidget>& window, Make make)
{
    if (!window)
        window = make();
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

void frmMDIMain::connectJournalCommands()
{
    connect(mnuViewAlarmHistory, &QAction::triggered, this, [this] {
        showJournalWindow(m_alarmHistory, [this] { return new frmAlarmHistory(*m_journal, m_prompter, this); });
    });
    connect(mnuViewChangeLog, &QAction::triggered, this, [this] {
        showJournalWindow(m_changeLog, [this] { return new frmChangeLog(*m_journal, m_prompter, this); });
    });
    connect(mnuViewTrends, &QAction::triggered, this, [this] {
        const auto limit = [this] { return brakeResponseLimit(*m_rs); };
        showJournalWindow(m_trends, [this, limit] { return new frmTrends(*m_journal, m_prompter, limit, this); });
    });
}

void frmMDIMain::connectEnded(QAction* action, std::function<void()> command)
{
    connect(action, &QAction::triggered, this, [this, command = std::move(command)] {
        if (endFieldEntry())
            command();
    });
}

void frmMDIMain::connectMenuCommands()
{
    connectJournalCommands();
    // A command first ends the entry being typed, as leaving the field would,
    // so that it works on what the screen shows; a refused entry stops it
    // (connectEnded). Exit does so in the shutdown.
    connectEnded(mnuFileNew, [this] { m_files->mnuFileNew(); });
    connectEnded(mnuFileOpen, [this] { m_files->mnuFileOpen(); });
    connectEnded(mnuFileSave, [this] { m_files->mnuFileSave(); });
    connectEnded(mnuFileSaveAs, [this] { m_files->mnuFileSaveAs(); });
    connect(mnuFileExit, &QAction::triggered, this, &QWidget::close);
    connect(mnuFileExport, &QAction::triggered, this, [this] {
        if (!endFieldEntry())
            return;
        exportShiftData(m_prompter, m_globals.gFileExportPath, m_globals.gFileNameTitle, m_globals.gUploadNOW,
            IsUntitled ? QFileInfo(m_globals.gFileNamePath).path() + QStringLiteral("/*")
                       : m_globals.gFileNamePath);
    });
    auto* report = new PrintReportCommand(m_prompter, m_globals, this);
    connect(mnuFilePrint, &QAction::triggered, report, [this, report] {
        if (endFieldEntry())
            report->mnuFilePrint_Click();
    });
    connect(mnuEditOfflineEditing, &QAction::triggered, this, [this](bool checked) {
        if (endFieldEntry())
            OfflineEditing = checked;
        mnuEditOfflineEditing->setChecked(OfflineEditing);
    });
    connect(mnuEditPasscode, &QAction::triggered, this, &frmMDIMain::mnuEditPasscode_Click);
    connect(mnuEditCommPort, &QAction::triggered, this, [this] {
        if (!endFieldEntry())
            return;
        // Modal: the rest of the program waits until it is closed.
        auto* dialog = new frmSetupComm(*m_rs, *m_mode, m_folder, m_prompter, this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
    });
    connectEnded(mnuFileCompareController, [this] { mnuFileCompareController_Click(*m_context); });
    connectEnded(mnuFileCompareFiles, [this] { mnuFileCompareFiles_Click(*m_context); });
    connectEnded(mnuFileDownloadProgram, [this] { SelectProgramFile(*m_context, kSelectForDownload); });
    connectEnded(mnuViewTargetBoardStatus, [this] { SelectProgramFile(*m_context, kSelectForTargetBoard); });
    connect(mnuViewLinkMonitor, &QAction::triggered, this, [this] {
        // Made once and kept (hidden when closed), so its counters go on.
        if (!m_linkMonitor)
            m_linkMonitor = new frmLinkMonitor(*m_rs, m_prompter, this);
        m_linkMonitor->show();
        m_linkMonitor->raise();
        m_linkMonitor->activateWindow();
    });
    connect(mnuViewOnline, &QAction::triggered, this, [this] {
        if (endFieldEntry())
            m_mode->setMode(true);
        else
            showMode(m_rs->OnlineMode);
    });
    connect(mnuViewOffline, &QAction::triggered, this, [this] {
        if (endFieldEntry())
            m_mode->setMode(false);
        else
            showMode(m_rs->OnlineMode);
    });
    connect(mnuHelpHelpTopics, &QAction::triggered, this, &frmMDIMain::mnuHelpHelpTopics_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmMDIMain::mnuHelpAbout_Click);

    for (int i = 0; i < 5; ++i) {
        if (!kTransferItems[i])
            continue;
        connectEnded(mnuFileUploadData[i], [this, i] { mnuFileUploadData_Click(*m_context, i); });
        connectEnded(mnuFileDownloadData[i], [this, i] { mnuFileDownloadData_Click(*m_context, i); });
    }
}

} // namespace talvek
