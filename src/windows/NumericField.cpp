#include "windows/NumericField.h"

#include "windows/FormUtility.h"
#include "windows/UpDown.h"

#include <QApplication>
#include <QColor>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QToolButton>

namespace talvek {

namespace {

// The tint of a field holding typed text not taken yet: amber over the
// palette's own base, so that it reads in light and dark palettes alike.
const QColor kPendingTint(255, 176, 0);
constexpr double kPendingShare = 0.35;

QColor mixed(const QColor& base, const QColor& tint, double share)
{
    return QColor::fromRgbF(float(base.redF() * (1 - share) + tint.redF() * share),
        float(base.greenF() * (1 - share) + tint.greenF() * share),
        float(base.blueF() * (1 - share) + tint.blueF() * share));
}

// The control Enter leads to from `from`: the next one in the tab order that
// takes the focus by Tab, leaving out up-down controls and the focus sink.
QWidget* nextField(QWidget* from)
{
    QWidget* window = from->window();
    for (QWidget* w = from->nextInFocusChain(); w && w != from; w = w->nextInFocusChain()) {
        if (w->window() != window || !w->isVisible() || !w->isEnabled() || !(w->focusPolicy() & Qt::TabFocus))
            continue;
        if (qobject_cast<UpDown*>(w) || w->objectName() == QLatin1String("cmdDefault"))
            continue;
        return w;
    }
    return nullptr;
}

} // namespace

NumericField::NumericField(NumericEntryForm& form, QLineEdit* textBox, UpDown* upDown, QWidget* focusSink,
    NumericEntryOptions options, QObject* parent)
    : QObject(parent)
    , m_form(form)
    , m_text(textBox)
    , m_upDown(upDown)
    , m_sink(focusSink)
    , m_entry(form, *this, std::move(options))
{
    m_text->installEventFilter(this);
    m_upDown->setBuddy(
        [this] { return m_entry.valueText(); }, [this](const QString& text) { m_entry.setValueText(text); });
    // An arrow clicked while the operator types in this field: the typed
    // entry is checked first, as leaving the field does, and the arrow then
    // steps from the value accepted. The arrows take the focus on a press,
    // so leaving the field checks it (wherever the form sits: a top-level
    // window or a child of the main window); where the focus did not move,
    // the guard checks it. A refusal pending in any field of the form keeps
    // the operator in that field: the click does not step.
    for (QToolButton* arrow : { m_upDown->upButton(), m_upDown->downButton() })
        arrow->setFocusPolicy(Qt::ClickFocus);
    // A placeholder shown ("-" before the first read, "****", "---") is no
    // value to step from: the click does nothing (0 + 1 would be sent).
    m_upDown->setStepGuard([this] {
        if (m_form.holding && m_form.live)
            return false;
        if (!m_form.live || m_form.current != &m_entry || !m_text->hasFocus())
            return m_entry.holdsValue();
        return m_entry.beforeStep();
    });
    connect(m_upDown, &UpDown::Change, this, [this] { m_entry.spinnerChanged(m_upDown->stepOrigin()); });
    connect(m_text, &QLineEdit::textEdited, this, [this] { m_entry.typed(); });
}

NumericField::~NumericField()
{
    if (m_form.holding == &m_entry)
        m_form.holding = nullptr;
    if (m_form.current == &m_entry)
        m_form.current = nullptr;
}

void NumericField::focusQuietly()
{
    m_quiet = true;
    m_text->setFocus(Qt::OtherFocusReason);
    m_quiet = false;
}

bool NumericField::pending() const
{
    return m_text->property("pending").toBool();
}

void NumericField::showPending(bool on)
{
    if (pending() == on)
        return;
    m_text->setProperty("pending", on);
    if (!on) {
        m_text->setPalette(QPalette());
        return;
    }
    QPalette tinted = m_text->palette();
    for (const auto group : { QPalette::Active, QPalette::Inactive })
        tinted.setColor(group, QPalette::Base, mixed(tinted.color(group, QPalette::Base), kPendingTint, kPendingShare));
    m_text->setPalette(tinted);
}

void NumericField::setEnabled(bool on)
{
    m_text->setEnabled(on);
    m_upDown->setEnabled(on);
}

bool NumericField::heldByOther() const
{
    return m_form.holding && m_form.holding != &m_entry;
}

bool NumericField::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_text)
        return QObject::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::FocusIn: {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // Coming back from a menu, a message box or another window is not
        // entering the field.
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            break;
        if (m_form.holding || !m_form.live || m_quiet)
            break;
        // After the line edit has taken the focus (and set its selection).
        QObject::eventFilter(watched, event);
        m_text->event(event);
        m_entry.beginEditing();
        return true;
    }
    case QEvent::FocusOut: {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            break;
        // The field is left: only an entry the operator began is checked.
        const bool entered = m_form.current == &m_entry;
        if (entered)
            m_form.current = nullptr;
        if (!entered || m_form.holding || !m_form.live || !m_text->isVisible() || !m_text->isEnabled())
            break;
        if (!m_entry.validatesOnLeave())
            break;
        m_text->event(event);
        left();
        return true;
    }
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || heldByOther() || !m_form.live || !m_text->hasFocus())
            break;
        // The click: begin editing once the line edit has placed its cursor.
        m_text->event(event);
        m_entry.beginEditing();
        return true;
    }
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (heldByOther())
            break;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier))
                break;
            return m_entry.keyPress(NumericEntry::Key::Enter);
        }
        const bool typing = (!key->text().isEmpty() && key->key() != Qt::Key_Escape)
            || key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete;
        if (m_form.current != &m_entry) {
            // Not entered yet (the program put the focus here): the first key
            // that types begins editing, so that it replaces the value.
            if (key->key() == Qt::Key_Escape)
                return true;
            if (typing && m_form.live && !m_form.holding && m_text->hasFocus())
                m_entry.beginEditing();
        }
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier)
            return m_entry.keyPress(NumericEntry::Key::Escape);
        // Keys that type something (or erase it) are "any other key"; moving
        // the cursor and lone modifiers are not.
        if (typing)
            m_entry.keyPress(NumericEntry::Key::Other);
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void NumericField::left()
{
    switch (m_entry.check()) {
    case NumericEntry::Verdict::Exempt:
        return;
    case NumericEntry::Verdict::Accepted:
        if (m_entry.accept())
            return;
        finishRefusal(false);
        return;
    case NumericEntry::Verdict::Rejected:
        finishRefusal(true);
        return;
    }
}

