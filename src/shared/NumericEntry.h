#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>

namespace talvek {

class NumericEntry;
class Prompter;

// The degree sign of the degree fields (character 176).
inline constexpr QChar kDegreeSign { 0x00B0 };

// What the numeric entry behaviour needs from a text box and the up-down
// control beside it. The window layer implements it on real widgets; tests
// can implement it on plain variables.
class NumericFieldView
{
public:
    virtual ~NumericFieldView() = default;
    // The text the operator sees and types.
    virtual QString displayText() const = 0;
    virtual void setDisplayText(const QString& text) = 0;
    virtual void selectAllText() = 0;
    virtual bool textBoxEnabled() const = 0;
    virtual void focusTextBox() = 0;
    // The up-down control's limits: the one place a field's range is defined.
    virtual int minimum() const = 0;
    virtual int maximum() const = 0;
    // Enter: focus moves on as with Tab (or to the control a form names).
    virtual void moveOnFromEnter() = 0;
    // Focus to the form's focus sink (cmdDefault).
    virtual void focusSink() = 0;
    // The display holds typed text that the form has not taken yet (neither
    // accepted nor written), or no longer does (taken, restored, redrawn).
    virtual void showPending(bool /*pending*/) { }
};

// The part of the behaviour that belongs to a whole form: the escape flag,
// and the field whose refused entry is being finished (while it is, focus
// changes of the form's fields are not editing actions).
class NumericEntryForm final
{
public:
    explicit NumericEntryForm(Prompter& prompter)
        : m_prompter(prompter)
    { }
    Q_DISABLE_COPY_MOVE(NumericEntryForm)

    Prompter& prompter() const { return m_prompter; }

    // Ends the entry in progress as leaving its field would, for whatever
    // takes the operator away without a focus change (a page change by its
    // access key, a menu command, closing the window): the typed entry is
    // checked, then accepted, or refused with the field's message, the saved
    // value back and the focus kept in the field. False when it was refused
    // (or a refusal is still being finished): the caller does not go on.
    bool endEdit();

    bool escape = false;
    NumericEntry* holding = nullptr;
    // The field the operator is in and has entered (begin editing ran since
    // the focus came to it); null when the focus is elsewhere, or was put
    // into a field by the program, or the field's entry was taken by
    // endEdit() while the focus stayed.
    NumericEntry* current = nullptr;
    // True from the form's first presentation to its unload. Before and
    // after, the focus coming to or leaving a field (the window being shown
    // or taken down) is no editing action: nothing begins, nothing is
    // validated.
    bool live = false;

private:
    Prompter& m_prompter;
};

// Where a field keeps its value text: in a property of its own beside the
// display (the text box's Tag), or in the display text itself.
enum class ValueHolder
{
    Text,
    Tag
};

struct NumericEntryOptions
{
    ValueHolder holder = ValueHolder::Text;
    // The display shows the number followed by the degree sign.
    bool degrees = false;
    // Title of the range message.
    QString title = QStringLiteral("Set-up");
    // A display text accepted as it is, without check, store or write
    // (a channel field showing "****"); empty: none.
    QString exemptText;
    // Begin editing rewrites the display as the plain number it holds.
    bool plainOnBegin = false;
};

// The editing rules that every numeric entry field of the program shares:
// begin editing (select all, remember the value), Enter as Tab, Esc that
// first restores and then leaves, validation against the up-down control's
// Min and Max with one fixed message, and the accepted value handed to the
// form (stored in the working data and, online, written to the controller).
class NumericEntry final
{
public:
    // Called with an accepted value: the value text rounded to a 32-bit
    // integer (ties to the even integer) and the text to hand the controller.
    // Returning false refuses the value after all (the form has told the
    // operator why): the saved value comes back and the focus stays.
    using AcceptFn = std::function<bool(qint32 value, const QString& writeText)>;

    enum class Verdict
    {
        Accepted,
        Rejected,
        Exempt
    };
    enum class Key
    {
        Enter,
        Escape,
        Other
    };

    NumericEntry(NumericEntryForm& form, NumericFieldView& view, NumericEntryOptions options);
    Q_DISABLE_COPY_MOVE(NumericEntry)

