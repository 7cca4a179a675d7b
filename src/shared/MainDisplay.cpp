#include "shared/MainDisplay.h"

#include "base/BasicText.h"
#include "link/K7700Registers.h"
#include "link/RSComm.h"
#include "shared/BackgroundMonitor.h"
#include "shared/MachineData.h"

namespace talvek {

namespace {

struct DisplayItem
{
    reg::Register address;
    int row; // the parameter row shown OFFLINE; -1: none
};

constexpr std::array<DisplayItem, MainDisplayState::kDisplayCount> kItems { {
    { reg::kMachineSpeed, -1 },
    { reg::kMachinePosition, -1 },
    { reg::kShiftGoodCans, paramRowOf(reg::kShiftGoodCans) },
    { reg::kShiftShortCans, paramRowOf(reg::kShiftShortCans) },
    { reg::kBrakeResponseLow, paramRowOf(reg::kBrakeResponseLow) },
    { reg::kBrakeResponseHigh, paramRowOf(reg::kBrakeResponseHigh) },
} };

} // namespace

MainDisplay::MainDisplay(RSComm& rs, const BackgroundMonitor& monitor, QObject* parent)
    : QObject(parent)
    , m_rs(rs)
    , m_monitor(monitor)
{ }

void MainDisplay::resetAlarms()
{
    reportedWhereItHappened(m_rs.RSWrite(reg::kAlarmReset, QStringLiteral("1")));
}

void MainDisplay::cycleStarted()
{
    const QString& message = m_monitor.SystemMessage();
    if (message == m_state.systemMessage)
        return;
    m_state.systemMessage = message;
    emit systemMessageChanged();
}

void MainDisplay::present(bool enabled)
{
    m_state.enabled = enabled;
    if (!enabled)
        m_state.value.fill(QString());
    emit presented();
}

void MainDisplay::applyOnlinePresentation()
{
    present(true);
}

void MainDisplay::applyOfflinePresentation()
{
    present(false);
}

int MainDisplay::beginOnlinePass()
{
    m_state.positionHidden = false;
    return MainDisplayState::kDisplayCount;
}

bool MainDisplay::onlineItem(int index)
{
    const Result<QString> read = m_rs.RSRead(kItems[size_t(index)].address);
    // A read that failed on the line leaves the value as it was until the
    // next pass; a lost link ends the loop.
    if (!read)
        return !m_rs.CommError;
    const QString& value = *read;
    if (index == MainDisplayState::Speed)
        m_state.positionHidden = Val(value) > kPositionSpeedLimit;
    m_state.value[size_t(index)] = value;
    emit valueChanged(index);
    return true;
}

void MainDisplay::offlinePass()
{
    for (size_t i = 0; i < kItems.size(); ++i) {
        if (kItems[i].row >= 0)
            m_state.value[i] = QString::number(CurrentData.ParamValue.value(kItems[i].row, 0));
    }
    emit valueChanged(-1);
}

} // namespace talvek
