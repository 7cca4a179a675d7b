#pragma once

#include "base/Outcome.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

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
    QString outcome; // "done" or the failure's cause in words
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
// server gone) turns the journal off for the rest of the run. It then
// tells the program once (the failure handler, for the status bar) and says
// why in statusText() (System Info); records are dropped from then on. No
// call throws.
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
    // Called once, with the status-bar text, when the journal turns itself off.
    void setFailureHandler(std::function<void(const QString&)> handler) { m_onFailure = std::move(handler); }
    // "Journal: /path/journal.sqlite (SQLite, schema 2)", or why it is off.
    QString statusText() const;
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
    Status migrate();
    Status migrateStep(int toVersion);
    Status prune();
    Status exec(const QString& sql);
    Status insert(const QString& table, const QStringList& columns, const QList<QVariant>& values);
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
    Status m_last;
    std::function<void(const QString&)> m_onFailure;
};

} // namespace talvek
