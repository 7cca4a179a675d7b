// The main window: start-up state, menus, the ONLINE/OFFLINE switch, the
// passcode command, child windows, shutdown, and safety while a controller
// operation waits inside a message box. Runs against the in-process simulator.

#include "MainWindowRig.h"
#include "shared/BackgroundMonitor.h"
#include "shared/modUtility.h"
#include "windows/frmAbout.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QSet>
#include <QTest>
#include <memory>

using namespace talvek;
using namespace talvek::test;

namespace {

QString shortcutText(QAction* a)
{
    return a->shortcut().toString(QKeySequence::PortableText);
}

} // namespace

class tst_frmMDIMain : public QObject
{
    Q_OBJECT

private slots:
    void startupState();
    void menuItems_data();
    void menuItems();
    void transferSubmenus();
    void modeSwitching_data();
    void modeSwitching();
    void slowAdapterToldInPanel1();
    void otherPanelsDoNothing();
    void openFailureStaysOffline_data();
    void openFailureStaysOffline();
    void passcode();
    void offlineEditingToggle();
    void windowMenuShowsOneChild();
    void everyChildWindowIsItsForm();
    void helpTopicsOpensShippedHelp();
    void aboutBox();
    void shutdownUnchangedAsksNothing();
    void shutdownWithChanges_data();
    void shutdownWithChanges();
    void shutdownWhileOnlineClosesPort();
    void busyExchangeDefersModeCloseAndSwitch();
};

void tst_frmMDIMain::startupState()
{
    Rig rig(true);
    frmMDIMain& w = *rig.w;
    QCOMPARE(w.windowTitle(), QStringLiteral("TALVEK - [unnamed]"));
    QCOMPARE(w.baseCaption(), QStringLiteral("TALVEK - "));
    QCOMPARE(rig.panel(1), QStringLiteral("System Message:"));
    QCOMPARE(rig.panel(2), QStringLiteral("OFFLINE"));
    QVERIFY(!rig.panel(3).isEmpty()); // the date
    QVERIFY(!rig.panel(4).isEmpty()); // the time
    QVERIFY(w.started());

    // Child 0 was made once and is the one shown; its menu item alone is checked.
    QCOMPARE(w.currentChildIndex(), 0);
    QVERIFY(w.currentChild());
    QCOMPARE(w.currentChild()->objectName(), QStringLiteral("child0"));
    QCOMPARE(rig.children.made, (std::array<int, 6> { 1, 0, 0, 0, 0, 0 }));
    QCOMPARE(w.mdiArea->subWindowList().size(), 1);
    for (int i = 0; i < kChildWindowCount; ++i)
        QCOMPARE(w.mnuWindowForm[i]->isChecked(), i == 0);

    // Data and mode.
    QVERIFY(!HasUnsavedChanges());
    QVERIFY(IsUntitled);
    QVERIFY(DataReloaded);
    QVERIFY(!OfflineEditing);
    QCOMPARE(ParamCount, qint16(17));
    QCOMPARE(CurrentData, DefaultData);
    QVERIFY(!rig.rs().OnlineMode);
    QCOMPARE(rig.port.openCount(), 0);
    QVERIFY(!rig.rs().CommError); // nothing tried to talk to the board
    QCOMPARE(w.globals().gFileNamePath, rig.dir.path() + QStringLiteral("/*.sdt"));
    QCOMPARE(w.globals().gFileNameCaption, QStringLiteral("[unnamed]"));
    QVERIFY(w.globals().gFileNameTitle.isEmpty());
    QCOMPARE(w.helpFile(), rig.dir.path() + QStringLiteral("/Help/TALVEK.html"));

    // The background timer ticks every 500 ms from the start.
    QCOMPARE(w.tmrBackgroungUpdate->objectName(), QStringLiteral("tmrBackgroungUpdate"));
    QCOMPARE(w.tmrBackgroungUpdate->interval(), 500);
    QVERIFY(w.tmrBackgroungUpdate->isActive());
    QCOMPARE(w.sbrMain->objectName(), QStringLiteral("sbrMain"));

    // Top-level menus.
    QStringList titles;
    for (QAction* a : w.menuBar()->actions())
        titles << a->text();
    QCOMPARE(titles, (QStringList { "&File", "&Edit", "&View", "&Window", "&Help" }));
    QVERIFY(rig.script().calls().isEmpty());
}

