#include "link/BrokenRecord.h"

#include <algorithm>
#include <optional>

namespace talvek {

namespace {

// The longest run of bytes the line is taken to lose at once (a drop-out of
// a few byte times), and the fillers it may lose before the board's answer.
constexpr int kMaxGap = 4;
constexpr int kMaxLostFillers = 4;

constexpr quint8 kFiller = 0xFF;
constexpr quint8 kAck = 0x55;
constexpr quint8 kProgramModeCommand = 0x03;

// The board as it takes the bytes it heard of a record and then fillers.
struct Replay
{
    StrayStores all; // every byte stored, in or out of the record's range
    int firstReply = -1;
    int fillersBeforeReply = 0; // 0: it answered a byte of the record itself
};

Replay replay(const QByteArray& heard)
{
    enum class State
    {
        Start,
        High,
        Low,
        Data,
        Command
    };
    Replay r;
    State state = State::Start;
    int length = 0;
    int address = 0;
    int stored = 0;
    int sum = 0;
    const int total = int(heard.size()) + fillersThrough(int(kFillerBursts.size()));
    for (int i = 0; i < total; ++i) {
        const bool filler = i >= heard.size();
        const quint8 b = filler ? kFiller : quint8(heard.at(i));
        std::optional<quint8> reply;
        switch (state) {
        case State::Command:
            if (b == kProgramModeCommand) {
                state = State::Start;
            } else if (b != kFiller) {
                r.all.anywhere = true;
                return r;
            }
            reply = kAck;
            break;
        case State::Start:
            if (b == kFiller) {
                state = State::Command;
                reply = kAck;
                break;
            }
            length = b;
            sum = b;
            state = State::High;
            break;
        case State::High:
            address = b << 8;
            sum += b;
            state = State::Low;
            break;
        case State::Low:
            address |= b;
            sum += b;
            stored = 0;
            state = length == 0 ? State::Start : State::Data;
            if (length == 0)
                reply = quint8(sum);
            break;
        case State::Data:
            r.all.stores.append({ (address + stored) & 0xFFFF, b });
            sum += b;
            if (++stored == length) {
                reply = quint8(sum);
                state = State::Start;
            }
            break;
        }
        if (reply && r.firstReply < 0) {
            r.firstReply = *reply;
            r.fillersBeforeReply = filler ? i - int(heard.size()) + 1 : 0;
        }
        // From here on every filler is an attention.
        if (filler && state == State::Command)
            break;
    }
    return r;
}

bool agrees(const Replay& r, const RecordAftermath& seen)
{
    if (r.firstReply < 0 || r.firstReply != seen.firstReply)
        return false;
    // An answer to a byte of the record came during the wait for the sum,
    // or (a little late) during the first burst.
    if (r.fillersBeforeReply == 0)
        return seen.burst <= 1;
    if (seen.burst == 0)
        return false;
    // The answer came in the burst that held the filler that ended the
    // record, or a later one when the line lost fillers.
    return r.fillersBeforeReply <= fillersThrough(seen.burst)
        && r.fillersBeforeReply + kMaxLostFillers > fillersThrough(seen.burst - 1);
}

} // namespace

int fillersThrough(int burst)
{
    int n = 0;
    for (int i = 0; i < burst && i < int(kFillerBursts.size()); ++i)
        n += kFillerBursts.at(i);
    return n;
}

namespace {

// Gives `heard` what the board heard of `wire` for each loss the link
// reckons with, until it returns true: a gap of up to kMaxGap bytes that took
// a header byte, alone or with a second gap further on; with `dataGaps`, a
// gap anywhere in the data as well.
template <typename Heard>
bool anyLoss(const QByteArray& wire, bool dataGaps, Heard&& heard)
{
    const int size = int(wire.size());
    for (int p = 0; p < (dataGaps ? size : 3); ++p) {
        for (int r1 = 1; r1 <= kMaxGap && p + r1 <= size; ++r1) {
            if (heard(wire.left(p) + wire.mid(p + r1)))
                return true;
            // A second gap, at least one heard byte after a header gap.
            for (int q = p + r1 + 1; p < 3 && q < size; ++q) {
                for (int r2 = 1; r2 <= kMaxGap && q + r2 <= size; ++r2) {
                    if (heard(wire.left(p) + wire.mid(p + r1, q - p - r1) + wire.mid(q + r2)))
                        return true;
                }
            }
        }
    }
    return false;
}

} // namespace

QList<StrayStores> strayStoresOf(const QByteArray& wire, const RecordAftermath& seen)
{
    QList<StrayStores> ways;
    if (wire.size() < 3 || seen.firstReply < 0)
        return ways;
    const int length = quint8(wire.at(0));
    const int start = (quint8(wire.at(1)) << 8) | quint8(wire.at(2));
    anyLoss(wire, false, [&](const QByteArray& heard) {
        const Replay r = replay(heard);
        if (!agrees(r, seen))
            return false;
        StrayStores way;
        way.anywhere = r.all.anywhere;
        for (const auto& store : r.all.stores) {
            if (((store.first - start) & 0xFFFF) >= length)
                way.stores.append(store);
        }
        if ((way.anywhere || !way.stores.isEmpty()) && !ways.contains(way))
            ways.append(way);
        return false;
    });
    return ways;
}

bool aftermathExplainedInside(const QByteArray& wire, const RecordAftermath& seen)
{
    if (seen.firstReply < 0)
        return true; // nothing came back: the board is gone, which the link reports as such
    if (wire.size() < 3)
        return false;
    const int length = quint8(wire.at(0));
    const int start = (quint8(wire.at(1)) << 8) | quint8(wire.at(2));
    const auto inside = [&](const QByteArray& heard) {
        const Replay r = replay(heard);
        if (r.all.anywhere || !agrees(r, seen))
            return false;
        return std::all_of(r.all.stores.cbegin(), r.all.stores.cend(),
            [&](const std::pair<int, quint8>& store) { return ((store.first - start) & 0xFFFF) < length; });
    };
    // Everything heard and the sum late, or spoilt on its way back (an
    // answer that came before any filler went out).
    return inside(wire) || seen.burst == 0 || anyLoss(wire, true, inside);
}

} // namespace talvek
