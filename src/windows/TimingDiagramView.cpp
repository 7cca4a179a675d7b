#include "windows/TimingDiagramView.h"

#include "windows/DisplayText.h"
#include "windows/PaletteColours.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace talvek {

namespace {

constexpr int kMargin = 6;
constexpr int kChannelRows = TimingDiagramInput::kChannelCount;

QString degreesText(double degrees)
{
    return QString::number(degrees, 'f', 1) + QStringLiteral("°");
}

} // namespace

TimingDiagramView::TimingDiagramView(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("timingDiagram"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TimingDiagramView::setDiagram(const TimingDiagram& diagram)
{
    m_diagram = diagram;
    update();
}

int TimingDiagramView::labelWidth() const
{
    int widest = 0;
    for (const DiagramChannel& c : m_diagram.channels)
        widest = qMax(widest, fontMetrics().horizontalAdvance(c.label));
    // The labels take what they need while the cycle keeps 360 pixels, and
    // two fifths of the width at least; the rest is the cycle.
    // A pixel beyond the rounded advance: eliding measures the text unrounded.
    return qMin(widest + 1 + 2 * kMargin, qMax(width() * 2 / 5, width() - 360));
}

int TimingDiagramView::axisHeight() const { return fontMetrics().height() + 8; }
int TimingDiagramView::captionHeight() const { return fontMetrics().height() + 6; }

QRect TimingDiagramView::plotRect() const
{
    const int left = labelWidth();
    const int right = width() - kMargin - fontMetrics().horizontalAdvance(QStringLiteral("360°")) / 2;
    return QRect(QPoint(left, axisHeight()), QPoint(right, height() - captionHeight() - 1));
}

double TimingDiagramView::xOf(double degrees) const
{
    const QRect plot = plotRect();
    return plot.left() + degrees / 360.0 * plot.width();
}

QRect TimingDiagramView::rowRect(int channel) const
{
    const QRect plot = plotRect();
    const int rowHeight = plot.height() / kChannelRows;
    return QRect(0, plot.top() + channel * rowHeight, width(), rowHeight);
}

int TimingDiagramView::barAt(const QPoint& point) const
{
    for (const DiagramChannel& c : m_diagram.channels) {
        if (!rowRect(c.channel).contains(point))
            continue;
        for (const DiagramSpan& s : c.spans) {
            if (point.x() >= xOf(s.from) && point.x() <= xOf(s.to))
                return c.channel;
        }
    }
    return -1;
}

QString TimingDiagramView::toolTipOf(int channel) const
{
    if (channel < 0 || channel >= m_diagram.channels.size())
        return QString();
    const DiagramChannel& c = m_diagram.channels.at(channel);
    QString text = c.label;
    const auto setpoint = [this](const QString& caption, const QString& shown, std::optional<int> value) {
        QString line = caption + shown;
        if (value)
            line += QStringLiteral(" (") + degreesText(divisionsToDegrees(*value, m_diagram.scale)) + QLatin1Char(')');
        return line;
    };
    text += QLatin1Char('\n') + setpoint(QStringLiteral("ON: "), c.onText, c.on);
    text += QLatin1Char('\n') + setpoint(QStringLiteral("OFF: "), c.offText, c.off);
    if (c.isBar())
        text += QStringLiteral("\nLength: ") + degreesText(c.lengthDegrees);
    else
        text += QLatin1Char('\n') + c.note;
    return text;
}

QSize TimingDiagramView::sizeHint() const { return { 640, 320 }; }
QSize TimingDiagramView::minimumSizeHint() const { return { 420, 220 }; }

void TimingDiagramView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));
    const QRect plot = plotRect();
    drawAxis(p, plot);
    for (const DiagramChannel& c : m_diagram.channels)
        drawRow(p, c);
    if (m_diagram.position.shown) {
        QPen pen(palette().color(QPalette::Link), 2);
        p.setPen(pen);
        const double x = xOf(m_diagram.position.degrees);
        p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    p.setPen(readableColor(palette().color(QPalette::Text), palette().color(QPalette::Base)));
    const QRect caption(plot.left(), plot.bottom() + 2, width() - plot.left(), captionHeight());
    p.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter, m_diagram.caption());
}

