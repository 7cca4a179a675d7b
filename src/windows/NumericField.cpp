#include "windows/NumericField.h"

#include "windows/FormUtility.h"
#include "windows/UpDown.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QToolButton>

namespace talvek {

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
    m_upDown->setStepGuard([this] {
        if (!m_form.live)
            return true;
        if (m_form.holding)
            return false;
        if (!m_text->hasFocus())
            return true;
        return m_entry.beforeStep();
    });
    connect(m_upDown, &UpDown::Change, this, [this] { m_entry.spinnerChanged(m_upDown->stepOrigin()); });
}

NumericField::~NumericField()
{
    if (m_form.holding == &m_entry)
        m_form.holding = nullptr;
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
        if (m_form.holding || !m_form.live)
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
        if (m_form.holding || !m_form.live || !m_text->isVisible() || !m_text->isEnabled())
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
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier)
            return m_entry.keyPress(NumericEntry::Key::Escape);
        // Keys that type something (or erase it) are "any other key"; moving
        // the cursor and lone modifiers are not.
        if (!key->text().isEmpty() || key->key() == Qt::Key_Backspace)
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
    // The Tab keystroke, sent on to the text box once this key is done.
    QCoreApplication::postEvent(m_text, new QKeyEvent(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier));
}

void NumericField::focusSink()
{
    if (m_sink)
        m_sink->setFocus(Qt::OtherFocusReason);
}

} // namespace talvek
