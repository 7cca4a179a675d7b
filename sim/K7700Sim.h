#pragma once

#include <QByteArray>
#include <QString>
#include <QList>
#include <QtGlobal>
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

namespace talvek {

// A model of the K7700 processor module as its programming port sees it:
// 64 KiB of byte memory behind a half-duplex, byte-by-byte protocol, and a
// press that moves while it runs. Feed it the bytes the PC sends, one at a
// time, with receive(); each call returns what the board answers to that byte.
//
// Protocol (what the firmware does with each byte it hears):
//
//   Idle           the board ignores everything except the attention byte
//                  and the PLS ready query (see "The PLS board" below).
//   0xFF           attention: answered with 0x55; the next byte is a command.
//   Command        1 enters read mode, 2 enters write mode, both answered
//                  with 0x55; so are the PLS command bytes (below). Any
//                  other command byte is not answered and the board goes
//                  back to Idle (it waits for a new attention).
//                  A second 0xFF here is a new attention (0x55 again).
//   Read mode      triples of two bytes: address high byte (echoed), address
//                  low byte (answered with the data byte at that address).
//   Write mode     triples of three bytes: address high (echoed), address low
//                  (echoed), data byte (echoed, then stored).
//   Modes persist: any number of triples follow one handshake.
//
// Firmware choices the exchanges leave open:
//
//   - 0xFF at the start of a triple is always the attention byte, never an
//     address high byte; addresses 0xFF00..0xFFFF are therefore not reachable
//     through read or write mode. Inside a triple (address low byte, data
//     byte) 0xFF is an ordinary byte.
//   - A write stores its byte when the data byte arrives. A triple once
//     begun always runs to its end: a lost byte shifts the triple, so the
//     resynchronising 0xFF of the PC may land inside it as an ordinary byte.
//   - Words are low byte first; a "D" value is two words, the low word holding
//     the value modulo 10000 and the high word the value divided by 10000.
//   - The board answers every byte at once; the fault injection below makes it
//     misbehave on purpose.
//
// What a byte the line loses does to the board (it never notices a fault; it
// takes the bytes it hears in order, whatever the PC meant by them):
//
//   handshake      0xFF lost: the board stays where it was and takes the
//                  command byte as whatever that state makes of it (Idle:
//                  nothing). Command byte lost: the board waits for a
//                  command, and the PC's resynchronising 0xFF is a new
//                  attention, answered 0x55 like the command would have been.
//   read pair      address high lost: nothing is taken; the resynchronising
//                  0xFF is an attention. Address low lost: the
//                  resynchronising 0xFF is the low byte: the data at
//                  (high:FF) comes back.
//   write triple   address high lost: nothing is taken; the resynchronising
//                  0xFF is an attention. Address low lost: whatever byte
//                  comes next is the low byte (echoed) and the one after it
//                  the data: a resynchronising 0xFF makes the next byte (the
//                  next handshake's 0xFF) a store at (high:FF); the low byte
//                  sent again (what TALVEK sends) makes the triple whole.
//                  Data byte lost: the resynchronising 0xFF is the data,
//                  stored at the address.
//   doubled reply  the board heard everything; a copy taken for the next
//                  byte's reply can hide that byte's loss, and the board
//                  then takes the bytes after it one place off (a triple at
//                  an address made of other bytes): only the next attention
//                  byte, echoed instead of acknowledged, shows it.
//   session cut    inside a triple, the board keeps waiting there: the next
//                  session's first 0xFF fills the triple as above. Inside a
//                  PLS write, the next session's bytes are the write's.
//   program record the board waits inside the record for the bytes it
//                  missed; a lost length or address byte moves the record
//                  elsewhere (see program mode below).
//
// A doubled or late reply, a spoilt echo or a noise byte change nothing in
// the board: only the PC's view of which reply answers which byte.
//
// The moving machine: while running, the position word W180 (degrees, 0..359)
// turns at the speed in W182 (strokes per minute; one stroke is 360 degrees).
// Every completed stroke makes one can: a short can (W1104, +1, wrapping at
// 65536) on every shortCanInterval()-th stroke, a good can (D1100, +1,
// wrapping after 655,359,999) on all others. A position written from outside
// is taken up (modulo 360) by the next advance; the fraction of a degree is
// kept by the model so that slow speeds still move.
//
// The end of a shift: when F32 goes from 0 to 1 (written through the
// protocol or set from outside), the board moves the counts of the current
// shift to the last shift (D1100 -> D1200, W1104 -> W1204) and clears the
// current ones. Holding F32 at 1 does nothing more; it takes a 0 and a new 1
// to end the next shift.
//
// The alarms: F858 (brake response too long), F2, F4, F8 (bits 2, 4, 8 of
// W32), F48, F49 (bits 0, 1 of B38) and F42, F43 (bits 2, 3 of B37). F26 is
// the firmware's summary: 1 while none of F2, F4, F8, F42, F43, F48, F49 is
// set. Memory writes leave F26 alone (tests set any combination); setAlarm()
// raises or clears one alarm and brings F26 in step.
//
// The PLS board (the programmable limit switch beside the K7700) has its own
// commands, sent as the command byte of a handshake. Each is a one-shot: when
// its bytes are done the board is back in Idle, and the next command needs a
// new handshake. "Poll" is a byte the PC sends (0x55) to clock out the next
// data byte. Inside a PLS command every byte is the command's, 0xFF included
// (a resynchronising 0xFF is taken as the byte it replaces).
//
//   24 / 40 / 72 / 88   read the scale factor / offset / position / speed:
//                       two polls give the low byte, then the high byte (the
//                       word as it stood when the command was accepted).
//   26 / 42             write the scale factor / offset: low byte, high byte,
//                       each answered 0x55.
//   27                  channel record: channel, first value (low, high),
//                       second value (low, high), flag, each answered 0x55.
//                       Flag 1 sets the ON (first) and OFF (second) setpoints,
//                       flag 0 clears the channel.
//   43                  pulse-train record: channel, start division (low,
//                       high), ON divisions, OFF divisions, flag (not used).
//   59 / 75 / 91 / 107  configuration blocks 0..3: six bytes, each answered
//                       0x55, become parameters 6b..6b+5 of the board's list
//                       of 24 configuration parameters.
//   9                   recall: the channel byte is answered 0x55, then three
//                       polls give the state, the position low and high byte.
//   12                  configuration table: 19 polls give entries 0..18.
//   0x38                ready query, in Idle, without a handshake: answered
//                       0x55; the next poll is answered 0x00 when the board is
//                       ready (then one more poll, answered 0x55, ends the
//                       query) or 0x55 while it is busy (the query ends there).
//
// PLS firmware choices:
//
//   - A write (word, record, configuration block) is checked when its last
//     byte arrives and takes effect then. A refused one is answered with NAK
//     (0x15) instead of 0x55, on the channel byte for a channel above 15 and
//     on the last byte otherwise; nothing changes and the board is back in
//     Idle. Refused: a scale factor of 0; an offset not below the scale
//     factor; setpoints not below the scale factor (flag 1); a record flag
//     other than 0 or 1 (27); a pulse train with 0 ON or OFF divisions, with
//     ON + OFF not dividing the scale factor, or with its start not below it.
//     A recall of a channel above 15 is refused the same way.
//   - A new scale factor takes the offset modulo itself; channels are kept.
//   - Recall alternates per channel: the first recall after the channel was
//     programmed gives state 1 and the ON setpoint, the next state 0 and the
//     OFF setpoint, and so on. An empty channel gives state 2 and position 0,
//     a pulse train state 3 and its start division.
//   - Position: the resolver (the press position W180 with its fraction of a
//     degree) in scale-factor divisions, minus the offset, modulo the scale
//     factor. Speed: W182 while the press runs, 0 while it stands.
//   - Channel outputs W170 (bit n = channel n): a setpoint channel is on from
//     its ON setpoint up to, not including, its OFF setpoint (across 0 when
//     OFF < ON; never when they are equal); a pulse train is on for its ON
//     divisions, then off for its OFF divisions, from its start division
//     round the cycle. Speed compensation is not modelled. W170 is rewritten
//     whenever the position (W180), the offset, the scale factor or a channel
//     changes; a value written there from outside stands until then.
//   - The K7700 keeps copies of the scale factor in W186 and of the offset in
//     W188, rewritten whenever the PLS's own values change.
//   - Configuration table: entry 0 = parameter 18 (number of channels), 1 =
//     parameter 0 (PLS program), 2..5 = parameters 1..4 and 6..9 = parameters
//     6..9 (speed compensation CH00..CH07), 10..17 = parameters 10..17, 18 =
//     parameter 5; parameters 19..23 are kept but not reported. A block
//     changes only the entries of its own parameters.
//   - Power-up: scale factor 360, offset 0, all channels empty, 16 channels
//     in the configuration, every other parameter 0.
//   - The board is ready at once and takes every valid write, unless a test
//     says otherwise (setPLSBusy, rejectNextPLSWrite).
//
// Program mode (loading a user program): command 3, answered with 0x55, puts
// the board into program mode, where it takes raw program records:
//
//   length n, address high, address low, then n data bytes, stored at the
//   address and on (wrapping at 64 KiB). Nothing is answered until the last
//   data byte, which is answered with the 8-bit sum of all the record's bytes
//   (n, both address bytes and the data bytes). A record of length 0 is
//   answered after its address low byte.
//   0xFF at the start of a record leaves program mode: answered with 0x55,
//   and the next byte is a command, as after any attention. So no record of
//   255 bytes can be sent; inside a record 0xFF is an ordinary data byte.
//
// Program-mode firmware choices: the board enters program mode whatever the
// settings registers (B8176, B8181, B8188..B8190) hold; the program-loader
// writes them first, and they are plain memory here. The ident registers
// B61424..B61433 (ident characters 1-8, program checksum, program revision)
// are plain memory too; setIdent() fills them.
//
// Growing the protocol: every mode is a value of Mode with its own byte
// handler and its own notion of "start of a record" (step 0), where an
// attention byte is recognised. New command bytes (the PLS commands, program
// mode) add a case in the command handler and a handler of their own.
class K7700Sim final
{
public:
    static constexpr std::uint8_t Attention = 0xFF;
    static constexpr std::uint8_t Ack = 0x55;
    static constexpr std::uint8_t CommandRead = 1;
    static constexpr std::uint8_t CommandWrite = 2;
    static constexpr std::uint8_t CommandProgram = 3;
    static constexpr int IdentRegister = 61424; // B61424..B61431: ident, 61432 checksum, 61433 revision

