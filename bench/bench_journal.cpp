// The press journal's size and write time over a simulated year: a sample of
// speed and brake response every minute (525,600), the brake-response alarm
// raised and cleared once a week, two other alarms a day, twenty writes and
// one transfer a shift, as the program records them (one committed insert
// each), on SQLite in WAL mode.
//
// Usage: bench_journal [days, default 365] [file, default a temporary one]
//        bench_journal --fill-week FILE [PRESS]
//   --fill-week writes eight days of samples ending now (a week and a day of
//   the next, so the brake is seen serviced), with the brake wearing
//   as k7700-sim --brake-drift wears it (limit 300) and its alarm, into FILE:
//   what the demo's Trends and Alarm History windows show at once.

#include "shared/Journal.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

using namespace talvek;

namespace {

constexpr int kLimit = 300;

// The brake of k7700-sim --brake-drift at a point of its week (0..1).
int brakeLow(double f)
{
    return kLimit / 2 + int(kLimit * 0.2 * f);
}
int brakeHigh(double f)
{
    return kLimit * 3 / 4 + int(kLimit * 0.3 * f);
}

qint64 fileSize(const QString& path)
{
    return QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
}

// Records `minutes` of a press from `start`; returns the rows written.
qint64 simulate(Journal& journal, QDateTime& now, const QDateTime& start, qint64 minutes, bool busyPress)
{
    const QString brake = QStringLiteral("Brake Response Too Long - Service Brake (F858)");
    qint64 rows = 0;
    bool brakeAlarm = false;
    constexpr qint64 kWeek = 7 * 24 * 60;
    for (qint64 m = 0; m < minutes; ++m) {
        now = start.addSecs(60 * m);
        const double f = double(m % kWeek) / double(kWeek);
        const int high = brakeHigh(f);
        journal.recordSample(250, brakeLow(f), high);
        ++rows;
        if ((high > kLimit) != brakeAlarm) {
            brakeAlarm = !brakeAlarm;
            journal.recordAlarm({ 0, brake, brakeAlarm });
            ++rows;
        }
        if (!busyPress)
            continue;
        const qint64 minuteOfDay = m % (24 * 60);
        if (minuteOfDay == 300 || minuteOfDay == 1000) { // a short can alarm twice a day, for 3 minutes
            journal.recordAlarm({ 1, QStringLiteral("Short Can/Tear Off (F2)"), true });
            ++rows;
        }
        if (minuteOfDay == 303 || minuteOfDay == 1003) {
            journal.recordAlarm({ 1, QStringLiteral("Short Can/Tear Off (F2)"), false });
            ++rows;
        }
        if (minuteOfDay % 480 == 10) { // each shift: twenty writes, one transfer, the end of shift
            for (int w = 0; w < 20; ++w)
                journal.recordWrite(QStringLiteral("W1026"), QStringLiteral("Low Speed (SPM)"), QStringLiteral("250"),
                    QStringLiteral("260"), QStringLiteral("Set-up Parameters"), done());
            journal.recordTransfer(QStringLiteral("upload all"), QStringLiteral("/plant/line1.sdt"), done(), 34);
            journal.recordShiftEnd(QStringLiteral("123456"), QStringLiteral("42"));
            rows += 22;
        }
        if (!journal.isOpen())
            break;
    }
    return rows;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QDateTime now = QDateTime::currentDateTimeUtc();
    if (args.value(0) == QLatin1String("--fill-week") && args.size() >= 2) {
        JournalConfig config;
        config.file = args.at(1);
        config.press = args.value(2);
        Journal journal(config, [&now] { return now; });
        if (!journal.open()) {
            std::fprintf(stderr, "%s\n", qPrintable(journal.statusText()));
            return 1;
        }
        const QDateTime end = now;
        const qint64 rows = simulate(journal, now, end.addDays(-8), 8 * 24 * 60, false);
        std::printf("%lld rows of a week written to %s\n", static_cast<long long>(rows), qPrintable(config.file));
        return journal.isOpen() ? 0 : 1;
    }
    const int days = args.size() > 0 ? std::max(1, args.at(0).toInt()) : 365;
    QTemporaryDir dir;
    JournalConfig config;
    config.file = args.size() > 1 ? args.at(1) : dir.filePath(QStringLiteral("journal.sqlite"));
    const QDateTime start = now.addDays(-days);
    Journal journal(config, [&now] { return now; });
    if (!journal.open()) {
        std::fprintf(stderr, "%s\n", qPrintable(journal.statusText()));
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    const qint64 rows = simulate(journal, now, start, qint64(days) * 24 * 60, true);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("%d simulated days: %lld rows in %.1f s (%.1f us a row), file %.1f MiB (with its WAL)\n", days,
        static_cast<long long>(rows), seconds, 1e6 * seconds / double(rows), double(fileSize(config.file)) / 1048576.0);
    // Reopened a year later: pruning at start with the default retention.
    now = now.addDays(400 - days + 30);
    Journal later(config, [&now] { return now; });
    QElapsedTimer pruneTimer;
    pruneTimer.start();
    if (!later.open()) {
        std::fprintf(stderr, "%s\n", qPrintable(later.statusText()));
        return 1;
    }
    std::printf("opened 30 days past the retention: %d rows pruned in %.2f s\n", later.prunedRows(),
        double(pruneTimer.nsecsElapsed()) / 1e9);
    return journal.isOpen() ? 0 : 1;
}