void TimingDiagramView::drawAxis(QPainter& p, const QRect& plot) const
{
    const QColor grid = palette().color(QPalette::Mid);
    const QColor text = readableColor(palette().color(QPalette::Text), palette().color(QPalette::Base));
    for (int deg = 0; deg <= 360; deg += 30) {
        const double x = xOf(deg);
        p.setPen(deg % 90 == 0 ? text : grid);
        p.drawLine(QPointF(x, plot.top() - 3), QPointF(x, plot.bottom()));
        if (deg % 90 == 0 || width() > 700) {
            const QString label = QString::number(deg) + QStringLiteral("°");
            const int w = fontMetrics().horizontalAdvance(label);
            p.setPen(text);
            p.drawText(QPointF(x - w / 2.0, fontMetrics().ascent() + 2), label);
        }
    }
}

void TimingDiagramView::drawRow(QPainter& p, const DiagramChannel& c) const
{
    const QRect row = rowRect(c.channel);
    const QPalette& pal = palette();
    const QColor background = pal.color(c.channel % 2 == 1 ? QPalette::AlternateBase : QPalette::Base);
    if (c.channel % 2 == 1)
        p.fillRect(QRect(0, row.top(), width(), row.height()), background);
    // Text the palette gives, made to read on the row it is drawn on.
    const QColor text = readableColor(pal.color(QPalette::Text), background);
    p.setPen(text);
    p.drawText(QRect(kMargin, row.top(), labelWidth() - 2 * kMargin, row.height()),
        Qt::AlignLeft | Qt::AlignVCenter, fontMetrics().elidedText(c.label, Qt::ElideMiddle, labelWidth() - 2 * kMargin));
    const int inset = qMax(2, row.height() / 5);
    const int top = row.top() + inset;
    const int h = row.height() - 2 * inset;
    if (c.isBar()) {
        for (const DiagramSpan& s : c.spans) {
            const QRectF bar(QPointF(xOf(s.from), top), QPointF(xOf(s.to), top + h));
            p.fillRect(bar, pal.color(QPalette::Highlight));
        }
        return;
    }
    QFont italic = p.font();
    italic.setItalic(true);
    p.save();
    p.setFont(italic);
    const QRectF across(QPointF(xOf(0), top), QPointF(xOf(360), top + h));
    if (c.kind == DiagramChannel::Kind::BeyondScale) {
        // Marked across the whole cycle: the controller refuses the window.
        p.fillRect(across, QBrush(text, Qt::BDiagPattern));
        p.setPen(text);
        p.drawRect(across);
        const QRectF label = QRectF(across).adjusted(4, 0, 0, 0);
        const QString text = c.note;
        const QRectF box(label.topLeft(), QSizeF(fontMetrics().horizontalAdvance(text) + 8, h));
        p.fillRect(box, pal.color(QPalette::Base));
        p.drawText(box, Qt::AlignCenter, text);
    } else {
        // The placeholder colour is often half transparent: judged as drawn.
        p.setPen(readableColor(opaqueOn(pal.color(QPalette::PlaceholderText), background), background));
        p.drawText(across.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, c.note);
    }
    p.restore();
}

bool TimingDiagramView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        int channel = -1;
        for (const DiagramChannel& c : m_diagram.channels) {
            if (rowRect(c.channel).contains(help->pos()))
                channel = c.channel;
        }
        if (channel < 0)
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), toolTipOf(channel), this, rowRect(channel));
        return true;
    }
    return QWidget::event(event);
}

void TimingDiagramView::mousePressEvent(QMouseEvent* event)
{
    const int channel = event->button() == Qt::LeftButton ? barAt(event->position().toPoint()) : -1;
    if (channel >= 0)
        emit barClicked(channel);
    else
        QWidget::mousePressEvent(event);
}

void TimingDiagramView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    menu.addAction(QStringLiteral("E&xport as PNG..."), this, &TimingDiagramView::exportRequested);
    menu.exec(event->globalPos());
}

} // namespace talvek
