// The press journal on its own: the schema made, migrated from an empty file
// and from a one-press journal, newer schemas refused, pruning, a locked and a
// corrupt file (the program goes on, told once), a damaged file set aside, a
// file changed under the program, a journal moved from its former place, a
// write's row recorded before the write, and reading back (alarm spans,
// filters, CSV, trend series). Each case runs on SQLite, and on a PostgreSQL
// server when TALVEK_TEST_PGSQL names one (libpq key=value).

#include "base/ProgramFolder.h"
#include "shared/Journal.h"
#include "shared/JournalReports.h"
#include "shared/JournalSettings.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace talvek;

namespace {

const QString kPgVariable = QStringLiteral("TALVEK_TEST_PGSQL");
const QDateTime kNow = QDateTime(QDate(2026, 3, 5), QTime(14, 7), Qt::UTC);

// A raw connection beside the journal's, to set a file up or look into it.
struct RawDb
{
    QString name;
    explicit RawDb(const JournalConfig& c)
        : name(QStringLiteral("raw-%1").arg(quintptr(this), 0, 16))
    {
        QSqlDatabase db;
        if (c.connection.isEmpty()) {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(c.file);
        } else {
            db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            for (const QString& pair : c.connection.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                const QString key = pair.section(QLatin1Char('='), 0, 0);
                const QString value = pair.section(QLatin1Char('='), 1);
                if (key == QLatin1String("host"))
                    db.setHostName(value);
                else if (key == QLatin1String("port"))
                    db.setPort(value.toInt());
                else if (key == QLatin1String("dbname"))
                    db.setDatabaseName(value);
                else if (key == QLatin1String("user"))
                    db.setUserName(value);
            }
        }
        if (!db.open())
            qWarning() << "raw connection:" << db.lastError().text();
    }
    ~RawDb()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
    bool run(const QString& sql)
    {
        QSqlQuery q(QSqlDatabase::database(name, false));
        const bool ok = q.exec(sql);
        if (!ok)
            qWarning() << sql << q.lastError().text();
        return ok;
    }
    QVariant value(const QString& sql)
    {
        QSqlQuery q(QSqlDatabase::database(name, false));
        return q.exec(sql) && q.next() ? q.value(0) : QVariant();
    }
};

// A fresh journal place on the engine of the row: a new SQLite file, or the
// PostgreSQL database emptied of the journal's tables.
struct Place
{
    QTemporaryDir dir;
    JournalConfig config;
    QDateTime now = kNow;

    explicit Place(const QString& engine)
    {
        config.file = dir.filePath(QStringLiteral("journal.sqlite"));
        config.press = QStringLiteral("BM-1");
        if (engine == QLatin1String("postgresql")) {
            config.connection = qEnvironmentVariable(kPgVariable.toLatin1().constData());
            RawDb raw(config);
            for (const char* t : { "alarms", "writes", "transfers", "events", "samples", "journal_version" })
                raw.run(QStringLiteral("DROP TABLE IF EXISTS ") + QLatin1String(t));
        }
    }
    std::unique_ptr<Journal> journal(const QString& press = {})
    {
        JournalConfig c = config;
        if (!press.isEmpty())
            c.press = press;
        return std::make_unique<Journal>(c, [this] { return now; }, QStringLiteral("operator"));
    }
};

void engines()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgresql") << QStringLiteral("postgresql");
}

} // namespace

#define NEED_ENGINE()                                                                                          \
    QFETCH(QString, engine);                                                                                   \
    if (engine == QLatin1String("postgresql") && qEnvironmentVariableIsEmpty(kPgVariable.toLatin1().constData())) \
        QSKIP("TALVEK_TEST_PGSQL names no PostgreSQL server (.ci/run starts one)");

