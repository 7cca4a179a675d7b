#include "windows/FormUtility.h"

#include "windows/ControlArray.h"

#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStyle>
#include <QTabBar>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

namespace talvek {

namespace {

QScreen* screenOf(QWidget* window)
{
    QScreen* screen = window->screen();
    return screen ? screen : QGuiApplication::primaryScreen();
}

// A scroll area that asks for its content's whole size, so that the window
// opens at its natural size when the screen is big enough.
class FittingScrollArea final : public QScrollArea
{
public:
    using QScrollArea::QScrollArea;
    QSize sizeHint() const override
    {
        const QWidget* content = widget();
        if (!content)
            return QScrollArea::sizeHint();
        const int frame = 2 * frameWidth();
        // Room for the vertical scroll bar, which a window made smaller than
        // its content in height needs: then it does not scroll sideways too.
        const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
        return content->sizeHint() + QSize(frame + bar, frame);
    }
    QSize minimumSizeHint() const override { return { 120, 80 }; }
};

} // namespace

void fitToScreen(QWidget* window)
{
    if (!window)
        return;
    QScreen* screen = screenOf(window);
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // The window manager's frame, once there is one.
    const QSize frame = window->frameGeometry().size() - window->geometry().size();
    const QSize room = (area.size() - frame).expandedTo(window->minimumSize());
    const QSize size = window->size().boundedTo(room);
    if (size != window->size())
        window->resize(size);
    QRect placed = window->frameGeometry();
    placed.moveLeft(
        std::clamp(placed.left(), area.left(), std::max(area.left(), area.right() - placed.width() + 1)));
    placed.moveTop(
        std::clamp(placed.top(), area.top(), std::max(area.top(), area.bottom() - placed.height() + 1)));
    if (placed.topLeft() != window->frameGeometry().topLeft())
        window->move(placed.topLeft());
}

namespace {

// Watches a window until it has a frame, fits it then, and goes.
class FrameWatch final : public QObject
{
public:
    explicit FrameWatch(QWidget* window)
        : QObject(window)
        , m_window(window)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const auto type = event->type();
        if (watched == m_window && (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show)
            && m_window->isVisible() && m_window->frameGeometry() != m_window->geometry()) {
            m_window->removeEventFilter(this);
            fitToScreen(m_window);
            deleteLater();
        }
        return false;
    }

private:
    QWidget* m_window;
};

} // namespace

void fitToScreenOnceFramed(QWidget* window)
{
    if (window)
        new FrameWatch(window);
}

QScrollArea* scrollWhenSmall(QWidget* content, QWidget* parent)
{
    auto* scroll = new FittingScrollArea(parent);
    scroll->setObjectName(QStringLiteral("scrollArea"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    // A click on the form's background is no reason to leave a field.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidget(content);
    return scroll;
}

void makeScrollable(QWidget* window)
{
    QLayout* laidOut = window->layout();
    if (!laidOut)
        return;
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("scrollContent"));
    // Takes the layout, and with it its controls, from the window.
    content->setLayout(laidOut);
    QScrollArea* scroll = scrollWhenSmall(content, window);
    auto* outer = new QVBoxLayout(window);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
}

void CenterForm(QWidget* form)
{
    if (!form)
        return;
    fitToScreen(form);
    QScreen* screen = form->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize size = form->frameGeometry().size();
    form->move(
        area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2);
}

QIcon talvekIcon()
{
    QIcon icon;
    for (int size : { 16, 32, 48, 64 }) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x1f, 0x4e, 0x8c));
        painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
        QFont font;
        font.setBold(true);
        font.setPixelSize(size * 3 / 4);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("T"));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void SelectAllText(QLineEdit* textBox)
{
    if (!textBox)
        return;
    textBox->setSelection(0, int(textBox->text().length()));
}

QFrame* makeTabPages(QWidget* owner, QTabBar* tabs, const std::array<QString, 2>& tabCaptions,
    const char* frameName, const std::array<QString, 2>& frameCaptions, std::array<QFrame*, 2>& frames)
{
    for (const QString& caption : tabCaptions)
        tabs->addTab(caption);
    tabs->setExpanding(false);
    tabs->setDrawBase(false);
    tabs->setFocusPolicy(Qt::StrongFocus);

    auto* page = new QFrame(owner);
    page->setObjectName(QStringLiteral("tabPage"));
    page->setFrameShape(QFrame::StyledPanel);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(12, 12, 12, 12);
    for (int k = 0; k < 2; ++k) {
        auto* f = new QFrame(page);
        f->setObjectName(controlArrayName(frameName, k));
        f->setAccessibleName(frameCaptions[size_t(k)]);
        f->setFrameShape(QFrame::NoFrame);
        pageLayout->addWidget(f);
        frames[size_t(k)] = f;
    }
    frames[1]->hide();
    // Ctrl+Tab and Ctrl+Shift+Tab change the page as a click on the tab does.
    for (const auto& [keys, step] : { std::pair { QKeySequence(Qt::CTRL | Qt::Key_Tab), 1 },
             std::pair { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1 },
             std::pair { QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), -1 } }) {
        auto* shortcut = new QShortcut(keys, owner);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        QObject::connect(shortcut, &QShortcut::activated, tabs, [tabs, step = step] {
            const int count = tabs->count();
            if (count > 0)
                tabs->setCurrentIndex((tabs->currentIndex() + step + count) % count);
        });
    }
    return page;
}

void setUpFocusSink(QPushButton* cmdDefault)
{
    cmdDefault->setObjectName(QStringLiteral("cmdDefault"));
    // It has no visible role: shown (so that it can take the focus) but
    // without size, border or a focus frame to see.
    cmdDefault->setFlat(true);
    cmdDefault->setFixedSize(0, 0);
    cmdDefault->setAutoDefault(false);
}

QVBoxLayout* layOutTabbedForm(QWidget* form, QTabBar* tabs, QFrame* page, QPushButton* focusSink)
{
    auto* top = new QVBoxLayout(form);
    top->setContentsMargins(10, 10, 10, 10);
    top->setSpacing(0);
    top->addWidget(tabs);
    auto* body = new QHBoxLayout;
    body->addWidget(page);
    body->addStretch();
    top->addLayout(body);
    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->addWidget(focusSink);
    bottom->addStretch();
    top->addLayout(bottom);
    top->addStretch();
    return top;
}

} // namespace talvek