void tst_frmMDIMain::menuItems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("checked");

    auto row = [](const char* name, const char* caption, const char* key, bool enabled, bool visible,
                   bool checked) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(caption)
                            << QString::fromLatin1(key) << enabled << visible << checked;
    };
    row("mnuFileNew", "&New...", "Ctrl+N", true, true, false);
    row("mnuFileOpen", "&Open...", "Ctrl+O", true, true, false);
    row("mnuFileSave", "&Save", "Ctrl+S", true, true, false);
    row("mnuFileSaveAs", "Save &As...", "", true, true, false);
    row("mnuFileExport", "Export Shift Data...", "Ctrl+X", true, true, false);
    row("mnuFileDownloadProgram", "Download P&rogram", "", true, true, false);
    row("mnuFileCompareController", "Compare with &Controller...", "", false, true, false);
    row("mnuFileCompareFiles", "Compare &Files...", "", true, true, false);
    row("mnuFilePrint", "&Print Report...", "Ctrl+P", true, true, false);
    row("mnuFilePrintSetup", "Print Set&up...", "", false, false, false);
    row("mnuFileExit", "E&xit", "", true, true, false);
    row("mnuEditOfflineEditing", "Enable &Offline Editing", "F2", true, true, false);
    row("mnuEditCommPort", "Co&mm Port", "Ctrl+M", true, true, false);
    row("mnuEditPasscode", "Set-up Passcode", "", false, true, false);
    row("mnuViewTargetBoardStatus", "&Target Board Interface", "", true, true, false);
    row("mnuViewOnline", "O&nline Data", "F3", true, true, false);
    row("mnuViewOffline", "O&ffline Data", "F4", true, true, true);
    row("mnuWindowForm_0", "&1 Main Display", "", true, true, true);
    row("mnuWindowForm_1", "&2 Set-up Parameters", "", true, true, false);
    row("mnuWindowForm_2", "&3 Serial Communications", "", false, false, false);
    row("mnuWindowForm_3", "&3 Machine Timing", "", true, true, false);
    row("mnuWindowForm_4", "&4 Shift Data", "", true, true, false);
    row("mnuWindowForm_5", "&5 I/O States", "", true, true, false);
    row("mnuHelpHelpTopics", "&Help Topics", "Ctrl+H", true, true, false);
    row("mnuHelpAbout", "&About TALVEK", "", true, true, false);
}

void tst_frmMDIMain::menuItems()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, shortcut);
    QFETCH(bool, enabled);
    QFETCH(bool, visible);
    QFETCH(bool, checked);
    Rig rig;
    auto* a = rig.w->findChild<QAction*>(name);
    QVERIFY2(a, qPrintable(name));
    QCOMPARE(a->text(), caption);
    QCOMPARE(shortcutText(a), shortcut);
    QCOMPARE(a->isEnabled(), enabled);
    QCOMPARE(a->isVisible(), visible);
    QCOMPARE(a->isChecked(), checked);
}

