#include "shared/MachineData.h"

#include "base/BasicError.h"
#include "base/BasicText.h"

#include <array>

#include <limits>

namespace talvek {

QString setupParameterCaption(int row)
{
    if (row < kSetupParamFirstRow || row > kSetupParamLastRow)
        return {};
    return paramCaptionText(row);
}

namespace {

MachineDataGlobals theStore;

} // namespace

MachineDataGlobals& machineDataStore()
{
    return theStore;
}

MachineData& CurrentData = theStore.CurrentData;
MachineData& SavedData = theStore.SavedData;
MachineData& DefaultData = theStore.DefaultData;
MachineData& FileData = theStore.FileData;
qint16& ParamCount = theStore.ParamCount;
QString& ProgramVersion = theStore.ProgramVersion;
qint16& TransferType = theStore.TransferType;
bool& OfflineEditing = theStore.OfflineEditing;
bool& IsUntitled = theStore.IsUntitled;
bool& DataReloaded = theStore.DataReloaded;
bool& TimingDownloaded = theStore.TimingDownloaded;

void MachineData::resizeTables(int lastRow)
{
    const qsizetype count = lastRow < 0 ? 0 : qsizetype(lastRow) + 1;
    ParamAddress.resize(count);
    ParamValue.resize(count, 0);
}

void MachineData::clear()
{
    *this = MachineData();
}

QString timingChannelName(int channel)
{
    if (channel < 0 || channel >= int(kTimingChannelDefaults.size()))
        return QString();
    return QString::fromLatin1(kTimingChannelDefaults[std::size_t(channel)].name);
}

QString plsChannelName(int channel)
{
    return QStringLiteral("CH%1").arg(channel, 2, 8, QLatin1Char('0'));
}

bool isChannelEmpty(const MachineData& data, int channel)
{
    if (channel < 0 || channel >= int(data.OnSetpoint.size()))
        return true;
    return data.OnSetpoint[std::size_t(channel)] == 0 && data.OffSetpoint[std::size_t(channel)] == 0;
}

void resetMachineDataGlobals()
{
    theStore = MachineDataGlobals();
}

QString makeProgramVersion(int major, int minor, int revision)
{
    return QStringLiteral("TALVEK_R%1.%2.%3").arg(major).arg(minor).arg(revision);
}

void InitMachineData()
{
    InitMachineData(TALVEK_VERSION_MAJOR, TALVEK_VERSION_MINOR, TALVEK_VERSION_PATCH);
}

void InitMachineData(int major, int minor, int revision)
{
    ParamCount = qint16(kParamRowDefaults.size() - 1);
    DefaultData.ParamAddress = QStringList();
    DefaultData.ParamValue = QList<qint32>();
    DefaultData.resizeTables(ParamCount);

    ProgramVersion = makeProgramVersion(major, minor, revision);
    DefaultData.Version = ProgramVersion;

    for (int row = 0; row <= ParamCount; ++row)
        DefaultData.ParamValue[row] = kParamRowDefaults[std::size_t(row)].value;
    DefaultData.PlsChannelCount = 16;
    DefaultData.PlsScaleFactor = 360;
    DefaultData.PlsOffset = 0;
    DefaultData.PlsProgram = 0;
    DefaultData.SpeedCompensation.fill(0);
    DefaultData.OnSetpoint.fill(0);
    DefaultData.OffSetpoint.fill(0);
    for (std::size_t ch = 0; ch < kTimingChannelDefaults.size(); ++ch) {
        DefaultData.OnSetpoint[ch] = kTimingChannelDefaults[ch].on;
        DefaultData.OffSetpoint[ch] = kTimingChannelDefaults[ch].off;
    }

    for (int row = 0; row <= ParamCount; ++row)
        DefaultData.ParamAddress[row] = QString::fromLatin1(kParamRowDefaults[std::size_t(row)].address);

    CurrentData = DefaultData;
    SavedData = DefaultData;
    IsUntitled = true;
}

bool HasUnsavedChanges()
{
    for (int row = 0; row <= ParamCount; ++row) {
        const bool inCurrent = row < CurrentData.ParamValue.size();
        const bool inSaved = row < SavedData.ParamValue.size();
        if (inCurrent != inSaved)
            return true;
        if (inCurrent && CurrentData.ParamValue[row] != SavedData.ParamValue[row])
            return true;
    }
    // Everything the set-up file stores: the PLS configuration and all 16
    // channels as well (a timing upload changes them alone).
    if (CurrentData.OnSetpoint != SavedData.OnSetpoint || CurrentData.OffSetpoint != SavedData.OffSetpoint
        || CurrentData.SpeedCompensation != SavedData.SpeedCompensation
        || CurrentData.PlsChannelCount != SavedData.PlsChannelCount
        || CurrentData.PlsScaleFactor != SavedData.PlsScaleFactor
        || CurrentData.PlsOffset != SavedData.PlsOffset || CurrentData.PlsProgram != SavedData.PlsProgram)
        return true;
    return CurrentData.Version != ProgramVersion;
}

QString paramValueText(qint32 value)
{
    return StrNum(double(value));
}

qint32 paramValueFromText(const QString& text)
{
    const double value = Val(text);
    try {
        return CLng(value);
    } catch (const BasicError&) {
        return value < 0 ? std::numeric_limits<qint32>::min() : std::numeric_limits<qint32>::max();
    }
}

void applyPlsConfigList(MachineData& data, std::span<const qint16> list)
{
    if (list.size() > 0)
        data.PlsChannelCount = list[0];
    if (list.size() > 1)
        data.PlsProgram = list[1];
    for (std::size_t i = 0; i < data.SpeedCompensation.size() && i + 2 < list.size(); ++i)
        data.SpeedCompensation[i] = list[i + 2];
}

bool applyPlsScaleFactor(MachineData& data, int word)
{
    if (word < std::numeric_limits<qint16>::min() || word > std::numeric_limits<qint16>::max())
        return false;
    data.PlsScaleFactor = qint16(word);
    return true;
}

bool applyPlsOffset(MachineData& data, int word)
{
    if (word < std::numeric_limits<qint16>::min() || word > std::numeric_limits<qint16>::max())
        return false;
    data.PlsOffset = qint16(word);
    return true;
}

std::array<qint16, 24> plsConfigDownloadList(const MachineData& data)
{
    std::array<qint16, 24> list {};
    list[0] = data.PlsProgram;
    for (std::size_t i = 0; i < 4; ++i) {
        list[1 + i] = data.SpeedCompensation[i];
        list[6 + i] = data.SpeedCompensation[4 + i];
    }
    list[5] = 0;
    list[18] = data.PlsChannelCount;
    return list;
}

} // namespace talvek
