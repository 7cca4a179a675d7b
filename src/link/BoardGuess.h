#pragma once

#include <QList>
#include <QtGlobal>

#include <optional>

namespace talvek {

// What the board may have done with the bytes the link sent it since it
// last acknowledged an attention byte, when not every byte is known to have
// arrived.
//
// The board takes the bytes it hears in order and never notices a lost one
// (see the simulator's notes on the protocol); in read and write mode every
// byte is answered at once. A byte answered as the board answers it (an echo
// equal to the byte, an acknowledgement) arrived; a byte answered late, not
// at all, or wrongly may not have. For each such byte the guess keeps both
// boards, the one that heard it and the one that did not, and follows each
// through the bytes after it: where it stores (write mode) and where it
// stands. The replies to the attention bytes that end the trouble (an
// acknowledgement: the byte was an attention; an echo: it went into a
// triple) rule boards out.
//
// So after a lost byte the link knows every address a board consistent with
// what it saw can have stored at, and with what value; a read of each
// settles which stores happened. A session that ends with a board inside a
// triple leaves the addresses its next byte may be stored at.
class BoardGuess final
{
public:
    struct Store
    {
        int address = 0;
        int value = 0;
        bool operator==(const Store&) const = default;
    };

    // The board acknowledged an attention byte and the command byte of a
    // read (1) or write (2) mode: it stands at the start of a pair or triple.
    void begin(int mode);
    bool active() const { return m_active; }
    // The link gave up on the board (its state is no longer followed).
    void clear();

    // A byte went out; it counts as perhaps lost until heard() says
    // otherwise.
    void sent(int byte);
    // The last byte sent was answered as the board answers it.
    void heard();
    // The link means to store `value` at `address` (a triple it sends): a
    // board that does so has done nothing wrong.
    void intend(int address, int value);
    // The last byte sent was an attention byte and the board answered it:
    // with an acknowledgement (it took the byte as an attention) or with an
    // echo (the byte went into a triple).
    void observeAttention(bool acknowledged);

    // Some byte since begin() may not have arrived.
    bool troubled() const;
    // ... and the board was in write mode: it may have stored where the
    // link did not mean it to.
    bool mayHaveStored() const { return troubled() && m_startMode == 2; }
    // Followed from a write handshake (whatever became of it since).
    bool fromWrite() const { return m_active && m_startMode == 2; }

    struct Settled
    {
        // Stores outside the intended ones that some board consistent with
        // the replies made, by address (each value such a board stored).
        QList<Store> stray;
        // Some board left read or write mode for another (a byte taken as a
        // command): what it did is not followed.
        bool lostTrack = false;
    };
    // The board has acknowledged an attention byte: what it may have done
    // on the way. The guess ends.
    Settled settle();
    // Where the next byte the board hears may be stored, for a guess not
    // settled: an address per board waiting inside a write triple (for the
    // low byte, high:FF, the 0xFF after it being the data).
    QList<int> pending() const;

private:
    enum class Mode
    {
        Command, // after an attention byte
        Read,
        Write,
        Other // a command the guess does not follow
    };
    struct Board
    {
        Mode mode = Mode::Command;
        int step = 0;
        int high = 0;
        int low = 0;
        bool lastAttention = false; // the last byte heard was an attention byte
        QList<Store> stores;
        bool operator==(const Board&) const = default;
    };
    struct Sent
    {
        int byte = 0;
        bool heard = false;
        std::optional<bool> attention; // the reply to this 0xFF: acknowledged or echoed
    };
    static void take(Board& board, int byte);
    // Every board consistent with the bytes and replies so far.
    QList<Board> boards() const;
    // Bytes answered as the board answers them, up to the first that was
    // not, go into m_base: only the bytes from there on are kept (a read
    // mode session polls for hours without a new handshake).
    void fold();

    bool m_active = false;
    int m_startMode = 0;
    Board m_base; // the board after the bytes folded in
    QList<Sent> m_sent; // from the first byte not known to have arrived (or the last one sent)
    QList<Store> m_intended;
};

} // namespace talvek
