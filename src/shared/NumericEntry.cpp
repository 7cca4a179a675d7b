#include "shared/NumericEntry.h"

#include "base/BasicText.h"
#include "base/Prompter.h"

#include <cmath>
#include <limits>

namespace talvek {

QString numericRangeMessage(int min, int max)
{
    return QStringLiteral("Only a Number Between ") + QString::number(min) + QStringLiteral(" and ")
        + QString::number(max) + QStringLiteral(" can be Entered");
}

qint32 roundedInt32(double value)
{
    if (std::isnan(value))
        return 0;
    const double r = std::nearbyint(value);
    if (r <= double(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    if (r >= double(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    return qint32(r);
}

QString numberText(double value)
{
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15)
        return QString::number(qint64(value));
    return QString::number(value, 'g', 15);
}

QString entryWriteText(const QString& valueText, qint32 stored)
{
    bool digit = false;
    for (const QChar c : valueText) {
        if (c.unicode() >= u'0' && c.unicode() <= u'9')
            digit = true;
        else if (c != QLatin1Char(' '))
            return QString::number(stored);
    }
    return digit ? valueText : QString::number(stored);
}

QString withoutDegreeSign(const QString& display)
{
    qsizetype end = display.size();
    while (end > 0 && display.at(end - 1) == QLatin1Char(' '))
        --end;
    if (end > 0 && display.at(end - 1) == kDegreeSign)
        return display.left(end - 1);
    return display;
}

bool NumericEntryForm::endEdit()
{
    if (holding)
        return false;
    NumericEntry* entry = current;
    if (!entry || !live)
        return true;
    if (!entry->validate())
        return false;
    // Taken: the focus may stay, but the next key begins a new entry.
    if (current == entry)
        current = nullptr;
    return true;
}

NumericEntry::NumericEntry(NumericEntryForm& form, NumericFieldView& view, NumericEntryOptions options)
    : m_form(form)
    , m_view(view)
    , m_options(std::move(options))
{ }

QString NumericEntry::valueText() const
{
    return m_options.holder == ValueHolder::Tag ? m_tag : m_view.displayText();
}

void NumericEntry::setValueText(const QString& text)
{
    if (m_options.holder == ValueHolder::Tag)
        m_tag = text;
    else
        m_view.setDisplayText(text);
}

QString NumericEntry::displayFor(const QString& valueText) const
{
    return m_options.degrees ? valueText + kDegreeSign : valueText;
}

void NumericEntry::showValue(const QString& valueText)
{
    if (m_options.holder == ValueHolder::Tag)
        m_tag = valueText;
    m_view.setDisplayText(displayFor(valueText));
    m_typed = false;
    m_view.showPending(false);
}

void NumericEntry::typed()
{
    m_typed = true;
    m_view.showPending(true);
}

void NumericEntry::beginEditing()
{
    m_editing = true;
    m_form.escape = false;
    m_form.current = this;
    m_saved = roundedInt32(Val(valueText()));
    m_savedPlaceholder = holdsValue() ? QString() : m_view.displayText();
    if (m_options.plainOnBegin && m_savedPlaceholder.isEmpty())
        m_view.setDisplayText(QString::number(m_saved));
    m_view.selectAllText();
}

bool NumericEntry::keyPress(Key key)
{
    switch (key) {
    case Key::Enter:
        m_form.escape = false;
        m_view.moveOnFromEnter();
        return true;
    case Key::Escape:
        m_view.setDisplayText(savedText());
        m_typed = false;
        m_view.showPending(false);
        if (m_form.escape) {
            m_form.escape = false;
            m_editing = false;
            m_view.focusSink();
        } else {
            m_form.escape = true;
            m_view.selectAllText();
        }
        return true;
    case Key::Other:
        break;
    }
    m_form.escape = false;
    return false;
}

NumericEntry::Verdict NumericEntry::check()
{
    const int min = m_view.minimum();
    const int max = m_view.maximum();
    const QString display = m_view.displayText();
    // Nothing typed: the field shows what the program put there (a value, or
    // a placeholder), which is nobody's entry; the edit ends with it.
    if (!m_typed) {
        m_editing = false;
        return Verdict::Exempt;
    }
    if (!m_options.exemptText.isEmpty() && display == m_options.exemptText)
        return Verdict::Exempt;
    if (m_options.holder == ValueHolder::Tag)
        m_tag = withoutDegreeSign(display);
    const QString text = valueText();
    if (!IsNumeric(text))
        return Verdict::Rejected;
    const double v = Val(text);
    if (v < double(min) || v > double(max))
        return Verdict::Rejected;
    return Verdict::Accepted;
}

bool NumericEntry::accept()
{
    if (!m_typed) {
        m_editing = false;
        return true;
    }
    const QString text = valueText();
    const qint32 value = roundedInt32(Val(text));
    // Taken before it is handed on: whatever the form does with it (a box,
    // a write that pumps events), this entry is never handed on again.
    m_typed = false;
    m_view.showPending(false);
    if (m_accept && !m_accept(value, entryWriteText(text, value)))
        return false;
    m_editing = false;
    return true;
}

void NumericEntry::refuse(bool withRangeMessage)
{
    if (withRangeMessage)
        m_form.prompter().msgBox(numericRangeMessage(m_view.minimum(), m_view.maximum()), m_options.title,
            MsgIcon::Information, MsgButtons::OK);
    const QString saved = savedText();
    if (m_options.holder == ValueHolder::Tag)
        m_tag = saved;
    m_view.setDisplayText(m_savedPlaceholder.isEmpty() ? displayFor(saved) : saved);
    m_typed = false;
    m_view.showPending(false);
    if (m_view.textBoxEnabled()) {
        m_view.focusTextBox();
        // Back in the field, still editing it.
        m_form.current = this;
    } else {
        // The focus cannot come back (the field was hidden or disabled under
        // the refusal): the edit ends with the old value, so that the refresh
        // redraws the field again and nothing stale is accepted later.
        m_editing = false;
        if (m_form.current == this)
            m_form.current = nullptr;
    }
    m_view.selectAllText();
}

QString NumericEntry::savedText() const
{
    return m_savedPlaceholder.isEmpty() ? QString::number(m_saved) : m_savedPlaceholder;
}

bool NumericEntry::validate()
{
    switch (check()) {
    case Verdict::Exempt:
        return true;
    case Verdict::Rejected:
        refuse(true);
        return false;
    case Verdict::Accepted:
        break;
    }
    if (accept())
        return true;
    refuse(false);
    return false;
}

bool NumericEntry::beforeStep()
{
    if (!m_editing || !m_typed)
        return true;
    switch (check()) {
    case Verdict::Exempt:
        return true;
    case Verdict::Rejected:
        refuse(true);
        return false;
    case Verdict::Accepted:
        break;
    }
    if (accept()) {
        // The arrow steps from the number accepted, not from its text.
        setValueText(QString::number(roundedInt32(Val(valueText()))));
        return true;
    }
    refuse(false);
    return false;
}

bool NumericEntry::holdsValue() const
{
    return IsNumeric(withoutDegreeSign(m_view.displayText()));
}

void NumericEntry::spinnerChanged(qint32 previous)
{
    m_editing = false;
    m_form.escape = false;
    // Typing in another field of the form ends (and is validated) here. This
    // field's own typing was checked and accepted before the arrow stepped
    // (beforeStep), so leaving it now checks nothing.
    m_stepping = true;
    m_view.focusSink();
    m_stepping = false;
    m_typed = false;
    m_view.showPending(false);
    const QString text = valueText();
    const qint32 value = roundedInt32(Val(text));
    if (m_accept && !m_accept(value, entryWriteText(text, value)))
        showValue(QString::number(previous));
}

} // namespace talvek
