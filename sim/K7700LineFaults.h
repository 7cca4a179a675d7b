#pragma once

#include "K7700Sim.h"

#include <cstdint>
#include <random>

namespace talvek {

// A line that fails now and then, for long runs against the simulator: before
// each byte the board hears, at a given rate, one fault is set up at random:
// the byte is lost, its echo is spoilt, a noise byte comes before the reply,
// the reply comes twice, the reply comes late (inside the link's first
// wait), or the line drops out for a few bytes.
//
// Two faults are left out because no byte protocol without a checksum can see
// them: a data byte spoilt on its way back (reads have no echo of their data),
// and a reply so late that the link has resynchronised and moved on before it
// lands. So echoes and acknowledgements are spoilt, data replies never; and
// no reply is doubled where a data reply is near, for on a real line the copy
// comes a byte time after its original and would stand for the next reply.
class K7700LineFaults final
{
public:
    K7700LineFaults(K7700Sim& sim, std::uint32_t seed, double rate);

    // Call before the board receives a byte; true when its reply is to be
    // delivered twice.
    bool beforeByte();
    // Whether the board's next reply is data (a byte read, a PLS reply, a
    // program record's answer) rather than an echo or acknowledgement.
    static bool dataReplyNext(const K7700Sim& sim);
    // Whether a data reply is this byte's or the next one's (read, PLS and
    // program modes).
    static bool dataReplyNear(const K7700Sim& sim);
    // Ends a drop-out (a link that reopens the port starts afresh).
    void restore();

    std::int64_t injected() const { return m_injected; }
    std::int64_t bytes() const { return m_bytes; }
    double rate() const { return m_rate; }

private:
    K7700Sim& m_sim;
    std::mt19937 m_random;
    std::uniform_real_distribution<double> m_chance { 0.0, 1.0 };
    double m_rate;
    int m_dropOutLeft = 0;
    std::int64_t m_injected = 0;
    std::int64_t m_bytes = 0;
};

} // namespace talvek
