#pragma once

#include <QByteArray>
#include <QList>
#include <array>
#include <utility>

namespace talvek {

// A program record the board did not answer with its sum, and what the bytes
// the line may have lost can have made the board store.
//
// The board in program mode, as the link knows it:
//
//   record start   0xFF leaves program mode: answered 0x55, and the board
//                  waits for a command (0xFF again: 0x55 again; 0x03: back
//                  to the record start, answered 0x55). Any other byte is
//                  the record's length n.
//   address        the next two bytes, high then low, whatever their value
//                  (0xFF included).
//   data           n bytes, each stored at the address and on (wrapping at
//                  64 KiB), 0xFF included. The last one (for n = 0 the
//                  address low byte) is answered with the 8-bit sum of all
//                  the record's bytes, and the board is back at the record
//                  start.
//
// Nothing else is answered. So the link sees a lost byte only as a sum that
// does not come: the board waits inside the record for as many bytes as it
// missed and stores whatever comes next. A lost data byte moves the rest of
// the record one address down, inside the record's own range, which the
// record sent again overwrites. A lost length or address byte moves the
// header: the board takes its address from the bytes that follow and stores
// the record's data there, anywhere in memory ("stray" bytes); a lost length
// can also make it take the rest of the record as records of their own.
//
// Out of a broken record the link sends 0xFF bytes ("fillers") in bursts of
// 1, 3, 12, 48 and 194, waiting for the board's answers after each burst. In
// all they are more than the longest record the board can be waiting for
// (two address and 254 data bytes) and one attention. Inside the record each
// filler is data; the one that ends it is answered with the sum; each one
// after that is an attention, answered 0x55, with the board waiting for a
// command, where the link takes it back into program mode (0xFF, 0x03) and
// sends the record again. Fillers are all 0xFF: however many of them the line
// loses, the sum the board answers is the same. That sum and the burst it
// came after tell which gaps in the record can explain what the board did,
// and so which bytes a gap that took a header byte has left where.

// What the board answered after a record that did not get its sum: the first
// byte that came back, and when (burst 0: while the link waited for the sum;
// n: after the n-th burst of fillers).
struct RecordAftermath
{
    int firstReply = -1; // -1: nothing came back at all
    int burst = 0;
};

// One way the line can have broken a record that agrees with what the board
// answered: the bytes it stored outside the record's own range.
struct StrayStores
{
    QList<std::pair<int, quint8>> stores; // address and value, in the order stored
    // The board left program mode inside the record and took another
    // command than 0x03: what it did then is not known.
    bool anywhere = false;

    bool operator==(const StrayStores&) const = default;
};

// The bursts of fillers that take the board out of a broken record.
inline constexpr std::array<int, 5> kFillerBursts { 1, 3, 12, 48, 194 };

// The fillers sent in bursts 1 to `burst` (0 for none).
int fillersThrough(int burst);

// The ways the line can have broken the record `wire` (length, address high
// and low, data bytes as they went out) that agree with `seen` and leave
// bytes outside the record's range (or effects not known): a gap of up to
// four bytes that took a header byte, alone or with a second gap of up to
// four bytes further on. A gap in the data alone leaves nothing outside the
// record's range and is not listed. Each way is listed once.
QList<StrayStores> strayStoresOf(const QByteArray& wire, const RecordAftermath& seen);

// Whether a loss the link reckons with that leaves every byte outside the
// record's range alone explains what the board answered: none at all (the sum
// late or spoilt), one gap of up to four bytes anywhere in the record (its data
// included), or a header gap with a second one further on whose stores stay
// in the range. When none does, one of strayStoresOf()'s ways happened, or
// more was lost than the link reckons with.
bool aftermathExplainedInside(const QByteArray& wire, const RecordAftermath& seen);

} // namespace talvek
