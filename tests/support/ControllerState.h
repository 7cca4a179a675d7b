#pragma once

// Everything the simulated controller holds: its whole byte memory and the
// PLS board's channels, scale factor, offset and configuration. Taken before
// and after an operation, so that a test can say exactly what it changed.

#include "K7700Sim.h"

#include <QByteArray>
#include <QList>
#include <array>

namespace talvek::test {

struct ControllerState
{
    QByteArray memory;
    std::array<K7700Sim::PLSChannel, K7700Sim::PLSChannelCount> channels {};
    quint16 scale = 0;
    quint16 offset = 0;
    std::array<quint8, K7700Sim::PLSConfigTableSize> table {};
    std::array<quint8, K7700Sim::PLSConfigParamCount> params {};

    bool operator==(const ControllerState&) const = default;

    static ControllerState of(const K7700Sim& sim)
    {
        ControllerState s;
        s.memory.resize(K7700Sim::MemorySize);
        for (int a = 0; a < K7700Sim::MemorySize; ++a)
            s.memory[a] = char(sim.byte(a));
        for (int c = 0; c < K7700Sim::PLSChannelCount; ++c)
            s.channels[size_t(c)] = sim.plsChannel(c);
        s.scale = sim.plsScaleFactor();
        s.offset = sim.plsOffset();
        s.table = sim.plsConfigTable();
        s.params = sim.plsConfigParams();
        return s;
    }

    // The byte addresses whose contents differ from `other`'s.
    QList<int> changedBytes(const ControllerState& other) const
    {
        QList<int> changed;
        for (int a = 0; a < K7700Sim::MemorySize; ++a) {
            if (memory[a] != other.memory[a])
                changed.append(a);
        }
        return changed;
    }

    // The channels that differ from `other`'s.
    QList<int> changedChannels(const ControllerState& other) const
    {
        QList<int> changed;
        for (int c = 0; c < K7700Sim::PLSChannelCount; ++c) {
            if (!(channels[size_t(c)] == other.channels[size_t(c)]))
                changed.append(c);
        }
        return changed;
    }
};

} // namespace talvek::test
