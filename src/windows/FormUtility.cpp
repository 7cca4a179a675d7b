#include "FormUtility.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QWidget>

namespace talvek {

void CenterForm(QWidget* form)
{
    if (!form)
        return;
    QScreen* screen = form->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize size = form->frameGeometry().size();
    form->move(area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2);
}

void SelectAllText(QLineEdit* textBox)
{
    if (!textBox)
        return;
    textBox->setSelection(0, int(textBox->text().length()));
}

} // namespace talvek
