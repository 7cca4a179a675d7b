#include "windows/ChildWindows.h"

#include "windows/frm8816DF1.h"
#include "windows/frmData.h"
#include "windows/frmDisplayIO.h"
#include "windows/frmMain.h"
#include "windows/frmMDIMain.h"
#include "windows/frmSetup.h"
#include "windows/frmTiming.h"

namespace talvek {

std::array<ChildFactory, kChildWindowCount> defaultChildFactories()
{
    return {
        [](ShellContext& ctx) -> QWidget* {
            return new frmMain(ctx.rs, ctx.mode, ctx.main.backgroundMonitor());
        },
        [](ShellContext& ctx) -> QWidget* { return new frmSetup(ctx.prompter, ctx.rs, ctx.mode); },
        [](ShellContext& ctx) -> QWidget* { return new frm8816DF1(ctx.prompter, ctx.rs, ctx.mode); },
        [](ShellContext& ctx) -> QWidget* { return new frmTiming(ctx.prompter, ctx.rs, ctx.mode); },
        [](ShellContext& ctx) -> QWidget* { return new frmData(ctx.prompter, ctx.rs, ctx.mode); },
        [](ShellContext& ctx) -> QWidget* { return new frmDisplayIO(ctx.rs, ctx.mode); },
    };
}

} // namespace talvek
