#pragma once

#include "windows/ShellContext.h"

#include <array>


namespace talvek {

// Number of child windows in the Window menu.
inline constexpr int kChildWindowCount = 6;

// The factories of the six child windows, by Window menu index:
// 0 frmMain, 1 frmSetup, 2 frm8816DF1, 3 frmTiming, 4 frmData, 5 frmDisplayIO.
std::array<ChildFactory, kChildWindowCount> defaultChildFactories();

} // namespace talvek
