#include "shared/JournalReports.h"

#include "link/K7700Registers.h"
#include "link/RSComm.h"
#include "shared/JournalHooks.h"
#include "shared/MachineData.h"

#include <QStringList>

namespace talvek {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString timeText(const QDateTime& t)
{
    return t.isValid() ? t.toUTC().toString(Qt::ISODate) : QString();
}

QString line(const QStringList& fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString& f : fields)
        quoted << csvField(f);
    return quoted.join(QLatin1Char(',')) + kCrLf;
}

QString head(const JournalRow& r)
{
    return timeText(r.at);
}

} // namespace

QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString doubled = text;
    doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

QString durationText(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg((seconds % 3600) / 60, 2, 10, QLatin1Char('0'));
}

QString alarmsCsv(const QList<AlarmSpan>& rows)
{
    QString out = line({ QStringLiteral("raised"), QStringLiteral("cleared"), QStringLiteral("seconds"),
        QStringLiteral("press"), QStringLiteral("user"), QStringLiteral("flag"), QStringLiteral("text") });
    for (const AlarmSpan& r : rows) {
        out += line({ timeText(r.raised), timeText(r.cleared), QString::number(r.seconds), r.press, r.user,
            QString::number(r.flag), r.text });
    }
    return out;
}

QString writesCsv(const QList<WriteRow>& rows)
{
    QString out = line({ QStringLiteral("time"), QStringLiteral("press"), QStringLiteral("user"),
        QStringLiteral("address"), QStringLiteral("parameter"), QStringLiteral("before"), QStringLiteral("after"),
        QStringLiteral("source"), QStringLiteral("outcome") });
    for (const WriteRow& r : rows) {
        out += line({ head(r), r.press, r.user, r.address, r.parameter, r.valueBefore.value_or(QString()),
            r.valueAfter, r.source, r.outcome });
    }
    return out;
}

QString transfersCsv(const QList<TransferRow>& rows)
{
    QString out = line({ QStringLiteral("time"), QStringLiteral("press"), QStringLiteral("user"),
        QStringLiteral("kind"), QStringLiteral("file"), QStringLiteral("result"), QStringLiteral("rows") });
    for (const TransferRow& r : rows)
        out += line({ head(r), r.press, r.user, r.kind, r.file, r.result, QString::number(r.rows) });
    return out;
}

QString samplesCsv(const QList<SampleRow>& rows)
{
    QString out = line({ QStringLiteral("time"), QStringLiteral("press"), QStringLiteral("speed"),
        QStringLiteral("brake low"), QStringLiteral("brake high") });
    for (const SampleRow& r : rows) {
        out += line({ head(r), r.press, QString::number(r.speed), QString::number(r.brakeLow),
            QString::number(r.brakeHigh) });
    }
    return out;
}

QString eventsCsv(const QList<EventRow>& rows)
{
    QString out = line({ QStringLiteral("time"), QStringLiteral("press"), QStringLiteral("user"),
        QStringLiteral("kind"), QStringLiteral("detail") });
    for (const EventRow& r : rows)
        out += line({ head(r), r.press, r.user, r.kind, r.detail });
    return out;
}

QDateTime trendStart(TrendPeriod period, const QDateTime& now)
{
    switch (period) {
    case TrendPeriod::Shift: return now.addSecs(-8 * 3600);
    case TrendPeriod::Day: return now.addDays(-1);
    case TrendPeriod::Week: return now.addDays(-7);
    case TrendPeriod::Month: return now.addDays(-30);
    }
    return now;
}

std::optional<int> brakeResponseLimit(RSComm& rs)
{
    if (rs.OnlineMode && !rs.CommError && !rs.isBusy()) {
        const Result<QString> held = rs.RSRead(reg::kMaxStoppingResponse);
        if (held)
            return paramValueFromText(*held);
    }
    const int value = CurrentData.ParamValue.value(paramRowOf(reg::kMaxStoppingResponse), 0);
    return value > 0 ? std::optional<int>(value) : std::nullopt;
}

TrendSeries buildTrendSeries(const QList<SampleRow>& rows, std::optional<int> limit)
{
    constexpr qint64 kGapMs = 3 * JournalHooks::kSampleIntervalMs;
    TrendSeries s;
    s.limit = limit;
    if (limit)
        s.yMax = *limit;
    QHash<QString, qint64> lastAt; // per press: a plant's presses each draw their own line
    QHash<QString, qsizetype> segment;
    for (const SampleRow& r : rows) {
        const qint64 x = r.at.toMSecsSinceEpoch();
        const auto last = lastAt.constFind(r.press);
        if (last == lastAt.constEnd() || x - *last > kGapMs) {
            segment[r.press] = s.speed.size();
            s.speed.append(QList<QPointF>());
            s.brakeLow.append(QList<QPointF>());
            s.brakeHigh.append(QList<QPointF>());
        }
        lastAt[r.press] = x;
        const qsizetype k = segment.value(r.press);
        s.speed[k] << QPointF(double(x), r.speed);
        s.brakeLow[k] << QPointF(double(x), r.brakeLow);
        s.brakeHigh[k] << QPointF(double(x), r.brakeHigh);
        s.yMax = std::max({ s.yMax, double(r.speed), double(r.brakeLow), double(r.brakeHigh) });
    }
    return s;
}

} // namespace talvek
