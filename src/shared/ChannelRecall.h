#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace talvek {

class RSComm;
struct MachineData;

// What one recall of a PLS channel gave. The board hands out one setpoint per
// recall: ChannelRecallState 1 says that ChannelRecallPos is the channel's ON
// setpoint, 0 that it is its OFF setpoint, and any other state that the
// channel is not programmed.
struct ChannelRecall
{
    enum class Kind
    {
        Failed, // RecallChannel failed (CommError tells whether the link did)
        OnSetpoint,
        OffSetpoint,
        NotProgrammed,
    };
    Kind kind = Kind::Failed;
    qint16 state = 0; // ChannelRecallState as received
    qint16 position = 0; // ChannelRecallPos

    // A setpoint came back: a second recall gives the channel's other one.
    bool gaveSetpoint() const { return kind == Kind::OnSetpoint || kind == Kind::OffSetpoint; }
};

// One RecallChannel of `channel`, read as above.
ChannelRecall recallChannelOnce(RSComm& rs, qint16 channel);

// The recall state of a channel that holds nothing (the PLS gives it for an
// empty channel), and of one programmed as a pulse train.
inline constexpr qint16 RecallEmpty = 2;
inline constexpr qint16 RecallPulseTrain = 3;

// A channel that the PLS holds in a state a set-up file cannot keep: the
// record has it as empty (ON 0, OFF 0), so a download of the record clears it.
struct UnheldChannel
{
    int channel = 0;
    qint16 state = 0; // the recall state the PLS gave
};

// The channels of `data` held as empty whose PLS channel is not empty: each
// such channel is recalled once more. Stops quietly at a link failure (the
// channels found until then are returned); a failed recall skips its channel.
QList<UnheldChannel> UnheldChannels(RSComm& rs, const MachineData& data);

// What the operator is told after an upload that found such channels:
// "The PLS holds channels that a set-up file cannot hold: CH08 (pulse train)."
// and what a download of the data does to them.
QString UnheldChannelsNotice(const QList<UnheldChannel>& channels);

// Puts what a recall gave into the channel's setpoints: the ON or the OFF
// setpoint, or both 0 for a channel that is not programmed. A failed recall
// and a channel beyond the record change nothing.
void storeRecall(MachineData& data, int channel, const ChannelRecall& recall);

} // namespace talvek
