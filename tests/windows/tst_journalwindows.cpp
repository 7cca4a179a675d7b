// The journal's windows bound to the program's journal: the View menu's
// items and their access keys, the rows a window shows and filters, the CSV
// it exports, and the trend chart's series with the limit line; the Open
// dialog as the program shows it, which never opens the journal's files
// while another program writes to the journal, and the status bar's word
// when the journal's file changed under the program. The queries and texts
// themselves are the journal suite's.

#include "MainWindowRig.h"
#include "shared/Journal.h"
#include "shared/JournalReports.h"
#include "shared/modUtility.h"
#include "windows/JournalTableWindow.h"
#include "windows/QtPrompter.h"
#include "windows/frmTrends.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <sys/inotify.h>
#include <unistd.h>
#include <QtCharts/QValueAxis>

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

// The files opened in one folder (by anything) while it is watched.
class OpenWatch
{
public:
    explicit OpenWatch(const QString& dir)
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        inotify_add_watch(m_fd, QFile::encodeName(dir).constData(), IN_OPEN);
    }
    ~OpenWatch() { ::close(m_fd); }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;
    QStringList opened()
    {
        QStringList names;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(m_fd, buffer, sizeof buffer)) > 0;) {
            for (char* p = buffer; p < buffer + n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                if (e->len > 0)
                    names << QString::fromLocal8Bit(e->name);
                p += sizeof(inotify_event) + e->len;
            }
        }
        return names;
    }

private:
    int m_fd;
};

// Another program on the journal: one row, committed, and its connection
// closed (the last one of its program), as a talvek-cli run does.
bool anotherProgramRecords(const QString& file, const QString& detail)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        return false;
    const QString script = QStringLiteral(
        "import sqlite3, sys\n"
        "c = sqlite3.connect(sys.argv[1], timeout=5)\n"
        "c.execute(\"INSERT INTO events (at_ms, press, username, kind, detail) VALUES (1, 'BM-1', 'cron', "
        "'online', ?)\", (sys.argv[2],))\n"
        "c.commit()\n"
        "c.close()\n");
    return QProcess::execute(python, { QStringLiteral("-c"), script, file, detail }) == 0;
}

// The Open dialog's action once it is up.
void onNextFileDialog(std::function<void(QFileDialog*)> action)
{
    auto* poll = new QTimer;
    auto turns = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, turns, action] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog && ++*turns < 10000)
            return;
        poll->stop();
        poll->deleteLater();
        QVERIFY2(dialog, "no file dialog");
        action(dialog);
    });
    poll->start(0);
}

SampleRow sample(const QString& press, const QDateTime& at, int speed)
{
    SampleRow r;
    r.press = press;
    r.at = at;
    r.speed = speed;
    r.brakeLow = 140;
    r.brakeHigh = 220;
    return r;
}

EventRow eventRow(const QString& press, const QDateTime& at, const QString& kind)
{
    EventRow e;
    e.press = press;
    e.at = at;
    e.kind = kind;
    return e;
}

