#include "shared/ParamWrite.h"

#include "link/RSComm.h"
#include "shared/MachineData.h"

namespace talvek {

void StoreParamAndWrite(RSComm& rs, int row, qint32 value, const QString& address, const QString& writeText)
{
    if (row >= 0 && row < CurrentData.ParamValue.size())
        CurrentData.ParamValue[row] = value;
    if (rs.OnlineMode && !rs.CommError)
        rs.RSWrite(address, writeText);
}

} // namespace talvek
