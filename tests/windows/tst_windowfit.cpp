// Windows that fit small screens: every child window inside the main window
// and every dialog can be made as small as an 800x480 screen leaves (its
// layout shrinks or scrolls); a start size is limited to the screen; the
// per-user memory brings a window's geometry and the set-up folder back.

#include "LiveRig.h"
#include "windows/FormUtility.h"
#include "windows/frm8816DF1.h"
#include "windows/frmAbout.h"
#include "windows/frmData.h"
#include "windows/frmDisplayIO.h"
#include "windows/frmDownloadProg.h"
#include "windows/frmProcessing.h"
#include "windows/frmSetup.h"
#include "windows/frmSetupComm.h"
#include "windows/frmTargetBoard.h"
#include "windows/frmTiming.h"
#include "windows/frmWaitDisplay.h"
#include "windows/SystemInfo.h"
#include "windows/WindowMemory.h"

#include <QDir>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>

using namespace talvek;
using namespace talvek::test;

namespace {

// What an 800x480 screen leaves a window once a title bar and a panel of
// about 24 pixels each have taken their share.
const QSize kSmallScreenRoom { 800, 432 };

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
        for (int i = 0; i < ChildWindowCount; ++i)
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
        for (const auto& d : dialogs) {
            const QSize least = smallest(d.get());
            QVERIFY2(least.boundedTo(kSmallScreenRoom) == least,
                qPrintable(d->objectName() + QLatin1Char(' ') + sizeText(least)));
        }
    }

    void startSizeIsLimitedToTheScreen()
    {
        QWidget w;
        w.resize(5000, 4000);
        w.move(-300, -200);
        FitToScreen(&w);
        const QRect area = w.screen()->availableGeometry();
        QVERIFY2(area.contains(w.frameGeometry()), qPrintable(sizeText(w.size())));
        // A window that fits keeps its size.
        w.resize(300, 200);
        FitToScreen(&w);
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
