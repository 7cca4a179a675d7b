#include "windows/ChildWindow.h"

#include "shared/NumericEntry.h"
#include "windows/FormUtility.h"

#include <QPushButton>

namespace talvek {

template <class Base>
ChildWindow<Base>::ChildWindow(QWidget* parent)
    : Base(parent)
{ }

template <class Base> ChildWindow<Base>::~ChildWindow()
{
    tearDown();
}

template <class Base>
RefreshLoop& ChildWindow<Base>::followWithLoop(
    RefreshClient& client, RSComm& rs, OnlineModeSwitch& mode, RefreshLoop::Activation activation)
{
    m_loop = std::make_unique<RefreshLoop>(client, rs, mode);
    m_loop->followVisibility(this, activation);
    return *m_loop;
}

template <class Base> QPushButton* ChildWindow<Base>::makeFocusSink(const QString& text)
{
    auto* sink = new QPushButton(text, this);
    setUpFocusSink(sink);
    return sink;
}

template <class Base> bool ChildWindow<Base>::endFieldEntry()
{
    return !m_form || m_form->endEdit();
}

template <class Base> void ChildWindow<Base>::tearDown()
{
    // The form may go with the window's members right after: it is let go
    // here so that the base's own teardown does not reach it.
    if (m_form)
        m_form->live = false;
    m_form = nullptr;
    if (m_loop)
        m_loop->stop();
    m_loop.reset();
}

template class ChildWindow<QWidget>;
template class ChildWindow<QDialog>;

bool endFieldEntry(QWidget* window)
{
    if (auto* child = dynamic_cast<ChildWindow<QWidget>*>(window))
        return child->endFieldEntry();
    if (auto* dialog = dynamic_cast<ChildWindow<QDialog>*>(window))
        return dialog->endFieldEntry();
    return true;
}

} // namespace talvek
