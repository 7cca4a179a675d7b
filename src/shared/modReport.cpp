#include "shared/modReport.h"

#include "base/BasicText.h"
#include "shared/MachineData.h"
#include "shared/SetupCatalogue.h"
#include "shared/modUtility.h"

#include <array>

namespace talvek {

namespace {

// Right edges of the value column: set-up part, shift data part.
constexpr double kSetupValueRight = 5.5;
constexpr double kShiftValueRight = 4.0;
// Item labels start half an inch in from the margin, sub-items one inch.
constexpr double kItemIndent = 0.5;
constexpr double kSubItemIndent = 1.0;
constexpr double kSectionIndent = 0.25;
// A section starts on a new page unless its lines and this much fit.
constexpr double kSectionReserve = 0.9;

QString text(const char* latin1)
{
    return QString::fromLatin1(latin1);
}

// Draws the report page by page. Keeps the drawing position the way the
// printer's own text output did: printing a text moves the position to its
// end; ending the line moves it to the left edge of the next line.
class ReportWriter final
{
public:
    ReportWriter(ReportPrinter& printer, const QString& fileNameText, const MachineData& data,
        const QDateTime& printTime)
        : m_printer(printer)
        , m_title(QStringLiteral("TALVEK Report: ") + fileNameText)
        , m_data(data)
        , m_dateText(generalDateText(printTime))
    { }

    void setupPart();
    void shiftDataPart();

private:
    void style(ReportStyle s) { m_printer.setFont(reportStyleFont(s)); }
    double lineHeight() const { return m_printer.textHeight(QStringLiteral("I")); }

    // Prints at the drawing position and stays on the line.
    void printOn(const QString& t);
    // Prints at the drawing position and ends the line.
    void printLine(const QString& t = {});

    void pageHeader();
    void pageFooter();
    void spaceCheck(int lines);
    void sectionTitle(const char* title);
    void partTitle(const char* title);
    void itemLine(const QString& label, const QString& value, double rightEdge);
    // The item lines of the rows of groups first..last, with their values as
    // `valueText` gives them.
    template <typename ValueText>
    void rowLines(ParamGroup first, ParamGroup last, double rightEdge, ValueText valueText);
    void subItemLine(const QString& t);

