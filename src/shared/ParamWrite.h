#pragma once

#include "base/Outcome.h"

#include <QString>
#include <QtGlobal>

namespace talvek {

class RSComm;

// An operator's accepted change of a parameter row: the value is stored in
// the working data (CurrentData) and, while ONLINE with a sound link, written
// to the controller at `address` as `writeText`. A row beyond the table is
// not stored; the write still goes out. The outcome is the write's (done when
// nothing was to be written); a failed write has had RSWrite's alert.
Status storeParamAndWrite(RSComm& rs, int row, qint32 value, const QString& address, const QString& writeText);

} // namespace talvek