void NumericField::finishRefusal(bool withRangeMessage)
{
    // The focus has gone elsewhere already: the refusal (message, saved value,
    // focus back) is finished from the event loop, not inside the focus change.
    m_form.holding = &m_entry;
    QMetaObject::invokeMethod(
        this,
        [this, withRangeMessage] {
            if (m_form.holding != &m_entry)
                return;
            if (m_form.live)
                m_entry.refuse(withRangeMessage);
            m_form.holding = nullptr;
        },
        Qt::QueuedConnection);
}

// ---- NumericFieldView ----

QString NumericField::displayText() const
{
    return m_text->text();
}

void NumericField::setDisplayText(const QString& text)
{
    m_text->setText(text);
}

void NumericField::selectAllText()
{
    SelectAllText(m_text);
}

bool NumericField::textBoxEnabled() const
{
    return m_text->isEnabled() && m_text->isVisible();
}

void NumericField::focusTextBox()
{
    // Back from the range message: the window takes the focus again, as the
    // owner of a closed message box does.
    if (!m_text->isActiveWindow())
        m_text->activateWindow();
    m_text->setFocus(Qt::OtherFocusReason);
}

int NumericField::minimum() const
{
    return m_upDown->Min();
}

int NumericField::maximum() const
{
    return m_upDown->Max();
}

void NumericField::moveOnFromEnter()
{
    if (m_enterTarget) {
        m_enterTarget->setFocus(Qt::TabFocusReason);
        return;
    }
    // On as Tab goes, once this key is done, but to the next field rather
    // than to this field's own arrows.
    QPointer<QWidget> next = nextField(m_text);
    if (!next)
        return;
    QMetaObject::invokeMethod(
        this,
        [next] {
            if (next)
                next->setFocus(Qt::TabFocusReason);
        },
        Qt::QueuedConnection);
}

void NumericField::focusSink()
{
    if (m_sink)
        m_sink->setFocus(Qt::OtherFocusReason);
}

} // namespace talvek
