#include "ChildWindows.h"

#include "frm8816DF1.h"
#include "frmData.h"
#include "frmDisplayIO.h"
#include "frmMDIMain.h"
#include "frmMain.h"
#include "frmSetup.h"
#include "frmTiming.h"

#include <QLabel>
#include <QVBoxLayout>

namespace talvek {

PendingChildWindow::PendingChildWindow(
    const QString& formName, const QString& caption, const QString& description, QWidget* parent)
    : QWidget(parent)
    , lblCaption(new QLabel(caption, this))
    , lblDescription(new QLabel(this))
{
    setObjectName(formName);
    setWindowTitle(caption);
    lblCaption->setObjectName(QStringLiteral("lblCaption"));
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    QFont font = lblCaption->font();
    font.setPointSizeF(font.pointSizeF() * 1.5);
    font.setBold(true);
    lblCaption->setFont(font);
    lblDescription->setWordWrap(true);
    lblDescription->setText(
        QString::fromLatin1("This window will show: %1\n\n"
                            "It is not part of this version of TALVEK yet; the menus, the set-up files "
                            "and the ONLINE/OFFLINE switch work without it.")
            .arg(description));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addWidget(lblCaption);
    layout->addSpacing(12);
    layout->addWidget(lblDescription);
    layout->addStretch();
}

std::array<ChildFactory, ChildWindowCount> DefaultChildFactories()
{
    return {
        [](ShellContext& ctx) -> QWidget* {
            return new frmMain(ctx.rs, ctx.mode, ctx.main.backgroundMonitor());
        },
        [](ShellContext& ctx) -> QWidget* { return new frmSetup(ctx.prompter, ctx.rs, ctx.mode); },
        [](ShellContext& ctx) -> QWidget* { return new frm8816DF1(ctx.prompter, ctx.rs, ctx.mode); },
        [](ShellContext& ctx) -> QWidget* { return new frmTiming(ctx.prompter, ctx.rs, ctx.mode); },
        [](ShellContext& ctx) -> QWidget* { return new frmData(ctx.rs, ctx.mode); },
        [](ShellContext& ctx) -> QWidget* { return new frmDisplayIO(ctx.rs, ctx.mode); },
    };
}

} // namespace talvek
