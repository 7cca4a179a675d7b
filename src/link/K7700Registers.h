#pragma once

// The K7700 register map: every controller address TALVEK reads or writes,
// once, by name. Code elsewhere names a register from here and never spells
// an address itself; a table that walks registers in a fixed order lists
// these names.
//
// The texts are the controller's address syntax (see AddressUtils.h):
// "B" byte, "W" word, "D" double word, "F" flag bit n of the flag area,
// "B<n>.<b>" bit b of byte n.

#include <QString>
#include <array>

namespace talvek::reg {

// One controller address. Converts to the address text the link takes.
struct Register
{
    const char* text;

    QString address() const { return QString::fromLatin1(text); }
    operator QString() const { return address(); }
};

// ---- the board: faults, communication, firmware ----

inline constexpr Register faultCode { "B8176" }; // current fault code, 0 = none
inline constexpr Register lastFaultCode { "B8177" };
inline constexpr Register coCpuSlot { "B8175" };
inline constexpr Register commErrorCode { "B8179" }; // current communication error
inline constexpr Register lastCommErrorCode { "B8178" };
inline constexpr Register firmwareRevision { "B8159" };
inline constexpr Register networkAddress1 { "B8180" };
inline constexpr Register networkAddress2 { "B8191" };

// The press faults the background monitor polls in rotation.
inline constexpr Register brakeResponseTooLong { "F858" }; // flag
inline constexpr Register noFaultPending { "F26" }; // flag: none among the three below
inline constexpr Register faultBitsW32 { "W32" };
inline constexpr Register faultBitsB38 { "B38" };
inline constexpr Register faultBitsB37 { "B37" };

// ---- program download and upload ----

// Ident registers: characters 1..8 of the program ident, then its checksum
// and its revision, at consecutive byte addresses.
inline constexpr int identBase = 61424;
inline constexpr int identRegisterCount = 10;
inline QString identRegister(int i)
{
    return QStringLiteral("B") + QString::number(identBase + i);
}
inline constexpr Register programModeKey { "B8181" }; // 86 opens program mode
// Configuration digits of the boards that take them.
inline constexpr Register configC { "B8188" };
inline constexpr Register configB { "B8189" };
inline constexpr Register configA { "B8190" };

// ---- the press ----

inline constexpr Register machineSpeed { "W182" }; // resolver RPM, strokes per minute
inline constexpr Register machinePosition { "W180" }; // resolver position, degrees
inline constexpr Register resolverPeriod { "W184" };
inline constexpr Register resolverScaleFactor { "W186" };
inline constexpr Register resolverOffset { "W188" };
inline constexpr Register alarmReset { "F15" };
inline constexpr Register passcode { "W1038" };
inline constexpr Register endOfShift { "F32" };

// ---- the parameter rows (shift data, then set-up parameters) ----

inline constexpr Register shiftGoodCans { "D1100" }; // double word
inline constexpr Register shiftShortCans { "W1104" };
inline constexpr Register lastShiftGoodCans { "D1200" }; // double word
inline constexpr Register lastShiftShortCans { "W1204" };
inline constexpr Register brakeResponseLow { "W1040" }; // degrees
inline constexpr Register brakeResponseHigh { "W1042" }; // degrees
inline constexpr Register brakeWearCompensation { "B1018.0" }; // 0 off, 1 on
inline constexpr Register bdcStopLow { "W1020" };
inline constexpr Register bdcStopHigh { "W1022" };
inline constexpr Register maxStoppingResponse { "W1024" };
inline constexpr Register bodymakerLowSpeed { "W1026" };
inline constexpr Register bodymakerHighSpeed { "W1028" };
inline constexpr Register trimmerMaxSpeed { "W1032" };
inline constexpr Register trimmerIdleSpeed { "W1034" };
inline constexpr Register trimmerHighSpeedOffset { "W1036" };
inline constexpr Register df1PlcType { "B4001.0" }; // 0 PLC5, 1 SLC500
inline constexpr Register df1DestinationNode { "B4050" };
inline constexpr Register df1DestinationFile { "B4011" };

// ---- the DF1 board ----

inline constexpr Register df1ConfigStatus { "B4023" };
inline constexpr Register df1TransmitStatus { "B4021" };
inline constexpr Register df1TransmitStatusPrev { "B4022" };
inline constexpr Register df1CurrentTransaction { "W4016" };
inline constexpr Register df1ActiveCommand { "B4014" };
inline constexpr Register df1BytesReceived { "B4026" };
inline constexpr Register df1ReceivedCommandBit { "B4302.6" };
inline constexpr Register df1LinkStatus { "B4303" };
inline constexpr Register df1TransactionReceived { "W4304" };
inline constexpr Register df1Sts { "B4018" }; // STS byte of the last reply
inline constexpr Register df1ExtSts { "B4019" }; // EXT STS byte
inline constexpr Register df1DriverEnabled { "F152" };

// ---- the board's clock ----

inline constexpr Register clockHour { "B43012" };
inline constexpr Register clockMinute { "B43010" };
inline constexpr Register clockSecond { "B43008" };
inline constexpr Register clockMonth { "B43016" };
inline constexpr Register clockDay { "B43015" };
inline constexpr Register clockYear { "B43017" }; // last two digits

// ---- inputs and outputs ----

inline constexpr Register input0 { "F80" }; // short can sensor
inline constexpr Register input1 { "F81" };
inline constexpr Register analogInput0 { "W162" };
inline constexpr Register analogInput1 { "W164" };
inline constexpr Register analogOutput0 { "B166" };
inline constexpr Register analogOutput1 { "B167" };
inline constexpr Register timingChannelBits { "W170" }; // one bit per PLS channel
inline constexpr Register slot00Bits { "W100" };
inline constexpr Register slot01Bits { "W110" };

} // namespace talvek::reg