void tst_frmMDIMain::transferSubmenus()
{
    Rig rig;
    const QStringList expected { "Set-up &Parameters", "Timing &Channels", "Shift &Data", "", "&All" };
    for (QMenu* menu : { rig.w->mnuFileUpload, rig.w->mnuFileDownload }) {
        const QList<QAction*> items = menu->actions();
        QCOMPARE(items.size(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(items[i]->text(), expected[i]);
            QCOMPARE(items[i]->isSeparator(), i == 3);
        }
    }
    QCOMPARE(rig.w->mnuFileUpload->title(), QStringLiteral("&Upload (save) Data"));
    QCOMPARE(rig.w->mnuFileDownload->title(), QStringLiteral("&Download Data"));
    QCOMPARE(rig.w->mnuFileUploadData[4]->objectName(), QStringLiteral("mnuFileUploadData_4"));
    QCOMPARE(rig.w->mnuFileDownloadData[0]->objectName(), QStringLiteral("mnuFileDownloadData_0"));

    // Order of the File menu, separators included.
    QStringList file;
    for (QAction* a : rig.w->mnuFile->actions())
        file << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(file,
        (QStringList { "&New...", "&Open...", "&Save", "Save &As...", "-", "Export Shift Data...", "-",
            "&Upload (save) Data", "Download P&rogram", "&Download Data", "Compare with &Controller...",
            "Compare &Files...", "-", "&Print Report...", "Print Set&up...", "-", "E&xit" }));
    // No two visible items of the File menu share an access key.
    QStringList keys;
    for (QAction* a : rig.w->mnuFile->actions()) {
        const QString text = a->menu() ? a->menu()->title() : a->text();
        const qsizetype amp = text.indexOf(QLatin1Char('&'));
        if (a->isVisible() && amp >= 0)
            keys << text.mid(amp + 1, 1).toUpper();
    }
    QCOMPARE(keys.size(), 11);
    QCOMPARE(QSet<QString>(keys.cbegin(), keys.cend()).size(), keys.size());
}

void tst_frmMDIMain::modeSwitching_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("menu") << "menu";
    QTest::newRow("F3/F4") << "keys";
    QTest::newRow("panel 2 double-click") << "panel";
}

void tst_frmMDIMain::modeSwitching()
{
    QFETCH(QString, how);
    Rig rig;
    rig.showActive();
    frmMDIMain& w = *rig.w;
    auto go = [&](bool online) {
        if (how == QLatin1String("menu"))
            (online ? w.mnuViewOnline : w.mnuViewOffline)->trigger();
        else if (how == QLatin1String("keys"))
            QTest::keyClick(&w, online ? Qt::Key_F3 : Qt::Key_F4);
        else
            QTest::mouseDClick(w.statusPanel(2), Qt::LeftButton);
    };

    go(true);
    QCOMPARE(rig.panel(2), QStringLiteral("ONLINE"));
    QVERIFY(rig.rs().OnlineMode);
    QVERIFY(!rig.rs().CommError);
    QVERIFY(rig.port.isOpen());
    QVERIFY(w.mnuViewOnline->isChecked());
    QVERIFY(!w.mnuViewOffline->isChecked());
    QVERIFY(w.mnuEditPasscode->isEnabled());
    QVERIFY(w.mnuFileCompareController->isEnabled());
    // Opening sends the attention byte and nothing else.
    QCOMPARE(rig.port.written(), QByteArray("\xFF"));

    go(false);
    QCOMPARE(rig.panel(2), QStringLiteral("OFFLINE"));
    QVERIFY(!rig.rs().OnlineMode);
    QVERIFY(!rig.port.isOpen());
    QVERIFY(!w.mnuViewOnline->isChecked());
    QVERIFY(w.mnuViewOffline->isChecked());
    QVERIFY(!w.mnuEditPasscode->isEnabled());
    QVERIFY(!w.mnuFileCompareController->isEnabled());
    // Closing sends a final attention byte.
    QCOMPARE(rig.port.written(), QByteArray("\xFF\xFF"));
    QCOMPARE(rig.port.openCount(), 1);
    QCOMPARE(rig.script().unexpected(), 0);
}

void tst_frmMDIMain::slowAdapterToldInPanel1()
{
    Rig rig;
    PortLatency slow;
    slow.timerMs = 16;
    slow.timerPath = QStringLiteral("/sys/dev/char/188:0/device/latency_timer");
    rig.port.setLatency(slow);
    rig.sim.setFlag(26, true);
    rig.w->mnuViewOnline->trigger();
    QCOMPARE(rig.panel(1),
        QStringLiteral("System Message:  Slow USB adapter: its latency timer is 16 ms, not 1 ms (see Help, "
                       "Connecting)"));
    rig.w->backgroundMonitor().tick();
    QCOMPARE(rig.panel(1), BackgroundMonitor::panelSlowAdapter(16));
    QCOMPARE(rig.script().unexpected(), 0);
}

