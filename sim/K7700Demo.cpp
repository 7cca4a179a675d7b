#include "K7700Demo.h"

#include "K7700Sim.h"

#include <QByteArray>

namespace talvek {

void loadDemoPress(K7700Sim& sim, int speed)
{
    const bool running = sim.running();
    sim.updateFaultSummary(); // F26 = 1: nothing pending
    sim.setFlag(80, true); // IN0, short can sensor made
    sim.setWord(162, 2048); // analog inputs
    sim.setWord(164, 1024);
    sim.setByte(166, 128); // analog outputs
    sim.setByte(167, 64);
    sim.setWord(184, quint16(running && speed > 0 ? 60000 / speed : 0)); // resolver period, ms a stroke
    // Slot 0: continuous mode, ~immediate stop (closed), cupfeed on; the
    // main clutch solenoids while the press runs.
    sim.setWord(100, quint16(0x0064 | (running ? 0x0300 : 0)));
    sim.setWord(110, 0x0044); // rotary enable, trimmer infeed high
    sim.setWord(1040, 14); // brake response, degrees
    sim.setWord(1042, 22);
    // Set-up parameters: brake wear compensation on, BDC stop positions,
    // stopping response, bodymaker and trimmer speeds.
    sim.setByte(1018, 0x01);
    const int setup[][2] = { { 1020, 110 }, { 1022, 95 }, { 1024, 300 }, { 1026, 250 }, { 1028, 350 },
        { 1032, 375 }, { 1034, 250 }, { 1036, 20 } };
    for (const auto& [address, value] : setup)
        sim.setWord(address, quint16(value));
    K7700Sim::DF1Board df1; // the last transaction came back without error
    df1.transaction = 1234;
    df1.activeCommand = 1;
    df1.bytesReceived = 24;
    df1.replyReceived = true;
    df1.transactionReceived = 1234;
    sim.setDF1Board(df1);
    // The PLS (scale factor 360, offset 0 from power-up): the eight timing
    // channels at their usual setpoints, channel 8 ("Motion") a pulse
    // train of 30 divisions on and 30 off, speed compensation on CH00 and
    // CH01 (BDC high and low).
    const int timing[][2] = { { 150, 170 }, { 180, 200 }, { 155, 175 }, { 110, 130 }, { 230, 300 },
        { 150, 200 }, { 120, 190 }, { 0, 20 } };
    for (int ch = 0; ch < 8; ++ch) {
        K7700Sim::PLSChannel channel;
        channel.kind = K7700Sim::PLSChannel::Kind::Setpoints;
        channel.on = quint16(timing[ch][0]);
        channel.off = quint16(timing[ch][1]);
        sim.setPLSChannel(ch, channel);
    }
    K7700Sim::PLSChannel motion;
    motion.kind = K7700Sim::PLSChannel::Kind::PulseTrain;
    motion.onDivisions = 30;
    motion.offDivisions = 30;
    sim.setPLSChannel(8, motion);
    auto plsConfig = sim.plsConfigTable();
    plsConfig[2] = 12; // CH00, msec
    plsConfig[3] = 12; // CH01
    sim.setPLSConfigTable(plsConfig);
    // A program in the board, as a program download leaves it.
    sim.setIdent(
        QByteArray(demoProgramIdent), std::uint8_t(demoProgramChecksum), std::uint8_t(demoProgramRevision));
}

} // namespace talvek
