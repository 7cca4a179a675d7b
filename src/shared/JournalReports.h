#pragma once

#include "shared/Journal.h"

#include <QDateTime>
#include <QList>
#include <QPointF>
#include <QString>
#include <optional>

namespace talvek {

class RSComm;

// The journal's rows as text and as chart series: what the windows show and
// export and what talvek-cli prints, in one place.

// CSV (RFC 4180: comma separated, CR LF line ends, a field with a comma,
// quote or line break in quotes), a header line first. Times are UTC, ISO
// 8601 ("2024-03-05T14:07:00Z").
QString alarmsCsv(const QList<AlarmSpan>& rows);
QString writesCsv(const QList<WriteRow>& rows);
QString transfersCsv(const QList<TransferRow>& rows);
QString samplesCsv(const QList<SampleRow>& rows);
QString eventsCsv(const QList<EventRow>& rows);
QString csvField(const QString& text);

// "1 h 05 min", "3 min 20 s", "45 s": how long an alarm stood.
QString durationText(qint64 seconds);

// The periods the trend window offers, and where each begins before `now`.
enum class TrendPeriod
{
    Shift, // the last 8 hours
    Day,
    Week,
    Month, // 30 days
};
QDateTime trendStart(TrendPeriod period, const QDateTime& now);

// The chart's series: x is the time in ms since the epoch (UTC), y the value.
// A press's gap of more than three sample intervals (OFFLINE, stopped)
// breaks the line: the next point starts a new segment.
struct TrendSeries
{
    QList<QList<QPointF>> speed;
    QList<QList<QPointF>> brakeLow;
    QList<QList<QPointF>> brakeHigh;
    // The brake-response alarm limit, degrees, when the parameters give one.
    std::optional<int> limit;
    double yMax = 0; // the highest value shown, limit included
};
TrendSeries buildTrendSeries(const QList<SampleRow>& rows, std::optional<int> limit);

// The brake-response alarm limit the trends draw: the controller's when
// ONLINE and it answers, else the working data's; none when neither has one
// (a read that failed is never taken as a limit).
std::optional<int> brakeResponseLimit(RSComm& rs);

} // namespace talvek
