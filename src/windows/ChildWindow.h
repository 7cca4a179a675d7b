#pragma once

#include "shared/RefreshLoop.h"

#include <QDialog>
#include <QWidget>
#include <memory>

class QPushButton;

namespace talvek {

class NumericEntryForm;
class OnlineModeSwitch;
class RSComm;

// What every child window of the main window shares: the refresh loop that
// keeps it current from activation to unload, driven for the window's logic
// (its RefreshClient); the focus sink of its entry form; and the teardown, in
// which the form stops taking entries and the loop ends before anything the
// loop or the fields use goes.
//
// `Base` is the widget class the window is (QWidget; QDialog for a window
// that is a dialog). The class has no signals or slots of its own, so that a
// window derives from it as from its widget class (Q_OBJECT in the window).
template <class Base> class ChildWindow : public Base
{
public:
    ChildWindow(const ChildWindow&) = delete;
    ChildWindow& operator=(const ChildWindow&) = delete;

    RefreshLoop& refreshLoop() { return *m_loop; }

    // Ends the entry in progress in the window's fields, as leaving the field
    // would (NumericEntryForm::endEdit); false when it was refused. A window
    // without fields has none.
    bool endFieldEntry();

protected:
    explicit ChildWindow(QWidget* parent = nullptr);
    ~ChildWindow() override;

    // The refresh loop of `client`, following this window's visibility (see
    // RefreshLoop::followVisibility). Called once, from the constructor.
    RefreshLoop& followWithLoop(
        RefreshClient& client, RSComm& rs, OnlineModeSwitch& mode, RefreshLoop::Activation activation);
    // The entry form of the window's numeric fields: it stops taking entries
    // at the teardown.
    void setEntryForm(NumericEntryForm& form) { m_form = &form; }
    // The focus sink `cmdDefault`, a child of this window (see setUpFocusSink).
    QPushButton* makeFocusSink(const QString& text);
    // The teardown: the form takes no more entries, the loop stops and goes.
    // A window whose members the loop or the fields use (its logic, its
    // fields) calls it first in its destructor; calling it again does nothing.
    void tearDown();

private:
    std::unique_ptr<RefreshLoop> m_loop;
    NumericEntryForm* m_form = nullptr;
};

extern template class ChildWindow<QWidget>;
extern template class ChildWindow<QDialog>;

// endFieldEntry() of `window` when it is a child window; true otherwise.
bool endFieldEntry(QWidget* window);

} // namespace talvek
