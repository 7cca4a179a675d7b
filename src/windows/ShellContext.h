#pragma once

#include "shared/ShellGlobals.h"

#include <QString>
#include <functional>

class QWidget;

namespace talvek {

class Clock;
class OnlineModeSwitch;
class ProgramFolder;
class Prompter;
class RSComm;
class SerialPortControl;
class frmMDIMain;

// What a child window is given when it is created: the program's services,
// the one controller link and the mode switch, the main window's variables.
struct ShellContext
{
    Prompter& prompter;
    Clock& clock;
    ProgramFolder& folder;
    RSComm& rs;
    OnlineModeSwitch& mode; // mode.ApplyOnlineMode() after setting rs.OnlineMode
    SerialPortControl* MSComm1;
    ShellGlobals& globals;
    frmMDIMain& main;
};

// Creates one child window of the Window menu (parent: none; the main window
// puts it into the frame and deletes it when another child is shown).
using ChildFactory = std::function<QWidget*(ShellContext&)>;

} // namespace talvek