    // Registers of the moving machine (byte addresses).
    static constexpr int PositionWord = 180; // W180
    static constexpr int SpeedWord = 182; // W182
    static constexpr int GoodCansDword = 1100; // D1100
    static constexpr int ShortCansWord = 1104; // W1104
    static constexpr int FlagBase = 32; // F0 is bit 0 of byte 32
    static constexpr int LastGoodCansDword = 1200; // D1200
    static constexpr int LastShortCansWord = 1204; // W1204
    static constexpr int EndOfShiftFlag = 32; // F32
    static constexpr int FaultSummaryFlag = 26; // F26: 1 = no alarm of W32 / B38 / B37 pending
    static constexpr int BrakeResponseFlag = 858; // F858
    static constexpr int BrakeLowWord = 1040; // W1040, degrees
    static constexpr int BrakeHighWord = 1042; // W1042, degrees
    static constexpr int StoppingLimitWord = 1024; // W1024: maximum allowed stopping response, degrees

    static constexpr int MemorySize = 65536;
    static constexpr qint64 DwordLimit = 655360000; // base-10000 dword values are below this

    enum class Mode
    {
        Idle,
        Command,
        Read,
        Write,
        PLS, // a PLS command is running (its bytes are counted by step)
        PLSReady, // inside a PLS ready query
        Program // taking program records
    };

