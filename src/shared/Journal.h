#pragma once

#include "base/Outcome.h"
#include "shared/JournalFile.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QSqlError;

namespace talvek {

// Where the journal is kept and how long: the settings of the journal.
struct JournalConfig
{
    static constexpr int kDefaultRetentionDays = 400;

    // The SQLite file (used when `connection` is empty).
    QString file;
    // A PostgreSQL connection in libpq's key=value form ("host=/run/pg
    // port=5432 dbname=plant user=talvek"): every press writes into one
    // journal. Empty: the SQLite file.
    QString connection;
    // This press's name in every row (the host name unless set).
    QString press;
    int retentionDays = kDefaultRetentionDays;
    // False: no journal at all (nothing is opened, nothing recorded).
    bool enabled = true;
    // Where earlier versions kept the SQLite file: a journal found there is
    // moved to `file` once, with its -wal, when `file` does not exist yet
    // and no program has it open. Empty: none.
    QString formerFile;
};

// One alarm raised or cleared.
struct AlarmEvent
{
    int flag = 0;
    QString text;
    bool raised = true;
};

// One row of what the journal reads back, whatever its kind.
struct JournalRow
{
    QDateTime at; // UTC
    QString press;
    QString user;
};

struct WriteRow : JournalRow
{
    QString address;
    QString parameter;
    std::optional<QString> valueBefore;
    QString valueAfter;
    QString source;
    QString outcome; // "done", the failure's cause in words, or "started" (the write never ended)
    bool ok = true;
};

struct TransferRow : JournalRow
{
    QString kind; // "upload all", "download set-up parameters", "program download", "compare", ...
    QString file;
    QString result;
    bool ok = true;
    int rows = 0;
};

// An alarm from raised to cleared; `cleared` invalid while it stands.
struct AlarmSpan : JournalRow
{
    int flag = 0;
    QString text;
    QDateTime raised;
    QDateTime cleared;
    // Seconds from raised to cleared (to `now` for one that stands).
    qint64 seconds = 0;
};

struct SampleRow : JournalRow
{
    int speed = 0;
    int brakeLow = 0;
    int brakeHigh = 0;
};

// Comm faults, mode changes and ends of shift.
struct EventRow : JournalRow
{
    QString kind; // "online", "offline", "comm fault", "end of shift"
    QString detail;
};

// What a window or the command line asks for. Empty fields do not filter.
struct JournalFilter
{
    QDateTime from; // inclusive
    QDateTime to; // exclusive
    QString text; // contained, case-insensitive (alarm text; address, parameter or source)
    QString press; // one press; empty: all
};

// The press journal: every alarm, write, transfer, comm fault, mode change,
// end of shift and the once-a-minute samples of speed and brake response, in
// a database through Qt SQL: a SQLite file by default (WAL, each event its
// own committed transaction, so a killed program loses none it recorded), or
// one PostgreSQL journal for many presses. The same statements serve both.
//
// The journal never holds up the program: each record is one short insert
// with a short busy timeout, and the first failure (locked, full, corrupt,
// server gone, the file changed under the program) turns the journal off for
// the rest of the run. It then tells the program once (the failure handler,
// for the status bar) and says why in statusText() (System Info); records
// are dropped from then on. No call throws.
//
// A SQLite file is checked when it is opened (PRAGMA quick_check): a damaged
// one is set aside under its name with the date ("journal-damaged-2026-03-05-
// 140700.sqlite"), a new one is begun, and the program is told once. Before
// each record the file the path names is compared with the one opened: a
// file removed or replaced under the program (its -wal too) turns the
// journal off, without writing this connection's WAL into a file that
// another program changed.
class Journal final
{
public:
    // The schema this build writes: 1 had no press column; 2 names the
    // press in every row and indexes the times.
    static constexpr int kSchemaVersion = 2;

