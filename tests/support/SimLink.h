#pragma once

#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "K7700Sim.h"
#include "link/RSComm.h"
#include "ScriptedPrompter.h"
#include "SimPort.h"

#include <QTemporaryDir>

namespace talvek::test {

// A controller link on the in-process simulator, in a program folder of its
// own, with the fake clock and a scripted prompter: what most tests stand on.
struct SimLink
{
    QTemporaryDir dir;
    K7700Sim sim;
    FakeClock clock;
    ScriptedPrompter prompter;
    ProgramFolder folder { dir.path() };
    SimPort port { sim, clock };
    RSComm rs { folder, clock, prompter };
};

} // namespace talvek::test