    // What the board sends back for one received byte: nothing, one byte, or
    // (with a noise fault) more; delayMs > 0 means the answer leaves that many
    // milliseconds late.
    struct Reply
    {
        QByteArray bytes;
        int delayMs = 0;
        bool isEmpty() const { return bytes.isEmpty(); }
    };

    K7700Sim();
    Q_DISABLE_COPY_MOVE(K7700Sim)

    // ---- protocol ----
    Reply receive(std::uint8_t byte);
    Mode mode() const { return m_mode; }
    // Position inside the current mode's record (0 = at the start).
    int step() const { return m_step; }
    // The address the current read pair, write triple or program record has
    // taken so far (its high byte alone, once that has come).
    int address() const { return m_address; }
    // Bytes heard so far (including the ones a fault swallowed).
    qint64 bytesReceived() const { return m_received; }
    // Back to Idle, as after power-up; memory is kept.
    void resetProtocol();

    // ---- memory ----
    std::uint8_t byte(int address) const;
    void setByte(int address, std::uint8_t value);
    quint16 word(int address) const;
    void setWord(int address, quint16 value);
    // Base-10000 double word; values of 655,360,000 and more are stored modulo that.
    qint64 getD(int address) const;
    void setD(int address, qint64 value);
    bool flag(int n) const;
    void setFlag(int n, bool on);
    // The value at an address text: "B<n>", "W<n>", "D<n>", "F<n>" or the bit
    // "B<n>.<b>" (n 0..65535, b 0..7, letters of any case); nothing for any
    // other text.
    std::optional<qint64> valueAt(const QString& address) const;

