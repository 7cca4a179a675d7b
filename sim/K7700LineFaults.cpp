#include "K7700LineFaults.h"

namespace talvek {

const char* lineFaultName(LineFault fault)
{
    switch (fault) {
    case LineFault::LostByte:
        return "lost-byte";
    case LineFault::SpoiltReply:
        return "spoilt-reply";
    case LineFault::NoiseBeforeReply:
        return "noise-before-reply";
    case LineFault::DoubledReply:
        return "doubled-reply";
    case LineFault::LateReply:
        return "late-reply";
    case LineFault::DropOut:
        return "drop-out";
    case LineFault::LostAddressHigh:
        return "lost-address-high";
    case LineFault::LostAddressLow:
        return "lost-address-low";
    case LineFault::LostDataByte:
        return "lost-data-byte";
    case LineFault::DoubledEchoEqualToData:
        return "doubled-echo-equal-to-data";
    case LineFault::SessionCut:
        return "session-cut";
    }
    return "?";
}

K7700LineFaults::K7700LineFaults(K7700Sim& sim, std::uint32_t seed, double rate)
    : m_sim(sim)
    , m_random(seed)
    , m_rate(rate)
{ }

bool K7700LineFaults::aimed(LineFault fault) const
{
    return int(fault) >= int(LineFault::LostAddressHigh);
}

void K7700LineFaults::count(LineFault fault)
{
    ++m_injected;
    ++m_byFault[std::size_t(fault)];
}

bool K7700LineFaults::beforeByte(std::uint8_t byte)
{
    if (m_chance(m_random) >= m_rate)
        return beforeByte(byte, std::nullopt, 0);
    const auto fault = LineFault(m_random() % LineFaultCount);
    const auto detail = std::uint32_t(m_random());
    ++m_bytes;
    countDownDropOut();
    return strike(fault, byte, detail, true);
}

bool K7700LineFaults::beforeByte(std::uint8_t byte, std::optional<LineFault> fault, std::uint32_t detail)
{
    ++m_bytes;
    countDownDropOut();
    if (fault)
        return strike(*fault, byte, detail, false);
    strikeAimed(byte);
    return false;
}

void K7700LineFaults::countDownDropOut()
{
    if (m_dropOutLeft > 0 && --m_dropOutLeft == 0)
        m_sim.setDroppedOut(false);
}

bool K7700LineFaults::strike(LineFault fault, std::uint8_t byte, std::uint32_t detail, bool drawn)
{
    if (aimed(fault)) {
        // Drawn, an aimed fault strikes here or not at all, as any fault;
        // set up by the caller it waits. So does a doubled echo equal to the
        // data, whose place is rare by nature.
        if (!drawn || fault == LineFault::DoubledEchoEqualToData) {
            m_waiting[std::size_t(fault)] = true;
            strikeAimed(byte);
        } else if (strikeIfHere(fault, byte)) {
            count(fault);
        } else {
            strikeAimed(byte);
        }
        return false;
    }
    strikeAimed(byte);
    const bool dataReply = dataReplyNext(m_sim);
    switch (fault) {
    case LineFault::LostByte: m_sim.silenceNext(1); break;
    case LineFault::SpoiltReply:
        if (dataReply)
            return false;
        m_sim.corruptReplyTo(0);
        break;
    case LineFault::NoiseBeforeReply:
        if (dataReply)
            return false;
        m_sim.insertNoiseBeforeReplyTo(std::uint8_t(detail), 0);
        break;
    case LineFault::DoubledReply:
        if (drawn && dataReplyNear(m_sim))
            return false;
        count(fault);
        return true;
    case LineFault::LateReply: m_sim.delayNextReply(100 + int(detail % 850)); break;
    default: // LineFault::DropOut
        if (m_sim.droppedOut())
            return false;
        m_sim.setDroppedOut(true);
        m_dropOutLeft = 1 + int(detail % 4);
        break;
    }
    count(fault);
    return false;
}

void K7700LineFaults::strikeAimed(std::uint8_t byte)
{
    for (int f = int(LineFault::LostAddressHigh); f < LineFaultCount; ++f) {
        if (m_waiting[std::size_t(f)] && strikeIfHere(LineFault(f), byte)) {
            m_waiting[std::size_t(f)] = false;
            count(LineFault(f));
            return;
        }
    }
}

bool K7700LineFaults::strikeIfHere(LineFault fault, std::uint8_t byte)
{
    if (m_sim.droppedOut())
        return false; // the byte is lost already
    const K7700Sim::Mode mode = m_sim.mode();
    const int step = m_sim.step();
    switch (fault) {
    case LineFault::LostAddressHigh:
    case LineFault::LostAddressLow:
    case LineFault::LostDataByte:
        // At the start of a triple 0xFF is an attention, not an address.
        if (mode != K7700Sim::Mode::Write || step != int(fault) - int(LineFault::LostAddressHigh)
            || (step == 0 && byte == K7700Sim::Attention))
            return false;
        m_sim.silenceNext(1);
        return true;
    case LineFault::DoubledEchoEqualToData: {
        // The board has the address high byte; `byte` is the low one.
        const int high = m_sim.address() >> 8;
        if (mode != K7700Sim::Mode::Read || step != 1 || m_sim.byte(m_sim.address() | byte) != high)
            return false;
        // The copy of the echo comes a byte time after it: after the link
        // has sent the address low byte, just before the data.
        m_sim.insertNoiseBeforeReplyTo(std::uint8_t(high), 0);
        return true;
    }
    case LineFault::SessionCut:
        if (mode != K7700Sim::Mode::Write || step == 0)
            return false;
        m_sim.setDroppedOut(true);
        m_dropOutLeft = -1;
        return true;
    default: return false;
    }
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
