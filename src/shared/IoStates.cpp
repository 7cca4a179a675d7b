#include "shared/IoStates.h"

#include "base/BasicText.h"
#include "link/K7700Registers.h"
#include "link/RSComm.h"
#include "shared/MachineData.h"

namespace talvek {

namespace {

// The polling order.
constexpr std::array<reg::Register, IoStatesState::kItemCount> kItems {
    reg::kInput0,
    reg::kInput1,
    reg::kAnalogInput0,
    reg::kAnalogInput1,
    reg::kAnalogOutput0,
    reg::kAnalogOutput1,
    reg::kMachinePosition,
    reg::kMachineSpeed,
    reg::kResolverPeriod,
    reg::kResolverScaleFactor,
    reg::kResolverOffset,
    reg::kTimingChannelBits,
    reg::kSlot00Bits,
    reg::kSlot01Bits,
};

} // namespace

IoStates::IoStates(RSComm& rs, QObject* parent)
    : QObject(parent)
    , m_rs(rs)
{ }

void IoStates::presentAtLoad(RefreshLoop& loop)
{
    present(m_rs.OnlineMode);
    loop.setOnlinePresented(m_rs.OnlineMode);
    loop.setOfflinePresented(!m_rs.OnlineMode);
}

void IoStates::present(bool online)
{
    m_state.online = online;
    emit presented();
}

void IoStates::applyOnlinePresentation()
{
    present(true);
}

void IoStates::applyOfflinePresentation()
{
    present(false);
}

int IoStates::beginOnlinePass()
{
    return IoStatesState::kItemCount;
}

bool IoStates::onlineItem(int index)
{
    const Result<QString> read = m_rs.RSRead(kItems[size_t(index)]);
    // A read that failed on the line leaves the item as it was until the
    // next pass; a lost link ends the loop.
    if (!read)
        return !m_rs.CommError;
    const QString& value = *read;
    if (index < IoStatesState::kInputCount) {
        m_state.value[size_t(index)] = value;
        m_state.input[size_t(index)] = Val(value) == 1.0;
    } else if (index < IoStatesState::kK7700Count) {
        m_state.value[size_t(index)] = value;
    } else {
        m_state.bits[size_t(index - IoStatesState::kK7700Count)] = quint16(paramValueFromText(value));
    }
    emit itemRead(index);
    return true;
}

void IoStates::offlinePass()
{
    // Nothing to show OFFLINE beyond the presentation: the loop only rests.
}

} // namespace talvek
