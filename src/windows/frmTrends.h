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

namespace talvek {

class Prompter;

// Speed and brake response over the last shift, day, week or month, from
// the journal's samples; zoom with the mouse (a rectangle), "Reset &Zoom" to
// see all again; the brake-response alarm limit as a line where the
// controller's parameters give one. Exports the picture (PNG) and the
// samples (CSV).
class frmTrends final : public QDialog
{
    Q_OBJECT

public:
    // limit: the brake-response alarm limit in degrees, when known.
    frmTrends(Journal& journal, Prompter& prompter, std::function<std::optional<int>()> limit, QWidget* parent);

    void refresh();
    QChart* chart() const { return m_chart; }
    const TrendSeries& series() const { return m_series; }

private:
    void exportPng();
    void exportCsv();
    TrendPeriod period() const;

    Journal& m_journal;
    Prompter& m_prompter;
    std::function<std::optional<int>()> m_limit;
    QComboBox* m_period;
    QComboBox* m_press;
    QChart* m_chart;
    QChartView* m_view;
    QLabel* m_status;
    TrendSeries m_series;
    QList<SampleRow> m_rows;
};

} // namespace talvek