    ReportPrinter& m_printer;
    const QString m_title;
    const MachineData& m_data;
    const QString m_dateText;
    const double m_m = kReportMargin;
    double m_x = 0;
    double m_y = 0;
};

void ReportWriter::printOn(const QString& t)
{
    if (!t.isEmpty())
        m_printer.drawText(m_x, m_y, t);
    m_x += m_printer.textWidth(t);
}

void ReportWriter::printLine(const QString& t)
{
    if (!t.isEmpty())
        m_printer.drawText(m_x, m_y, t);
    m_x = 0;
    m_y += m_printer.textHeight(t);
}

void ReportWriter::pageHeader()
{
    style(ReportStyle::PageTitle);
    const double w = m_printer.width();
    m_x = (w - m_printer.textWidth(m_title) - m_m) / 2;
    m_y = 0.1;
    printLine(m_title);
    const double y = m_y + m_printer.textHeight(m_title);
    m_printer.drawLine(m_m, y, w - m_m, y);
    m_x = m_m;
    m_y = y + 0.25;
}

void ReportWriter::pageFooter()
{
    const QString pageText = QStringLiteral("Page ") + QString::number(m_printer.page());
    style(ReportStyle::Footer);
    const double w = m_printer.width();
    const double y = m_printer.height() - lineHeight() - 0.1;
    m_x = m_m;
    m_y = y;
    printOn(m_dateText);
    m_x = w - m_printer.textWidth(pageText) - m_m;
    printLine(pageText);
    m_printer.drawLine(m_m, y - 0.1, w - m_m, y - 0.1);
    m_printer.newPage();
    m_x = 0;
    m_y = 0;
}

// Before a section of `lines` lines: a new page when they would come too
// close to the bottom; a fresh page gets its header.
void ReportWriter::spaceCheck(int lines)
{
    if (m_printer.height() - lines * lineHeight() < m_y + kSectionReserve)
        pageFooter();
    if (m_y == 0)
        pageHeader();
}

void ReportWriter::sectionTitle(const char* title)
{
    style(ReportStyle::Section);
    m_x = m_m + kSectionIndent;
    printLine(text(title));
    style(ReportStyle::Body);
}

void ReportWriter::partTitle(const char* title)
{
    style(ReportStyle::Part);
    printLine(text(title));
    printLine();
}

void ReportWriter::itemLine(const QString& label, const QString& value, double rightEdge)
{
    m_x = m_m + kItemIndent;
    printOn(label);
    m_x = rightEdge - m_printer.textWidth(value);
    printLine(value);
}

template <typename ValueText>
void ReportWriter::rowLines(ParamGroup first, ParamGroup last, double rightEdge, ValueText valueText)
{
    for (const ParamRow& p : kParamCatalogue) {
        if (p.group >= first && p.group <= last && p.reportLabel)
            itemLine(text(p.reportLabel), valueText(m_data.ParamValue.value(p.row)), rightEdge);
    }
}

void ReportWriter::subItemLine(const QString& t)
{
    m_x = m_m + kSubItemIndent;
    printLine(t);
}

void ReportWriter::setupPart()
{
    const auto setupValue = [](qint32 value) { return paramValueText(value); };

    pageHeader();
    partTitle("Set-up Parameters");

    sectionTitle("A. Bodymaker Parameters");
    rowLines(ParamGroup::BrakeWear, ParamGroup::BodymakerSpeeds, kSetupValueRight, setupValue);
    printLine();

    spaceCheck(3);
    sectionTitle("B. Trimmer Parameters");
    rowLines(ParamGroup::TrimmerSpeeds, ParamGroup::TrimmerSpeeds, kSetupValueRight, setupValue);
    printLine();

    spaceCheck(29);
    sectionTitle("D. PLS Configuration & Channel Setpoints");
    printLine();
    itemLine(QStringLiteral("1. Number of PLS Channels: "), paramValueText(m_data.PlsChannelCount),
        kSetupValueRight);
    itemLine(
        QStringLiteral("2. PLS Scale Factor: "), paramValueText(m_data.PlsScaleFactor), kSetupValueRight);
    itemLine(QStringLiteral("3. PLS Program: "), paramValueText(m_data.PlsProgram), kSetupValueRight);

    m_x = m_m + kItemIndent;
    printLine(QStringLiteral("4. Speed Compensation (advance): "));
    for (int k = 0; k < int(m_data.SpeedCompensation.size()); ++k)
        subItemLine(QStringLiteral("CH0") + QString::number(k) + QStringLiteral(" (msec):  ")
            + paramValueText(m_data.SpeedCompensation[k]));

    m_x = m_m + kItemIndent;
    printLine(QStringLiteral("5. Channel Setpoints (ON - OFF): "));
    for (int k = 0; k < int(m_data.OnSetpoint.size()); ++k) {
        const QString name = plsChannelName(k);
        subItemLine(name + QStringLiteral(":  ") + paramValueText(m_data.OnSetpoint[k])
            + QStringLiteral("  - ") + paramValueText(m_data.OffSetpoint[k]));
    }

    printLine();
    pageFooter();
}

void ReportWriter::shiftDataPart()
{
    const auto shiftValue = [](qint32 value) { return groupedNumber(value); };
    const auto section = [&](const char* title, ParamGroup group) {
        sectionTitle(title);
        rowLines(group, group, kShiftValueRight, shiftValue);
    };

    pageHeader();
    partTitle("Data Collection Counts (shift data)");

    section("A. Current Shift Data", ParamGroup::CurrentShift);
    printLine();

    spaceCheck(2);
    section("B. Last (previous) Shift Data", ParamGroup::LastShift);
    printLine();

    spaceCheck(2);
    section("C. Brake Response", ParamGroup::BrakeResponse);

    printLine();
    pageFooter();
}

} // namespace

ReportFont reportStyleFont(ReportStyle style)
{
    ReportFont font;
    font.name = QStringLiteral("Times");
    switch (style) {
    case ReportStyle::Body:
        font.size = 12;
        break;
    case ReportStyle::Section:
    case ReportStyle::Part:
        font.size = 14;
        font.bold = true;
        break;
    case ReportStyle::PageTitle:
        font.size = 12;
        font.bold = true;
        break;
    case ReportStyle::Footer:
        font.size = 10;
        break;
    }
    return font;
}

void printReport(
    ReportPrinter& printer, const QString& fileNameText, const MachineData& data, const QDateTime& printTime)
{
    ReportWriter writer(printer, fileNameText, data, printTime);
    writer.setupPart();
    writer.shiftDataPart();
}

} // namespace talvek
