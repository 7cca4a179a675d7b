#pragma once

#include <QString>

namespace talvek {

// The object name of member `index` of a control array ("txtSetup_3"), so
// that tests and people find each member by its array's name and its index.
inline QString controlArrayName(const char* name, int index)
{
    return QLatin1String(name) + QLatin1Char('_') + QString::number(index);
}

} // namespace talvek
