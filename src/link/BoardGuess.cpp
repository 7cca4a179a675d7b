#include "link/BoardGuess.h"

#include <algorithm>

namespace talvek {

namespace {

constexpr int kAttention = 0xFF;
constexpr int kReadMode = 1;
constexpr int kWriteMode = 2;
// Boards followed at most; past that the guess has lost track (a line that
// loses that many bytes in one exchange is not a line to guess on).
constexpr qsizetype kMostBoards = 512;

} // namespace

void BoardGuess::begin(int mode)
{
    clear();
    m_active = mode == kReadMode || mode == kWriteMode;
    m_startMode = mode;
    m_base.mode = mode == kReadMode ? Mode::Read : Mode::Write;
}

void BoardGuess::clear()
{
    m_active = false;
    m_startMode = 0;
    m_base = Board {};
    m_sent.clear();
    m_intended.clear();
}

bool BoardGuess::troubled() const
{
    return std::any_of(m_sent.cbegin(), m_sent.cend(), [](const Sent& s) { return !s.heard; });
}

void BoardGuess::sent(int byte)
{
    if (!m_active)
        return;
    m_sent.append(Sent { byte & 0xFF, false, std::nullopt });
}

void BoardGuess::heard()
{
    if (!m_active || m_sent.isEmpty())
        return;
    m_sent.last().heard = true;
    fold();
}

void BoardGuess::fold()
{
    while (!m_sent.isEmpty() && m_sent.first().heard && !m_sent.first().attention) {
        take(m_base, m_sent.takeFirst().byte);
        // A store the link meant is no news; the others are kept.
        if (!m_base.stores.isEmpty() && m_intended.contains(m_base.stores.last()))
            m_base.stores.removeLast();
    }
}

void BoardGuess::intend(int address, int value)
{
    const Store store { address & 0xFFFF, value & 0xFF };
    if (m_active && !m_intended.contains(store))
        m_intended.append(store);
}

void BoardGuess::observeAttention(bool acknowledged)
{
    if (!m_active || m_sent.isEmpty() || m_sent.last().byte != kAttention)
        return;
    m_sent.last().attention = acknowledged;
    m_sent.last().heard = true; // answered: it arrived
}

void BoardGuess::take(Board& board, int byte)
{
    board.lastAttention = false;
    const bool attention = byte == kAttention;
    switch (board.mode) {
    case Mode::Command:
        if (attention)
            board.lastAttention = true;
        else if (byte == kReadMode || byte == kWriteMode)
            board = Board { byte == kReadMode ? Mode::Read : Mode::Write, 0, 0, 0, false, board.stores };
        else
            board.mode = Mode::Other;
        return;
    case Mode::Read:
    case Mode::Write:
        if (board.step == 0 && attention) {
            board.mode = Mode::Command;
            board.lastAttention = true;
        } else if (board.step == 0) {
            board.high = byte;
            board.step = 1;
        } else if (board.step == 1 && board.mode == Mode::Write) {
            board.low = byte;
            board.step = 2;
        } else if (board.step == 1) {
            board.step = 0; // the read pair's low byte
        } else {
            const Store store { (board.high << 8) | board.low, byte };
            if (!board.stores.contains(store))
                board.stores.append(store);
            board.step = 0;
        }
        return;
    case Mode::Other:
        return;
    }
}

QList<BoardGuess::Board> BoardGuess::boards() const
{
    QList<Board> boards { m_base };
    for (const Sent& s : m_sent) {
        QList<Board> next;
        for (const Board& b : std::as_const(boards)) {
            Board heard = b;
            take(heard, s.byte);
            // The reply says otherwise (a board not followed may say anything).
            if (s.attention && heard.mode != Mode::Other && heard.lastAttention != *s.attention)
                continue;
            if (!next.contains(heard))
                next.append(heard);
        }
        // A byte not known to have arrived may have been lost: the board
        // stands as it stood (a reply to it came from elsewhere).
        if (!s.heard) {
            for (const Board& b : std::as_const(boards))
                if (!next.contains(b))
                    next.append(b);
        }
        // Replies that fit no board (two faults in one reply): the guess
        // keeps every board rather than trust them.
        if (next.isEmpty()) {
            for (const Board& b : std::as_const(boards)) {
                Board heard = b;
                take(heard, s.byte);
                next.append(heard);
                next.append(b);
            }
        }
        boards = next;
        if (boards.size() > kMostBoards) {
            Board lost;
            lost.mode = Mode::Other;
            return { lost };
        }
    }
    return boards;
}

BoardGuess::Settled BoardGuess::settle()
{
    Settled settled;
    if (m_active) {
        for (const Board& b : boards()) {
            if (b.mode == Mode::Other)
                settled.lostTrack = true;
            for (const Store& s : b.stores)
                if (!m_intended.contains(s) && !settled.stray.contains(s))
                    settled.stray.append(s);
        }
    }
    clear();
    return settled;
}

QList<int> BoardGuess::pending() const
{
    QList<int> addresses;
    if (!m_active)
        return addresses;
    for (const Board& b : boards()) {
        if (b.mode != Mode::Write || b.step == 0)
            continue;
        const int address = (b.high << 8) | (b.step == 1 ? 0xFF : b.low);
        if (!addresses.contains(address))
            addresses.append(address);
    }
    std::sort(addresses.begin(), addresses.end());
    return addresses;
}

} // namespace talvek