    // now: the wall clock (tests give a fixed one). user: the login name.
    explicit Journal(JournalConfig config, std::function<QDateTime()> now = {}, QString user = {});
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Opens (creating or migrating the schema) and prunes the rows older
    // than the retention. A failure leaves the journal off.
    Status open();
    bool isOpen() const { return m_open; }
    bool isPostgres() const { return !m_config.connection.isEmpty(); }
    const JournalConfig& config() const { return m_config; }
    // Rows pruned by the last open().
    int prunedRows() const { return m_pruned; }
    // Called once, with the status-bar text, when the journal turns itself
    // off, and once when it set a damaged file aside and began a new one.
    void setFailureHandler(std::function<void(const QString&)> handler) { m_onFailure = std::move(handler); }
    // "Journal: /path/journal.sqlite (SQLite, schema 2)", or why it is off;
    // with what was done to the file when it was opened (set aside, moved).
    QString statusText() const;
    // Whether the SQLite file is still the one opened; turns the journal off
    // (and tells the program) when it is not. Always true for PostgreSQL.
    bool checkFile();
    // The outcome of the last record call or query.
    const Status& lastOutcome() const { return m_last; }

    // ---- recording: each one row, committed; dropped while off ----
    void recordAlarm(const AlarmEvent& alarm);
    void recordWrite(const QString& address, const QString& parameter, const std::optional<QString>& before,
        const QString& after, const QString& source, const Status& outcome);
    // A data transfer, program download or upload, or a compare.
    void recordTransfer(const QString& kind, const QString& file, const Status& outcome, int rows);
    void recordEvent(const QString& kind, const QString& detail);
    // The counts of the shift that ended, as last read ("unknown" when not).
    void recordShiftEnd(const std::optional<QString>& goodCans, const std::optional<QString>& shortCans);
    void recordSample(int speed, int brakeLow, int brakeHigh);

    // A write about to start: its row, recorded now with the outcome
    // "started", so that a run killed inside the write leaves it. Nothing
    // when the journal is off.
    std::optional<qint64> beginWrite(const QString& address, const QString& parameter,
        const std::optional<QString>& before, const QString& after, const QString& source);
    // The write's row completed as recordWrite would have recorded it.
    void finishWrite(
        qint64 row, const std::optional<QString>& before, const QString& after, const Status& outcome);
    static constexpr const char* kWriteStarted = "started";

    // ---- reading back ----
    Result<QList<AlarmSpan>> alarmHistory(const JournalFilter& filter);
    Result<QList<WriteRow>> changeLog(const JournalFilter& filter);
    Result<QList<TransferRow>> transfers(const JournalFilter& filter);
    Result<QList<SampleRow>> samples(const JournalFilter& filter);
    Result<QList<EventRow>> events(const JournalFilter& filter);
    // The presses that have rows, sorted.
    Result<QStringList> presses();

    // The default press name: the host name.
    static QString defaultPressName();
    // The outcome in the journal's words: "done", or the cause (and the
    // value held, for a write not held).
    static QString outcomeText(const Status& outcome);

private:
    Status connectDatabase();
    // The database's failure; notes that it said the file is damaged.
    Failure dbFailure(const QSqlError& e);
    Status migrate();
    Status migrateStep(int toVersion);
    Status prune();
    Status exec(const QString& sql);
    // The new row's id.
    Result<qint64> insert(const QString& table, const QStringList& columns, const QList<QVariant>& values);
    // ---- the SQLite file ----
    void adoptFormerFile();
    Status connectChecked();
    // The connection closed and the damaged file moved aside; the failure
    // of the connection (or of the move) when it stays.
    Status setDamagedFileAside(const QString& why, const Status& connected);
    void rememberFile();
    QString fileChange() const;
    void closeConnection();
    void failed(const QString& what, const QString& why);
    QString idColumn() const;
    QString where(const JournalFilter& filter, QList<QVariant>& binds, const QStringList& textColumns) const;

    JournalConfig m_config;
    std::function<QDateTime()> m_now;
    QString m_user;
    QString m_connectionName;
    bool m_open = false;
    bool m_off = false;
    QString m_offReason;
    int m_pruned = 0;
    // What was done to the file when it was opened, said in statusText().
    QString m_fileNote;
    FileIdentity m_fileOpened;
    FileIdentity m_walOpened;
    bool m_fileChanged = false;
    bool m_damageSeen = false;
    Status m_last;
    std::function<void(const QString&)> m_onFailure;
};

} // namespace talvek
