#pragma once

#include <QStringList>
#include <array>

class QFrame;
class QIcon;
class QPushButton;
class QScrollArea;
class QVBoxLayout;
class QTabBar;
class QLineEdit;
class QWidget;

namespace talvek {

// Moves a window so that it is centred on its screen:
// left = (screen width - window width) / 2, top = (screen height - window height) / 2.
// A window bigger than the screen's available area is first made to fit it.
void CenterForm(QWidget* form);

// Limits a window to the available area of its screen (what the task bar and
// panels leave), frame included, as far as its minimum size lets it shrink,
// and moves it back inside that area when it stands partly outside.
void fitToScreen(QWidget* window);

// fitToScreen once more when a window manager has put its frame round the
// window (its title bar is only known after the window is shown): the window
// then fits frame and all. Without a window manager nothing happens.
void fitToScreenOnceFramed(QWidget* window);

// A scroll area holding `content`, for a window whose content may not fit a
// small or scaled screen: scroll bars appear instead of cut-off controls.
// Its size hint is the content's whole size, so the window still opens at its
// natural size where the screen allows.
QScrollArea* scrollWhenSmall(QWidget* content, QWidget* parent = nullptr);

// The same for a window already laid out: its layout and controls move into
// a content widget inside a scroll area that fills the window, so the window
// can be made smaller than its content (a layout of fixed size included).
void makeScrollable(QWidget* window);

// The program's icon (drawn, so that no image file has to ship with it).
QIcon talvekIcon();

// Selects the whole text of a text box (selection start 0, length = text length).
void SelectAllText(QLineEdit* textBox);

// A tab strip over one page that holds a borderless container per tab, named
// `frameName`_k (the first shown, the second hidden). The tab strip takes the
// focus on a click, so typing in a field ends (and is checked) before the page
// changes. Returns the page, parented to `owner`.
QFrame* makeTabPages(QWidget* owner, QTabBar* tabs, const std::array<QString, 2>& tabCaptions,
    const char* frameName, const std::array<QString, 2>& frameCaptions, std::array<QFrame*, 2>& frames);

// The focus sink `cmdDefault` of the entry forms: a "-" button that only
// takes the focus, so that the field being typed in is left. It is shown,
// so that it can take the focus, but has no size and cannot be seen.
void setUpFocusSink(QPushButton* cmdDefault);

// The layout of a tabbed entry form: the tab strip, its page beside a
// stretch, then the focus sink on a row of its own. Returns the form's top
// layout, for what a form adds below.
QVBoxLayout* layOutTabbedForm(QWidget* form, QTabBar* tabs, QFrame* page, QPushButton* focusSink);

} // namespace talvek
