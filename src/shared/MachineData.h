#pragma once

#include "link/K7700Registers.h"
#include "shared/SetupCatalogue.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <span>
#include <string_view>

namespace talvek {

// All machine data the utility edits, transfers, saves and prints: the
// parameter table (18 rows, each with its controller address), the PLS
// configuration and the ON/OFF setpoints of the 16 PLS timing channels.
// The fields are in the order of the set-up file.
//
// Copying a record is a deep copy: the text and both tables of the copy are
// its own (implicit sharing detaches on the first change), so a change to one
// instance never shows in another.
struct MachineData
{
    QString Version; // program version that produced the record
    QStringList ParamAddress; // controller address of rows 0..ParamCount
    QList<qint32> ParamValue; // value of rows 0..ParamCount
    qint16 PlsChannelCount = 0; // "Number of PLS Channels:"
    qint16 PlsScaleFactor = 0; // "Scale: "
    qint16 PlsOffset = 0; // "Offset: "
    qint16 PlsProgram = 0; // "PLS Program:"
    std::array<qint16, 8> SpeedCompensation {}; // msec, channels CH00..CH07
    std::array<qint16, 16> OnSetpoint {}; // ON setpoint of channels 0..15
    std::array<qint16, 16> OffSetpoint {}; // OFF setpoint of channels 0..15

    bool operator==(const MachineData&) const = default;

    // Gives both tables the rows 0..lastRow, keeping the rows present: rows
    // that were missing become an empty address and the value 0, rows beyond
    // lastRow are dropped. A negative lastRow empties both tables.
    void resizeTables(int lastRow);