void tst_frmMDIMain::otherPanelsDoNothing()
{
    Rig rig;
    rig.showActive();
    for (int panel : { 1, 3, 4 })
        QTest::mouseDClick(rig.w->statusPanel(panel), Qt::LeftButton);
    QCOMPARE(rig.panel(2), QStringLiteral("OFFLINE"));
    QCOMPARE(rig.port.openCount(), 0);
    // Panel 2 toggles both ways.
    QTest::mouseDClick(rig.w->statusPanel(2), Qt::LeftButton);
    QCOMPARE(rig.panel(2), QStringLiteral("ONLINE"));
    for (int panel : { 1, 3, 4 })
        QTest::mouseDClick(rig.w->statusPanel(panel), Qt::LeftButton);
    QCOMPARE(rig.panel(2), QStringLiteral("ONLINE"));
    QVERIFY(rig.port.isOpen());
}

void tst_frmMDIMain::openFailureStaysOffline_data()
{
    QTest::addColumn<bool>("portRefuses");
    QTest::newRow("port cannot be opened") << true;
    QTest::newRow("controller silent, Cancel") << false;
}

void tst_frmMDIMain::openFailureStaysOffline()
{
    QFETCH(bool, portRefuses);
    Rig rig;
    if (portRefuses) {
        rig.port.failOpenWith(SerialError(SerialErrorNumber::kPortUnavailable, QStringLiteral("talvek"),
            QStringLiteral("The port is in use.")));
    } else {
        rig.sim.setDroppedOut(true);
        rig.script().answerMsg(MsgResult::Cancel);
    }
    rig.w->mnuViewOnline->trigger();

    const auto boxes = rig.script().messages();
    QCOMPARE(boxes.size(), 1);
    if (portRefuses) {
        QCOMPARE(boxes[0].title, QStringLiteral("Comm Port Error"));
        QVERIFY(boxes[0].text.contains(QStringLiteral("The port is in use.")));
    } else {
        QCOMPARE(boxes[0].text, kNoComm);
    }
    QCOMPARE(rig.panel(2), QStringLiteral("OFFLINE"));
    QVERIFY(!rig.rs().OnlineMode);
    QVERIFY(rig.rs().CommError);
    QVERIFY(!rig.w->mnuViewOnline->isChecked());
    QVERIFY(rig.w->mnuViewOffline->isChecked());
    QVERIFY(!rig.w->mnuEditPasscode->isEnabled());
    QCOMPARE(rig.script().unexpected(), 0);
}

// The menu item runs the passcode command (its answers and faults are the
// logic suite's).
void tst_frmMDIMain::passcode()
{
    Rig rig;
    rig.sim.setWord(1038, 1234);
    rig.w->mnuViewOnline->trigger();
    QVERIFY(rig.w->mnuEditPasscode->isEnabled());

    rig.script().answerInput(QStringLiteral("4321"));
    rig.w->mnuEditPasscode->trigger();

    const auto calls = rig.script().calls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].kind, PromptCall::Kind::Input);
    QCOMPARE(calls[0].title, QStringLiteral("Keypad Set-up Passcode"));
    QCOMPARE(rig.prompter.inputDefaults, QStringList { QStringLiteral("1234") });
    QCOMPARE(int(rig.sim.word(1038)), 4321);
    QCOMPARE(rig.script().unexpected(), 0);
}

void tst_frmMDIMain::offlineEditingToggle()
{
    Rig rig;
    rig.showActive();
    QAction* item = rig.w->mnuEditOfflineEditing;
    QTest::keyClick(rig.w.get(), Qt::Key_F2);
    QVERIFY(OfflineEditing);
    QVERIFY(item->isChecked());
    item->trigger();
    QVERIFY(!OfflineEditing);
    QVERIFY(!item->isChecked());
    // Independent of the mode.
    item->trigger();
    rig.w->mnuViewOnline->trigger();
    rig.w->mnuViewOffline->trigger();
    QVERIFY(OfflineEditing);
    QVERIFY(item->isChecked());
}

