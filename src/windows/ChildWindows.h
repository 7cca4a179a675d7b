#pragma once

#include "ShellContext.h"

#include <QWidget>
#include <array>

class QLabel;

namespace talvek {

// Number of child windows in the Window menu.
inline constexpr int ChildWindowCount = 6;

// The factories of the six child windows, by Window menu index:
// 0 frmMain, 1 frmSetup, 2 frm8816DF1, 3 frmTiming, 4 frmData, 5 frmDisplayIO.
std::array<ChildFactory, ChildWindowCount> DefaultChildFactories();

// A child window that is not part of this build yet: says which window it
// stands for and what that window will show.
class PendingChildWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PendingChildWindow)

public:
    PendingChildWindow(const QString& formName, const QString& caption, const QString& description,
        QWidget* parent = nullptr);

    QLabel* lblCaption;
    QLabel* lblDescription;
};

} // namespace talvek
