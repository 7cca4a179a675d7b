#include "windows/frmMDIMain.h"

#include "base/ProgramFolder.h"
#include "base/Prompter.h"
#include "link/RSComm.h"
#include "shared/BackgroundMonitor.h"
#include "shared/Journal.h"
#include "shared/JournalHooks.h"
#include "shared/JournalSettings.h"
#include "shared/MachineData.h"
#include "shared/PasscodeCommand.h"
#include "shared/SetupFileCommands.h"
#include "shared/ShiftExport.h"
#include "shared/modUtility.h"
#include "windows/ChildWindow.h"
#include "windows/ControlArray.h"
#include "windows/FormUtility.h"
#include "windows/HelpKey.h"
#include "windows/PrintReportCommand.h"
#include "windows/frmAbout.h"
#include "windows/frmDownloadProg.h"
#include "windows/frmLinkMonitor.h"
#include "windows/frmProcessing.h"
#include "windows/frmSetupComm.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScrollArea>
#include <QStatusBar>

namespace talvek {

namespace {

constexpr int kBackgroundIntervalMs = 500;
constexpr int kDateTimeIntervalMs = 1000;
constexpr int kCloseRetryMs = 100;

} // namespace

frmMDIMain::frmMDIMain(Prompter& prompter, Clock& clock, ProgramFolder& folder, SerialPortControl* MSComm1,
    std::array<ChildFactory, kChildWindowCount> children, QWidget* parent)
    : QMainWindow(parent)
    , mdiArea(new QMdiArea(this))
    , sbrMain(new QStatusBar(this))
    , tmrBackgroungUpdate(new QTimer(this))
    , m_prompter(prompter)
    , m_clock(clock)
    , m_folder(folder)
    , m_msComm1(MSComm1)
    , m_childFactories(std::move(children))
{
    setObjectName(QStringLiteral("frmMDIMain"));
    setWindowTitle(QStringLiteral("TALVEK - "));
    mdiArea->setObjectName(QStringLiteral("mdiArea"));
    mdiArea->setBackground(palette().brush(QPalette::Dark));
    setCentralWidget(mdiArea);
    buildMenus();
    buildStatusBar();
    resize(1024, 720);
    fitToScreen(this);
    fitToScreenOnceFramed(this);

    // ---- start-up, in this order ----
    // 1. The help file: the operator help beside the program.
    m_helpFile = m_folder.resolve(QStringLiteral("Help/TALVEK.html"));
    // F1 in any of its windows: that window's page of it.
    new HelpKey(m_prompter, m_helpFile, this);
    // 2. The serial-port control stays with the link; the one RSComm object.
    m_rs = std::make_unique<RSComm>(m_folder, m_clock, m_prompter);
    m_mode = new OnlineModeSwitch(*m_rs, m_msComm1, this);
    connect(m_mode, &OnlineModeSwitch::modeShown, this, &frmMDIMain::showMode);
    m_context = std::unique_ptr<ShellContext>(
        new ShellContext { m_prompter, m_clock, m_folder, *m_rs, *m_mode, m_msComm1, m_globals, *this });
    m_files = std::make_unique<SetupFileCommands>(m_prompter, m_globals, [this] { updateCaption(); });
    // 3. The six child windows are registered with their Window menu items
    //    (m_childFactories, mnuWindowForm); none is loaded yet.
    // 4. The fault tables of the background monitor, which runs on
    //    tmrBackgroungUpdate and alone writes status panel 1.
    tmrBackgroungUpdate->setObjectName(QStringLiteral("tmrBackgroungUpdate"));
    tmrBackgroungUpdate->setInterval(kBackgroundIntervalMs);
    m_monitor = new BackgroundMonitor(*m_rs, this);
    m_monitor->InitFaultTable();
    connect(tmrBackgroungUpdate, &QTimer::timeout, m_monitor, &BackgroundMonitor::tick);
    connect(m_monitor, &BackgroundMonitor::statusTextChanged, m_panels[0], &QLabel::setText);
    connect(m_mode, &OnlineModeSwitch::slowPort, m_monitor,
        [this](int timerMs) { m_monitor->showNotice(BackgroundMonitor::panelSlowAdapter(timerMs)); });
    startJournal();
    // 5. Caption of new data and the base caption.
    m_globals.gFileNameCaption = SetupFileCommands::kUnnamedCaption;
    m_baseCaption = windowTitle();
    // 6. The main display.
    ShowChildForm(0);
    // 7. The machine data.
    InitMachineData();
    // 8. The first Open dialog lists the set-up files of the program folder
    //    (of the user's documents for an installed copy).
    m_globals.gFileNamePath = m_folder.documentsDir() + QStringLiteral("/*.sdt");
    // 9. New data (nothing has changed, so nothing is asked).
    m_files->mnuFileNew();
    // 10. Started.
    m_started = true;
    tmrBackgroungUpdate->start();
}

void frmMDIMain::startJournal()
{
    JournalConfig config = journalConfigFor(m_folder);
    const QString option = qEnvironmentVariable("TALVEK_JOURNAL");
    if (!option.isEmpty())
        applyJournalOption(config, option);
    m_journal = std::make_unique<Journal>(config);
    // One message when the journal stops; the program goes on without it.
    m_journal->setFailureHandler([this](const QString& text) { sbrMain->showMessage(text, 30000); });
    if (config.enabled)
        reportedWhereItHappened(m_journal->open());
    m_journalHooks = std::make_unique<JournalHooks>(*m_journal, *m_rs, m_clock);
    m_journalHooks->watchAlarms(*m_monitor);
    connect(tmrBackgroungUpdate, &QTimer::timeout, m_journalHooks.get(), &JournalHooks::sampleTick);
    // A journal file removed or replaced under the program is said within a
    // tick, not only at the next record.
    connect(tmrBackgroungUpdate, &QTimer::timeout, this, [this] { m_journal->checkFile(); });
}

frmMDIMain::~frmMDIMain()
{
    // Children and dialogs go before the link they use.
    delete m_childWindow.data();
    for (const auto& window : std::as_const(m_unloaded))
        delete window.data();
    delete m_about.data();
    delete m_linkMonitor.data();
    if (m_rs && !m_rs->isBusy())
        m_rs->CloseRSComm();
}

void frmMDIMain::buildStatusBar()
{
    sbrMain->setObjectName(QStringLiteral("sbrMain"));
    setStatusBar(sbrMain);
    sbrMain->setSizeGripEnabled(true);
    const std::array<const char*, 4> initial { "System Message:", "OFFLINE", "", "" };
    for (int i = 0; i < 4; ++i) {
        auto* panel = new QLabel(QString::fromLatin1(initial[i]), sbrMain);
        panel->setObjectName(QStringLiteral("sbrMainPanel") + QString::number(i + 1));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setContentsMargins(4, 0, 4, 0);
        panel->installEventFilter(this);
        m_panels[i] = panel;
        if (i == 0)
            sbrMain->addWidget(panel, 1);
        else
            sbrMain->addPermanentWidget(panel);
    }
    m_panels[1]->setMinimumWidth(
        m_panels[1]->fontMetrics().horizontalAdvance(QStringLiteral("OFFLINE")) + 24);
    m_panels[1]->setAlignment(Qt::AlignCenter);
    m_panels[1]->setToolTip(QStringLiteral("Double-click to switch between ONLINE and OFFLINE"));
    m_panels[2]->setToolTip(QStringLiteral("Date"));
    m_panels[3]->setToolTip(QStringLiteral("Time"));
    updateDateTime();
    m_dateTimeTimer.setInterval(kDateTimeIntervalMs);
    connect(&m_dateTimeTimer, &QTimer::timeout, this, &frmMDIMain::updateDateTime);
    m_dateTimeTimer.start();

    m_closeRetry.setSingleShot(true);
    m_closeRetry.setInterval(kCloseRetryMs);
    connect(&m_closeRetry, &QTimer::timeout, this, &QWidget::close);
}

void frmMDIMain::updateDateTime()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale = QLocale::system();
    const QString date = locale.toString(now.date(), QLocale::ShortFormat);
    const QString time = locale.toString(now.time(), QLocale::ShortFormat);
    if (m_panels[2]->text() != date)
        m_panels[2]->setText(date);
    if (m_panels[3]->text() != time)
        m_panels[3]->setText(time);
}

