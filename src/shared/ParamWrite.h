#pragma once

#include <QString>
#include <QtGlobal>

namespace talvek {

class RSComm;

// An operator's accepted change of a parameter row: the value is stored in
// the working data (CurrentData) and, while ONLINE with a sound link, written
// to the controller at `address` as `writeText`. A row beyond the table is
// not stored; the write still goes out.
void StoreParamAndWrite(RSComm& rs, int row, qint32 value, const QString& address, const QString& writeText);

} // namespace talvek
