#pragma once

#include "base/Outcome.h"

#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace talvek {

class RSComm;
struct MachineData;

// What one recall of a PLS channel gave. The board hands out one setpoint per
// recall: ChannelRecallState 1 says that ChannelRecallPos is the channel's ON
// setpoint, 0 that it is its OFF setpoint, 2 that the channel is empty and 3
// that it holds a pulse train (neither has setpoints). The link fails a
// recall with any other state.
struct ChannelRecall
{
    enum class Kind
    {
        Failed, // RecallChannel failed: `failure` says why
        OnSetpoint,
        OffSetpoint,
        NotProgrammed,
    };
    Kind kind = Kind::Failed;
    qint16 state = 0; // ChannelRecallState as received
    qint16 position = 0; // ChannelRecallPos
    std::optional<Failure> failure; // when Failed

    // A setpoint came back: a second recall gives the channel's other one.
    bool gaveSetpoint() const { return kind == Kind::OnSetpoint || kind == Kind::OffSetpoint; }
    // The channel holds a pulse train, which a set-up file cannot hold.
    bool pulseTrain() const { return kind == Kind::NotProgrammed && state == kPulseTrainState; }
    static constexpr qint16 kPulseTrainState = 3;
};

// One RecallChannel of `channel`, read as above.
ChannelRecall recallChannelOnce(RSComm& rs, qint16 channel);

// What the operator is told after an upload that found channels holding a
// pulse train (uploaded as empty, ON 0 / OFF 0): "The PLS holds channels that
// a set-up file cannot hold: CH08 (pulse train)." and what a download of the
// data does to them.
QString pulseTrainNotice(const QList<int>& channels);

// Puts what a recall gave into the channel's setpoints: the ON or the OFF
// setpoint, or both 0 for a channel that is not programmed. A failed recall
// and a channel beyond the record change nothing.
void storeRecall(MachineData& data, int channel, const ChannelRecall& recall);

} // namespace talvek
