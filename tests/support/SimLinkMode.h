#pragma once

#include "shared/modUtility.h"
#include "SimLink.h"

namespace talvek::test {

// SimLink with the program's ONLINE/OFFLINE switch on it (shared and window tests).
struct SimLinkMode : SimLink
{
    OnlineModeSwitch mode { rs, &port };
};

} // namespace talvek::test