    void setOnAccept(AcceptFn accept) { m_accept = std::move(accept); }
    const NumericEntryOptions& options() const { return m_options; }
    NumericEntryForm& form() const { return m_form; }

    // ---- events ----
    // The operator changed the display's text (typed, erased, pasted): the
    // field holds an entry that has not been taken yet.
    void typed();
    // GotFocus and Click: the editing flag is set, the value remembered and
    // the whole text selected.
    void beginEditing();
    // Enter and Esc are handled here and swallowed (true); any other key
    // clears the escape flag and goes on to the text box (false).
    bool keyPress(Key key);
    // Leaving the field, in two halves so that the window layer can finish a
    // refusal after the focus change: check() normalises the value text and
    // decides; accept() hands an accepted value on, once: only what the
    // operator typed since the field's value was last taken, restored or
    // redrawn (leaving a field again, or one restored by Esc, hands nothing
    // on, so a value is never written twice); refuse() shows the range
    // message (when asked), restores the saved value and puts the focus back.
    Verdict check();
    bool accept();
    void refuse(bool withRangeMessage);
    // check() and then accept() or refuse(); false when the entry was refused.
    bool validate();
    // An arrow of this field's up-down control is clicked while the operator
    // is typing in the field: the typed entry is checked and accepted first,
    // as leaving the field would do, and the arrow then steps from the value
    // accepted. False when the entry was refused (message, saved value back,
    // focus kept): the arrow does not step.
    bool beforeStep();
    // The display shows a number (the degree sign aside) that an arrow can
    // step from; a placeholder ("-", "---", "****") is no value, and an arrow
    // clicked on it does nothing.
    bool holdsValue() const;
    // The up-down control has stepped the value text from `previous`. A value
    // the form refuses (it has told the operator why) puts `previous` back.
    void spinnerChanged(qint32 previous);
    // False while the spinner's own change moves the focus away: leaving the
    // field then checks nothing.
    bool validatesOnLeave() const { return !m_stepping; }

    // ---- state ----
    bool editing() const { return m_editing; }
    // Typed text not taken yet (see typed()).
    bool holdsTypedEntry() const { return m_typed; }
    void setEditing(bool on) { m_editing = on; }
    qint32 savedValue() const { return m_saved; }
    QString valueText() const;
    void setValueText(const QString& text);
    // The refresh's redraw: value text and display (with the degree sign).
    void showValue(const QString& valueText);
    // The display form of a value text.
    QString displayFor(const QString& valueText) const;

private:
    NumericEntryForm& m_form;
    NumericFieldView& m_view;
    NumericEntryOptions m_options;
    AcceptFn m_accept;
    // The text Esc and a refusal put back: the saved value, or the placeholder.
    QString savedText() const;
    QString m_tag;
    qint32 m_saved = 0;
    // The placeholder the field showed when editing began ("-", "****",
    // "---"): Esc and a refusal put it back, never a number made of it.
    QString m_savedPlaceholder;
    bool m_editing = false;
    bool m_typed = false;
    bool m_stepping = false;
};

// A display text with one trailing degree sign (and blanks after it) taken
// off; any other text as it is. What is left must pass the numeric check on
// its own: "45°" is 45, while "abc°", "°" and "12abc°" are refused.
QString withoutDegreeSign(const QString& display);

// "Only a Number Between <min> and <max> can be Entered".
QString numericRangeMessage(int min, int max);

// A number rounded to a 32-bit integer, ties to the even integer; values
// beyond the range are held at its limits.
qint32 roundedInt32(double value);

// The decimal text of a number: whole numbers without a point, others with
// up to 15 significant digits.
QString numberText(double value);

// The text an accepted entry hands the controller. A value text made only of
// digits (and blanks) goes as it is; any other one (a decimal point, an
// exponent, a sign, a hexadecimal form) goes as the decimal text of the
// integer the field stored, so that the controller always receives what the
// working data holds ("12.6" stores 13 and writes "13", never "126").
QString entryWriteText(const QString& valueText, qint32 stored);

} // namespace talvek