bool frmMDIMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick && watched == m_panels[1] && !m_ended) {
        if (endFieldEntry())
            m_mode->toggleMode();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMDIMain::ApplyOnlineMode()
{
    m_mode->ApplyOnlineMode();
}

void frmMDIMain::showMode(bool online)
{
    m_panels[1]->setText(online ? QStringLiteral("ONLINE") : QStringLiteral("OFFLINE"));
    mnuViewOnline->setChecked(online);
    mnuViewOffline->setChecked(!online);
    mnuEditPasscode->setEnabled(online);
    mnuFileCompareController->setEnabled(online);
}

QWidget* frmMDIMain::currentChild() const
{
    return m_childWindow ? m_child.data() : nullptr;
}

bool frmMDIMain::endFieldEntry()
{
    return talvek::endFieldEntry(currentChild());
}

void frmMDIMain::setWindowMemory(WindowMemory* memory)
{
    m_memory = memory;
    if (!m_memory)
        return;
    const QString folder = m_memory->lastFolder();
    if (!folder.isEmpty() && IsUntitled)
        m_globals.gFileNamePath = folder + QStringLiteral("/*.sdt");
}

void frmMDIMain::ShowChildForm(int index)
{
    if (index < 0 || index >= kChildWindowCount || m_ended)
        return;
    if (index == m_currentChild && m_started && m_childWindow)
        return;
    if (m_rs && m_rs->isBusy()) {
        // A child is waiting inside a controller operation: it stays until
        // the operation has ended.
        syncWindowMenuChecks();
        return;
    }
    mnuWindowForm[m_currentChild]->setChecked(false);
    mnuWindowForm[index]->setChecked(true);
    unloadChild();
    QWidget* child = m_childFactories[index] ? m_childFactories[index](*m_context) : nullptr;
    m_currentChild = index;
    if (!child)
        return;
    auto* window = new QMdiSubWindow;
    window->setObjectName(QStringLiteral("childWindow"));
    // On a small or scaled screen the child scrolls instead of being cut off.
    window->setWidget(scrollWhenSmall(child, window));
    m_child = child;
    window->setAttribute(Qt::WA_DeleteOnClose);
    // Maximised inside the frame, without a title of its own: the title bar
    // keeps naming the set-up file.
    window->setWindowFlags(Qt::FramelessWindowHint);
    window->setWindowTitle(QString());
    mdiArea->addSubWindow(window);
    m_childWindow = window;
    // The writes from here on are this window's ("&2 Set-up Parameters").
    m_rs->setWriteSource(mnuWindowForm[index]->text().remove(QLatin1Char('&')).section(QLatin1Char(' '), 1));
    window->showMaximized();
}

void frmMDIMain::unloadChild()
{
    if (!m_childWindow)
        return;
    QMdiSubWindow* window = m_childWindow;
    m_childWindow = nullptr;
    mdiArea->removeSubWindow(window);
    window->hide();
    // Deleted once control is back in the event loop, never under a handler
    // of the child that is still running (at the latest with the main window).
    m_unloaded.removeIf([](const QPointer<QMdiSubWindow>& w) { return w.isNull(); });
    m_unloaded.append(window);
    window->deleteLater();
}

void frmMDIMain::syncWindowMenuChecks()
{
    for (int i = 0; i < kChildWindowCount; ++i)
        mnuWindowForm[i]->setChecked(i == m_currentChild);
}

void frmMDIMain::updateCaption()
{
    setWindowTitle(m_baseCaption + m_globals.gFileNameCaption);
}

void frmMDIMain::mnuEditPasscode_Click()
{
    // Its questions and the link's own boxes have said all there is to say.
    reportedWhereItHappened(PasscodeCommand(*m_rs, m_prompter).run());
}

void frmMDIMain::mnuHelpHelpTopics_Click()
{
    m_prompter.showHelp(m_helpFile);
}

void frmMDIMain::mnuHelpAbout_Click()
{
    if (!m_about)
        m_about = new frmAbout(
            m_prompter, m_registry, detachedProgramStarter(),
            [this]() -> QString {
                return systemInfoReport(m_folder, m_msComm1, listSerialDevices()) + QStringLiteral("\n")
                    + m_journal->statusText() + QStringLiteral("\n");
            },
            this);
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void frmMDIMain::closeEvent(QCloseEvent* event)
{
    if (m_ended) {
        event->accept();
        return;
    }
    if (m_rs->isBusy()) {
        // Never close the port under a waiting exchange: try again once the
        // operation has ended.
        event->ignore();
        m_closeRetry.start();
        return;
    }
    if (!shutdown()) {
        event->ignore();
        return;
    }
    event->accept();
}

bool frmMDIMain::shutdown()
{
    // What is being typed is taken (or refused) before the data is looked at.
    if (!endFieldEntry())
        return false;
    const auto answer = QuerySaveChanges(m_prompter, HasUnsavedChanges());
    if (answer == MsgResult::Cancel)
        return false;
    // A save that did not happen (dialog cancelled, write failed) keeps the
    // program running with its data.
    if (answer == MsgResult::Yes && !m_files->mnuFileSave())
        return false;

    m_ended = true;
    if (m_memory)
        m_memory->setLastFolder(QFileInfo(m_globals.gFileNamePath).path());
    tmrBackgroungUpdate->stop();
    m_dateTimeTimer.stop();
    m_closeRetry.stop();
    m_mode->cancelDeferred();
    m_rs->CloseRSComm();
    unloadChild();
    delete m_about.data();
    emit programEnded();
    return true;
}

} // namespace talvek
