#pragma once

#include "shared/TimingDiagram.h"

#include <QWidget>

namespace talvek {

// The PLS channels over the press cycle: one row per channel, named as the
// grid names it, a bar from its ON to its OFF angle on a 0..359° axis, and
// the machine position as a vertical line. Drawn in the palette's colours,
// its texts made to read at 4.5:1 on what they are drawn on.
class TimingDiagramView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TimingDiagramView)

public:
    explicit TimingDiagramView(QWidget* parent = nullptr);

    void setDiagram(const TimingDiagram& diagram);
    const TimingDiagram& diagram() const { return m_diagram; }

    // Where things are drawn at the widget's present size: the x of an
    // angle on the axis, the band of a channel's row, the channel whose bar
    // lies under a point (-1: none).
    double xOf(double degrees) const;
    QRect rowRect(int channel) const;
    // The width of the channels' names at the left of the rows.
    int labelWidth() const;
    int barAt(const QPoint& point) const;
    // The text of the tool tip over a channel's row.
    QString toolTipOf(int channel) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // A bar was clicked.
    void barClicked(int channel);
    // The operator asked for the diagram as a picture (context menu).
    void exportRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    int axisHeight() const;
    int captionHeight() const;
    QRect plotRect() const;
    void drawAxis(QPainter& p, const QRect& plot) const;
    void drawRow(QPainter& p, const DiagramChannel& c) const;

    TimingDiagram m_diagram;
};

} // namespace talvek