class TestJournal : public QObject
{
    Q_OBJECT

private slots:
    void schemaMadeAndRowsKept_data() { engines(); }
    void schemaMadeAndRowsKept()
    {
        NEED_ENGINE();
        Place place(engine);
        {
            auto j = place.journal();
            QVERIFY2(j->open().ok(), qPrintable(j->statusText()));
            j->recordWrite(QStringLiteral("W1026"), QStringLiteral("Low Speed (SPM)"), QStringLiteral("250"),
                QStringLiteral("300"), QStringLiteral("Set-up Parameters"), done());
            j->recordWrite(QStringLiteral("W1028"), QStringLiteral("High Speed (SPM)"), std::nullopt,
                QStringLiteral("400"), QStringLiteral("talvek-cli"), fail(Cause::NotHeld, {}, 350));
            QVERIFY(j->lastOutcome().ok());
            // A write's row is there before the write ends: one that never
            // ends (a killed run) stays "started".
            const std::optional<qint64> killed
                = j->beginWrite(QStringLiteral("W1026"), QStringLiteral("Low Speed (SPM)"),
                    QStringLiteral("300"), QStringLiteral("263"), QStringLiteral("talvek-cli"));
            QVERIFY(killed.has_value());
            const std::optional<qint64> ended
                = j->beginWrite(QStringLiteral("W1028"), QStringLiteral("High Speed (SPM)"), std::nullopt,
                    QStringLiteral("410"), QStringLiteral("TALVEK"));
            QVERIFY(ended.has_value() && *ended != *killed);
            auto reader = place.journal(); // another run, reading meanwhile
            QVERIFY(reader->open().ok());
            const QList<WriteRow> meanwhile = reader->changeLog({}).valueOr({});
            QCOMPARE(meanwhile.size(), 4);
            QCOMPARE(meanwhile[3].outcome, QStringLiteral("started"));
            QCOMPARE(meanwhile[3].valueAfter, QStringLiteral("410"));
            QCOMPARE(meanwhile[3].ok, false);
            j->finishWrite(
                *ended, QStringLiteral("400"), QStringLiteral("410"), fail(Cause::NotHeld, {}, 405));
            QVERIFY(j->lastOutcome().ok());
        }
        RawDb raw(place.config);
        QCOMPARE(raw.value(QStringLiteral("SELECT version FROM journal_version")).toInt(), Journal::kSchemaVersion);
        if (engine == QLatin1String("sqlite"))
            QCOMPARE(raw.value(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
        // A second run reads what the first committed.
        auto j = place.journal();
        QVERIFY(j->open().ok());
        const Result<QList<WriteRow>> rows = j->changeLog({});
        QVERIFY(rows.ok());
        QCOMPARE(rows->size(), 4);
        QCOMPARE(rows->at(0).press, QStringLiteral("BM-1"));
        QCOMPARE(rows->at(0).user, QStringLiteral("operator"));
        QCOMPARE(rows->at(0).at, kNow);
        QCOMPARE(rows->at(0).valueBefore, std::optional<QString>(QStringLiteral("250")));
        QVERIFY(rows->at(0).ok);
        QCOMPARE(rows->at(1).valueBefore, std::nullopt);
        QCOMPARE(rows->at(1).outcome, QStringLiteral("the controller does not hold the value written (holds 350)"));
        QVERIFY(!rows->at(1).ok);
        QCOMPARE(rows->at(2).address, QStringLiteral("W1026"));
        QCOMPARE(rows->at(2).valueBefore, std::optional<QString>(QStringLiteral("300")));
        QCOMPARE(rows->at(2).valueAfter, QStringLiteral("263"));
        QCOMPARE(rows->at(2).source, QStringLiteral("talvek-cli"));
        QCOMPARE(rows->at(2).outcome, QStringLiteral("started"));
        QVERIFY(!rows->at(2).ok);
        // Completed as a write recorded at its end is.
        QCOMPARE(rows->at(3).valueBefore, std::optional<QString>(QStringLiteral("400")));
        QCOMPARE(rows->at(3).outcome,
            QStringLiteral("the controller does not hold the value written (holds 405)"));
        QVERIFY(!rows->at(3).ok);
        QCOMPARE(writesCsv({ rows->at(2) }),
            QStringLiteral(
                "time,press,user,address,parameter,before,after,source,outcome\r\n"
                "2026-03-05T14:07:00Z,BM-1,operator,W1026,Low Speed (SPM),300,263,talvek-cli,started\r\n"));
    }

    void migratesAnEmptyAndAOnePressFile()
    {
        QTemporaryDir dir;
        JournalConfig config;
        config.press = QStringLiteral("BM-7");
        // An empty file is an empty database.
        config.file = dir.filePath(QStringLiteral("empty.sqlite"));
        QFile empty(config.file);
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        {
            Journal j(config, [] { return kNow; });
            QVERIFY2(j.open().ok(), qPrintable(j.statusText()));
        }
        // Schema 1: no press column; its rows become this press's.
        config.file = dir.filePath(QStringLiteral("v1.sqlite"));
        {
            RawDb raw(config);
            QVERIFY(raw.run(QStringLiteral("CREATE TABLE journal_version (version INTEGER NOT NULL)")));
            QVERIFY(raw.run(QStringLiteral("INSERT INTO journal_version VALUES (1)")));
            QVERIFY(raw.run(QStringLiteral("CREATE TABLE alarms (id INTEGER PRIMARY KEY AUTOINCREMENT, at_ms BIGINT "
                                           "NOT NULL, username TEXT NOT NULL, flag INTEGER NOT NULL, text TEXT NOT "
                                           "NULL, raised INTEGER NOT NULL)")));
            const qint64 at = kNow.addDays(-1).toMSecsSinceEpoch();
            QVERIFY(raw.run(QStringLiteral("INSERT INTO alarms (at_ms, username, flag, text, raised) VALUES (%1, "
                                           "'ann', 2, 'Die Sensor Failed (F4)', 1), (%2, 'ann', 2, 'Die Sensor "
                                           "Failed (F4)', 0)")
                                .arg(at)
                                .arg(at + 90000)));
        }
        Journal j(config, [] { return kNow; });
        QVERIFY2(j.open().ok(), qPrintable(j.statusText()));
        const Result<QList<AlarmSpan>> spans = j.alarmHistory({});
        QVERIFY(spans.ok());
        QCOMPARE(spans->size(), 1);
        QCOMPARE(spans->at(0).press, QStringLiteral("BM-7"));
        QCOMPARE(spans->at(0).seconds, 90);
        j.recordSample(300, 12, 15); // the tables that schema 1 lacked were made
        QVERIFY2(j.lastOutcome().ok(), qPrintable(j.statusText()));
        RawDb raw(config);
        QCOMPARE(raw.value(QStringLiteral("SELECT version FROM journal_version")).toInt(), 2);
        QCOMPARE(raw.value(QStringLiteral("SELECT COUNT(*) FROM journal_version")).toInt(), 1);
    }

    void newerSchemaAndCorruptFileTurnTheJournalOffOnce()
    {
        QTemporaryDir dir;
        JournalConfig config;
        config.file = dir.filePath(QStringLiteral("newer.sqlite"));
        {
            RawDb raw(config);
            QVERIFY(raw.run(QStringLiteral("CREATE TABLE journal_version (version INTEGER NOT NULL)")));
            QVERIFY(raw.run(QStringLiteral("INSERT INTO journal_version VALUES (9)")));
        }
        Journal newer(config, [] { return kNow; });
        QCOMPARE(newer.open().ok(), false);
        QVERIFY2(newer.statusText().contains(QLatin1String("schema 9 is newer than this program's 2")),
            qPrintable(newer.statusText()));

        config.file = dir.filePath(QStringLiteral("corrupt.sqlite"));
        QFile f(config.file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'x'));
        f.close();
        Journal j(config, [] { return kNow; });
        QStringList told;
        j.setFailureHandler([&told](const QString& text) { told << text; });
        QCOMPARE(j.open().ok(), false);
        j.recordAlarm({ 1, QStringLiteral("Short Can/Tear Off (F2)"), true });
        j.recordSample(1, 2, 3);
        QCOMPARE(told.size(), 1);
        QVERIFY2(told[0].startsWith(QLatin1String("Press journal stopped (cannot open: ")), qPrintable(told[0]));
        QVERIFY(told[0].endsWith(QLatin1String("); the program goes on without it.")));
        QVERIFY(j.statusText().startsWith(QLatin1String("Journal: off, cannot open: ")));
        QCOMPARE(j.lastOutcome().ok(), false);
        QCOMPARE(j.changeLog({}).ok(), false);
        // The file is left as it was: nothing overwrote the operator's data.
        QCOMPARE(QFileInfo(config.file).size(), 8192);
    }

    void lockedFileTurnsTheJournalOffWithOneMessage()
    {
        Place place(QStringLiteral("sqlite"));
        auto j = place.journal();
        QStringList told;
        j->setFailureHandler([&told](const QString& text) { told << text; });
        QVERIFY(j->open().ok());
        j->recordEvent(QStringLiteral("online"), {});
        RawDb other(place.config);
        QVERIFY(other.run(QStringLiteral("BEGIN EXCLUSIVE")));
        QVERIFY(other.run(QStringLiteral("INSERT INTO events (at_ms, username, kind, detail, press) VALUES (1, "
                                         "'x', 'x', 'x', 'x')")));
        j->recordEvent(QStringLiteral("offline"), {});
        j->recordEvent(QStringLiteral("online"), {});
        QCOMPARE(told.size(), 1);
        QVERIFY2(told[0].contains(QLatin1String("locked")), qPrintable(told[0]));
        QCOMPARE(j->isOpen(), false);
        QVERIFY(other.run(QStringLiteral("ROLLBACK")));
        // The first event was committed before the lock and stays.
        QCOMPARE(other.value(QStringLiteral("SELECT COUNT(*) FROM events")).toInt(), 1);
    }

    void prunesOnlyOldRowsOfItsOwnPress_data() { engines(); }
    void prunesOnlyOldRowsOfItsOwnPress()
    {
        NEED_ENGINE();
        Place place(engine);
        place.config.retentionDays = 10;
        {
            auto mine = place.journal();
            auto other = place.journal(QStringLiteral("BM-2"));
            QVERIFY(mine->open().ok() && other->open().ok());
            place.now = kNow.addDays(-11);
            mine->recordSample(1, 1, 1);
            other->recordSample(2, 2, 2);
            place.now = kNow.addDays(-9);
            mine->recordSample(3, 3, 3);
        }
        place.now = kNow;
        auto j = place.journal();
        QVERIFY(j->open().ok());
        QCOMPARE(j->prunedRows(), 1);
        const Result<QList<SampleRow>> rows = j->samples({});
        QVERIFY(rows.ok());
        QCOMPARE(rows->size(), 2);
        QCOMPARE(rows->at(0).press, QStringLiteral("BM-2"));
        QCOMPARE(rows->at(1).speed, 3);
        const Result<QStringList> presses = j->presses();
        QVERIFY(presses.ok());
        QCOMPARE(*presses, QStringList({ QStringLiteral("BM-1"), QStringLiteral("BM-2") }));
    }

    void alarmSpansAndFilters_data() { engines(); }
    void alarmSpansAndFilters()
    {
        NEED_ENGINE();
        Place place(engine);
        auto j = place.journal();
        auto other = place.journal(QStringLiteral("BM-2"));
        QVERIFY(j->open().ok() && other->open().ok());
        const QString brake = QStringLiteral("Brake Response Too Long - Service Brake (F858)");
        const QString die = QStringLiteral("Die Sensor Failed (F4)");
        place.now = kNow.addSecs(-3600);
        j->recordAlarm({ 0, brake, true });
        other->recordAlarm({ 0, brake, true });
        place.now = kNow.addSecs(-3600 + 65);
        j->recordAlarm({ 0, brake, false });
        place.now = kNow.addSecs(-60);
        j->recordAlarm({ 2, die, true });
        place.now = kNow;

        JournalFilter mine;
        mine.press = QStringLiteral("BM-1");
        Result<QList<AlarmSpan>> spans = j->alarmHistory(mine);
        QVERIFY(spans.ok());
        QCOMPARE(spans->size(), 2);
        QCOMPARE(spans->at(0).seconds, 65);
        QCOMPARE(spans->at(0).cleared, kNow.addSecs(-3535));
        QCOMPARE(spans->at(1).cleared.isValid(), false); // still standing
        QCOMPARE(spans->at(1).seconds, 60);
        // Text, case-insensitive; a range that starts after the brake alarm cleared.
        mine.text = QStringLiteral("SENSOR");
        QCOMPARE(j->alarmHistory(mine)->size(), 1);
        mine.text.clear();
        mine.from = kNow.addSecs(-120);
        QCOMPARE(j->alarmHistory(mine)->size(), 1);
        // Raised before the range and cleared inside it; raised before the
        // range and standing through it: both belong to it, with their
        // whole spans.
        JournalFilter range;
        range.press = QStringLiteral("BM-1");
        range.from = kNow.addSecs(-3600 + 30);
        range.to = kNow.addSecs(-3000);
        Result<QList<AlarmSpan>> inRange = j->alarmHistory(range);
        QVERIFY(inRange.ok());
        QCOMPARE(inRange->size(), 1);
        QCOMPARE(inRange->at(0).raised, kNow.addSecs(-3600));
        QCOMPARE(inRange->at(0).cleared, kNow.addSecs(-3535));
        QCOMPARE(inRange->at(0).seconds, 65);
        range.from = kNow.addSecs(-30);
        range.to = kNow.addSecs(1);
        inRange = j->alarmHistory(range);
        QVERIFY(inRange.ok());
        QCOMPARE(inRange->size(), 1);
        QCOMPARE(inRange->at(0).text, die);
        QCOMPARE(inRange->at(0).raised, kNow.addSecs(-60));
        QCOMPARE(inRange->at(0).cleared.isValid(), false);
        QCOMPARE(inRange->at(0).seconds, 60);
        // All presses: the other press's brake alarm stands too.
        QCOMPARE(j->alarmHistory({})->size(), 3);

        QCOMPARE(alarmsCsv(*spans),
            QStringLiteral("raised,cleared,seconds,press,user,flag,text\r\n"
                           "2026-03-05T13:07:00Z,2026-03-05T13:08:05Z,65,BM-1,operator,0,%1\r\n"
                           "2026-03-05T14:06:00Z,,60,BM-1,operator,2,%2\r\n")
                .arg(brake, die));
        // A text filter with LIKE's own wildcards matches them as letters.
        JournalFilter wild;
        wild.text = QStringLiteral("%");
        QCOMPARE(j->alarmHistory(wild)->size(), 0);
        QCOMPARE(j->changeLog(wild)->size(), 0);
    }

    void reportsAsText()
    {
        WriteRow w;
        w.at = kNow;
        w.press = QStringLiteral("BM-1");
        w.user = QStringLiteral("ann");
        w.address = QStringLiteral("PLS channel 3");
        w.parameter = QStringLiteral("Sensor Check Timing");
        w.valueAfter = QStringLiteral("ON 110 OFF 130");
        w.source = QStringLiteral("data transfer: download all");
        w.outcome = QStringLiteral("silent line");
        QCOMPARE(writesCsv({ w }),
            QStringLiteral("time,press,user,address,parameter,before,after,source,outcome\r\n"
                           "2026-03-05T14:07:00Z,BM-1,ann,PLS channel 3,Sensor Check Timing,,ON 110 OFF "
                           "130,data transfer: download all,silent line\r\n"));
        QCOMPARE(csvField(QStringLiteral("a \"b\", c")), QStringLiteral("\"a \"\"b\"\", c\""));
        QCOMPARE(durationText(59), QStringLiteral("59 s"));
        QCOMPARE(durationText(200), QStringLiteral("3 min 20 s"));
        QCOMPARE(durationText(3900), QStringLiteral("1 h 05 min"));
    }

    void trendSeriesBreakAtGapsAndHoldTheLimit()
    {
        QList<SampleRow> rows;
        for (const int minute : { 0, 1, 2, 10, 11 }) {
            SampleRow r;
            r.at = kNow.addSecs(60 * minute);
            r.press = QStringLiteral("BM-1");
            r.speed = 300 + minute;
            r.brakeLow = 20 + minute;
            r.brakeHigh = 30 + minute;
            rows << r;
        }
        const TrendSeries s = buildTrendSeries(rows, 320);
        QCOMPARE(s.speed.size(), 2); // eight minutes without a sample break the line
        QCOMPARE(s.speed[0].size(), 3);
        QCOMPARE(s.brakeHigh[1].last(), QPointF(double(kNow.addSecs(660).toMSecsSinceEpoch()), 41));
        QCOMPARE(s.limit, std::optional<int>(320));
        QCOMPARE(s.yMax, 320.0);
        QCOMPARE(trendStart(TrendPeriod::Week, kNow), kNow.addDays(-7));
    }

    // A file whose page 3 is overwritten still opens; the check finds it
    // damaged: told once, set aside under its name with the date, and a new
    // journal begun where it was.
    void aDamagedFileIsSetAsideAndANewOneBegun()
    {
        Place place(QStringLiteral("sqlite"));
        {
            auto j = place.journal();
            QVERIFY(j->open().ok());
            for (int i = 0; i < 200; ++i)
                j->recordSample(300 + i, 20, 30);
            j->recordAlarm({ 2, QStringLiteral("Die Sensor Failed (F4)"), true });
        }
        QVERIFY(!QFileInfo::exists(place.config.file + QStringLiteral("-wal"))); // all in the file
        QFile f(place.config.file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.size() > 4 * 4096);
        QVERIFY(f.seek(2 * 4096));
        f.write(QByteArray(4096, char(0xA5)));
        f.close();
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray damaged = f.readAll();
        f.close();

        auto j = place.journal();
        QStringList told;
        j->setFailureHandler([&told](const QString& text) { told << text; });
        QVERIFY2(j->open().ok(), qPrintable(j->statusText()));
        const QString asideName = QStringLiteral("journal-damaged-%1.sqlite")
                                      .arg(kNow.toLocalTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss")));
        const QString aside = place.dir.filePath(asideName);
        QCOMPARE(told.size(), 1);
        QVERIFY2(told[0].startsWith(QLatin1String("Press journal damaged (Page 3: ")), qPrintable(told[0]));
        QVERIFY(!told[0].contains(QLatin1Char('\n')));
        QVERIFY2(told[0].endsWith(QStringLiteral("): kept as %1, a new journal begun.").arg(asideName)),
            qPrintable(told[0]));
        QVERIFY2(j->statusText().contains(QStringLiteral("; the journal file was damaged (")),
            qPrintable(j->statusText()));
        QVERIFY(
            j->statusText().contains(QStringLiteral("it was kept as %1 and a new journal begun").arg(aside)));
        // The damaged bytes are kept as they were; the new journal is empty and records.
        QFile kept(aside);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), damaged);
        QCOMPARE(j->samples({})->size(), 0);
        QCOMPARE(j->alarmHistory({})->size(), 0);
        j->recordWrite(QStringLiteral("W1026"), QStringLiteral("Low Speed (SPM)"), std::nullopt,
            QStringLiteral("300"), QStringLiteral("talvek-cli"), done());
        QVERIFY(j->lastOutcome().ok());
        QCOMPARE(j->changeLog({})->size(), 1);
        QCOMPARE(told.size(), 1);
        j.reset();
        // The next run finds a sound file and says nothing.
        auto next = place.journal();
        next->setFailureHandler([&told](const QString& text) { told << text; });
        QVERIFY(next->open().ok());
        QCOMPARE(told.size(), 1);
        QCOMPARE(next->changeLog({})->size(), 1);
        QVERIFY(!next->statusText().contains(QLatin1String("damaged")));
    }