    // ---- alarms ----
    // Raises or clears one alarm flag (F858, F2, F4, F8, F42, F43, F48, F49;
    // any other flag is simply set) and brings F26 in step.
    void setAlarm(int flag, bool on);
    // F26 from the alarm bits as they stand.
    void updateFaultSummary();

    // ---- the R8816 DF1 board ----
    // What the DF1 serial board beside the K7700 shows in the K7700's memory
    // (the defaults: driver enabled, board configured, last transmit done,
    // link layer without error, PLC-5, node 1, file 10).
    struct DF1Board
    {
        bool driverEnabled = true; // F152: the K7700's DF1 driver is enabled
        std::uint8_t configStatus = 2; // B4023: 2 success
        std::uint8_t transmitStatus = 2; // B4021: 2 done
        std::uint8_t previousTransmitStatus = 2; // B4022
        quint16 transaction = 0; // W4016
        std::uint8_t activeCommand = 0; // B4014: 0 read, 1 write
        std::uint8_t bytesReceived = 0; // B4026
        bool replyReceived = false; // B4302 bit 6: 0 command, 1 reply
        std::uint8_t linkStatus = 0; // B4303: 0 success, else see STS
        std::uint8_t sts = 0; // B4018: STS byte of the last reply
        std::uint8_t extSts = 0; // B4019: EXT STS byte
        quint16 transactionReceived = 0; // W4304
        bool slc500 = false; // B4001 bit 0: 0 PLC-5, 1 SLC-500
        std::uint8_t destinationNode = 1; // B4050
        std::uint8_t destinationFile = 10; // B4011
    };
    static constexpr int DF1DriverFlag = 152; // F152
    // Writes the board's registers; the other bits of B4302 and B4001 stay.
    void setDF1Board(const DF1Board& board);

    // ---- the PLS board ----
    static constexpr std::uint8_t PLSReadyQuery = 0x38;
    static constexpr std::uint8_t PLSReadyReply = 0x00;
    static constexpr std::uint8_t PLSNak = 0x15;
    static constexpr int PLSChannelCount = 16;
    static constexpr int PLSConfigTableSize = 19;
    static constexpr int PLSConfigParamCount = 24;
    static constexpr int PLSOutputWord = 170; // W170: bit n = channel n on
    static constexpr int PLSScaleWord = 186; // W186: copy of the scale factor
    static constexpr int PLSOffsetWord = 188; // W188: copy of the offset

