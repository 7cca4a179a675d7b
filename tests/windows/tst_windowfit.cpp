// Windows that fit small screens: every child window inside the main window
// and every dialog can be made as small as an 800x480 screen leaves (its
// layout shrinks or scrolls); a start size is limited to the screen; the
// per-user memory brings a window's geometry and the set-up folder back.

#include "LiveRig.h"
#include "shared/SystemInfo.h"
#include "windows/FormUtility.h"
#include "windows/HelpViewer.h"
#include "windows/TimingDiagramView.h"
#include "windows/WindowMemory.h"
#include "windows/frm8816DF1.h"
#include "windows/frmAbout.h"
#include "windows/frmCompare.h"
#include "windows/frmData.h"
#include "windows/frmDisplayIO.h"
#include "windows/frmDownloadProg.h"
#include "windows/frmLinkMonitor.h"
#include "windows/frmProcessing.h"
#include "windows/frmSetup.h"
#include "windows/frmSetupComm.h"
#include "windows/frmTargetBoard.h"
#include "windows/frmTiming.h"
#include "windows/frmTrends.h"
#include "windows/frmWaitDisplay.h"

#include <QDir>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTabBar>
#include <QTableWidget>
#include <QTemporaryDir>

using namespace talvek;
using namespace talvek::test;

namespace {

// What an 800x480 screen leaves a window once a title bar and a panel of
// about 24 pixels each have taken their share.
const QSize kSmallScreenRoom { 800, 432 };
// What 1024x600 at scale factor 1.5 leaves: 683x400 logical pixels, less a
// title bar and a panel.
const QSize kScaledScreenRoom { 683, 352 };

QString sizeText(const QSize& s)
{
    return QStringLiteral("%1x%2").arg(s.width()).arg(s.height());
}

// The smallest size the window can be given.
QSize smallest(const QWidget* w)
{
    return w->minimumSizeHint().expandedTo(w->minimumSize());
}

class NoRegistry final : public RegistryReader
{
public:
    std::optional<QString> GetKeyValue(RegistryRoot, const QString&, const QString&) override
    {
        return std::nullopt;
    }
};

} // namespace

class tst_WindowFit : public QObject
{
    Q_OBJECT

private slots:
    void mainWindowWithEachChildFits_data()
    {
        QTest::addColumn<int>("child");
        for (int i = 0; i < kChildWindowCount; ++i)
            QTest::addRow("child %d", i) << i;
    }

    void mainWindowWithEachChildFits()
    {
        QFETCH(int, child);
        LiveRig rig;
        rig.w->ShowChildForm(child);
        flushDeletes();
        const QSize least = smallest(rig.w.get());
        QVERIFY2(least.boundedTo(kSmallScreenRoom) == least, qPrintable(sizeText(least)));
        // Made that small, the status bar is still there to be seen.
        rig.w->resize(kSmallScreenRoom);
        QCoreApplication::processEvents();
        QVERIFY(rig.w->sbrMain->isVisible());
        QVERIFY(rig.w->sbrMain->geometry().bottom() < rig.w->height());
        QVERIFY(rig.w->sbrMain->height() > 0);
    }

    void dialogsFit()
    {
        LiveRig rig;
        NoRegistry registry;
        ShellContext& shell = rig.w->context();
        std::vector<std::unique_ptr<QWidget>> dialogs;
        dialogs.emplace_back(new frmSetupComm(shell.rs, shell.mode, shell.folder, shell.prompter));
        dialogs.emplace_back(new frmTargetBoard(shell.prompter, shell.rs, shell.mode, shell.folder));
        dialogs.emplace_back(new frmAbout(shell.prompter, registry, ProgramStarter()));
        dialogs.emplace_back(new frmProcessing(shell.rs, shell.prompter));
        dialogs.emplace_back(new frmDownloadProg(shell.rs, shell.clock));
        dialogs.emplace_back(new frmWaitDisplay(0, [] {}));
        dialogs.emplace_back(new frmLinkMonitor(shell.rs, shell.prompter));
        dialogs.emplace_back(new HelpViewer());
        dialogs.emplace_back(new frmCompare(
            shell, DefaultData, QStringLiteral("a.sdt"), DefaultData, QStringLiteral("b.sdt")));
        dialogs.emplace_back(new frmTrends(rig.w->journal(), shell.prompter, {}, nullptr));
        for (const auto& d : dialogs) {
            const QSize least = smallest(d.get());
            QVERIFY2(least.boundedTo(kSmallScreenRoom) == least,
                qPrintable(d->objectName() + QLatin1Char(' ') + sizeText(least)));
        }
    }

