#include "shared/ChannelRecall.h"

#include "link/RSComm.h"
#include "shared/MachineData.h"

#include <QStringList>

namespace talvek {

namespace {
constexpr qint16 kRecallOn = 1;
constexpr qint16 kRecallOff = 0;
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
    recall.kind = recall.state == kRecallOn ? ChannelRecall::Kind::OnSetpoint
        : recall.state == kRecallOff        ? ChannelRecall::Kind::OffSetpoint
                                           : ChannelRecall::Kind::NotProgrammed;
    return recall;
}

QString pulseTrainNotice(const QList<int>& channels)
{
    QStringList named;
    for (const int channel : channels)
        named << plsChannelName(channel) + QStringLiteral(" (pulse train)");
    return QStringLiteral("The PLS holds channels that a set-up file cannot hold: ")
        + named.join(QStringLiteral(", "))
        + QStringLiteral(".\r\n\r\nThey are kept here as empty channels (ON 0, OFF 0): a download of this "
                         "data will clear them on the PLS.");
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