    struct PLSChannel
    {
        enum class Kind
        {
            Empty,
            Setpoints,
            PulseTrain
        };
        Kind kind = Kind::Empty;
        quint16 on = 0; // ON setpoint; the start division of a pulse train
        quint16 off = 0; // OFF setpoint
        quint8 onDivisions = 0; // pulse train
        quint8 offDivisions = 0;
        bool operator==(const PLSChannel&) const = default;
    };
    quint16 plsScaleFactor() const { return m_plsScale; }
    // 0 is taken as 1; the offset is taken modulo the new scale factor.
    void setPLSScaleFactor(quint16 scale);
    quint16 plsOffset() const { return m_plsOffset; }
    // Taken modulo the scale factor.
    void setPLSOffset(quint16 offset);
    quint16 plsPosition() const;
    quint16 plsRpm() const;
    PLSChannel plsChannel(int ch) const;
    // Programs channel ch (0..15) as given, without the checks of a record.
    void setPLSChannel(int ch, const PLSChannel& channel);
    std::array<quint8, PLSConfigTableSize> plsConfigTable() const { return m_plsTable; }
    void setPLSConfigTable(const std::array<quint8, PLSConfigTableSize>& table) { m_plsTable = table; }
    // The configuration parameters as last downloaded.
    std::array<quint8, PLSConfigParamCount> plsConfigParams() const { return m_plsParams; }
    // The next `queries` ready queries find the board busy, each busy answer
    // leaving `replyDelayMs` late; a negative count: busy until told otherwise.
    void setPLSBusy(int queries, int replyDelayMs = 0);
    // A write (word, record or configuration block) is refused (NAK on its
    // last byte): the one that follows `after` more writes.
    void rejectNextPLSWrite(int after = 0) { m_plsRejectAfter = after < 0 ? 0 : after; }
    // Ready queries (0x38) answered so far.
    int plsReadyQueries() const { return m_plsReadyQueries; }

    // ---- program mode ----
    // The ident registers: up to 8 ident characters (the rest 0), checksum, revision.
    void setIdent(const QByteArray& ident, std::uint8_t checksum, std::uint8_t revision);
    // Program records taken (answered with their sum) so far.
    int programRecords() const { return m_programRecords; }

    // ---- the moving machine ----
    void setRunning(bool running) { m_running = running; }
    bool running() const { return m_running; }
    void setShortCanInterval(int strokes);
    int shortCanInterval() const { return m_shortCanInterval; }
    // Brake wear over a week that passes in weekMs of the board's time (0:
    // none), running or not: both brake responses rise with the wear, the
    // high-speed one past the limit in W1024 (300 when 0) in the last sixth
    // of the week, which raises F858; at the week's end the brake is
    // serviced, the responses fall back and F858 clears.
    void setBrakeDrift(qint64 weekMs)
    {
        m_driftWeekMs = weekMs;
        m_driftMs = 0;
    }
    qint64 strokes() const { return m_strokes; }
    // Lets the given milliseconds pass.
    void advance(qint64 ms);

