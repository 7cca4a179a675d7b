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

inline constexpr Register kFaultCode { "B8176" }; // current fault code, 0 = none
inline constexpr Register kLastFaultCode { "B8177" };
inline constexpr Register kCoCpuSlot { "B8175" };
inline constexpr Register kCommErrorCode { "B8179" }; // current communication error
inline constexpr Register kLastCommErrorCode { "B8178" };
inline constexpr Register kFirmwareRevision { "B8159" };
inline constexpr Register kNetworkAddress1 { "B8180" };
inline constexpr Register kNetworkAddress2 { "B8191" };

// The press faults the background monitor polls in rotation.
inline constexpr Register kBrakeResponseTooLong { "F858" }; // flag
inline constexpr Register kNoFaultPending { "F26" }; // flag: none among the three below
inline constexpr Register kFaultBitsW32 { "W32" };
inline constexpr Register kFaultBitsB38 { "B38" };
inline constexpr Register kFaultBitsB37 { "B37" };

// ---- program download and upload ----

// Ident registers: characters 1..8 of the program ident, then its checksum
// and its revision, at consecutive byte addresses.
inline constexpr int kIdentBase = 61424;
inline constexpr int kIdentRegisterCount = 10;
inline QString identRegister(int i)
{
    return QStringLiteral("B") + QString::number(kIdentBase + i);
}
inline constexpr Register kProgramModeKey { "B8181" }; // 86 opens program mode
// Configuration digits of the boards that take them.
inline constexpr Register kConfigC { "B8188" };
inline constexpr Register kConfigB { "B8189" };
inline constexpr Register kConfigA { "B8190" };

// ---- the press ----

inline constexpr Register kMachineSpeed { "W182" }; // resolver RPM, strokes per minute
inline constexpr Register kMachinePosition { "W180" }; // resolver position, degrees
inline constexpr Register kResolverPeriod { "W184" };
inline constexpr Register kResolverScaleFactor { "W186" };
inline constexpr Register kResolverOffset { "W188" };
inline constexpr Register kAlarmReset { "F15" };
inline constexpr Register kPasscode { "W1038" };
inline constexpr Register kEndOfShift { "F32" };

// ---- the parameter rows (shift data, then set-up parameters) ----

inline constexpr Register kShiftGoodCans { "D1100" }; // double word
inline constexpr Register kShiftShortCans { "W1104" };
inline constexpr Register kLastShiftGoodCans { "D1200" }; // double word
inline constexpr Register kLastShiftShortCans { "W1204" };
inline constexpr Register kBrakeResponseLow { "W1040" }; // degrees
inline constexpr Register kBrakeResponseHigh { "W1042" }; // degrees
inline constexpr Register kBrakeWearCompensation { "B1018.0" }; // 0 off, 1 on
inline constexpr Register kBdcStopLow { "W1020" };
inline constexpr Register kBdcStopHigh { "W1022" };
inline constexpr Register kMaxStoppingResponse { "W1024" };
inline constexpr Register kBodymakerLowSpeed { "W1026" };
inline constexpr Register kBodymakerHighSpeed { "W1028" };
inline constexpr Register kTrimmerMaxSpeed { "W1032" };
inline constexpr Register kTrimmerIdleSpeed { "W1034" };
inline constexpr Register kTrimmerHighSpeedOffset { "W1036" };
inline constexpr Register kDf1PlcType { "B4001.0" }; // 0 PLC5, 1 SLC500
inline constexpr Register kDf1DestinationNode { "B4050" };
inline constexpr Register kDf1DestinationFile { "B4011" };

// ---- the DF1 board ----

inline constexpr Register kDf1ConfigStatus { "B4023" };
inline constexpr Register kDf1TransmitStatus { "B4021" };
inline constexpr Register kDf1TransmitStatusPrev { "B4022" };
inline constexpr Register kDf1CurrentTransaction { "W4016" };
inline constexpr Register kDf1ActiveCommand { "B4014" };
inline constexpr Register kDf1BytesReceived { "B4026" };
inline constexpr Register kDf1ReceivedCommandBit { "B4302.6" };
inline constexpr Register kDf1LinkStatus { "B4303" };
inline constexpr Register kDf1TransactionReceived { "W4304" };
inline constexpr Register kDf1Sts { "B4018" }; // STS byte of the last reply
inline constexpr Register kDf1ExtSts { "B4019" }; // EXT STS byte
inline constexpr Register kDf1DriverEnabled { "F152" };

// ---- the board's clock ----

inline constexpr Register kClockHour { "B43012" };
inline constexpr Register kClockMinute { "B43010" };
inline constexpr Register kClockSecond { "B43008" };
inline constexpr Register kClockMonth { "B43016" };
inline constexpr Register kClockDay { "B43015" };
inline constexpr Register kClockYear { "B43017" }; // last two digits

// ---- inputs and outputs ----

inline constexpr Register kInput0 { "F80" }; // short can sensor
inline constexpr Register kInput1 { "F81" };
inline constexpr Register kAnalogInput0 { "W162" };
inline constexpr Register kAnalogInput1 { "W164" };
inline constexpr Register kAnalogOutput0 { "B166" };
inline constexpr Register kAnalogOutput1 { "B167" };
inline constexpr Register kTimingChannelBits { "W170" }; // one bit per PLS channel
inline constexpr Register kSlot00Bits { "W100" };
inline constexpr Register kSlot01Bits { "W110" };

} // namespace talvek::reg
