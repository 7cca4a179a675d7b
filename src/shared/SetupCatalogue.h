#pragma once

#include "link/K7700Registers.h"

#include <QString>
#include <QtGlobal>
#include <array>
#include <limits>
#include <string_view>

namespace talvek {

// The parameter rows of the working data and the set-up file, each written
// once: its register, default, limits, the texts the windows, the report and
// the journal give it, and where its editor shows it. The parameter table,
// the editors' fields and limits, the set-up window's layout, the DF1 panel,
// the report lines and the journal's names are all taken from here, so that
// none of them can drift from another.

// What a value counts in (degrees take the editors' crank-angle entry).
enum class ParamUnit
{
    None,
    Cans,
    Degrees,
    StrokesPerMinute,
    CansPerMinute,
};

// The groups the windows and the report show the rows in, in row order.
enum class ParamGroup
{
    CurrentShift,
    LastShift,
    BrakeResponse,
    BrakeWear, // the set-up window's "Brake Wear Compensation"
    BodymakerSpeeds, // "Bodymaker Running Speeds"
    TrimmerSpeeds, // "Trimmer Speed References"
    Df1Setup, // the DF1 panel's "DF1 Communication Set-up"
};

// The control that shows or edits a row.
enum class ParamEditor
{
    None,
    ShiftData, // the shift data window's counters (shown, not edited)
    SetupSwitch, // the set-up window's brake wear check box
    SetupField, // the set-up window's numeric fields
    Df1PlcType, // the DF1 panel's PLC type combo
    Df1Field, // the DF1 panel's numeric fields
};

struct ParamRow
{
    int row; // the row in the working data and the set-up file
    reg::Register address;
    qint32 defaultValue = 0; // the start-up value
    // What the editor takes; a row no editor changes takes any count.
    qint32 min = 0;
    qint32 max = std::numeric_limits<qint32>::max();
    // The editor's caption, access key and colon included; none: nullptr.
    const char* caption = nullptr;
    // The journal's name where the caption does not name the row alone.
    const char* name = nullptr;
    // The report's label (the report's own texts); not printed: nullptr.
    const char* reportLabel = nullptr;
    ParamUnit unit = ParamUnit::None;
    ParamGroup group = ParamGroup::CurrentShift;
    ParamEditor editor = ParamEditor::None;
    int page = 0; // the editor's page
    int field = -1; // the editor's field (or counter) index; -1: none
};

inline constexpr std::array<ParamRow, 18> kParamCatalogue { {
    // ---- shift data ----
    { .row = 0,
        .address = reg::kShiftGoodCans, // double word
        .caption = "Total Good Cans:",
        .name = "Current Shift Total Good Cans",
        .reportLabel = "1. Total Good Cans:",
        .unit = ParamUnit::Cans,
        .group = ParamGroup::CurrentShift,
        .editor = ParamEditor::ShiftData,
        .field = 0 },
    { .row = 1,
        .address = reg::kShiftShortCans,
        .caption = "Total Short Cans:",
        .name = "Current Shift Total Short Cans",
        .reportLabel = "2. Total Short Cans:",
        .unit = ParamUnit::Cans,
        .group = ParamGroup::CurrentShift,
        .editor = ParamEditor::ShiftData,
        .field = 1 },
    { .row = 2,
        .address = reg::kLastShiftGoodCans, // double word
        .caption = "Total Good Cans:",
        .name = "Last Shift Total Good Cans",
        .reportLabel = "1. Total Good Cans:",
        .unit = ParamUnit::Cans,
        .group = ParamGroup::LastShift,
        .editor = ParamEditor::ShiftData,
        .field = 2 },
    { .row = 3,
        .address = reg::kLastShiftShortCans,
        .caption = "Total Short Cans:",
        .name = "Last Shift Total Short Cans",
        .reportLabel = "2. Total Short Cans:",
        .unit = ParamUnit::Cans,
        .group = ParamGroup::LastShift,
        .editor = ParamEditor::ShiftData,
        .field = 3 },
    { .row = 4,
        .address = reg::kBrakeResponseLow,
        .name = "Brake Response Low Speed",
        .reportLabel = "  1. Low Speed:",
        .unit = ParamUnit::Degrees,
        .group = ParamGroup::BrakeResponse },
    { .row = 5,
        .address = reg::kBrakeResponseHigh,
        .name = "Brake Response High Speed",
        .reportLabel = "  2. High Speed:",
        .unit = ParamUnit::Degrees,
        .group = ParamGroup::BrakeResponse },
    // ---- set-up parameters ----
    // "B&rake": Alt+W always opens the main window's Window menu.
    { .row = 6,
        .address = reg::kBrakeWearCompensation, // 0 off, 1 on
        .max = 1,
        .caption = "B&rake Wear Compensation Enable:",
        .reportLabel = "  1. Brake Wear Compensation Enable: ",
        .group = ParamGroup::BrakeWear,
        .editor = ParamEditor::SetupSwitch },
    // The report calls the BDC stops "TDC".
    { .row = 7,
        .address = reg::kBdcStopLow,
        .max = 359,
        .caption = "B&DC Stop Position (Low Speed):",
        .reportLabel = "  2. Desired TDC Stop Position (Low Speed): ",
        .unit = ParamUnit::Degrees,
        .group = ParamGroup::BrakeWear,
        .editor = ParamEditor::SetupField,
        .field = 0 },
    { .row = 8,
        .address = reg::kBdcStopHigh,
        .max = 359,
        .caption = "BD&C Stop Position (High Speed):",
        .reportLabel = "  3. Desired TDC Stop Position (High Speed): ",
        .unit = ParamUnit::Degrees,
        .group = ParamGroup::BrakeWear,
        .editor = ParamEditor::SetupField,
        .field = 1 },
    { .row = 9,
        .address = reg::kMaxStoppingResponse,
        .defaultValue = 300,
        .max = 999,
        .caption = "&Maximum Allowed Stopping Response (deg):",
        .reportLabel = "  4. Maximum Allowed Stopping Response (deg): ",
        .unit = ParamUnit::Degrees,
        .group = ParamGroup::BrakeWear,
        .editor = ParamEditor::SetupField,
        .field = 2 },
    { .row = 10,
        .address = reg::kBodymakerLowSpeed,
        .defaultValue = 250,
        .max = 899,
        .caption = "&Low Speed (SPM):",
        .reportLabel = "  5. Low Speed (SPM): ",
        .unit = ParamUnit::StrokesPerMinute,
        .group = ParamGroup::BodymakerSpeeds,
        .editor = ParamEditor::SetupField,
        .field = 3 },
    { .row = 11,
        .address = reg::kBodymakerHighSpeed,
        .defaultValue = 350,
        .max = 999,
        .caption = "High &Speed (SPM):",
        .reportLabel = "  6. High Speed (SPM): ",
        .unit = ParamUnit::StrokesPerMinute,
        .group = ParamGroup::BodymakerSpeeds,
        .editor = ParamEditor::SetupField,
        .field = 4 },
    // The report's trimmer labels: its own capitals, no unit, and the third
    // numbered 2 as well.
    { .row = 12,
        .address = reg::kTrimmerMaxSpeed,
        .defaultValue = 375,
        .max = 999,
        .caption = "&Maximum Speed (full scale calibration) - CPM:",
        .reportLabel = "  1. Maximum Speed (Full Scale Calibration):",
        .unit = ParamUnit::CansPerMinute,
        .group = ParamGroup::TrimmerSpeeds,
        .editor = ParamEditor::SetupField,
        .page = 1,
        .field = 5 },
    { .row = 13,
        .address = reg::kTrimmerIdleSpeed, // bodymaker stopped
        .defaultValue = 250,
        .max = 999,
        .caption = "&Idle Speed (Bodymaker Stopped) - CPM:",
        .reportLabel = "  2. Idle Speed (Bodymaker Stopped):",
        .unit = ParamUnit::CansPerMinute,
        .group = ParamGroup::TrimmerSpeeds,
        .editor = ParamEditor::SetupField,
        .page = 1,
        .field = 6 },
    { .row = 14,
        .address = reg::kTrimmerHighSpeedOffset, // infeed covered
        .defaultValue = 20,
        .max = 999,
        .caption = "High Speed &Offset (Trimmer Infeed Covered) - CPM:",
        .reportLabel = "  2. High Speed Offset (Trimmer Infeed Covered):",
        .unit = ParamUnit::CansPerMinute,
        .group = ParamGroup::TrimmerSpeeds,
        .editor = ParamEditor::SetupField,
        .page = 1,
        .field = 7 },
    // ---- the DF1 link (not printed) ----
    { .row = 15,
        .address = reg::kDf1PlcType, // 0 PLC5, 1 SLC500
        .max = 1,
        .caption = "&PLC Type:",
        .group = ParamGroup::Df1Setup,
        .editor = ParamEditor::Df1PlcType },
    { .row = 16,
        .address = reg::kDf1DestinationNode,
        .defaultValue = 1,
        .max = 255,
        .caption = "&Destination Node:",
        .group = ParamGroup::Df1Setup,
        .editor = ParamEditor::Df1Field,
        .field = 0 },
    // The DF1 panel spells it so.
    { .row = 17,
        .address = reg::kDf1DestinationFile,
        .defaultValue = 10,
        .max = 255,
        .caption = "Desination File &Number:",
        .group = ParamGroup::Df1Setup,
        .editor = ParamEditor::Df1Field,
        .field = 1 },
} };

// The rows are in file order: the row of each entry is its index.
consteval bool catalogueInRowOrder()
{
    for (std::size_t i = 0; i < kParamCatalogue.size(); ++i) {
        if (kParamCatalogue[i].row != int(i))
            return false;
    }
    return true;
}
static_assert(catalogueInRowOrder());

// The parameter row that holds a register; -1 when none does. Tables that
// show rows name them by their register through this, so that a row and its
// address can never drift apart.
constexpr int paramRowOf(reg::Register r)
{
    for (const ParamRow& p : kParamCatalogue) {
        if (std::string_view(p.address.text) == std::string_view(r.text))
            return p.row;
    }
    return -1;
}

// The row shown in field (or counter) `field` of `editor`; -1 when none is.
constexpr int editorRow(ParamEditor editor, int field)
{
    for (const ParamRow& p : kParamCatalogue) {
        if (p.editor == editor && p.field == field)
            return p.row;
    }
    return -1;
}

// The row of the one control of `editor` (the switch, the combo); -1: none.
constexpr int editorRow(ParamEditor editor)
{
    for (const ParamRow& p : kParamCatalogue) {
        if (p.editor == editor)
            return p.row;
    }
    return -1;
}

// The number of fields of `editor`.
constexpr int editorFieldCount(ParamEditor editor)
{
    int n = 0;
    for (const ParamRow& p : kParamCatalogue)
        n += p.editor == editor && p.field >= 0 ? 1 : 0;
    return n;
}

// The entry of field `field` of `editor` (the field must exist).
constexpr const ParamRow& editorEntry(ParamEditor editor, int field)
{
    return kParamCatalogue.at(std::size_t(editorRow(editor, field)));
}

// The caption of `row` as a name: its access-key mark and closing colon left
// out ("Low Speed (SPM)"); empty for a row without a caption.
QString paramCaptionText(int row);

// The name the journal gives `row`: its own name, else its caption as a
// name; empty for rows that are none.
QString paramRowName(int row);

} // namespace talvek
