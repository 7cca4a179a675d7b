// F1 in each of the program's windows opens the help at that window's page,
// and every such page is in the help that ships; the contents name no window
// the menus do not offer.

#include "MainWindowRig.h"
#include "shared/SetupFile.h"
#include "windows/HelpKey.h"
#include "windows/HelpViewer.h"
#include "windows/JournalTableWindow.h"
#include "windows/frmCompare.h"
#include "windows/frmTiming.h"
#include "windows/frmTrends.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTabBar>
#include <QTableWidget>
#include <QTextBrowser>

using namespace talvek;
using namespace talvek::test;

namespace {

// The operator help as it ships beside the program.
QString shippedHelp()
{
    const QString sim = qEnvironmentVariable("TALVEK_SIM_BIN");
    const QString bin = sim.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/../bin")
                                      : QFileInfo(sim).absolutePath();
    return QDir::cleanPath(bin + QStringLiteral("/Help/TALVEK.html"));
}

QString shippedText()
{
    QFile f(shippedHelp());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QStringList anchorsOf(const QString& html)
{
    QStringList names;
    const QRegularExpression anchor(QStringLiteral("<a name=\"([^\"]+)\""));
    for (auto it = anchor.globalMatch(html); it.hasNext();)
        names << it.next().captured(1);
    return names;
}

} // namespace

class tst_HelpKeys : public QObject
{
    Q_OBJECT

private:
    // F1 pressed in a window: the help at the page expected, one the help has.
    static void requirePage(Rig& rig, QWidget* target, const QString& page, const QStringList& anchors)
    {
        const qsizetype before = rig.script().calls().size();
        QTest::keyClick(target, Qt::Key_F1);
        const QList<PromptCall> calls = rig.script().calls();
        QVERIFY2(calls.size() == before + 1, qPrintable(target->window()->objectName()));
        QCOMPARE(calls.last().kind, PromptCall::Kind::Help);
        QCOMPARE(calls.last().text, rig.w->helpFile() + QLatin1Char('#') + page);
        QVERIFY2(anchors.contains(page), qPrintable(page));
    }

private slots:
    void everyWindowsF1OpensAPageThatExists()
    {
        const QStringList anchors = anchorsOf(shippedText());
        QVERIFY2(anchors.size() > 20, qPrintable(shippedHelp()));
        Rig rig;
        rig.showActive();
        const QList<std::pair<int, QString>> children { { 0, QStringLiteral("main") },
            { 1, QStringLiteral("setup") }, { 3, QStringLiteral("timing") }, { 4, QStringLiteral("shift") },
            { 5, QStringLiteral("io") } };
        for (const auto& [child, page] : children) {
            rig.w->ShowChildForm(child);
            QCoreApplication::processEvents();
            requirePage(rig, rig.w->currentChild(), page, anchors);
        }
        // The timing window's diagram page has a page of its own.
        rig.w->ShowChildForm(3);
        auto* timing = qobject_cast<frmTiming*>(rig.w->currentChild());
        QVERIFY(timing);
        timing->tbsTiming->setCurrentIndex(timing->tbsTiming->count() - 1);
        QCOMPARE(
            timing->tbsTiming->tabText(timing->tbsTiming->currentIndex()), QStringLiteral("Timing &Diagram"));
        requirePage(rig, timing, QStringLiteral("diagram"), anchors);

        rig.w->mnuViewAlarmHistory->trigger();
        requirePage(
            rig, rig.w->findChild<frmAlarmHistory*>()->table(), QStringLiteral("alarm-history"), anchors);
        rig.w->mnuViewChangeLog->trigger();
        requirePage(rig, rig.w->findChild<frmChangeLog*>()->table(), QStringLiteral("change-log"), anchors);
        rig.w->mnuViewTrends->trigger();
        requirePage(rig, rig.w->findChild<frmTrends*>(), QStringLiteral("trends"), anchors);

        // The compares, modal: F1 still reaches them.
        const QString first = rig.dir.filePath(QStringLiteral("a.sdt"));
        QVERIFY(writeSetupFile(first, DefaultData));
        rig.script().answerFile(first);
        rig.script().answerFile(first);
        rig.w->mnuFileCompareFiles->trigger();
        auto* files = rig.w->findChild<frmCompare*>();
        QVERIFY(files && files->isModal());
        requirePage(rig, files->grdCompare, QStringLiteral("compare-files"), anchors);
        files->close();
        auto* controller = new frmCompare(rig.w->context(), rig.w.get());
        controller->setAttribute(Qt::WA_DeleteOnClose);
        controller->show();
        requirePage(rig, controller->grdCompare, QStringLiteral("compare"), anchors);
        controller->close();
        QCOMPARE(rig.script().unexpected(), 0);
    }

    // A window of another program's main window (or none) is not answered.
    void onlyItsOwnWindows()
    {
        Rig rig;
        QWidget stranger;
        stranger.show();
        QTest::keyClick(&stranger, Qt::Key_F1);
        QVERIFY(rig.script().calls().isEmpty());
        QCOMPARE(HelpKey::pageOf(&stranger), QStringLiteral("contents"));
    }

    // The contents list the new windows and not the one whose menu item is
    // hidden; the viewer opens at a page.
    void contentsAndPages()
    {
        const QString html = shippedText();
        const QString contents
            = html.section(QStringLiteral("<h3>Contents</h3>"), 1).section(QStringLiteral("</ul>\n\n"), 0, 0);
        QVERIFY(!contents.isEmpty());
        QVERIFY2(!contents.contains(QStringLiteral("Serial Communications")), qPrintable(contents));
        for (const char* page :
            { "compare", "compare-files", "alarm-history", "change-log", "trends", "diagram" })
            QVERIFY2(contents.contains(QStringLiteral("href=\"#%1\"").arg(QLatin1String(page))), page);
        HelpViewer viewer;
        viewer.openDocument(shippedHelp(), QStringLiteral("trends"));
        QCOMPARE(viewer.browser()->source().fragment(), QStringLiteral("trends"));
        QCOMPARE(viewer.browser()->source().toLocalFile(), shippedHelp());
        viewer.close();
    }
};

QTEST_MAIN(tst_HelpKeys)
#include "tst_helpkeys.moc"