    // Made as small as the screen leaves, the target board panel scrolls its
    // pages; its buttons stay below them, whole, never under a scroll bar.
    void targetBoardButtonsStayInView()
    {
        LiveRig rig;
        ShellContext& shell = rig.w->context();
        frmTargetBoard panel(shell.prompter, shell.rs, shell.mode, shell.folder);
        panel.resize(kSmallScreenRoom);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        auto* scroll = panel.findChild<QScrollArea*>(QStringLiteral("scrollArea"));
        QVERIFY(scroll);
        QVERIFY(scroll->isAncestorOf(panel.tabTargetBoard));
        QVERIFY(!scroll->isAncestorOf(panel.cmdGoOnline));
        QVERIFY(scroll->widget()->height() > scroll->viewport()->height()); // it does scroll
        for (QPushButton* b : { panel.cmdOk }) {
            QVERIFY(!scroll->isAncestorOf(b));
            const QRect r(b->mapTo(&panel, QPoint(0, 0)), b->size());
            QVERIFY2(panel.rect().contains(r), qPrintable(b->objectName()));
            QVERIFY(!r.intersects(QRect(scroll->mapTo(&panel, QPoint(0, 0)), scroll->size())));
        }
        panel.hide();
    }

    // On 1024x600 at scale factor 1.5 the main window has 683x400: Machine
    // Timing keeps its own status bar and the channel buttons in view; the
    // pages scroll inside it.
    void timingFitsAScaledSmallScreen()
    {
        LiveRig rig;
        auto* timing = rig.show<frmTiming>(3);
        QVERIFY(timing);
        rig.w->resize(683, 400);
        rig.w->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.w.get()));
        QCoreApplication::processEvents();
        QWidget* area = rig.w->mdiArea->viewport();
        const QRect visible(area->mapTo(rig.w.get(), QPoint(0, 0)), area->size());
        const QList<QWidget*> widgets { static_cast<QWidget*>(timing->sbrMachineTiming), timing->cmdClearChan,
            timing->cmdRecallChan, timing->txtTmg[1] };
        for (QWidget* widget : widgets) {
            QVERIFY2(widget->isVisible(), qPrintable(widget->objectName()));
            QWidget* clip = widget == timing->sbrMachineTiming
                ? area
                : timing->findChild<QScrollArea*>(QStringLiteral("scrollArea"))->viewport();
            const QRect r(widget->mapTo(rig.w.get(), QPoint(0, 0)), widget->size());
            const QRect shown(clip->mapTo(rig.w.get(), QPoint(0, 0)), clip->size());
            QVERIFY2(visible.contains(r) && shown.contains(r),
                qPrintable(widget->objectName() + QLatin1Char(' ') + sizeText(r.size())));
        }
    }

    // The compare at 1024x600 scaled 1.5 (and at 800x480): every column in
    // view, the values and "differs" whole; what gives way is cut short with
    // its whole text in the tool tip.
    void compareFitsAScaledSmallScreen_data()
    {
        QTest::addColumn<QSize>("room");
        QTest::addRow("1024x600 at 1.5") << kScaledScreenRoom;
        QTest::addRow("800x480") << kSmallScreenRoom;
    }
    void compareFitsAScaledSmallScreen()
    {
        QFETCH(QSize, room);
        LiveRig rig;
        MachineData changed = DefaultData;
        changed.ParamValue[9] = 310;
        frmCompare compare(rig.w->context(), DefaultData, QStringLiteral("/plant/a.sdt"), changed,
            QStringLiteral("/plant/b.sdt"));
        // Shown at its own size first, then made as small as the screen
        // leaves (as fitting it to the screen does).
        compare.show();
        QVERIFY(QTest::qWaitForWindowExposed(&compare));
        compare.resize(room);
        QCoreApplication::processEvents();
        QTableWidget* table = compare.grdCompare;
        QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
        const int viewport = table->viewport()->width();
        for (const int c : { int(frmCompare::ColAddress), int(frmCompare::ColWorking),
                 int(frmCompare::ColOther), int(frmCompare::ColState) }) {
            const int right = table->columnViewportPosition(c) + table->columnWidth(c);
            QVERIFY2(right <= viewport,
                qPrintable(QStringLiteral("column %1 ends at %2 of %3").arg(c).arg(right).arg(viewport)));
        }
        // The values whole.
        for (const int c :
            { int(frmCompare::ColAddress), int(frmCompare::ColWorking), int(frmCompare::ColOther) })
            for (int r = 0; r < table->rowCount(); ++r)
                QVERIFY(table->fontMetrics().horizontalAdvance(table->item(r, c)->text())
                    < table->columnWidth(c));
        QVERIFY(table->columnWidth(frmCompare::ColState)
            >= table->fontMetrics().horizontalAdvance(QStringLiteral("differs")));
        QCOMPARE(table->item(0, frmCompare::ColCaption)->toolTip(),
            table->item(0, frmCompare::ColCaption)->text());
        compare.hide();
    }

    // The trends and the timing diagram at 1024x600 scaled 1.5: the chart's
    // legend and the channels' names whole.
    void trendsAndDiagramFitAScaledSmallScreen()
    {
        LiveRig rig;
        frmTrends trends(
            rig.w->journal(), rig.w->context().prompter, [] { return std::optional<int>(300); }, nullptr);
        QVERIFY(smallest(&trends).boundedTo(kScaledScreenRoom) == smallest(&trends));
        TimingDiagramView diagram;
        diagram.setDiagram(buildTimingDiagram(TimingDiagramInput()));
        diagram.resize(kScaledScreenRoom.width() - 24, 260);
        QCOMPARE(diagram.diagram().channels.size(), TimingDiagramInput::kChannelCount);
        for (const DiagramChannel& c : diagram.diagram().channels) {
            QCOMPARE(diagram.fontMetrics().elidedText(c.label, Qt::ElideMiddle, diagram.labelWidth() - 12), c.label);
        }
        // The cycle keeps room enough to read.
        QVERIFY(diagram.xOf(360) - diagram.xOf(0) >= 300);
    }

    void startSizeIsLimitedToTheScreen()
    {
        QWidget w;
        w.resize(5000, 4000);
        w.move(-300, -200);
        fitToScreen(&w);
        const QRect area = w.screen()->availableGeometry();
        QVERIFY2(area.contains(w.frameGeometry()), qPrintable(sizeText(w.size())));
        // A window that fits keeps its size.
        w.resize(300, 200);
        fitToScreen(&w);
        QCOMPARE(w.size(), QSize(300, 200));
    }

    void geometryAndFolderAreRemembered()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("talvek.ini"));
        QRect kept;
        {
            WindowMemory memory(std::make_unique<QSettings>(file, QSettings::IniFormat));
            QApplication::instance()->installEventFilter(&memory);
            QWidget w;
            w.setObjectName(QStringLiteral("frmExample"));
            w.setGeometry(40, 50, 320, 210);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            w.setGeometry(60, 70, 330, 220);
            kept = w.geometry();
            w.hide();
            memory.setLastFolder(dir.path());
            memory.setLastFolder(dir.filePath(QStringLiteral("gone"))); // no such folder: ignored
        }
        WindowMemory memory(std::make_unique<QSettings>(file, QSettings::IniFormat));
        QApplication::instance()->installEventFilter(&memory);
        QWidget again;
        again.setObjectName(QStringLiteral("frmExample"));
        again.resize(100, 100);
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(again.size(), kept.size());
        QCOMPARE(memory.lastFolder(), QDir::cleanPath(dir.path()));
        // Not one of the program's windows: left alone.
        QWidget other;
        other.resize(100, 100);
        other.show();
        QCOMPARE(other.size(), QSize(100, 100));

        // The main window's Open dialog starts in the folder kept.
        LiveRig rig;
        rig.w->setWindowMemory(&memory);
        QCOMPARE(rig.w->globals().gFileNamePath, QDir::cleanPath(dir.path()) + QStringLiteral("/*.sdt"));
    }
};

QTEST_MAIN(tst_WindowFit)
#include "tst_windowfit.moc"