void tst_frmMDIMain::windowMenuShowsOneChild()
{
    Rig rig(true);
    frmMDIMain& w = *rig.w;

    // The item of the child already shown does nothing (no reload).
    w.mnuWindowForm[0]->trigger();
    flushDeletes();
    QCOMPARE(rig.children.made[0], 1);
    QCOMPARE(rig.children.destroyed[0], 0);
    QVERIFY(w.mnuWindowForm[0]->isChecked());

    w.mnuWindowForm[3]->trigger();
    flushDeletes();
    QCOMPARE(rig.children.destroyed[0], 1);
    QCOMPARE(rig.children.made[3], 1);
    QCOMPARE(w.currentChildIndex(), 3);
    QCOMPARE(w.currentChild()->objectName(), QStringLiteral("child3"));
    QCOMPARE(w.mdiArea->subWindowList().size(), 1);
    QVERIFY(w.currentChildWindow()->isMaximized());
    for (int i = 0; i < kChildWindowCount; ++i)
        QCOMPARE(w.mnuWindowForm[i]->isChecked(), i == 3);
    // The title bar keeps naming the file.
    QCOMPARE(w.windowTitle(), QStringLiteral("TALVEK - [unnamed]"));

    // Back to 0: a fresh child 0, child 3 unloaded.
    w.mnuWindowForm[0]->trigger();
    flushDeletes();
    QCOMPARE(rig.children.made[0], 2);
    QCOMPARE(rig.children.destroyed[3], 1);
    QCOMPARE(w.mdiArea->subWindowList().size(), 1);

    // A child closed by other means is made again when asked for.
    w.currentChildWindow()->close();
    flushDeletes();
    QCOMPARE(rig.children.destroyed[0], 2);
    w.mnuWindowForm[0]->trigger();
    QCOMPARE(rig.children.made[0], 3);
    QVERIFY(w.currentChild());
}

void tst_frmMDIMain::everyChildWindowIsItsForm()
{
    Rig rig;
    const QStringList names { "frmMain", "frmSetup", "frm8816DF1", "frmTiming", "frmData", "frmDisplayIO" };
    for (int i = 0; i < kChildWindowCount; ++i) {
        rig.w->ShowChildForm(i);
        flushDeletes();
        QVERIFY(rig.w->currentChild());
        QCOMPARE(rig.w->currentChild()->objectName(), names[i]);
    }
}

void tst_frmMDIMain::helpTopicsOpensShippedHelp()
{
    Rig rig;
    rig.showActive();
    QTest::keyClick(rig.w.get(), Qt::Key_H, Qt::ControlModifier);
    const auto calls = rig.script().calls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].kind, PromptCall::Kind::Help);
    QCOMPARE(calls[0].text, rig.dir.path() + QStringLiteral("/Help/TALVEK.html"));
}

