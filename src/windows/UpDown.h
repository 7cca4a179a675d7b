#pragma once

#include <QWidget>
#include <functional>

class QToolButton;

namespace talvek {

// The up-down control paired with a numeric text box: two arrow buttons that
// step a value between Min and Max. It holds no value of its own: it reads
// the value from its buddy (the field's value text) before each step and
// writes the stepped value back, then raises Change. A step that would leave
// Min..Max stops at the limit; a step that changes nothing raises nothing.
//
// The arrows do not take the focus when clicked (a user of the control may
// give them click focus), so a click does not leave the text box by itself;
// a step guard can refuse a step. The control is a tab stop; with the focus,
// the Up and Down keys step it as the arrows do.
class UpDown final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UpDown)

public:
    explicit UpDown(QWidget* parent = nullptr);

    int Min() const { return m_min; }
    int Max() const { return m_max; }
    int increment() const { return m_increment; }
    void setMin(int min) { m_min = min; }
    void setMax(int max) { m_max = max; }
    void setIncrement(int increment) { m_increment = increment; }
    void setRange(int min, int max);

    using BuddyRead = std::function<QString()>;
    using BuddyWrite = std::function<void(const QString&)>;
    void setBuddy(BuddyRead read, BuddyWrite write);
    // Asked before each step; a step it refuses does not happen.
    void setStepGuard(std::function<bool()> guard) { m_guard = std::move(guard); }
    // The value the last step started from.
    int stepOrigin() const { return m_origin; }

    // One click on the up arrow (+1) or the down arrow (-1).
    void stepBy(int clicks);

    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

    QSize sizeHint() const override;

signals:
    void Change();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QToolButton* m_up;
    QToolButton* m_down;
    BuddyRead m_read;
    BuddyWrite m_write;
    std::function<bool()> m_guard;
    int m_origin = 0;
    int m_min = 0;
    int m_max = 10;
    int m_increment = 1;
};

} // namespace talvek
