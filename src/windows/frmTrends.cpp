#include "windows/frmTrends.h"

#include "base/Prompter.h"
#include "shared/ExportFile.h"
#include "windows/JournalTableWindow.h"

#include <QBuffer>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

namespace talvek {

namespace {

const std::array<const char*, 4> kPeriods { "Last shift (8 h)", "Last day", "Last week", "Last month (30 days)" };

void addSegments(QChart* chart, const QList<QList<QPointF>>& segments, const QString& name, const QColor& colour,
    QAbstractAxis* x, QAbstractAxis* y)
{
    for (qsizetype i = 0; i < segments.size(); ++i) {
        auto* line = new QLineSeries(chart);
        line->setName(name);
        line->setColor(colour);
        line->append(segments[i]);
        chart->addSeries(line);
        line->attachAxis(x);
        line->attachAxis(y);
        // One legend entry per quantity, not per segment.
        if (i > 0)
            chart->legend()->markers(line).value(0)->setVisible(false);
    }
}

} // namespace

frmTrends::frmTrends(
    Journal& journal, Prompter& prompter, std::function<std::optional<int>()> limit, QWidget* parent)
    : QDialog(parent)
    , m_journal(journal)
    , m_prompter(prompter)
    , m_limit(std::move(limit))
    , m_period(new QComboBox(this))
    , m_press(new QComboBox(this))
    , m_chart(new QChart)
    , m_view(new QChartView(m_chart, this))
    , m_status(new QLabel(this))
{
    setObjectName(QStringLiteral("frmTrends"));
    setWindowTitle(QStringLiteral("Trends"));
    m_period->setObjectName(QStringLiteral("cboPeriod"));
    m_press->setObjectName(QStringLiteral("cboPress"));
    m_view->setObjectName(QStringLiteral("chtTrends"));
    m_status->setObjectName(QStringLiteral("lblStatus"));
    for (const char* p : kPeriods)
        m_period->addItem(QString::fromLatin1(p));
    m_period->setCurrentIndex(2);
    fillPressChoice(m_press, m_journal);
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setRubberBand(QChartView::RectangleRubberBand);

    auto* periodLabel = new QLabel(QStringLiteral("&Period:"), this);
    periodLabel->setBuddy(m_period);
    auto* pressLabel = new QLabel(QStringLiteral("P&ress:"), this);
    pressLabel->setBuddy(m_press);
    auto* resetZoom = new QPushButton(QStringLiteral("Reset &Zoom"), this);
    resetZoom->setObjectName(QStringLiteral("cmdResetZoom"));
    auto* png = new QPushButton(QStringLiteral("Export P&NG..."), this);
    png->setObjectName(QStringLiteral("cmdExportPng"));
    auto* csv = new QPushButton(QStringLiteral("Export &CSV..."), this);
    csv->setObjectName(QStringLiteral("cmdExportCsv"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);

    auto* top = new QHBoxLayout;
    top->addWidget(periodLabel);
    top->addWidget(m_period);
    top->addWidget(pressLabel);
    top->addWidget(m_press);
    top->addStretch(1);
    top->addWidget(resetZoom);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(png);
    bottom->addWidget(csv);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_view, 1);
    layout->addLayout(bottom);
    resize(900, 520);

    connect(m_period, &QComboBox::currentIndexChanged, this, &frmTrends::refresh);
    connect(m_press, &QComboBox::currentIndexChanged, this, &frmTrends::refresh);
    connect(resetZoom, &QPushButton::clicked, this, [this] { m_chart->zoomReset(); });
    connect(png, &QPushButton::clicked, this, &frmTrends::exportPng);
    connect(csv, &QPushButton::clicked, this, &frmTrends::exportCsv);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    refresh();
}

TrendPeriod frmTrends::period() const
{
    return TrendPeriod(qBound(0, m_period->currentIndex(), 3));
}

void frmTrends::refresh()
{
    JournalFilter filter;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    filter.from = trendStart(period(), now);
    if (m_press->currentIndex() > 0)
        filter.press = m_press->currentText();
    const Result<QList<SampleRow>> rows = m_journal.samples(filter);
    m_chart->removeAllSeries();
    for (QAbstractAxis* axis : m_chart->axes())
        m_chart->removeAxis(axis);
    if (!rows) {
        m_rows.clear();
        m_series = {};
        m_status->setText(QStringLiteral("The journal cannot be read: ") + m_journal.statusText());
        return;
    }
    m_rows = *rows;
    m_series = buildTrendSeries(m_rows, m_limit ? m_limit() : std::nullopt);

    auto* x = new QDateTimeAxis(m_chart);
    x->setFormat(period() == TrendPeriod::Shift || period() == TrendPeriod::Day ? QStringLiteral("HH:mm")
                                                                                 : QStringLiteral("MM-dd HH:mm"));
    x->setRange(filter.from.toLocalTime(), now.toLocalTime());
    x->setTitleText(QStringLiteral("Time"));
    auto* y = new QValueAxis(m_chart);
    y->setRange(0, std::max(10.0, m_series.yMax * 1.1));
    y->setTitleText(QStringLiteral("SPM / degrees"));
    m_chart->addAxis(x, Qt::AlignBottom);
    m_chart->addAxis(y, Qt::AlignLeft);
    addSegments(m_chart, m_series.speed, QStringLiteral("Machine Speed (SPM)"), QColor(40, 90, 200), x, y);
    addSegments(m_chart, m_series.brakeLow, QStringLiteral("Brake Response Low Speed (°)"), QColor(30, 150, 60), x, y);
    addSegments(
        m_chart, m_series.brakeHigh, QStringLiteral("Brake Response High Speed (°)"), QColor(220, 120, 20), x, y);
    if (m_series.limit) {
        auto* limit = new QLineSeries(m_chart);
        limit->setName(QStringLiteral("Maximum Allowed Stopping Response (%1°)").arg(*m_series.limit));
        QPen pen(QColor(200, 30, 30));
        pen.setStyle(Qt::DashLine);
        pen.setWidth(2);
        limit->setPen(pen);
        limit->append(double(filter.from.toMSecsSinceEpoch()), *m_series.limit);
        limit->append(double(now.toMSecsSinceEpoch()), *m_series.limit);
        m_chart->addSeries(limit);
        limit->attachAxis(x);
        limit->attachAxis(y);
    }
    m_status->setText(QStringLiteral("%1 samples").arg(m_rows.size()));
}

void frmTrends::exportPng()
{
    FileDialogRequest request;
    request.title = QStringLiteral("Export PNG");
    request.filter = QStringLiteral("PNG Images (*.png)|*.png");
    request.fileName = QStringLiteral("trends.png");
    request.defaultExt = QStringLiteral("png");
    request.overwritePrompt = true;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!m_view->grab().save(&buffer, "PNG")) {
        m_prompter.msgBox(QStringLiteral("The chart could not be drawn as a picture."), windowTitle(),
            MsgIcon::Exclamation, MsgButtons::OK);
        return;
    }
    if (const QString failed = exportFailureText(exportToFile(m_prompter, request, bytes)); !failed.isEmpty())
        m_prompter.msgBox(failed, windowTitle(), MsgIcon::Exclamation, MsgButtons::OK);
}

void frmTrends::exportCsv()
{
    FileDialogRequest request;
    request.title = QStringLiteral("Export CSV");
    request.filter = QStringLiteral("CSV Files (*.csv)|*.csv|All Files (*.*)|*.*");
    request.fileName = QStringLiteral("trends.csv");
    request.defaultExt = QStringLiteral("csv");
    request.overwritePrompt = true;
    if (const QString failed = exportFailureText(exportToFile(m_prompter, request, samplesCsv(m_rows).toUtf8())); !failed.isEmpty())
        m_prompter.msgBox(failed, windowTitle(), MsgIcon::Exclamation, MsgButtons::OK);
}

} // namespace talvek