void tst_frmMDIMain::aboutBox()
{
    Rig rig;
    rig.w->mnuHelpAbout->trigger();
    QPointer<frmAbout> about = rig.w->aboutBox();
    QVERIFY(about);
    QVERIFY(about->isVisible());
    QVERIFY(!about->isModal());
    QCOMPARE(about->windowTitle(), QStringLiteral("About TALVEK"));
    QCOMPARE(about->lblTitle->text(), QStringLiteral("TALVEK"));
    QCOMPARE(about->lblVersion->text(),
        QStringLiteral("Version %1.%2.%3")
            .arg(TALVEK_VERSION_MAJOR)
            .arg(TALVEK_VERSION_MINOR)
            .arg(TALVEK_VERSION_PATCH));
    QVERIFY(!about->lblDescription->text().isEmpty());
    QVERIFY(!about->lblTechSupport->text().isEmpty());
    QCOMPARE(about->cmdOK->text(), QStringLiteral("OK"));
    QCOMPARE(about->cmdSysInfo->text(), QStringLiteral("&System Info..."));

    // A second command shows the same box.
    rig.w->mnuHelpAbout->trigger();
    QCOMPARE(rig.w->aboutBox().data(), about.data());

    // No system information program here: TALVEK's own report instead, to copy.
    QTest::mouseClick(about->cmdSysInfo, Qt::LeftButton);
    QCOMPARE(rig.script().messages().size(), 0);
    QPointer<QDialog> info = about->systemInfoWindow();
    QVERIFY(info);
    QVERIFY(info->isVisible());
    auto* report = info->findChild<QPlainTextEdit*>(QStringLiteral("txtReport"));
    QVERIFY(report);
    const QStringList lines = report->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.first(),
        QStringLiteral("TALVEK %1.%2.%3")
            .arg(TALVEK_VERSION_MAJOR)
            .arg(TALVEK_VERSION_MINOR)
            .arg(TALVEK_VERSION_PATCH));
    QVERIFY(lines.contains(QStringLiteral("Program: %1 (portable copy)").arg(rig.dir.path())));
    const QString help = rig.dir.path() + QStringLiteral("/Help/TALVEK.html");
    QVERIFY(lines.contains(
        QStringLiteral("Help: %1 (%2)")
            .arg(help, QFileInfo::exists(help) ? QStringLiteral("found") : QStringLiteral("MISSING"))));
    QVERIFY2(
        lines.contains(QStringLiteral(
            "Port settings in force: COM1 at 9600 baud (defaults; %1/support/RSPort.cfg does not exist yet)")
                           .arg(rig.dir.path())),
        qPrintable(report->toPlainText()));
    QGuiApplication::clipboard()->clear();
    QTest::mouseClick(info->findChild<QPushButton*>(QStringLiteral("cmdCopy")), Qt::LeftButton);
    QCOMPARE(QGuiApplication::clipboard()->text(), report->toPlainText());
    // Looking does not write: the link creates the settings file, the report does not.
    QVERIFY(!QFileInfo::exists(rig.dir.filePath(QStringLiteral("support/RSPort.cfg"))));

    QTest::mouseClick(about->cmdOK, Qt::LeftButton);
    flushDeletes();
    QVERIFY(!about);
}

void tst_frmMDIMain::shutdownUnchangedAsksNothing()
{
    Rig rig;
    QSignalSpy ended(rig.w.get(), &frmMDIMain::programEnded);
    rig.showActive();
    rig.w->mnuFileExit->trigger();
    QCOMPARE(ended.count(), 1);
    QVERIFY(!rig.w->isVisible());
    QVERIFY(rig.script().calls().isEmpty());
    flushDeletes();
    QVERIFY(!rig.w->currentChild());
}

void tst_frmMDIMain::shutdownWithChanges_data()
{
    QTest::addColumn<MsgResult>("answer");
    QTest::addColumn<std::optional<QString>>("saveAs"); // the Save As dialog's answer (Yes only)
    QTest::addColumn<bool>("ends");
    QTest::addColumn<bool>("written");
    QTest::newRow("Cancel keeps running") << MsgResult::Cancel << std::optional<QString>() << false << false;
    QTest::newRow("No ends without saving") << MsgResult::No << std::optional<QString>() << true << false;
    QTest::newRow("Yes saves and ends")
        << MsgResult::Yes << std::optional<QString>(QStringLiteral("kept.sdt")) << true << true;
    QTest::newRow("Yes, Save As cancelled: keeps running")
        << MsgResult::Yes << std::optional<QString>() << false << false;
}

