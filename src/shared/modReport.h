#pragma once

#include "base/ReportPrinter.h"

#include <QDateTime>
#include <QString>

namespace talvek {

struct MachineData;

// The text styles of the report, all in the "Times" font.
enum class ReportStyle
{
    Body,
    Section,
    Part,
    PageTitle,
    Footer
};
ReportFont reportStyleFont(ReportStyle style);

// The left margin of the report, in inches.
inline constexpr double kReportMargin = 0.5;

// Prints the report of `data` on `printer`: the set-up part (bodymaker and
// trimmer parameters, PLS configuration and channel setpoints), then the shift
// data part. Every page has a header titled "TALVEK Report: " + fileNameText
// and a footer with `printTime` and its page number. The caller ends the
// document afterwards.
void printReport(
    ReportPrinter& printer, const QString& fileNameText, const MachineData& data, const QDateTime& printTime);

} // namespace talvek
