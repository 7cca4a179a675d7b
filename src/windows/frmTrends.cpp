#include "windows/frmTrends.h"

#include "base/Prompter.h"
#include "shared/ExportFile.h"
#include "windows/JournalTableWindow.h"
#include "windows/PaletteColours.h"

#include <QBuffer>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cmath>

namespace talvek {

namespace {

const std::array<const char*, 4> kPeriods { "Last shift (8 h)", "Last day", "Last week", "Last month (30 days)" };
const QString kDateTime = QStringLiteral("yyyy-MM-dd HH:mm");

// The hues of the lines; each is made lighter or darker to stand out on the
// chart's background.
const QColor kSpeedHue(40, 90, 200);
const QColor kLowHue(30, 150, 60);
const QColor kHighHue(220, 120, 20);
const QColor kLimitHue(200, 30, 30);

void addSegments(QChart* chart, const QList<QList<QPointF>>& segments, const QString& name, const QColor& colour,
    QAbstractAxis* x, QAbstractAxis* y)
{
    for (qsizetype i = 0; i < segments.size(); ++i) {
        auto* line = new QLineSeries(chart);
        line->setName(name);
        QPen pen(colour);
        pen.setWidth(2);
        line->setPen(pen);
        line->append(segments[i]);
        chart->addSeries(line);
        line->attachAxis(x);
        line->attachAxis(y);
        // One legend entry per quantity, not per segment.
        if (i > 0)
            chart->legend()->markers(line).value(0)->setVisible(false);
    }
}

double highestOf(const QList<QList<QPointF>>& segments)
{
    double highest = 0;
    for (const QList<QPointF>& s : segments)
        for (const QPointF& p : s)
            highest = std::max(highest, p.y());
    return highest;
}

QValueAxis* valueAxis(QChart* chart, double highest, const QString& title, const QString& format)
{
    const TrendScale scale = trendScale(highest);
    auto* axis = new QValueAxis(chart);
    axis->setRange(0, scale.top);
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setTickInterval(scale.step);
    axis->setMinorTickCount(0);
    // Whole numbers; the unit is in the title (the chart's label format
    // takes no character beyond ASCII).
    axis->setLabelFormat(format);
    axis->setTitleText(title);
    return axis;
}

// Each press's rows in their order, split where an event broke its link.
QList<QList<SampleRow>> runsOf(const QList<SampleRow>& rows, const QList<EventRow>& events)
{
    QHash<QString, QList<qint64>> breaks;
    for (const EventRow& e : events) {
        if (e.kind == QLatin1String("offline") || e.kind == QLatin1String("comm fault"))
            breaks[e.press].append(e.at.toMSecsSinceEpoch());
    }
    QList<QList<SampleRow>> runs;
    QHash<QString, qsizetype> open; // press -> its run being filled
    for (const SampleRow& r : rows) {
        const auto run = open.constFind(r.press);
        bool broken = run == open.constEnd();
        if (!broken) {
            const qint64 before = runs[*run].last().at.toMSecsSinceEpoch();
            const qint64 at = r.at.toMSecsSinceEpoch();
            const QList<qint64>& times = breaks.value(r.press);
            broken
                = std::any_of(times.cbegin(), times.cend(), [&](qint64 t) { return t > before && t <= at; });
        }
        if (broken) {
            open[r.press] = runs.size();
            runs.append(QList<SampleRow>());
        }
        runs[open.value(r.press)].append(r);
    }
    return runs;
}

} // namespace

TrendPeriod trendPeriodFor(const std::optional<QDateTime>& oldest, const QDateTime& now)
{
    if (!oldest)
        return TrendPeriod::Shift;
    for (const TrendPeriod p : { TrendPeriod::Shift, TrendPeriod::Day, TrendPeriod::Week })
        if (*oldest >= trendStart(p, now))
            return p;
    return TrendPeriod::Month;
}

TrendRange trendRange(TrendPeriod period, const std::optional<QDateTime>& first, const QDateTime& now)
{
    constexpr qint64 kLeast = 10 * 60;
    QDateTime from = trendStart(period, now);
    if (first && *first > from)
        from = std::max(from, first->addSecs(-60));
    if (from.secsTo(now) < kLeast)
        from = now.addSecs(-kLeast);
    return { from, now };
}

TrendScale trendScale(double highest)
{
    const double h = std::max(highest, 5.0);
    const double magnitude = std::pow(10.0, std::floor(std::log10(h / 5.0)));
    for (const double factor : { 1.0, 2.0, 5.0, 10.0, 20.0 }) {
        const int step = std::max(1, int(std::lround(factor * magnitude)));
        // Room above the highest value: a line at the top is hard to see.
        const int top = int(std::ceil(h * 1.05 / step)) * step;
        if (top / step <= 6)
            return { top, step };
    }
    return { int(std::ceil(h)), std::max(1, int(std::ceil(h))) };
}

TrendSeries trendSeriesOf(
    const QList<SampleRow>& rows, const QList<EventRow>& events, std::optional<int> limit)
{
    TrendSeries all;
    all.limit = limit;
    all.yMax = limit ? *limit : 0;
    for (const QList<SampleRow>& run : runsOf(rows, events)) {
        const TrendSeries part = buildTrendSeries(run, limit);
        all.speed += part.speed;
        all.brakeLow += part.brakeLow;
        all.brakeHigh += part.brakeHigh;
        all.yMax = std::max(all.yMax, part.yMax);
    }
    return all;
}

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
    , m_follow(new QTimer(this))
{
    build();
    // The period that the data of the last month fill.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    JournalFilter month;
    month.from = trendStart(TrendPeriod::Month, now);
    const QList<SampleRow> recent = m_journal.samples(month).valueOr({});
    const QSignalBlocker quiet(m_period);
    m_period->setCurrentIndex(
        int(trendPeriodFor(recent.isEmpty() ? std::nullopt : std::optional(recent.first().at), now)));
    // The limit is read when the window is shown.
    refresh(false);
}

void frmTrends::build()
{
    setObjectName(QStringLiteral("frmTrends"));
    setWindowTitle(QStringLiteral("Trends"));
    m_period->setObjectName(QStringLiteral("cboPeriod"));
    m_press->setObjectName(QStringLiteral("cboPress"));
    m_view->setObjectName(QStringLiteral("chtTrends"));
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_follow->setObjectName(QStringLiteral("tmrFollow"));
    m_follow->setInterval(kFollowMs);
    for (const char* p : kPeriods)
        m_period->addItem(QString::fromLatin1(p));
    fillPressChoice(m_press, m_journal);
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setRubberBand(QChartView::RectangleRubberBand);
    m_chart->setBackgroundRoundness(0);
    m_chart->legend()->setAlignment(Qt::AlignBottom);

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
    top->addWidget(m_press, 1);
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

    connect(m_period, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(m_press, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(resetZoom, &QPushButton::clicked, this, [this] { m_chart->zoomReset(); });
    connect(png, &QPushButton::clicked, this, &frmTrends::exportPng);
    connect(csv, &QPushButton::clicked, this, &frmTrends::exportCsv);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    // New samples while shown; a zoomed chart is left as the user made it.
    connect(m_follow, &QTimer::timeout, this, [this] {
        if (!m_chart->isZoomed())
            refresh(false);
    });
}

TrendPeriod frmTrends::period() const
{
    return TrendPeriod(qBound(0, m_period->currentIndex(), 3));
}

QString frmTrends::pressText() const
{
    return m_press->currentIndex() > 0 ? m_press->currentText() : QStringLiteral("All presses");
}

QString frmTrends::titleText() const
{
    const QDateTime from = m_range.from.toLocalTime();
    const QDateTime to = m_range.to.toLocalTime();
    const QString end
        = from.date() == to.date() ? to.toString(QStringLiteral("HH:mm")) : to.toString(kDateTime);
    return QStringLiteral("%1 - %2, %3 to %4")
        .arg(pressText(), m_period->currentText().toLower(), from.toString(kDateTime), end);
}

void frmTrends::refresh(bool readLimit)
{
    {
        // A press that has begun recording since.
        const QSignalBlocker quiet(m_press);
        fillPressChoice(m_press, m_journal);
    }
    JournalFilter filter;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    filter.from = trendStart(period(), now);
    if (m_press->currentIndex() > 0)
        filter.press = m_press->currentText();
    const Result<QList<SampleRow>> rows = m_journal.samples(filter);
    const Result<QList<EventRow>> events = m_journal.events(filter);
    if (readLimit)
        m_limitHeld = m_limit ? m_limit() : std::nullopt;
    if (!rows || !events) {
        m_rows.clear();
        m_series = {};
        m_chart->removeAllSeries();
        m_status->setText(QStringLiteral("The journal cannot be read: ") + m_journal.statusText());
        return;
    }
    m_rows = *rows;
    m_series = trendSeriesOf(m_rows, *events, m_limitHeld);
    m_range = trendRange(period(), m_rows.isEmpty() ? std::nullopt : std::optional(m_rows.first().at), now);
    drawSeries();
    m_status->setText(
        m_rows.size() == 1 ? QStringLiteral("1 sample") : QStringLiteral("%1 samples").arg(m_rows.size()));
}

void frmTrends::drawSeries()
{
    m_chart->removeAllSeries();
    for (QAbstractAxis* axis : m_chart->axes()) {
        m_chart->removeAxis(axis);
        delete axis;
    }
    const QPalette pal = palette();
    auto* x = new QDateTimeAxis(m_chart);
    x->setFormat(
        m_range.from.secsTo(m_range.to) <= 86400 ? QStringLiteral("HH:mm") : QStringLiteral("MM-dd HH:mm"));
    x->setRange(m_range.from.toLocalTime(), m_range.to.toLocalTime());
    x->setTickCount(width() < 700 ? 4 : 7);
    x->setTitleText(QStringLiteral("Time"));
    QValueAxis* speed = valueAxis(
        m_chart, highestOf(m_series.speed), QStringLiteral("Speed (SPM)"), QStringLiteral("%.0f"));
    const double brakeTop = std::max({ highestOf(m_series.brakeLow), highestOf(m_series.brakeHigh),
        m_series.limit ? double(*m_series.limit) : 0.0 });
    QValueAxis* brake
        = valueAxis(m_chart, brakeTop, QStringLiteral("Brake response (°)"), QStringLiteral("%.0f"));
    m_chart->addAxis(x, Qt::AlignBottom);
    m_chart->addAxis(speed, Qt::AlignLeft);
    m_chart->addAxis(brake, Qt::AlignRight);
    addSegments(m_chart, m_series.speed, QStringLiteral("Speed (SPM)"), lineColour(pal, kSpeedHue), x, speed);
    addSegments(
        m_chart, m_series.brakeLow, QStringLiteral("Brake, low speed"), lineColour(pal, kLowHue), x, brake);
    addSegments(m_chart, m_series.brakeHigh, QStringLiteral("Brake, high speed"), lineColour(pal, kHighHue),
        x, brake);
    if (m_series.limit) {
        auto* limit = new QLineSeries(m_chart);
        limit->setName(QStringLiteral("Brake limit (%1°)").arg(*m_series.limit));
        QPen pen(lineColour(pal, kLimitHue));
        pen.setStyle(Qt::DashLine);
        pen.setWidth(2);
        limit->setPen(pen);
        limit->append(double(m_range.from.toMSecsSinceEpoch()), *m_series.limit);
        limit->append(double(m_range.to.toMSecsSinceEpoch()), *m_series.limit);
        m_chart->addSeries(limit);
        limit->attachAxis(x);
        limit->attachAxis(brake);
    }
    m_chart->setTitle(titleText());
    applyPalette();
}

// The chart drawn in the window's palette: its background the palette's
// base, its texts the palette's text, its grid between the two.
void frmTrends::applyPalette()
{
    const QPalette pal = palette();
    const QColor base = pal.color(QPalette::Base);
    const QColor text = pal.color(QPalette::Text);
    const QColor grid = gridColour(pal);
    m_chart->setBackgroundBrush(base);
    m_chart->setBackgroundPen(Qt::NoPen);
    m_chart->setPlotAreaBackgroundVisible(false);
    m_chart->setTitleBrush(text);
    m_chart->legend()->setLabelColor(text);
    m_view->setBackgroundBrush(pal.color(QPalette::Window));
    for (QAbstractAxis* axis : m_chart->axes()) {
        axis->setLabelsBrush(text);
        axis->setTitleBrush(text);
        axis->setLinePenColor(text);
        axis->setGridLineColor(grid);
    }
}

void frmTrends::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Shown again: what the journal has gained since.
    if (!m_follow->isActive()) {
        refresh();
        m_follow->start();
    }
}

void frmTrends::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    m_follow->stop();
}

void frmTrends::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        drawSeries();
}

void frmTrends::exportPng()
{
    FileDialogRequest request;
    request.title = QStringLiteral("Export PNG");
    request.filter = QStringLiteral("PNG Images (*.png)|*.png");
    QString press = pressText();
    press.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]+")), QStringLiteral("-"));
    request.fileName = QStringLiteral("trends-%1-%2.png")
                           .arg(press, m_range.to.toLocalTime().toString(QStringLiteral("yyyy-MM-dd-HHmm")));
    request.defaultExt = QStringLiteral("png");
    request.overwritePrompt = true;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    // The picture carries the chart's title: the press, the range and the date.
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
    if (const QString failed
        = exportFailureText(exportToFile(m_prompter, request, samplesCsv(m_rows).toUtf8()));
        !failed.isEmpty())
        m_prompter.msgBox(failed, windowTitle(), MsgIcon::Exclamation, MsgButtons::OK);
}

} // namespace talvek
