#include "shared/ChannelRecall.h"

#include "link/RSComm.h"
#include "shared/MachineData.h"

namespace talvek {

namespace {
constexpr qint16 RecallOn = 1;
constexpr qint16 RecallOff = 0;
} // namespace

ChannelRecall recallChannelOnce(RSComm& rs, qint16 channel)
{
    ChannelRecall recall;
    if (Status recalled = rs.RecallChannel(channel); !recalled) {
        recall.failure = recalled.error();
        return recall;
    }
    recall.state = rs.ChannelRecallState;
    recall.position = rs.ChannelRecallPos;
    recall.kind = recall.state == RecallOn ? ChannelRecall::Kind::OnSetpoint
        : recall.state == RecallOff        ? ChannelRecall::Kind::OffSetpoint
                                           : ChannelRecall::Kind::NotProgrammed;
    return recall;
}

void storeRecall(MachineData& data, int channel, const ChannelRecall& recall)
{
    if (channel < 0 || size_t(channel) >= data.OnSetpoint.size())
        return;
    const auto ch = size_t(channel);
    switch (recall.kind) {
    case ChannelRecall::Kind::OnSetpoint:
        data.OnSetpoint[ch] = recall.position;
        break;
    case ChannelRecall::Kind::OffSetpoint:
        data.OffSetpoint[ch] = recall.position;
        break;
    case ChannelRecall::Kind::NotProgrammed:
        data.OnSetpoint[ch] = 0;
        data.OffSetpoint[ch] = 0;
        break;
    case ChannelRecall::Kind::Failed:
        break;
    }
}

} // namespace talvek
