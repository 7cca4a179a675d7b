#pragma once

class QIcon;
class QLineEdit;
class QWidget;

namespace talvek {

// Moves a window so that it is centred on its screen:
// left = (screen width - window width) / 2, top = (screen height - window height) / 2.
void CenterForm(QWidget* form);

// The program's icon (drawn, so that no image file has to ship with it).
QIcon TalvekIcon();

// Selects the whole text of a text box (selection start 0, length = text length).
void SelectAllText(QLineEdit* textBox);

} // namespace talvek
