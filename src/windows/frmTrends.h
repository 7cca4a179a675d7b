#pragma once

#include "shared/Journal.h"
#include "shared/JournalReports.h"

#include <QDialog>
#include <functional>
#include <optional>

class QChart;
class QChartView;
class QComboBox;
class QLabel;
class QTimer;

namespace talvek {

class Prompter;

// Where the time axis of the trends runs.
struct TrendRange
{
    QDateTime from;
    QDateTime to;
};

// The period the window opens on: the shortest that holds every sample of
// the last month (oldest: the first of them), the last shift when there is
// none.
TrendPeriod trendPeriodFor(const std::optional<QDateTime>& oldest, const QDateTime& now);

// The time axis of a period: from its first sample (a little before it) to
// now, so that minutes of data fill the chart; the whole period when it has
// no samples; ten minutes at least.
TrendRange trendRange(TrendPeriod period, const std::optional<QDateTime>& first, const QDateTime& now);

// A value axis that starts at 0 with whole-number ticks: its top and the
// step between ticks (1, 2 or 5 times a power of ten, at most 6 steps).
struct TrendScale
{
    int top = 10;
    int step = 2;
};
TrendScale trendScale(double highest);

// The series of the samples with each press's line broken where the press
// went OFFLINE (or its link failed) between two samples, as well as where
// samples are missing.
TrendSeries trendSeriesOf(
    const QList<SampleRow>& rows, const QList<EventRow>& events, std::optional<int> limit);

// Speed and brake response over the last shift, day, week or month, from
// the journal's samples, each on its own axis; zoom with the mouse (a
// rectangle), "Reset &Zoom" to see all again; the brake-response alarm limit
// as a line where the controller's parameters give one. It follows the
// journal while shown. Exports the picture (PNG, titled with the press and
// the range) and the samples (CSV).
class frmTrends final : public QDialog
{
    Q_OBJECT

public:
    // How often the shown window looks for new samples.
    static constexpr int kFollowMs = 30 * 1000;

    // limit: the brake-response alarm limit in degrees, when known.
    frmTrends(Journal& journal, Prompter& prompter, std::function<std::optional<int>()> limit, QWidget* parent);

    // Reads the journal again (and the limit when readLimit) and redraws.
    void refresh(bool readLimit = true);
    QChart* chart() const { return m_chart; }
    QChartView* view() const { return m_view; }
    const TrendSeries& series() const { return m_series; }
    TrendPeriod period() const;
    const TrendRange& range() const { return m_range; }
    QTimer* followTimer() const { return m_follow; }
    // "Press 2 - last shift, 08.12.2026 07:09 to 07:21": the chart's title.
    QString titleText() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void build();
    void drawSeries();
    void applyPalette();
    void exportPng();
    void exportCsv();
    QString pressText() const;

    Journal& m_journal;
    Prompter& m_prompter;
    std::function<std::optional<int>()> m_limit;
    std::optional<int> m_limitHeld;
    QComboBox* m_period;
    QComboBox* m_press;
    QChart* m_chart;
    QChartView* m_view;
    QLabel* m_status;
    QTimer* m_follow;
    TrendSeries m_series;
    TrendRange m_range;
    QList<SampleRow> m_rows;
};

} // namespace talvek
