#pragma once

namespace talvek {

class K7700Sim;

// The board of a healthy press line, for the demo and for training: F26 = 1
// (nothing pending), inputs, outputs, analog values, the resolver period and
// brake responses, the set-up parameters, a DF1 board that talks to its PLC,
// a PLS with the eight timing channels programmed (channel 8 a pulse train,
// speed compensation on the BDC channels) and a program in the board, whose
// ident the target board panel shows. The press keeps its running state;
// speed (strokes per minute) is the speed it runs at when it runs.
void loadDemoPress(K7700Sim& sim, int speed);

// The program the demo board holds: its ident, checksum and revision.
inline constexpr char demoProgramIdent[] = "PRESS1";
inline constexpr int demoProgramChecksum = 165;
inline constexpr int demoProgramRevision = 3;

} // namespace talvek
