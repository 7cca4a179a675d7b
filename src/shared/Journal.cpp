#include "shared/Journal.h"

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <map>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif
#include <utility>

namespace talvek {

namespace {

// Waits for another writer (talvek-cli beside TALVEK) this long, no longer.
constexpr int kBusyTimeoutMs = 250;
constexpr int kConnectTimeoutS = 3;
constexpr int kStatementTimeoutMs = 3000;
constexpr qint64 kMsPerDay = 24LL * 60 * 60 * 1000;

const QStringList kTables { QStringLiteral("alarms"), QStringLiteral("writes"), QStringLiteral("transfers"),
    QStringLiteral("events"), QStringLiteral("samples") };

QString sqlError(const QSqlError& e)
{
    const QString text = e.text().trimmed();
    return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

// LIKE pattern for "contains", with the pattern's own wildcards escaped.
QString containsPattern(const QString& text)
{
    QString escaped = text.toLower();
    escaped.replace(QLatin1Char('!'), QStringLiteral("!!"));
    escaped.replace(QLatin1Char('%'), QStringLiteral("!%"));
    escaped.replace(QLatin1Char('_'), QStringLiteral("!_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

// A text column takes "" for an empty text: a null QString would bind as NULL.
QVariant text(const QString& s)
{
    return s.isNull() ? QVariant(QStringLiteral("")) : QVariant(s);
}

QDateTime fromMs(const QVariant& v)
{
    return QDateTime::fromMSecsSinceEpoch(v.toLongLong(), Qt::UTC);
}

// Who runs the program: the login's name.
QString loginName()
{
    for (const char* variable : { "USER", "LOGNAME", "USERNAME" }) {
        const QString name = qEnvironmentVariable(variable);
        if (!name.isEmpty())
            return name;
    }
#ifdef Q_OS_UNIX
    if (const passwd* entry = getpwuid(getuid()))
        return QString::fromLocal8Bit(entry->pw_name);
#endif
    return QStringLiteral("unknown");
}

} // namespace

Journal::Journal(JournalConfig config, std::function<QDateTime()> now, QString user)
    : m_config(std::move(config))
    , m_now(now ? std::move(now) : [] { return QDateTime::currentDateTimeUtc(); })
    , m_user(std::move(user))
    , m_connectionName(QStringLiteral("talvek-journal-%1").arg(quintptr(this), 0, 16))
{
    if (m_config.press.isEmpty())
        m_config.press = defaultPressName();
    if (m_user.isEmpty())
        m_user = loginName();
}

Journal::~Journal()
{
    closeConnection();
    if (QSqlDatabase::contains(m_connectionName))
        QSqlDatabase::removeDatabase(m_connectionName);
}

void Journal::closeConnection()
{
    if (!QSqlDatabase::contains(m_connectionName))
        return;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.isOpen())
        return;
    // Closing the last connection writes its WAL into the database: never
    // into a file that changed under the program.
    if (m_fileChanged)
        closeWithoutCheckpoint(db);
    else
        db.close();
}

QString Journal::defaultPressName()
{
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("press") : host;
}

QString Journal::outcomeText(const Status& outcome)
{
    if (outcome)
        return QStringLiteral("done");
    QString text = causeText(outcome.cause());
    if (outcome.error().held)
        text += QStringLiteral(" (holds ") + QString::number(*outcome.error().held) + QLatin1Char(')');
    return text;
}

QString Journal::statusText() const
{
    const QString where = isPostgres() ? QStringLiteral("PostgreSQL ") + m_config.connection : m_config.file;
    if (!m_config.enabled)
        return QStringLiteral("Journal: off (not enabled in the settings)");
    if (m_off)
        return QStringLiteral("Journal: off, ") + m_offReason + QStringLiteral(" (") + where
            + QLatin1Char(')') + (m_fileNote.isEmpty() ? QString() : QStringLiteral("; ") + m_fileNote);
    if (!m_open)
        return QStringLiteral("Journal: not open (") + where + QLatin1Char(')');
    return QStringLiteral("Journal: %1 (%2, schema %3, press %4, rows kept %5 days)")
               .arg(where, isPostgres() ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite"))
               .arg(kSchemaVersion)
               .arg(m_config.press)
               .arg(m_config.retentionDays)
        + (m_fileNote.isEmpty() ? QString() : QStringLiteral("; ") + m_fileNote);
}

void Journal::failed(const QString& what, const QString& why)
{
    m_last = fail(Cause::BadFile, why);
    if (m_off)
        return;
    m_off = true;
    m_open = false;
    m_offReason = what + QStringLiteral(": ") + why;
    closeConnection();
    if (m_onFailure)
        m_onFailure(QStringLiteral("Press journal stopped (") + m_offReason
            + QStringLiteral("); the program goes on without it."));
}

Failure Journal::dbFailure(const QSqlError& e)
{
    m_damageSeen = m_damageSeen || isDamageError(e);
    return fail(Cause::BadFile, sqlError(e));
}

Status Journal::connectDatabase()
{
    QSqlDatabase db;
    if (isPostgres()) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
        QStringList options { QStringLiteral("connect_timeout=%1").arg(kConnectTimeoutS) };
        const QStringList pairs = m_config.connection.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString& pair : pairs) {
            const qsizetype eq = pair.indexOf(QLatin1Char('='));
            const QString key = pair.left(eq);
            const QString value = eq < 0 ? QString() : pair.mid(eq + 1);
            if (key == QLatin1String("host"))
                db.setHostName(value);
            else if (key == QLatin1String("port"))
                db.setPort(value.toInt());
            else if (key == QLatin1String("dbname"))
                db.setDatabaseName(value);
            else if (key == QLatin1String("user"))
                db.setUserName(value);
            else if (key == QLatin1String("password"))
                db.setPassword(value);
            else
                options << pair;
        }
        db.setConnectOptions(options.join(QLatin1Char(';')));
    } else {
        // The per-user data folder of an installed copy may not exist yet.
        QDir().mkpath(QFileInfo(m_config.file).absolutePath());
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        db.setDatabaseName(m_config.file);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    }
    if (!db.isValid())
        return fail(Cause::BadFile, QStringLiteral("no Qt SQL driver for the journal"));
    if (!db.open())
        return dbFailure(db.lastError());
    if (isPostgres())
        return exec(QStringLiteral("SET statement_timeout = %1").arg(kStatementTimeoutMs));
    // WAL: a reader never waits for the writer, and a commit is one append;
    // NORMAL keeps every committed event through a killed process.
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !q.next())
        return dbFailure(q.lastError());
    if (q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        return fail(Cause::BadFile, QStringLiteral("the file cannot be put in WAL mode"));
    return exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
}

Status Journal::open()
{
    m_pruned = 0;
    if (!m_config.enabled)
        return m_last = fail(Cause::Cancelled, QStringLiteral("journal not enabled"));
    if (m_open)
        return m_last = done();
    if (m_off)
        return m_last;
    if (!isPostgres())
        adoptFormerFile();
    Status outcome = isPostgres() ? connectDatabase() : connectChecked();
    if (outcome)
        outcome = migrate();
    if (outcome)
        outcome = prune();
    if (!outcome) {
        failed(QStringLiteral("cannot open"), outcome.error().detail);
        return m_last;
    }
    if (!isPostgres())
        rememberFile();
    m_open = true;
    return m_last = done();
}

Status Journal::exec(const QString& sql)
{
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!q.exec(sql))
        return fail(Cause::BadFile, sqlError(q.lastError()));
    return done();
}

QString Journal::idColumn() const
{
    return isPostgres() ? QStringLiteral("id BIGSERIAL PRIMARY KEY")
                        : QStringLiteral("id INTEGER PRIMARY KEY AUTOINCREMENT");
}

Status Journal::migrate()
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (Status made = exec(QStringLiteral("CREATE TABLE IF NOT EXISTS journal_version (version INTEGER NOT NULL)"));
        !made)
        return made;
    if (!db.transaction())
        return fail(Cause::BadFile, sqlError(db.lastError()));
    // Two presses starting at once against one server: one migrates, the
    // other waits and then finds the schema done.
    Status outcome = isPostgres() ? exec(QStringLiteral("LOCK TABLE journal_version IN EXCLUSIVE MODE")) : done();
    int version = 0;
    bool hasRow = false;
    if (outcome) {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT MAX(version), COUNT(*) FROM journal_version")))
            outcome = fail(Cause::BadFile, sqlError(q.lastError()));
        else if (q.next()) {
            version = q.value(0).toInt();
            hasRow = q.value(1).toInt() > 0;
        }
    }
    if (outcome && version > kSchemaVersion)
        outcome = fail(Cause::BadFile,
            QStringLiteral("the journal's schema %1 is newer than this program's %2").arg(version).arg(kSchemaVersion));
    for (int v = version + 1; outcome && v <= kSchemaVersion; ++v)
        outcome = migrateStep(v);
    if (outcome && version < kSchemaVersion) {
        outcome = exec(hasRow ? QStringLiteral("UPDATE journal_version SET version = %1").arg(kSchemaVersion)
                              : QStringLiteral("INSERT INTO journal_version (version) VALUES (%1)").arg(kSchemaVersion));
    }
    if (!outcome) {
        db.rollback();
        return outcome;
    }
    if (!db.commit())
        return fail(Cause::BadFile, sqlError(db.lastError()));
    return done();
}

Status Journal::migrateStep(int toVersion)
{
    QStringList sql;
    if (toVersion == 1) {
        const QString head = QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (") + idColumn()
            + QStringLiteral(", at_ms BIGINT NOT NULL, username TEXT NOT NULL, ");
        sql << head.arg(kTables[0]) + QStringLiteral("flag INTEGER NOT NULL, text TEXT NOT NULL, raised INTEGER NOT NULL)")
            << head.arg(kTables[1])
                + QStringLiteral("address TEXT NOT NULL, parameter TEXT NOT NULL, value_before TEXT, "
                                 "value_after TEXT NOT NULL, source TEXT NOT NULL, outcome TEXT NOT NULL, "
                                 "ok INTEGER NOT NULL)")
            << head.arg(kTables[2])
                + QStringLiteral("kind TEXT NOT NULL, file TEXT NOT NULL, result TEXT NOT NULL, ok INTEGER NOT NULL, "
                                 "rows_moved INTEGER NOT NULL)")
            << head.arg(kTables[3]) + QStringLiteral("kind TEXT NOT NULL, detail TEXT NOT NULL)")
            << head.arg(kTables[4])
                + QStringLiteral("speed INTEGER NOT NULL, brake_low INTEGER NOT NULL, brake_high INTEGER NOT NULL)");
    } else if (toVersion == 2) {
        // A schema-1 file made before one of its tables was first needed
        // gets the table first (IF NOT EXISTS: the others stay as they are).
        if (Status tables = migrateStep(1); !tables)
            return tables;
        // Rows of a one-press journal are this press's.
        for (const QString& t : kTables) {
            sql << QStringLiteral("ALTER TABLE %1 ADD COLUMN press TEXT NOT NULL DEFAULT ''").arg(t)
                << QStringLiteral("CREATE INDEX IF NOT EXISTS %1_at ON %1 (at_ms)").arg(t);
        }
    }
    for (const QString& s : std::as_const(sql)) {
        if (Status ran = exec(s); !ran)
            return ran;
    }
    if (toVersion == 2) {
        for (const QString& t : kTables) {
            QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
            q.prepare(QStringLiteral("UPDATE %1 SET press = ? WHERE press = ''").arg(t));
            q.addBindValue(m_config.press);
            if (!q.exec())
                return fail(Cause::BadFile, sqlError(q.lastError()));
        }
    }
    return done();
}

Status Journal::prune()
{
    // In a plant journal each press prunes its own rows by its own setting.
    const qint64 cutoff = m_now().toMSecsSinceEpoch() - qint64(m_config.retentionDays) * kMsPerDay;
    for (const QString& t : kTables) {
        QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
        q.prepare(QStringLiteral("DELETE FROM %1 WHERE at_ms < ? AND press = ?").arg(t));
        q.addBindValue(cutoff);
        q.addBindValue(m_config.press);
        if (!q.exec())
            return fail(Cause::BadFile, sqlError(q.lastError()));
        m_pruned += qMax(0, q.numRowsAffected());
    }
    return done();
}

Result<qint64> Journal::insert(
    const QString& table, const QStringList& columns, const QList<QVariant>& values)
{
    if (m_off || !m_open || !checkFile()) {
        m_last = fail(Cause::LinkDown, m_offReason);
        return m_last.error();
    }
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    QStringList marks;
    for (qsizetype i = 0; i < columns.size() + 3; ++i)
        marks << QStringLiteral("?");
    q.prepare(QStringLiteral("INSERT INTO %1 (at_ms, press, username, %2) VALUES (%3)%4")
                  .arg(table, columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")),
                      isPostgres() ? QStringLiteral(" RETURNING id") : QString()));
    q.addBindValue(m_now().toMSecsSinceEpoch());
    q.addBindValue(text(m_config.press));
    q.addBindValue(text(m_user));
    for (const QVariant& v : values)
        q.addBindValue(v);
    // Outside a transaction each insert is committed on its own.
    if (!q.exec()) {
        failed(QStringLiteral("cannot record"), sqlError(q.lastError()));
        return m_last.error();
    }
    m_last = done();
    if (isPostgres())
        return q.next() ? q.value(0).toLongLong() : qint64(-1);
    return q.lastInsertId().toLongLong();
}

void Journal::recordAlarm(const AlarmEvent& alarm)
{
    (void)insert(QStringLiteral("alarms"), { QStringLiteral("flag"), QStringLiteral("text"), QStringLiteral("raised") },
        { alarm.flag, text(alarm.text.trimmed()), alarm.raised ? 1 : 0 });
}

void Journal::recordWrite(const QString& address, const QString& parameter, const std::optional<QString>& before,
    const QString& after, const QString& source, const Status& outcome)
{
    (void)insert(QStringLiteral("writes"),
        { QStringLiteral("address"), QStringLiteral("parameter"), QStringLiteral("value_before"),
            QStringLiteral("value_after"), QStringLiteral("source"), QStringLiteral("outcome"), QStringLiteral("ok") },
        { text(address), text(parameter), before ? text(*before) : QVariant(QMetaType(QMetaType::QString)),
            text(after), text(source), outcomeText(outcome), outcome.ok() ? 1 : 0 });
}

std::optional<qint64> Journal::beginWrite(const QString& address, const QString& parameter,
    const std::optional<QString>& before, const QString& after, const QString& source)
{
    const Result<qint64> row = insert(QStringLiteral("writes"),
        { QStringLiteral("address"), QStringLiteral("parameter"), QStringLiteral("value_before"),
            QStringLiteral("value_after"), QStringLiteral("source"), QStringLiteral("outcome"),
            QStringLiteral("ok") },
        { text(address), text(parameter), before ? text(*before) : QVariant(QMetaType(QMetaType::QString)),
            text(after), text(source), QString::fromLatin1(kWriteStarted), 0 });
    if (!row || *row < 0)
        return std::nullopt;
    return *row;
}

void Journal::finishWrite(
    qint64 row, const std::optional<QString>& before, const QString& after, const Status& outcome)
{
    if (m_off || !m_open || !checkFile()) {
        m_last = fail(Cause::LinkDown, m_offReason);
        return;
    }
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.prepare(QStringLiteral(
        "UPDATE writes SET value_before = ?, value_after = ?, outcome = ?, ok = ? WHERE id = ?"));
    q.addBindValue(before ? text(*before) : QVariant(QMetaType(QMetaType::QString)));
    q.addBindValue(text(after));
    q.addBindValue(outcomeText(outcome));
    q.addBindValue(outcome.ok() ? 1 : 0);
    q.addBindValue(row);
    if (!q.exec()) {
        failed(QStringLiteral("cannot record"), sqlError(q.lastError()));
        return;
    }
    m_last = done();
}

void Journal::recordTransfer(const QString& kind, const QString& file, const Status& outcome, int rows)
{
    (void)insert(QStringLiteral("transfers"),
        { QStringLiteral("kind"), QStringLiteral("file"), QStringLiteral("result"), QStringLiteral("ok"),
            QStringLiteral("rows_moved") },
        { text(kind), text(file), outcomeText(outcome), outcome.ok() ? 1 : 0, rows });
}

void Journal::recordEvent(const QString& kind, const QString& detail)
{
    (void)insert(QStringLiteral("events"), { QStringLiteral("kind"), QStringLiteral("detail") },
        { text(kind), text(detail) });
}

void Journal::recordShiftEnd(const std::optional<QString>& goodCans, const std::optional<QString>& shortCans)
{
    const QString unknown = QStringLiteral("unknown");
    recordEvent(QStringLiteral("end of shift"),
        QStringLiteral("good cans %1, short cans %2").arg(goodCans.value_or(unknown), shortCans.value_or(unknown)));
}

void Journal::recordSample(int speed, int brakeLow, int brakeHigh)
{
    (void)insert(QStringLiteral("samples"),
        { QStringLiteral("speed"), QStringLiteral("brake_low"), QStringLiteral("brake_high") },
        { speed, brakeLow, brakeHigh });
}

// ---------------------------------------------------------------------------
// Reading back

QString Journal::where(const JournalFilter& filter, QList<QVariant>& binds, const QStringList& textColumns) const
{
    QStringList terms;
    if (filter.from.isValid()) {
        terms << QStringLiteral("at_ms >= ?");
        binds << filter.from.toMSecsSinceEpoch();
    }
    if (filter.to.isValid()) {
        terms << QStringLiteral("at_ms < ?");
        binds << filter.to.toMSecsSinceEpoch();
    }
    if (!filter.press.isEmpty()) {
        terms << QStringLiteral("press = ?");
        binds << filter.press;
    }
    if (!filter.text.isEmpty() && !textColumns.isEmpty()) {
        QStringList any;
        for (const QString& c : textColumns) {
            any << QStringLiteral("LOWER(%1) LIKE ? ESCAPE '!'").arg(c);
            binds << containsPattern(filter.text);
        }
        terms << QLatin1Char('(') + any.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    }
    return terms.isEmpty() ? QString() : QStringLiteral(" WHERE ") + terms.join(QStringLiteral(" AND "));
}

namespace {

// Runs a SELECT and hands each row to `take`.
Status selectRows(const QString& connection, const QString& sql, const QList<QVariant>& binds,
    const std::function<void(const QSqlQuery&)>& take)
{
    QSqlQuery q(QSqlDatabase::database(connection, false));
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        return fail(Cause::BadFile, sqlError(q.lastError()));
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec())
        return fail(Cause::BadFile, sqlError(q.lastError()));
    while (q.next())
        take(q);
    return done();
}

void takeHead(JournalRow& row, const QSqlQuery& q)
{
    row.at = fromMs(q.value(0));
    row.press = q.value(1).toString();
    row.user = q.value(2).toString();
}

const QString kHead = QStringLiteral("SELECT at_ms, press, username, ");

} // namespace

Result<QList<WriteRow>> Journal::changeLog(const JournalFilter& filter)
{
    if (!m_open)
        return fail(Cause::LinkDown, m_offReason);
    QList<QVariant> binds;
    const QString sql = kHead
        + QStringLiteral("address, parameter, value_before, value_after, source, outcome, ok FROM writes")
        + where(filter, binds, { QStringLiteral("address"), QStringLiteral("parameter"), QStringLiteral("source") })
        + QStringLiteral(" ORDER BY at_ms, id");
    QList<WriteRow> rows;
    const Status read = selectRows(m_connectionName, sql, binds, [&rows](const QSqlQuery& q) {
        WriteRow r;
        takeHead(r, q);
        r.address = q.value(3).toString();
        r.parameter = q.value(4).toString();
        if (!q.value(5).isNull())
            r.valueBefore = q.value(5).toString();
        r.valueAfter = q.value(6).toString();
        r.source = q.value(7).toString();
        r.outcome = q.value(8).toString();
        r.ok = q.value(9).toInt() != 0;
        rows << r;
    });
    if (!read)
        return read.error();
    return rows;
}

Result<QList<TransferRow>> Journal::transfers(const JournalFilter& filter)
{
    if (!m_open)
        return fail(Cause::LinkDown, m_offReason);
    QList<QVariant> binds;
    const QString sql = kHead + QStringLiteral("kind, file, result, ok, rows_moved FROM transfers")
        + where(filter, binds, { QStringLiteral("kind"), QStringLiteral("file") }) + QStringLiteral(" ORDER BY at_ms, id");
    QList<TransferRow> rows;
    const Status read = selectRows(m_connectionName, sql, binds, [&rows](const QSqlQuery& q) {
        TransferRow r;
        takeHead(r, q);
        r.kind = q.value(3).toString();
        r.file = q.value(4).toString();
        r.result = q.value(5).toString();
        r.ok = q.value(6).toInt() != 0;
        r.rows = q.value(7).toInt();
        rows << r;
    });
    if (!read)
        return read.error();
    return rows;
}

Result<QList<SampleRow>> Journal::samples(const JournalFilter& filter)
{
    if (!m_open)
        return fail(Cause::LinkDown, m_offReason);
    QList<QVariant> binds;
    const QString sql = kHead + QStringLiteral("speed, brake_low, brake_high FROM samples") + where(filter, binds, {})
        + QStringLiteral(" ORDER BY at_ms, id");
    QList<SampleRow> rows;
    const Status read = selectRows(m_connectionName, sql, binds, [&rows](const QSqlQuery& q) {
        SampleRow r;
        takeHead(r, q);
        r.speed = q.value(3).toInt();
        r.brakeLow = q.value(4).toInt();
        r.brakeHigh = q.value(5).toInt();
        rows << r;
    });
    if (!read)
        return read.error();
    return rows;
}

Result<QList<EventRow>> Journal::events(const JournalFilter& filter)
{
    if (!m_open)
        return fail(Cause::LinkDown, m_offReason);
    QList<QVariant> binds;
    const QString sql = kHead + QStringLiteral("kind, detail FROM events")
        + where(filter, binds, { QStringLiteral("kind"), QStringLiteral("detail") })
        + QStringLiteral(" ORDER BY at_ms, id");
    QList<EventRow> rows;
    const Status read = selectRows(m_connectionName, sql, binds, [&rows](const QSqlQuery& q) {
        EventRow r;
        takeHead(r, q);
        r.kind = q.value(3).toString();
        r.detail = q.value(4).toString();
        rows << r;
    });
    if (!read)
        return read.error();
    return rows;
}

Result<QList<AlarmSpan>> Journal::alarmHistory(const JournalFilter& filter)
{
    if (!m_open)
        return fail(Cause::LinkDown, m_offReason);
    // Every raise and clear up to the end of the range: an alarm raised
    // before the range and cleared in it still belongs to it.
    JournalFilter upTo;
    upTo.to = filter.to;
    upTo.press = filter.press;
    QList<QVariant> binds;
    const QString sql = kHead + QStringLiteral("flag, text, raised FROM alarms") + where(upTo, binds, {})
        + QStringLiteral(" ORDER BY at_ms, id");
    QList<AlarmSpan> spans;
    std::map<std::pair<QString, int>, qsizetype> standing; // (press, flag) -> span
    const Status read = selectRows(m_connectionName, sql, binds, [&](const QSqlQuery& q) {
        const QDateTime at = fromMs(q.value(0));
        const std::pair<QString, int> key { q.value(1).toString(), q.value(3).toInt() };
        const bool raised = q.value(5).toInt() != 0;
        const auto it = standing.find(key);
        if (raised && it == standing.end()) {
            AlarmSpan s;
            takeHead(s, q);
            s.flag = key.second;
            s.text = q.value(4).toString();
            s.raised = at;
            standing[key] = spans.size();
            spans << s;
        } else if (!raised && it != standing.end()) {
            spans[it->second].cleared = at;
            standing.erase(it);
        }
    });
    if (!read)
        return read.error();
    const QDateTime now = m_now();
    QList<AlarmSpan> shown;
    for (AlarmSpan& s : spans) {
        const QDateTime end = s.cleared.isValid() ? s.cleared : now;
        if (filter.from.isValid() && end < filter.from)
            continue;
        if (!filter.text.isEmpty() && !s.text.contains(filter.text, Qt::CaseInsensitive))
            continue;
        s.seconds = s.raised.secsTo(end);
        shown << s;
    }
    return shown;
}

Result<QStringList> Journal::presses()
{
    if (!m_open)
        return fail(Cause::LinkDown, m_offReason);
    QStringList names;
    for (const QString& t : kTables) {
        const Status read = selectRows(m_connectionName, QStringLiteral("SELECT DISTINCT press FROM %1").arg(t), {},
            [&names](const QSqlQuery& q) {
                const QString p = q.value(0).toString();
                if (!names.contains(p))
                    names << p;
            });
        if (!read)
            return read.error();
    }
    names.sort();
    return names;
}

} // namespace talvek
