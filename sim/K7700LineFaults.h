#pragma once

#include "K7700Sim.h"

#include <array>
#include <cstdint>
#include <optional>
#include <random>

namespace talvek {

// The faults of the line between a PC and the board, one catalogue for the
// simulator, the soak run and the fuzz target.
//
// The first six strike whatever byte comes next. Two faults are left out of
// them because no byte protocol without a checksum can see them: a data byte
// spoilt on its way back (reads have no echo of their data), and a reply so
// late that the link has resynchronised and moved on before it lands. So
// echoes and acknowledgements are spoilt, data replies never; and no reply
// is doubled where a data reply is near, for on a real line the copy comes a
// byte time after its original and stands for the next reply.
//
// The others are aimed at a byte of a write triple, a read pair whose data
// equals its address high byte, the inside of a write triple. Drawn at
// random they strike where they fall, or not at all (the doubled echo, whose
// place is rare, waits for it); set up by a test or the fuzz target's script
// they wait for their byte.
enum class LineFault
{
    LostByte, // the byte never reaches the board
    SpoiltReply, // an echo or acknowledgement comes back as its complement
    NoiseBeforeReply, // a stray byte arrives just before an echo or acknowledgement
    DoubledReply, // a reply comes twice
    LateReply, // a reply comes 100 to 949 ms late, inside the link's first wait
    DropOut, // the board hears nothing for 1 to 4 bytes
    LostAddressHigh, // the address high byte of a write triple is lost
    LostAddressLow, // the address low byte of a write triple is lost
    LostDataByte, // the data byte of a write triple is lost
    // The echo of a read pair's address high byte comes twice, in a pair
    // whose data byte equals it: the copy passes for the data, and the link
    // reads one reply behind from there.
    DoubledEchoEqualToData,
    // The line goes dead inside a write triple (after its address high
    // byte) until the port is opened again: the session ends with the board
    // waiting for the rest of the triple.
    SessionCut,
};
inline constexpr int LineFaultCount = 11;

// The fault's name in reports and commands: "lost-byte", "session-cut", ...
const char* lineFaultName(LineFault fault);

// A line that fails now and then, for long runs against the simulator:
// before each byte the board hears, at a given rate, one fault of the
// catalogue is drawn at random (each as likely as the others). A fault the
// byte gives no room for (an echo to spoil where data comes back, a write
// triple's byte where none goes) is not made.
class K7700LineFaults final
{
public:
    K7700LineFaults(K7700Sim& sim, std::uint32_t seed, double rate);

    // Call before the board receives `byte`; true when its reply is to be
    // delivered twice.
    bool beforeByte(std::uint8_t byte);
    // The same with the fault chosen by the caller (the fuzz target's
    // script) instead of drawn; none: only aimed faults that wait strike.
    // `detail` picks the noise byte, the delay or the length of a drop-out.
    // A chosen doubled reply is doubled near a data reply too (on a port
    // that delivers the copy at once, where a link can drop it as stale).
    bool beforeByte(std::uint8_t byte, std::optional<LineFault> fault, std::uint32_t detail);
    // Whether the board's next reply is data (a byte read, a PLS reply, a
    // program record's answer) rather than an echo or acknowledgement.
    static bool dataReplyNext(const K7700Sim& sim);
    // Whether a data reply is this byte's or the next one's (read, PLS and
    // program modes).
    static bool dataReplyNear(const K7700Sim& sim);
    // Ends a drop-out or a cut line (a link that reopens the port starts
    // afresh); aimed faults still waiting stay set up.
    void restore();

    std::int64_t injected() const { return m_injected; }
    std::int64_t injected(LineFault fault) const { return m_byFault.at(std::size_t(fault)); }
    std::int64_t bytes() const { return m_bytes; }
    double rate() const { return m_rate; }

private:
    bool aimed(LineFault fault) const;
    bool strike(LineFault fault, std::uint8_t byte, std::uint32_t detail, bool drawn);
    // Strikes `byte` with an aimed fault waiting for it.
    void strikeAimed(std::uint8_t byte);
    // Strikes `byte` with the aimed fault if it is the byte the fault is
    // aimed at; false (and nothing done) otherwise.
    bool strikeIfHere(LineFault fault, std::uint8_t byte);
    void count(LineFault fault);
    void countDownDropOut();

    K7700Sim& m_sim;
    std::mt19937 m_random;
    std::uniform_real_distribution<double> m_chance { 0.0, 1.0 };
    double m_rate;
    int m_dropOutLeft = 0; // -1: until restore()
    std::array<bool, LineFaultCount> m_waiting {};
    std::int64_t m_injected = 0;
    std::array<std::int64_t, LineFaultCount> m_byFault {};
    std::int64_t m_bytes = 0;
};

} // namespace talvek