    // An empty record: no version, no rows, every number 0 (a cleared buffer).
    void clear();
};

// ---- the parameter rows ----

// Rows 0..5 are the shift data group, rows 6..17 the set-up parameter group;
// the data transfer moves these groups.
inline constexpr int kShiftDataFirstRow = 0;
inline constexpr int kShiftDataLastRow = 5;
inline constexpr int kSetupParamFirstRow = 6;
inline constexpr int kSetupParamLastRow = 17;

struct ParamRowDefault
{
    const char* address;
    qint32 value;
};

// Address and start-up value of each parameter row, rows 0..17, as the
// catalogue gives them.
inline constexpr std::array<ParamRowDefault, kParamCatalogue.size()> kParamRowDefaults = [] {
    std::array<ParamRowDefault, kParamCatalogue.size()> rows {};
    for (std::size_t row = 0; row < rows.size(); ++row)
        rows[row] = { kParamCatalogue[row].address.text, kParamCatalogue[row].defaultValue };
    return rows;
}();

// The caption the editors give the set-up parameter of `row` (access-key
// marks and the closing colon left out); empty for a row that is none.
QString setupParameterCaption(int row);

// ---- the timing channels ----

struct TimingChannelDefault
{
    const char* name; // as the timing editor shows it
    qint16 on;
    qint16 off;
};

// Channels 0..7; channels 8..15 have no name and default to 0 / 0.
inline constexpr std::array<TimingChannelDefault, 8> kTimingChannelDefaults { {
    { "BDC (High) Timing", 150, 170 },
    { "BDC (Low) Timing", 180, 200 },
    { "Short Can Check Timing", 155, 175 },
    { "Sensor Check Timing", 110, 130 },
    { "Cupfeed Timing", 230, 300 },
    { "Air Strip (Low) Timing", 150, 200 },
    { "Air Strip (High) Timing", 120, 190 },
    { "PLC Timing", 0, 20 },
} };

// The name of a timing channel; empty for channels 8..15 and out-of-range numbers.
QString timingChannelName(int channel);

// A PLS channel as the operator's screens and reports name it: "CH" and its
// number as two octal digits (channel 8 is "CH10", channel 15 "CH17").
QString plsChannelName(int channel);

// A channel whose ON and OFF setpoints are both 0 is empty: a download clears
// it instead of programming it. Out-of-range channel numbers count as empty.
bool isChannelEmpty(const MachineData& data, int channel);

// ---- the globals of the machine data, alive from start-up to exit ----

struct MachineDataGlobals
{
    MachineData CurrentData; // the working data
    MachineData SavedData; // copy taken whenever the data became clean (New, Open, Save)
    MachineData DefaultData; // the defaults, built once by InitMachineData
    MachineData FileData; // the buffer Open reads a file into before it is accepted
    qint16 ParamCount = 0; // last parameter row (17 after InitMachineData)
    QString ProgramVersion; // "TALVEK_R<major>.<minor>.<revision>"
    qint16 TransferType = 0; // code of the running data transfer
    bool OfflineEditing = false; // editors accept changes while OFFLINE
    bool IsUntitled = false; // the current data has no file yet
    bool DataReloaded = false; // set by New and Open; cleared by the timing editor
    bool TimingDownloaded = false; // set at the end of every timing download
};

// The one set of globals. The names below are references into it.
MachineDataGlobals& machineDataStore();

extern MachineData& CurrentData;
extern MachineData& SavedData;
extern MachineData& DefaultData;
extern MachineData& FileData;
extern qint16& ParamCount;
extern QString& ProgramVersion;
extern qint16& TransferType;
extern bool& OfflineEditing;
extern bool& IsUntitled;
extern bool& DataReloaded;
extern bool& TimingDownloaded;

// Puts every global back to its state when the program starts, before
// InitMachineData: empty records, ParamCount 0, empty ProgramVersion, all
// flags false. For tests; the program itself never calls it.
void resetMachineDataGlobals();

// "TALVEK_R" + major + "." + minor + "." + revision, plain decimal numbers.
QString makeProgramVersion(int major, int minor, int revision);

// Builds the machine data at start-up: ParamCount 17, ProgramVersion from the
// application's version, DefaultData with the default rows, PLS configuration
// (16 channels, scale 360, offset 0, program 0, no speed compensation) and
// channel setpoints; then CurrentData = SavedData = DefaultData and
// IsUntitled = true. The second form takes the version explicitly.
void InitMachineData();
void InitMachineData(int major, int minor, int revision);

// True when CurrentData differs from SavedData in a ParamValue row
// 0..ParamCount or in the ON or OFF setpoint of channels 0..7, or when the
// Version of CurrentData is not ProgramVersion. Addresses, the PLS
// configuration and channels 8..15 are not compared. A row missing from one
// of the two tables (never the case after InitMachineData and Open) counts as
// a difference.
bool HasUnsavedChanges();

// ---- values as text, as they cross the controller interface ----

// The text a value is written to the controller as: one leading blank for
// zero and positive values, "-" for negative ones (" 300", " 0", "-5").
QString paramValueText(qint32 value);

// A value read from the controller: the leading number of the text (text that
// does not start with a number gives 0), rounded to a 32-bit integer with ties
// to the even integer. A number beyond the 32-bit range, which no controller
// read produces, is held at the nearest 32-bit limit.
qint32 paramValueFromText(const QString& text);

// ---- the PLS configuration ----

// Takes the list the PLS configuration upload returns: element 0 is the
// channel count, element 1 the PLS program, elements 2..9 speed compensation
// 0..7. Elements beyond the list are left as they are.
void applyPlsConfigList(MachineData& data, std::span<const qint16> list);

// Stores the scale factor / offset words read from the PLS board as 16-bit
// integers. A word outside the record's 16-bit range is not stored; the
// function then returns false.
[[nodiscard]] bool applyPlsScaleFactor(MachineData& data, int word);
[[nodiscard]] bool applyPlsOffset(MachineData& data, int word);

// The 24-value list a PLS configuration download sends (with PlsScaleFactor
// beside it): element 0 the PLS program, 1..4 speed compensation 0..3,
// 5 always 0, 6..9 speed compensation 4..7, 18 the channel count, all others 0.
std::array<qint16, 24> plsConfigDownloadList(const MachineData& data);

} // namespace talvek