    // The file removed or replaced while the journal has it open (another
    // program took itself for its last user and removed the -wal): said once,
    // the journal off, and this connection's WAL never written into the file.
    void aFileChangedUnderTheProgramIsSaid()
    {
        Place place(QStringLiteral("sqlite"));
        auto j = place.journal();
        QStringList told;
        j->setFailureHandler([&told](const QString& text) { told << text; });
        QVERIFY(j->open().ok());
        j->recordEvent(QStringLiteral("online"), {});
        QVERIFY(j->checkFile());
        QCOMPARE(told.size(), 0);
        QVERIFY(QFile::remove(place.config.file + QStringLiteral("-wal")));
        QVERIFY(QFile::remove(place.config.file + QStringLiteral("-shm")));
        QFile db(place.config.file);
        QVERIFY(db.open(QIODevice::ReadOnly));
        const QByteArray before = db.readAll();
        db.close();
        j->recordEvent(QStringLiteral("offline"), {});
        QCOMPARE(j->lastOutcome().ok(), false);
        QVERIFY(!j->checkFile());
        j->recordEvent(QStringLiteral("online"), {});
        QCOMPARE(told.size(), 1);
        QCOMPARE(told[0],
            QStringLiteral(
                "Press journal stopped (the journal's file changed under the program: journal.sqlite-wal "
                "was removed; rows recorded before may be missing from it); the program goes on without "
                "it."));
        QVERIFY2(j->statusText().startsWith(QLatin1String(
                     "Journal: off, the journal's file changed under the program: journal.sqlite-wal was "
                     "removed")),
            qPrintable(j->statusText()));
        j.reset();
        QVERIFY(db.open(QIODevice::ReadOnly));
        QCOMPARE(db.readAll(), before);
        db.close();

        // The file itself replaced.
        Place other(QStringLiteral("sqlite"));
        auto k = other.journal();
        QStringList toldK;
        k->setFailureHandler([&toldK](const QString& text) { toldK << text; });
        QVERIFY(k->open().ok());
        const QString file = other.config.file;
        QVERIFY(QFile::rename(file, file + QStringLiteral(".old")));
        QVERIFY(QFile::copy(file + QStringLiteral(".old"), file));
        QVERIFY(!k->checkFile());
        QCOMPARE(toldK.size(), 1);
        QVERIFY2(toldK[0].contains(QLatin1String("journal.sqlite was replaced")), qPrintable(toldK[0]));
    }

