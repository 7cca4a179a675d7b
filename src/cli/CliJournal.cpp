#include "cli/CliJournal.h"

#include "cli/CliPrompter.h"
#include "link/RSComm.h"
#include "shared/Journal.h"
#include "shared/JournalHooks.h"
#include "shared/JournalReports.h"
#include "shared/JournalSettings.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>

namespace talvek {

namespace {

const QStringList kKinds { QStringLiteral("alarms"), QStringLiteral("writes"), QStringLiteral("transfers"),
    QStringLiteral("samples"), QStringLiteral("events") };

JournalConfig configFor(const ProgramFolder& folder, const QString& option)
{
    JournalConfig config = journalConfigFor(folder);
    if (!option.isEmpty())
        applyJournalOption(config, option);
    return config;
}

// 2026-03-05 (the day's start, local time) or 2026-03-05T14:00, and nothing
// after it (Qt reads a date from the front of a text and ignores the rest).
QDateTime sinceTime(const QString& text)
{
    static const QRegularExpression kForm(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}(?:T\\d{2}:\\d{2}(?::\\d{2})?)?$"));
    if (!kForm.match(text).hasMatch())
        return {};
    const QDate day = QDate::fromString(text, Qt::ISODate);
    if (day.isValid())
        return day.startOfDay();
    return QDateTime::fromString(text, Qt::ISODate);
}

QString local(const QDateTime& t)
{
    return t.isValid() ? t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QStringLiteral("-");
}

// One kind's rows as text lines (or CSV); a failure when it cannot be read.
Result<QString> kindText(Journal& journal, const QString& kind, const JournalFilter& filter, bool csv)
{
    QString text;
    if (kind == QLatin1String("alarms")) {
        const auto rows = journal.alarmHistory(filter);
        if (!rows)
            return rows.error();
        if (csv)
            return alarmsCsv(*rows);
        for (const AlarmSpan& r : *rows) {
            text += QStringLiteral("%1  %2  %3  %4  %5\n")
                        .arg(local(r.raised), r.cleared.isValid() ? local(r.cleared) : QStringLiteral("(standing)"),
                            durationText(r.seconds), r.press, r.text);
        }
    } else if (kind == QLatin1String("writes")) {
        const auto rows = journal.changeLog(filter);
        if (!rows)
            return rows.error();
        if (csv)
            return writesCsv(*rows);
        for (const WriteRow& r : *rows) {
            text += QStringLiteral("%1  %2  %3  %4 %5  %6 -> %7  %8  %9\n")
                        .arg(local(r.at), r.press, r.user, r.address,
                            r.parameter.isEmpty() ? QString() : QLatin1Char('(') + r.parameter + QLatin1Char(')'),
                            r.valueBefore.value_or(QStringLiteral("?")), r.valueAfter, r.source, r.outcome);
        }
    } else if (kind == QLatin1String("transfers")) {
        const auto rows = journal.transfers(filter);
        if (!rows)
            return rows.error();
        if (csv)
            return transfersCsv(*rows);
        for (const TransferRow& r : *rows) {
            text += QStringLiteral("%1  %2  %3  %4  %5  %6 rows  %7\n")
                        .arg(local(r.at), r.press, r.user, r.kind, r.file)
                        .arg(r.rows)
                        .arg(r.result);
        }
    } else if (kind == QLatin1String("samples")) {
        const auto rows = journal.samples(filter);
        if (!rows)
            return rows.error();
        if (csv)
            return samplesCsv(*rows);
        for (const SampleRow& r : *rows) {
            text += QStringLiteral("%1  %2  speed %3  brake low %4  brake high %5\n")
                        .arg(local(r.at), r.press)
                        .arg(r.speed)
                        .arg(r.brakeLow)
                        .arg(r.brakeHigh);
        }
    } else {
        const auto rows = journal.events(filter);
        if (!rows)
            return rows.error();
        if (csv)
            return eventsCsv(*rows);
        for (const EventRow& r : *rows)
            text += QStringLiteral("%1  %2  %3  %4  %5\n").arg(local(r.at), r.press, r.user, r.kind, r.detail);
    }
    return text;
}

} // namespace

CliJournal::CliJournal(
    const ProgramFolder& folder, const QString& option, RSComm& rs, Clock& clock, CliPrompter& prompter)
{
    const JournalConfig config = configFor(folder, option);
    if (!config.enabled)
        return;
    m_journal = std::make_unique<Journal>(config);
    m_journal->setFailureHandler([&prompter](const QString& text) { prompter.note(text); });
    reportedWhereItHappened(m_journal->open());
    m_hooks = std::make_unique<JournalHooks>(*m_journal, rs, clock);
    rs.setWriteSource(QStringLiteral("talvek-cli"));
}

CliJournal::~CliJournal() = default;

std::optional<QString> journalOptionProblem(const QString& since, const QString& kind)
{
    if (!since.isEmpty() && !sinceTime(since).isValid())
        return QStringLiteral("--since takes a date, 2026-03-05 or 2026-03-05T14:00");
    if (!kind.isEmpty() && !kKinds.contains(kind))
        return QStringLiteral("--kind takes ") + kKinds.join(QStringLiteral(", "));
    return std::nullopt;
}

int printJournal(const JournalRequest& request, const ProgramFolder& folder, QTextStream& out, QTextStream& err)
{
    JournalConfig config = configFor(folder, request.connection);
    if (!config.enabled) {
        err << "talvek-cli: the journal is off" << Qt::endl;
        return int(CliExit::File);
    }
    Journal journal(config);
    // A damaged file found here is set aside: its rows are not the ones
    // printed, and the run says so and does not end as done.
    QStringList told;
    journal.setFailureHandler([&told](const QString& text) { told << text; });
    const Status opened = journal.open();
    for (const QString& text : std::as_const(told))
        err << "talvek-cli: " << text << Qt::endl;
    if (!opened) {
        err << "talvek-cli: " << journal.statusText() << Qt::endl;
        return int(CliExit::File);
    }
    JournalFilter filter;
    if (!request.since.isEmpty())
        filter.from = sinceTime(request.since).toUTC();
    filter.press = request.press;
    const QStringList kinds = request.kind.isEmpty() ? kKinds : QStringList { request.kind };
    for (const QString& kind : kinds) {
        const Result<QString> text = kindText(journal, kind, filter, request.csv);
        if (!text) {
            err << "talvek-cli: the journal cannot be read: " << text.error().detail << Qt::endl;
            return int(CliExit::File);
        }
        if (kinds.size() > 1)
            out << (kind == kinds.front() ? QString() : QStringLiteral("\n")) << "[" << kind << "]\n";
        out << *text;
    }
    out.flush();
    return int(told.isEmpty() ? CliExit::Ok : CliExit::File);
}

} // namespace talvek