void tst_frmMDIMain::shutdownWithChanges()
{
    QFETCH(MsgResult, answer);
    QFETCH(std::optional<QString>, saveAs);
    QFETCH(bool, ends);
    QFETCH(bool, written);
    Rig rig;
    QSignalSpy ended(rig.w.get(), &frmMDIMain::programEnded);
    rig.showActive();
    CurrentData.ParamValue[10] = 300;
    const MachineData changed = CurrentData;
    const QString target = saveAs ? rig.dir.filePath(*saveAs) : QString();

    rig.script().answerMsg(answer);
    if (answer == MsgResult::Yes)
        rig.script().answerFile(saveAs ? std::optional<QString>(target) : std::nullopt);
    rig.w->close();

    const auto boxes = rig.script().messages();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QStringLiteral("Save Changes to File?"));
    QCOMPARE(boxes[0].title, QStringLiteral("TALVEK"));
    QCOMPARE(boxes[0].icon, MsgIcon::Exclamation);
    QCOMPARE(boxes[0].buttons, MsgButtons::YesNoCancel);
    QCOMPARE(ended.count(), ends ? 1 : 0);
    QCOMPARE(rig.w->isVisible(), !ends);
    QCOMPARE(QFileInfo::exists(target), written);
    QCOMPARE(CurrentData.ParamValue, changed.ParamValue);
    if (!ends) {
        QVERIFY(HasUnsavedChanges());
        QVERIFY(rig.w->currentChild());
        QCOMPARE(rig.w->windowTitle(), QStringLiteral("TALVEK - [unnamed]"));
    }
    QVERIFY(rig.script().allAnswersUsed());
    QCOMPARE(rig.script().unexpected(), 0);
}

void tst_frmMDIMain::shutdownWhileOnlineClosesPort()
{
    Rig rig;
    rig.w->mnuViewOnline->trigger();
    QVERIFY(rig.port.isOpen());
    rig.port.clearRecord();
    rig.w->close();
    QVERIFY(!rig.port.isOpen());
    QCOMPARE(rig.port.written(), QByteArray("\xFF"));
    QVERIFY(!rig.rs().OnlineMode);
}

void tst_frmMDIMain::busyExchangeDefersModeCloseAndSwitch()
{
    Rig rig(true);
    QSignalSpy ended(rig.w.get(), &frmMDIMain::programEnded);
    rig.showActive();
    rig.w->mnuViewOnline->trigger();
    QVERIFY(rig.port.isOpen());

    // The controller goes silent; the passcode read runs into the Retry/Cancel
    // box. While the box is up the operator goes OFFLINE, picks another window
    // and closes the program.
    rig.sim.setDroppedOut(true);
    bool portOpenInBox = false;
    int childInBox = -1;
    rig.script().duringNextMsg([&] {
        QVERIFY(rig.rs().isBusy());
        rig.w->mnuViewOffline->trigger();
        QTest::mouseDClick(rig.w->statusPanel(2), Qt::LeftButton);
        rig.w->mnuWindowForm[1]->trigger();
        rig.w->close();
        flushDeletes();
        portOpenInBox = rig.port.isOpen();
        childInBox = rig.w->currentChildIndex();
    });
    rig.script().answerMsg(MsgResult::Cancel);
    rig.script().answerInput(std::nullopt);
    rig.w->mnuEditPasscode->trigger();

    QVERIFY(portOpenInBox);
    QCOMPARE(childInBox, 0);
    QCOMPARE(rig.children.destroyed[0], 0);
    QCOMPARE(rig.script().messages().size(), 1);
    QCOMPARE(rig.script().messages()[0].text, kNoComm);

    // Once the exchange has ended, the deferred requests run: the double-click
    // toggled the mode back to ONLINE, so the link is re-opened (and fails, the
    // board is still silent: Cancel once more), then the close goes ahead.
    rig.script().answerMsg(MsgResult::Cancel);
    QTRY_COMPARE(ended.count(), 1);
    QVERIFY(!rig.port.isOpen());
    QCOMPARE(rig.panel(2), QStringLiteral("OFFLINE"));
    QVERIFY(!rig.rs().OnlineMode);
    QCOMPARE(rig.script().messages().size(), 2);
    QCOMPARE(rig.script().messages()[1].text, kNoComm);
    QVERIFY(rig.script().allAnswersUsed());
    QCOMPARE(rig.script().unexpected(), 0);
}

QTEST_MAIN(tst_frmMDIMain)
#include "tst_frmmdimain.moc"
