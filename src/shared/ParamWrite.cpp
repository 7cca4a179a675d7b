#include "shared/ParamWrite.h"

#include "link/RSComm.h"
#include "shared/MachineData.h"

namespace talvek {

Status storeParamAndWrite(RSComm& rs, int row, qint32 value, const QString& address, const QString& writeText)
{
    if (row >= 0 && row < CurrentData.ParamValue.size())
        CurrentData.ParamValue[row] = value;
    if (rs.OnlineMode && !rs.CommError)
        return rs.RSWrite(address, writeText);
    return done();
}

} // namespace talvek