    // A journal where earlier versions kept it, left as a killed run leaves
    // it (rows still in its -wal), is moved with its -wal to the new place
    // once; a journal already at the new place is never replaced.
    void aFormerJournalIsMovedOnceWithItsWal()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath(QStringLiteral("support"));
        const JournalConfig config = journalConfigFor(ProgramFolder(dir.path()));
        QVERIFY(!QFileInfo::exists(config.file));
        {
            JournalConfig running = config;
            running.file = dir.filePath(QStringLiteral("running.sqlite"));
            running.press = QStringLiteral("BM-1");
            Journal j(running, [] { return kNow; });
            QVERIFY(j.open().ok());
            j.recordWrite(QStringLiteral("W1026"), QStringLiteral("Low Speed (SPM)"), QStringLiteral("263"),
                QStringLiteral("264"), QStringLiteral("TALVEK"), done());
            // The files as a killed run leaves them: the row only in the -wal.
            QVERIFY(QFileInfo(running.file + QStringLiteral("-wal")).size() > 0);
            QVERIFY(QFile::copy(running.file, config.formerFile));
            QVERIFY(QFile::copy(
                running.file + QStringLiteral("-wal"), config.formerFile + QStringLiteral("-wal")));
        }
        Journal moved(config, [] { return kNow; });
        QVERIFY2(moved.open().ok(), qPrintable(moved.statusText()));
        QVERIFY(!QFileInfo::exists(config.formerFile));
        QVERIFY(!QFileInfo::exists(config.formerFile + QStringLiteral("-wal")));
        QVERIFY2(moved.statusText().endsWith(QStringLiteral("; moved here from ") + config.formerFile),
            qPrintable(moved.statusText()));
        const QList<WriteRow> rows = moved.changeLog({}).valueOr({});
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].valueAfter, QStringLiteral("264"));

        // An old version made a journal at the former place again: it stays.
        QFile stray(config.formerFile);
        QVERIFY(stray.open(QIODevice::WriteOnly));
        stray.write("kept");
        stray.close();
        Journal again(config, [] { return kNow; });
        QVERIFY(again.open().ok());
        QCOMPARE(again.changeLog({}).valueOr({}).size(), 1);
        QCOMPARE(QFileInfo(config.formerFile).size(), 4);
        QVERIFY(!again.statusText().contains(QLatin1String("moved")));
    }

    void settingsAndTheOption()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath(QStringLiteral("support"));
        ProgramFolder folder(dir.path());
        JournalConfig c = journalConfigFor(folder);
        // In the portable copy's hidden folder, which no file dialog starts in
        // or lists; earlier versions kept it beside the program.
        QCOMPARE(c.file, dir.filePath(QStringLiteral(".talvek/journal/journal.sqlite")));
        QCOMPARE(c.formerFile, dir.filePath(QStringLiteral("journal.sqlite")));
        const ProgramFolder installed = ProgramFolder::installed(dir.path(), { dir.path() },
            dir.filePath(QStringLiteral("config")), dir.filePath(QStringLiteral("Documents")));
        QCOMPARE(journalConfigFor(installed).file,
            ProgramFolder::userDataDir() + QStringLiteral("/journal/journal.sqlite"));
        QCOMPARE(journalConfigFor(installed).formerFile,
            ProgramFolder::userDataDir() + QStringLiteral("/journal.sqlite"));
        QCOMPARE(c.retentionDays, 400);
        QVERIFY(c.connection.isEmpty() && c.enabled);
        QFile cfg(dir.filePath(QStringLiteral("support/Journal.cfg")));
        QVERIFY(cfg.open(QIODevice::WriteOnly));
        cfg.write("[Journal]\nRetentionDays=30\nPress=BM-9\nConnection=host=/tmp dbname=plant\n");
        cfg.close();
        c = journalConfigFor(folder);
        QCOMPARE(c.retentionDays, 30);
        QCOMPARE(c.press, QStringLiteral("BM-9"));
        QCOMPARE(c.connection, QStringLiteral("host=/tmp dbname=plant"));
        applyJournalOption(c, dir.filePath(QStringLiteral("other.sqlite")));
        QVERIFY(c.connection.isEmpty());
        QCOMPARE(c.file, dir.filePath(QStringLiteral("other.sqlite")));
        QVERIFY(c.formerFile.isEmpty()); // a file named for the run is never moved
        applyJournalOption(c, QStringLiteral("off"));
        QCOMPARE(c.enabled, false);
        Journal off(c);
        QCOMPARE(off.open().ok(), false);
        QVERIFY(!QFileInfo::exists(c.file)); // nothing made
    }
};

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
