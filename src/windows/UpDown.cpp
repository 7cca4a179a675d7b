#include "windows/UpDown.h"

#include "base/BasicText.h"
#include "shared/NumericEntry.h"

#include <QKeyEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace talvek {

namespace {

QToolButton* arrowButton(Qt::ArrowType arrow, const char* name, QWidget* parent)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setArrowType(arrow);
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoRepeat(true);
    b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    return b;
}

} // namespace

UpDown::UpDown(QWidget* parent)
    : QWidget(parent)
    , m_up(arrowButton(Qt::UpArrow, "up", this))
    , m_down(arrowButton(Qt::DownArrow, "down", this))
{
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addWidget(m_up);
    layout->addWidget(m_down);
    connect(m_up, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { stepBy(-1); });
}

void UpDown::setRange(int min, int max)
{
    m_min = min;
    m_max = max;
}

void UpDown::setBuddy(BuddyRead read, BuddyWrite write)
{
    m_read = std::move(read);
    m_write = std::move(write);
}

void UpDown::stepBy(int clicks)
{
    if (!isEnabled())
        return;
    if (m_guard && !m_guard())
        return;
    const qint64 current = m_read ? roundedInt32(Val(m_read())) : 0;
    const qint64 lo = std::min(m_min, m_max);
    const qint64 hi = std::max(m_min, m_max);
    const qint64 next = std::clamp(current + qint64(clicks) * m_increment, lo, hi);
    if (next == current)
        return;
    m_origin = int(current);
    if (m_write)
        m_write(QString::number(next));
    emit Change();
}

QSize UpDown::sizeHint() const
{
    return { 17, 22 };
}

void UpDown::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
        stepBy(1);
        return;
    case Qt::Key_Down:
        stepBy(-1);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void UpDown::paintEvent(QPaintEvent*)
{
    if (!hasFocus())
        return;
    QStylePainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

void UpDown::focusInEvent(QFocusEvent* event)
{
    update();
    QWidget::focusInEvent(event);
}

void UpDown::focusOutEvent(QFocusEvent* event)
{
    update();
    QWidget::focusOutEvent(event);
}

} // namespace talvek
