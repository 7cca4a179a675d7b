#pragma once

#include "shared/NumericEntry.h"

#include <QObject>
#include <QPointer>

class QLabel;
class QLineEdit;
class QWidget;

namespace talvek {

class UpDown;

// One numeric entry field of a form: its text box and up-down control bound
// to the shared editing rules (NumericEntry).
//
// - Entering the text box (focus or a click) begins editing. The focus the
//   program puts into a field (focusQuietly) is no entry: the operator's
//   first key or click there begins editing.
// - Enter is swallowed and moves on to the next field (past the up-down
//   control); Esc restores and leaves.
// - Leaving a text box that was entered validates it. A refused entry is finished after the
//   focus change (message, saved value back, focus back), never inside it;
//   until then focus changes of the form's other fields are not editing
//   actions. Leaving for a menu, another window or a message box, and a text
//   box that is hidden or disabled under the focus, validate nothing.
// - The up-down control steps the value text and runs the change path.
class NumericField final : public QObject, private NumericFieldView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NumericField)

public:
    NumericField(NumericEntryForm& form, QLineEdit* textBox, UpDown* upDown, QWidget* focusSink,
        NumericEntryOptions options, QObject* parent = nullptr);
    ~NumericField() override;

    NumericEntry& entry() { return m_entry; }
    const NumericEntry& entry() const { return m_entry; }
    QLineEdit* textBox() const { return m_text; }
    UpDown* upDown() const { return m_upDown; }

    // Enter moves the focus to this control instead of the next in tab order.
    void setEnterTarget(QWidget* target) { m_enterTarget = target; }

    // Text box and up-down control together.
    void setEnabled(bool on);

    // The focus into the text box without entering it: nothing begins until
    // the operator types or clicks there, and leaving it checks nothing.
    void focusQuietly();
    // The text box shows typed text not taken yet (property "pending").
    bool pending() const;
    // Marks the text box as holding a value not sent yet (one the form holds
    // back), or clears the mark.
    void markPending(bool on) { showPending(on); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ---- NumericFieldView ----
    QString displayText() const override;
    void setDisplayText(const QString& text) override;
    void selectAllText() override;
    bool textBoxEnabled() const override;
    void focusTextBox() override;
    int minimum() const override;
    int maximum() const override;
    void moveOnFromEnter() override;
    void focusSink() override;
    void showPending(bool pending) override;

    void left();
    void finishRefusal(bool withRangeMessage);
    bool heldByOther() const;

    NumericEntryForm& m_form;
    QLineEdit* m_text;
    UpDown* m_upDown;
    QPointer<QWidget> m_sink;
    QPointer<QWidget> m_enterTarget;
    NumericEntry m_entry;
    bool m_quiet = false;
};

} // namespace talvek
