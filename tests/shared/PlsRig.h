#pragma once

#include "shared/MachineData.h"
#include "SimLinkMode.h"

#include <QList>

namespace talvek::test {

// The simulator link with fresh machine data, whose PLS holds what the
// working data holds, except channel 2, which is empty: what the timing
// editor's suites stand on.
struct PlsRig : SimLinkMode
{
    using Channel = K7700Sim::PLSChannel;

    PlsRig()
    {
        resetMachineDataGlobals();
        InitMachineData(1, 0, 0);
        for (int ch = 0; ch < 8; ++ch) {
            if (ch != 2)
                sim.setPLSChannel(ch, setpoints(CurrentData.OnSetpoint[ch], CurrentData.OffSetpoint[ch]));
        }
    }
    ~PlsRig()
    {
        if (port.isOpen())
            port.close();
    }
    static Channel setpoints(int on, int off)
    {
        return { Channel::Kind::Setpoints, quint16(on), quint16(off) };
    }
    qsizetype mark() const { return port.exchanges().size(); }
    // The PLS command bytes sent since `from` (the byte after each accepted
    // attention) and the ready queries (0x38), in order.
    QList<int> commandsSince(qsizetype from) const
    {
        const QList<SimPort::Exchange>& all = port.exchanges();
        QList<int> out;
        for (qsizetype i = from; i < all.size(); ++i) {
            const bool accepted = !all[i].reply.isEmpty() && quint8(all[i].reply.back()) == 0x55;
            if (all[i].sent == 0xFF && accepted && i + 1 < all.size())
                out.append(all[++i].sent);
            else if (all[i].sent == 0x38 && accepted)
                out.append(0x38);
        }
        return out;
    }
};

} // namespace talvek::test
