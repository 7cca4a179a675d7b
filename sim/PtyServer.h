#pragma once

#include "K7700LineFaults.h"
#include "K7700Sim.h"

#include <QString>
#include <QStringList>
#include <csignal>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace talvek {

// Serves a K7700Sim on a pseudo-terminal (POSIX only): a program opens the
// slave device as its serial port and talks to the simulated board.
//
// - The server keeps the slave open itself, so that the terminal does not
//   hang up between one client's close and the next one's open.
// - Pacing: with a baud rate set, each reply leaves as on a real 8N1 line:
//   a byte takes 10 / baud seconds to arrive and its reply as long to go
//   back, so a reply is written two byte times after its byte was read
//   (bytes that come in together arrive one byte time apart). Without a baud
//   rate replies are written at once. Late-reply faults add their delay.
//   For precise timing a paced server waits out the last 200 us before a
//   reply on the clock, and watches for the next byte on the clock for
//   300 us after one: it uses CPU while a client is exchanging bytes, and
//   sleeps otherwise.
// - USB adapter: with a latency timer set, the replies pass through an
//   emulated USB serial adapter on their way to the client, as an FTDI chip
//   does it: a byte that comes off the line into the adapter's empty buffer
//   starts the timer, and the buffer goes to the client in one piece when the
//   timer runs out (or when it holds 62 bytes, a full USB packet). A lone
//   reply thus reaches the client the latency time after it left the line.
// - The press moves in real time (advanced before every byte it hears).
// - Commands, one per line, on an optional input (the simulator's stdin),
//   each answered with one line:
//     get <B|W|D|F><n>          -> "<address>=<value>"
//     set <B|W|D|F><n> <value>  -> "ok"
//     run | stop | speed <spm>  -> "ok" (the press)
//     silence <n> [<after>] | late <ms> | wrong [<byte>] | noise <byte> |
//     dropout | restore | clear -> "ok" (faults; see K7700Sim)
//     faults                    -> "injected=<n> bytes=<n> lost-byte=<n> ...":
//                                  the random line faults so far, in all and
//                                  by name (see setRandomFaults)
//     pls <n>                   -> "<empty|setpoints|pulsetrain> <on> <off>":
//                                  PLS channel n as the board holds it
//     plsdump                   -> "scale=<n> offset=<n>" and, for each of the
//                                  16 channels, " <kind>:<on>:<off>:<on
//                                  divisions>:<off divisions>"
//     dump                      -> the whole 64 KiB memory as 131072 hex
//                                  digits, address 0 first
//     stats                     -> "replies=<n> late-median-us=<m> late-p99-us=<p>
//                                  late-max-us=<x>": how late the replies written
//                                  since the last stats left against their due
//                                  time (pacing precision)
//     anything else             -> "error: ..."
class PtyServer final
{
public:
    explicit PtyServer(K7700Sim& sim);
    ~PtyServer();
    Q_DISABLE_COPY_MOVE(PtyServer)

    // Creates the pseudo-terminal (raw mode); false with a reason on failure.
    bool open(QString* error);
    QString slavePath() const { return m_slavePath; }

    // 0: no pacing.
    void setBaud(int baud) { m_baud = baud; }
    // The emulated USB adapter's latency timer in ms; 0: no adapter.
    void setUsbLatency(int ms) { m_usbLatencyMs = ms; }
    // Sets up random line faults at this rate per byte heard (see
    // K7700LineFaults); 0: none.
    void setRandomFaults(double rate, std::uint32_t seed);
    // Reads commands from this descriptor and answers them on answerFd.
    void setCommandInput(int inputFd, int answerFd);

    // Serves until one of the given signals arrives (they must be blocked in
    // the calling thread; they are unblocked only while the server waits).
    // Returns 0, or 1 when the pseudo-terminal failed.
    int run(const sigset_t& stopSignals);

    // One command line, as read from the command input.
    QString command(const QString& line);

private:
    struct Outgoing
    {
        std::int64_t dueNs;
        std::uint8_t byte;
    };
    static std::int64_t nowNs();
    void advanceMachine(std::int64_t now);
    void received(const std::uint8_t* bytes, int count, std::int64_t now);
    bool flushDue(std::int64_t now);
    void readCommands();
    // The commands by kind; nothing when `verb` with its words is not one.
    std::optional<QString> faultCommand(const QString& verb, const QStringList& w);
    std::optional<QString> reportCommand(const QString& verb, const QStringList& w);
    std::optional<QString> memoryCommand(const QString& verb, const QStringList& w);
    QString takeStats();

    K7700Sim& m_sim;
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    int m_baud = 0;

    int m_commandFd = -1;
    int m_answerFd = -1;
    QByteArray m_commandBuffer;

    std::deque<Outgoing> m_out; // in due order
    std::int64_t m_rxFreeNs = 0; // when the incoming line is free again
    std::int64_t m_txFreeNs = 0; // when the outgoing line is free again
    std::int64_t m_machineNs = 0; // up to when the press has moved
    int m_usbLatencyMs = 0;
    std::int64_t m_adapterSendNs = -1; // when the adapter sends the bytes it holds; -1: empty
    int m_adapterHeld = 0; // bytes in the adapter's buffer
    std::vector<std::int64_t> m_lateness;
    std::optional<K7700LineFaults> m_faults; // ns past due, per reply byte written
};

} // namespace talvek