    // ---- fault injection ----
    // n bytes are not heard at all (lost on the wire): no reply, no change of
    // state. They are the bytes that follow the next `after` bytes, so a late
    // reply can be combined with a board that ignores the PC's resynchronising
    // attention byte: delayNextReply(1500); silenceNext(1, 1).
    void silenceNext(int n, int after = 0);
    // Drop-out after the board has heard `bytes` more bytes (mid-transfer).
    void dropOutAfter(int bytes) { m_dropOutAfter = bytes; }
    // The next reply leaves delayMs late.
    // The next reply (after `after` replies) leaves delayMs late.
    void delayNextReply(int delayMs, int after = 0)
    {
        m_lateMs = delayMs;
        m_lateAfter = std::max(after, 0);
    }
    // The next reply byte is wrong: the given byte, or the complement of the
    // right one. The board's own state is not affected.
    void corruptNextReply(std::optional<std::uint8_t> value = std::nullopt);
    // The reply to the byte that follows the next `after` bytes is wrong
    // (the complement of the right one), if that byte is answered at all.
    // Several can be pending, so that a retry goes wrong as well.
    void corruptReplyTo(int after);
    // A noise byte goes out just before the next reply.
    void insertNoiseBeforeNextReply(std::uint8_t noise) { m_noise = noise; }
    // A noise byte goes out just before the reply to the byte that follows
    // the next `after` bytes, if that byte is answered at all.
    void insertNoiseBeforeReplyTo(std::uint8_t noise, int after);
    // Drop-out: the board hears nothing until restored; its state is kept.
    void setDroppedOut(bool dropped) { m_droppedOut = dropped; }
    bool droppedOut() const { return m_droppedOut; }
    void clearFaults();

private:
    Reply process(std::uint8_t byte);
    Reply onCommand(std::uint8_t byte);
    Reply onRead(std::uint8_t byte);
    Reply onWrite(std::uint8_t byte);
    bool atRecordStart() const { return m_step == 0 && m_mode != Mode::PLS; }
    void applyFaults(Reply& reply);
    static int wrap(int address) { return address & 0xFFFF; }
    // Stores one byte of memory: the one path of every write, so that the
    // board reacts to F32 however it was set.
    void store(int address, std::uint8_t value);
    void endShift();
    // The PLS board (K7700SimPLS.cpp).
    void powerUpPLS();
    Reply onIdle(std::uint8_t byte);
    static bool isPLSCommand(std::uint8_t byte);
    Reply startPLSCommand(std::uint8_t command);
    Reply onPLS(std::uint8_t byte);
    Reply onPLSReady(std::uint8_t byte);
    Reply refusePLS();
    bool takePLSRejection();
    bool applyPLSWord(quint16 value);
    bool applyPLSRecord();
    void applyPLSConfigBlock();
    bool plsChannelOn(const PLSChannel& channel, int position) const;
    void updatePLSOutputs();
    void mirrorPLS();
    // Program mode (K7700SimProgram.cpp).
    Reply onProgram(std::uint8_t byte);

    std::array<std::uint8_t, MemorySize> m_memory {};

    Mode m_mode = Mode::Idle;
    int m_step = 0;
    int m_address = 0;
    qint64 m_received = 0;

    bool m_running = false;
    int m_shortCanInterval = 100;
    qint64 m_driftWeekMs = 0;
    qint64 m_driftMs = 0;
    void driftBrake(qint64 ms);
    qint64 m_strokes = 0;
    qint64 m_milliDegrees = 0; // fraction of a degree, 0..999

    int m_lateAfter = 0;
    int m_silenceAfter = 0;
    int m_silence = 0;
    int m_dropOutAfter = -1;
    int m_lateMs = 0;
    bool m_corrupt = false;
    std::optional<std::uint8_t> m_corruptValue;
    QList<qint64> m_corruptAt; // bytesReceived() of the bytes whose replies go wrong
    QList<std::pair<qint64, std::uint8_t>> m_noiseAt; // bytesReceived() of a byte, the noise before its reply
    std::optional<std::uint8_t> m_noise;
    bool m_droppedOut = false;

    std::uint8_t m_plsCommand = 0;
    std::array<std::uint8_t, 6> m_plsBytes {};
    quint16 m_plsScale = 360;
    quint16 m_plsOffset = 0;
    std::array<PLSChannel, PLSChannelCount> m_plsChannels {};
    std::array<bool, PLSChannelCount> m_plsRecallOff {}; // next recall gives the OFF setpoint
    std::array<quint8, PLSConfigTableSize> m_plsTable {};
    std::array<quint8, PLSConfigParamCount> m_plsParams {};
    int m_plsBusy = 0;
    int m_plsBusyDelayMs = 0;
    int m_plsRejectAfter = -1; // -1: refuse nothing
    int m_plsReadyQueries = 0;

    int m_recordLength = 0;
    int m_recordSum = 0;
    int m_programRecords = 0;
};

} // namespace talvek
