#include "K7700LineFaults.h"

namespace talvek {

K7700LineFaults::K7700LineFaults(K7700Sim& sim, std::uint32_t seed, double rate)
    : m_sim(sim)
    , m_random(seed)
    , m_rate(rate)
{
}

bool K7700LineFaults::beforeByte()
{
    ++m_bytes;
    if (m_dropOutLeft > 0 && --m_dropOutLeft == 0)
        m_sim.setDroppedOut(false);
    if (m_chance(m_random) >= m_rate)
        return false;
    const bool dataReply = dataReplyNext(m_sim);
    const int kind = int(m_random() % 6);
    if ((dataReply && (kind == 1 || kind == 2)) || (kind == 3 && dataReplyNear(m_sim))
        || (kind == 5 && m_sim.droppedOut()))
        return false;
    ++m_injected;
    switch (kind) {
    case 0: m_sim.silenceNext(1); break;
    case 1: m_sim.corruptNextReply(); break;
    case 2: m_sim.insertNoiseBeforeNextReply(std::uint8_t(m_random())); break;
    case 3: return true;
    case 4: m_sim.delayNextReply(100 + int(m_random() % 850)); break;
    default:
        m_sim.setDroppedOut(true);
        m_dropOutLeft = 1 + int(m_random() % 4);
        break;
    }
    return false;
}

bool K7700LineFaults::dataReplyNext(const K7700Sim& sim)
{
    return (sim.mode() == K7700Sim::Mode::Read && sim.step() == 1) || sim.mode() == K7700Sim::Mode::PLS
        || sim.mode() == K7700Sim::Mode::PLSReady || sim.mode() == K7700Sim::Mode::Program;
}

bool K7700LineFaults::dataReplyNear(const K7700Sim& sim)
{
    return sim.mode() == K7700Sim::Mode::Read || sim.mode() == K7700Sim::Mode::PLS
        || sim.mode() == K7700Sim::Mode::PLSReady || sim.mode() == K7700Sim::Mode::Program;
}

void K7700LineFaults::restore()
{
    m_sim.setDroppedOut(false);
    m_dropOutLeft = 0;
}

} // namespace talvek
