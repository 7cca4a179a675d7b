// The journal's windows bound to the program's journal: the View menu's
// items and their access keys, the rows a window shows and filters, the CSV
// it exports, and the trend chart's series with the limit line. The queries
// and texts themselves are the journal suite's.

#include "MainWindowRig.h"
#include "shared/Journal.h"
#include "shared/JournalReports.h"
#include "shared/modUtility.h"
#include "windows/frmTrends.h"
#include "windows/JournalTableWindow.h"

#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>

using namespace talvek;
using namespace talvek::test;

namespace {

QChar accessKey(const QString& text)
{
    const qsizetype at = text.indexOf(QLatin1Char('&'));
    return at < 0 ? QChar() : text.at(at + 1).toLower();
}

template <class Window>
Window* shown(Rig& rig, QAction* item)
{
    item->trigger();
    auto* window = rig.w->findChild<Window*>();
    return window && window->isVisible() ? window : nullptr;
}

} // namespace

class TestJournalWindows : public QObject
{
    Q_OBJECT

private slots:
    void viewMenuItemsAndTheirKeys()
    {
        Rig rig;
        QCOMPARE(rig.w->mnuViewAlarmHistory->text(), QStringLiteral("Alarm &History"));
        QCOMPARE(rig.w->mnuViewChangeLog->text(), QStringLiteral("&Change Log"));
        QCOMPARE(rig.w->mnuViewTrends->text(), QStringLiteral("T&rends"));
        QList<QChar> keys;
        for (QAction* a : rig.w->mnuView->actions()) {
            const QChar k = accessKey(a->text());
            if (k.isNull())
                continue;
            QVERIFY2(!keys.contains(k), qPrintable(QStringLiteral("access key %1 twice").arg(k)));
            keys << k;
        }
        QVERIFY(rig.w->journal().isOpen());
        QCOMPARE(rig.w->journal().config().file, rig.dir.filePath(QStringLiteral("journal.sqlite")));
    }

    void alarmHistoryShowsFiltersAndExports()
    {
        Rig rig;
        Journal& j = rig.w->journal();
        j.recordAlarm({ 2, QStringLiteral("Die Sensor Failed (F4)"), true });
        j.recordAlarm({ 2, QStringLiteral("Die Sensor Failed (F4)"), false });
        j.recordAlarm({ 0, QStringLiteral("Brake Response Too Long - Service Brake (F858)"), true });
        auto* window = shown<frmAlarmHistory>(rig, rig.w->mnuViewAlarmHistory);
        QVERIFY(window);
        QCOMPARE(window->table()->rowCount(), 2);
        QCOMPARE(window->table()->item(1, 1)->text(), QStringLiteral("(standing)"));
        QCOMPARE(window->table()->item(0, 4)->text(), QStringLiteral("Die Sensor Failed (F4)"));
        auto* text = window->findChild<QLineEdit*>(QStringLiteral("txtFilter"));
        text->setText(QStringLiteral("brake"));
        window->findChild<QPushButton*>(QStringLiteral("cmdRefresh"))->click();
        QCOMPARE(window->table()->rowCount(), 1);

        const QString path = rig.dir.filePath(QStringLiteral("alarms.csv"));
        rig.script().answerFile(path);
        window->findChild<QPushButton*>(QStringLiteral("cmdExport"))->click();
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(f.readAll()), alarmsCsv(j.alarmHistory(window->filter()).valueOr({})));
        QCOMPARE(rig.script().unexpected(), 0);
    }

    void changeLogShowsTheWindowsWrites()
    {
        Rig rig;
        rig.w->modeSwitch().setMode(true);
        QVERIFY(rig.rs().OnlineMode);
        QVERIFY(rig.rs().RSWrite(QStringLiteral("W1026"), QStringLiteral("260")).ok());
        auto* window = shown<frmChangeLog>(rig, rig.w->mnuViewChangeLog);
        QVERIFY(window);
        QCOMPARE(window->table()->rowCount(), 1);
        QCOMPARE(window->table()->item(0, 3)->text(), QStringLiteral("W1026"));
        QCOMPARE(window->table()->item(0, 6)->text(), QStringLiteral("260"));
        QCOMPARE(window->table()->item(0, 7)->text(), QStringLiteral("Main Display"));
        QCOMPARE(window->table()->item(0, 8)->text(), QStringLiteral("done"));
        rig.w->modeSwitch().setMode(false);
    }

    void trendsDrawTheSamplesAndTheLimit()
    {
        Rig rig;
        InitMachineData(1, 0, 0); // the working data's limit: 300
        rig.w->journal().recordSample(250, 140, 220);
        rig.w->journal().recordSample(251, 141, 221);
        auto* window = shown<frmTrends>(rig, rig.w->mnuViewTrends);
        QVERIFY(window);
        QCOMPARE(window->series().limit, std::optional<int>(300));
        const QList<QAbstractSeries*> series = window->chart()->series();
        QCOMPARE(series.size(), 4); // speed, low, high, the limit
        QCOMPARE(static_cast<QLineSeries*>(series[2])->at(1).y(), 221.0);
        QCOMPARE(static_cast<QLineSeries*>(series[3])->at(0).y(), 300.0);
    }
};

QTEST_MAIN(TestJournalWindows)
#include "tst_journalwindows.moc"
