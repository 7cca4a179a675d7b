#pragma once

#include "windows/ChildWindows.h"
#include "windows/frmAbout.h"
#include "windows/ShellContext.h"
#include "shared/SystemInfo.h"
#include "windows/WindowMemory.h"

#include <QMainWindow>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <memory>

class QLabel;
class QMdiArea;
class QMenuBar;

class QMenu;
class QStatusBar;

namespace talvek {

class BackgroundMonitor;
class Journal;
class JournalHooks;
class OnlineModeSwitch;
class RSComm;
class SetupFileCommands;
class WindowMemory;
class frmAbout;
class frmLinkMonitor;

// The program's main window: MDI frame with the menus, the status bar and one
// child window at a time. Owns the controller link (RSComm) and the mode
// switch; the serial-port control MSComm1 is handed to it. Start-up runs in
// the constructor, shutdown when the window closes ("E&xit" closes it).
class frmMDIMain final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmMDIMain)

public:
    frmMDIMain(Prompter& prompter, Clock& clock, ProgramFolder& folder, SerialPortControl* MSComm1,
        std::array<ChildFactory, kChildWindowCount> children = defaultChildFactories(),
        QWidget* parent = nullptr);
    ~frmMDIMain() override;

    // Shows child window `index` of the Window menu, unloading the one shown.
    void ShowChildForm(int index);
    // Brings the serial session, mode panel and menus in line with OnlineMode.
    void ApplyOnlineMode();

    RSComm& rsComm() { return *m_rs; }
    OnlineModeSwitch& modeSwitch() { return *m_mode; }
    BackgroundMonitor& backgroundMonitor() { return *m_monitor; }
    // The press journal (off, and saying why, when it could not be opened).
    Journal& journal() { return *m_journal; }
    ShellGlobals& globals() { return m_globals; }
    SetupFileCommands& fileCommands() { return *m_files; }
    ShellContext& context() { return *m_context; }

    int currentChildIndex() const { return m_currentChild; }
    QWidget* currentChild() const;
    QMdiSubWindow* currentChildWindow() const { return m_childWindow; }
    bool started() const { return m_started; }
    QString helpFile() const { return m_helpFile; }
    QString baseCaption() const { return m_baseCaption; }
    // Sets the title bar to the base caption + gFileNameCaption.
    void updateCaption();
    QPointer<frmAbout> aboutBox() const { return m_about; }
    // The per-user memory of window places and of the set-up files' folder:
    // the Open and Save As dialogs start in the folder kept there, and the
    // folder of the current file is kept at shutdown. Without one (tests)
    // nothing is remembered.
    void setWindowMemory(WindowMemory* memory);
    QPointer<frmLinkMonitor> linkMonitor() const { return m_linkMonitor; }

    // Ends the entry in progress in the shown child window's fields, as
    // leaving the field would: every menu command does this first, and does
    // not run when the entry is refused (the operator stays in the field).
    bool endFieldEntry();

    // Status bar panel 1..4 (panel 1: system message, 2: mode, 3: date, 4: time).
    QLabel* statusPanel(int panel) const { return m_panels.at(panel - 1); }

    // ---- controls, named as the program names them ----
    QMdiArea* mdiArea;
    QStatusBar* sbrMain;
    QTimer* tmrBackgroungUpdate;

    QMenu* mnuFile;
    QAction* mnuFileNew;
    QAction* mnuFileOpen;
    QAction* mnuFileSave;
    QAction* mnuFileSaveAs;
    QAction* mnuFileExport;
    QMenu* mnuFileUpload;
    std::array<QAction*, 5> mnuFileUploadData {};
    QAction* mnuFileDownloadProgram;
    QMenu* mnuFileDownload;
    std::array<QAction*, 5> mnuFileDownloadData {};
    QAction* mnuFileCompareController; // enabled only while ONLINE
    QAction* mnuFileCompareFiles;
    QAction* mnuFilePrint;
    QAction* mnuFilePrintSetup;
    QAction* mnuFileExit;
    QMenu* mnuEdit;
    QAction* mnuEditOfflineEditing;
    QAction* mnuEditCommPort;
    QAction* mnuEditPasscode;
    QMenu* mnuView;
    QAction* mnuViewTargetBoardStatus;
    QAction* mnuViewLinkMonitor;
    QAction* mnuViewAlarmHistory;
    QAction* mnuViewChangeLog;
    QAction* mnuViewTrends;
    QAction* mnuViewOnline;
    QAction* mnuViewOffline;
    QMenu* mnuWindow;
    std::array<QAction*, kChildWindowCount> mnuWindowForm {};
    QMenu* mnuHelp;
    QAction* mnuHelpHelpTopics;
    QAction* mnuHelpAbout;

signals:
    // Shutdown has finished: the program ends.
    void programEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void buildFileMenu(QMenuBar* bar);
    void buildEditMenu(QMenuBar* bar);
    void buildViewMenu(QMenuBar* bar);
    void buildWindowMenu(QMenuBar* bar);
    void buildHelpMenu(QMenuBar* bar);
    void connectMenuCommands();
    // Runs `command` when `action` is chosen, once the entry being typed has
    // ended (a refused entry stops it).
    void connectEnded(QAction* action, std::function<void()> command);
    void connectJournalCommands();
    void startJournal();
    void buildStatusBar();
    void updateDateTime();
    void showMode(bool online);
    void syncWindowMenuChecks();
    void unloadChild();

    void mnuEditPasscode_Click();
    void mnuHelpHelpTopics_Click();
    void mnuHelpAbout_Click();
    bool shutdown();

    Prompter& m_prompter;
    Clock& m_clock;
    ProgramFolder& m_folder;
    SerialPortControl* m_msComm1;
    std::unique_ptr<RSComm> m_rs;
    std::unique_ptr<Journal> m_journal;
    // Observes m_rs and records into m_journal: declared after both, gone before them.
    std::unique_ptr<JournalHooks> m_journalHooks;
    OnlineModeSwitch* m_mode = nullptr;
    BackgroundMonitor* m_monitor = nullptr;
    ShellGlobals m_globals;
    std::unique_ptr<ShellContext> m_context;
    std::unique_ptr<SetupFileCommands> m_files;
    std::array<ChildFactory, kChildWindowCount> m_childFactories;
    std::array<QLabel*, 4> m_panels {};
    QTimer m_dateTimeTimer;
    QTimer m_closeRetry;
    QPointer<QMdiSubWindow> m_childWindow;
    QPointer<QWidget> m_child; // the child window inside m_childWindow's scroll area
    // Unloaded children waiting for their deferred deletion.
    QList<QPointer<QMdiSubWindow>> m_unloaded;
    QPointer<frmAbout> m_about;
    QPointer<WindowMemory> m_memory;
    QPointer<frmLinkMonitor> m_linkMonitor;
    QPointer<QWidget> m_alarmHistory;
    QPointer<QWidget> m_changeLog;
    QPointer<QWidget> m_trends;
    SystemRegistry m_registry;
    QString m_helpFile;
    QString m_baseCaption;
    int m_currentChild = 0;
    bool m_started = false;
    bool m_ended = false;
};

} // namespace talvek