QString statusOf(QWidget* window)
{
    return window->findChild<QLabel*>(QStringLiteral("lblStatus"))->text();
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
        QCOMPARE(rig.w->journal().config().file,
            rig.dir.filePath(QStringLiteral(".talvek/journal/journal.sqlite")));
    }

    // A portable copy: the Open dialog starts in the program folder and
    // lists it, opening what it lists to tell its type. The journal is not
    // there, and none of its files is opened by the dialog (a close in the
    // program's process would drop its locks, and another program would
    // take itself for the journal's last user and remove the -wal under it).
    // Another program records while the dialog is up; every row of both is
    // in the file afterwards.
    void theOpenDialogNeverOpensTheJournal()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty())
            QSKIP("python3 (scripts/install-deps) plays the other program");
        Rig rig;
        Journal& j = rig.w->journal();
        const QString file = j.config().file;
        QVERIFY(j.isOpen());
        j.recordEvent(QStringLiteral("online"), QStringLiteral("before the dialog"));
        // A file in the listed folder that only its content can type.
        QFile probe(rig.dir.filePath(QStringLiteral("probe.sqlite-wal")));
        QVERIFY(probe.open(QIODevice::WriteOnly));
        probe.write(QByteArray("\x37\x7f\x06\x82", 4) + QByteArray(28, '\0'));
        probe.close();
        QFile setup(rig.dir.filePath(QStringLiteral("line3.sdt")));
        QVERIFY(setup.open(QIODevice::WriteOnly));
        setup.close();
        OpenWatch journalFolder(QFileInfo(file).path());
        OpenWatch programFolder(rig.dir.path());

        QtPrompter prompter;
        FileDialogRequest request;
        request.title = QStringLiteral("Open");
        request.filter = QStringLiteral("Setup Files(*.sdt)|*.sdt|");
        request.fileName = rig.folder.documentsDir() + QStringLiteral("/*.sdt");
        request.fileMustExist = true;
        QStringList listed;
        QStringList openedByTheDialog;
        bool recorded = false;
        onNextFileDialog([&](QFileDialog* dialog) {
            auto* model = dialog->findChild<QFileSystemModel*>();
            QVERIFY(model);
            // Listing the folder types every file in it, those the filter
            // hides too: the dialog has opened the probe when it is listed.
            QTRY_VERIFY(
                (openedByTheDialog += programFolder.opened()).contains(QStringLiteral("probe.sqlite-wal")));
            const QModelIndex root = model->index(rig.dir.path());
            QTRY_VERIFY(model->rowCount(root) > 0);
            for (int i = 0; i < model->rowCount(root); ++i)
                listed << model->index(i, 0, root).data().toString();
            openedByTheDialog += programFolder.opened() + journalFolder.opened();
            recorded = anotherProgramRecords(file, QStringLiteral("during the dialog"));
            dialog->reject();
        });
        QCOMPARE(prompter.openFileName(request), std::nullopt);
        QVERIFY(recorded);
        // The dialog looked into what it listed; the journal was not among it.
        QVERIFY2(listed.contains(QStringLiteral("line3.sdt")), qPrintable(listed.join(QLatin1Char(' '))));
        QVERIFY2(!listed.contains(QStringLiteral(".talvek")), qPrintable(listed.join(QLatin1Char(' '))));
        for (const QString& name : std::as_const(openedByTheDialog))
            QVERIFY2(!name.startsWith(QLatin1String("journal.sqlite")), qPrintable(name));

        // The program records after the other program closed: into the file.
        j.recordEvent(QStringLiteral("offline"), QStringLiteral("after the dialog"));
        QVERIFY(j.lastOutcome().ok());
        QVERIFY(j.checkFile());
        QVERIFY(!rig.w->statusBar()->currentMessage().contains(QLatin1String("journal")));
        rig.w.reset(); // the program closes its journal; the folder stays
        flushDeletes();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("after"));
            db.setDatabaseName(file);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("SELECT detail FROM events ORDER BY id")));
            QStringList details;
            while (q.next())
                details << q.value(0).toString();
            QCOMPARE(details,
                QStringList({ QStringLiteral("before the dialog"), QStringLiteral("during the dialog"),
                    QStringLiteral("after the dialog") }));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("after"));
    }

    // The journal's -wal removed under the running program: the status bar
    // says so within a tick of the background timer, with no record made.
    void aJournalFileChangedUnderTheProgramIsInTheStatusBar()
    {
        Rig rig;
        Journal& j = rig.w->journal();
        QVERIFY(j.isOpen());
        QVERIFY(QFile::remove(j.config().file + QStringLiteral("-wal")));
        QTRY_VERIFY(rig.w->statusBar()->currentMessage().startsWith(QLatin1String(
            "Press journal stopped (the journal's file changed under the program: journal.sqlite-wal "
            "was removed")));
        QCOMPARE(j.isOpen(), false);
        QVERIFY2(j.statusText().startsWith(
                     QLatin1String("Journal: off, the journal's file changed under the program")),
            qPrintable(j.statusText()));
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
        QCOMPARE(statusOf(window), QStringLiteral("2 rows"));
        QCOMPARE(window->table()->item(1, 1)->text(), QStringLiteral("(standing)"));
        QCOMPARE(window->table()->item(0, 4)->text(), QStringLiteral("Die Sensor Failed (F4)"));
        auto* text = window->findChild<QLineEdit*>(QStringLiteral("txtFilter"));
        text->setText(QStringLiteral("brake"));
        window->findChild<QPushButton*>(QStringLiteral("cmdRefresh"))->click();
        QCOMPARE(window->table()->rowCount(), 1);
        QCOMPARE(statusOf(window), QStringLiteral("1 row"));

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
        // Speed and brake response each on an axis of its own, whole-number
        // ticks, the units in the titles.
        const QList<QAbstractAxis*> speedAxes = series[0]->attachedAxes();
        const QList<QAbstractAxis*> brakeAxes = series[2]->attachedAxes();
        auto* speed = qobject_cast<QValueAxis*>(speedAxes.value(1));
        auto* brake = qobject_cast<QValueAxis*>(brakeAxes.value(1));
        QVERIFY(speed && brake && speed != brake);
        QCOMPARE(speed->titleText(), QStringLiteral("Speed (SPM)"));
        QCOMPARE(speed->labelFormat(), QStringLiteral("%.0f"));
        QCOMPARE(brake->labelFormat(), QStringLiteral("%.0f"));
        QCOMPARE(brake->titleText(), QStringLiteral("Brake response (°)"));
        QCOMPARE(speed->max(), 300.0); // 251 SPM: steps of 50
        QCOMPARE(speed->tickInterval(), 50.0);
        QCOMPARE(brake->max(), 400.0); // the limit 300 above 221
        QCOMPARE(brake->tickInterval(), 100.0);
        QCOMPARE(statusOf(window), QStringLiteral("2 samples"));
    }

    // Shown again, the window shows what the journal has gained since; while
    // shown it looks again by itself.
    void trendsFollowTheJournal()
    {
        Rig rig;
        rig.w->journal().recordSample(250, 140, 220);
        auto* window = shown<frmTrends>(rig, rig.w->mnuViewTrends);
        QVERIFY(window);
        QCOMPARE(statusOf(window), QStringLiteral("1 sample"));
        QCOMPARE(window->series().speed.value(0).size(), 1);
        QVERIFY(window->followTimer()->isActive());
        QCOMPARE(window->followTimer()->interval(), frmTrends::kFollowMs);
        window->close();
        QVERIFY(!window->followTimer()->isActive());
        for (int i = 0; i < 10; ++i)
            rig.w->journal().recordSample(260, 150, 230);
        rig.w->journal().recordAlarm(
            { 0, QStringLiteral("Brake Response Too Long - Service Brake (F858)"), true });
        QCOMPARE(shown<frmTrends>(rig, rig.w->mnuViewTrends), window);
        QCOMPARE(statusOf(window), QStringLiteral("11 samples"));
        rig.w->journal().recordSample(270, 150, 230);
        QVERIFY(QMetaObject::invokeMethod(window->followTimer(), "timeout"));
        QCOMPARE(statusOf(window), QStringLiteral("12 samples"));
        QVERIFY(window->range().to >= QDateTime::currentDateTimeUtc().addSecs(-5));
        window->close();
    }

    // The period the window opens on, and the time its axis spans, for a few
    // shapes of data.
    void trendsOpenOnTheRangeTheDataFill()
    {
        const QDateTime now(QDate(2026, 3, 5), QTime(14, 0), Qt::UTC);
        QCOMPARE(trendPeriodFor(std::nullopt, now), TrendPeriod::Shift);
        QCOMPARE(trendPeriodFor(now.addSecs(-20 * 60), now), TrendPeriod::Shift);
        QCOMPARE(trendPeriodFor(now.addSecs(-8 * 3600), now), TrendPeriod::Shift);
        QCOMPARE(trendPeriodFor(now.addSecs(-9 * 3600), now), TrendPeriod::Day);
        QCOMPARE(trendPeriodFor(now.addDays(-3), now), TrendPeriod::Week);
        QCOMPARE(trendPeriodFor(now.addDays(-20), now), TrendPeriod::Month);
        // Twenty minutes of data fill the axis (a minute before the first).
        TrendRange r = trendRange(TrendPeriod::Week, now.addSecs(-20 * 60), now);
        QCOMPARE(r.from, now.addSecs(-21 * 60));
        QCOMPARE(r.to, now);
        // Two minutes: ten at least.
        r = trendRange(TrendPeriod::Shift, now.addSecs(-120), now);
        QCOMPARE(r.from, now.addSecs(-600));
        // No data: the whole period; data older than the period: the period.
        QCOMPARE(trendRange(TrendPeriod::Shift, std::nullopt, now).from, now.addSecs(-8 * 3600));
        QCOMPARE(trendRange(TrendPeriod::Day, now.addDays(-3), now).from, now.addDays(-1));
        // Whole-number scales, at most six steps, room above the highest value.
        const QList<std::tuple<double, int, int>> scales { { 0, 6, 1 }, { 7, 8, 2 }, { 251, 300, 50 },
            { 328.8, 400, 100 }, { 1200, 1500, 500 }, { 38, 40, 10 } };
        for (const auto& [highest, top, step] : scales) {
            const TrendScale s = trendScale(highest);
            QVERIFY2(s.top == top && s.step == step,
                qPrintable(QStringLiteral("%1: %2 by %3").arg(highest).arg(s.top).arg(s.step)));
        }
    }

    // A press's line breaks where it went OFFLINE or its link failed between
    // two samples, as where samples are missing; another press's line goes on.
    void trendLineBreaksWhereThePressWasOffline()
    {
        const QDateTime t0(QDate(2026, 3, 5), QTime(7, 0), Qt::UTC);
        const QString a = QStringLiteral("press-a");
        const QString b = QStringLiteral("press-b");
        QList<SampleRow> rows;
        for (int i = 0; i < 6; ++i) {
            rows << sample(a, t0.addSecs(60 * i), 200 + i);
            rows << sample(b, t0.addSecs(60 * i + 1), 300 + i);
        }
        rows << sample(a, t0.addSecs(3600), 250); // an hour later
        const QList<EventRow> events { eventRow(a, t0.addSecs(90), QStringLiteral("offline")),
            eventRow(a, t0.addSecs(100), QStringLiteral("online")),
            eventRow(a, t0.addSecs(200), QStringLiteral("comm fault")),
            eventRow(a, t0.addSecs(260), QStringLiteral("end of shift")) };
        const TrendSeries s = trendSeriesOf(rows, events, 300);
        QList<qsizetype> sizes;
        for (const QList<QPointF>& segment : s.speed)
            sizes << segment.size();
        // a: 0-1 | 2-3 | 4-5 | the hour later; b unbroken.
        QCOMPARE(sizes, (QList<qsizetype> { 2, 6, 2, 2, 1 }));
        QCOMPARE(s.speed[0].last().y(), 201.0);
        QCOMPARE(s.speed[2].first().y(), 202.0);
        QCOMPARE(s.speed[1].last().y(), 305.0);
        QCOMPARE(s.brakeHigh.size(), 5);
        QCOMPARE(s.limit, std::optional<int>(300));
        QCOMPARE(s.yMax, 305.0);
    }

    // The picture exported names the press, the range and the date, in the
    // chart and in the name offered.
    void trendPictureNamesPressRangeAndDate()
    {
        Rig rig;
        rig.w->journal().recordSample(250, 140, 220);
        auto* window = shown<frmTrends>(rig, rig.w->mnuViewTrends);
        QVERIFY(window);
        const QDateTime from = window->range().from.toLocalTime();
        const QString today = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd"));
        QCOMPARE(window->chart()->title(), window->titleText());
        QVERIFY2(window->titleText().startsWith(QStringLiteral("All presses - last shift (8 h), ")
                     + from.toString(QStringLiteral("yyyy-MM-dd HH:mm")) + QStringLiteral(" to ")),
            qPrintable(window->titleText()));
        const QString path = rig.dir.filePath(QStringLiteral("trend.png"));
        rig.script().answerFile(path);
        window->findChild<QPushButton*>(QStringLiteral("cmdExportPng"))->click();
        const QString offered = rig.script().calls().last().file.fileName;
        QVERIFY2(offered.startsWith(QStringLiteral("trends-All-presses-") + today), qPrintable(offered));
        QImage picture(path);
        QVERIFY(!picture.isNull());
        QCOMPARE(picture.size(), window->view()->size());
        QCOMPARE(rig.script().unexpected(), 0);
        window->close();
    }
};

QTEST_MAIN(TestJournalWindows)
#include "tst_journalwindows.moc"
