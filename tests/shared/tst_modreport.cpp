// The printed report: every text and line at its place on each page for the
// start-up data, the values of a record with every field filled, where
// section D breaks to a new page.

#include "RecordingReportPrinter.h"
#include "shared/MachineData.h"
#include "shared/modReport.h"
#include "shared/modUtility.h"

#include <QRegularExpression>
#include <QTest>

using namespace talvek;
using namespace talvek::test;

namespace {

const QDateTime kPrintTime(QDate(2024, 3, 14), QTime(14, 5, 7));

// The whole report of the start-up data on a 7.5 x 11 inch printable area
// (recording metrics: 12 pt lines 0.2 inch high, 14 pt 0.233, 10 pt 0.167;
// a 12 pt character 0.1 inch wide). "<date>" stands for the print time.
const char* const kDefaultReport = R"(1 2.300 0.100 12b TALVEK Report: [unnamed]
1 line 0.500 0.500 7.000 0.500
1 0.500 0.750 14b Set-up Parameters
1 0.750 1.217 14b A. Bodymaker Parameters
1 1.000 1.450 12   1. Brake Wear Compensation Enable: 
1 5.300 1.450 12  0
1 1.000 1.650 12   2. Desired TDC Stop Position (Low Speed): 
1 5.300 1.650 12  0
1 1.000 1.850 12   3. Desired TDC Stop Position (High Speed): 
1 5.300 1.850 12  0
1 1.000 2.050 12   4. Maximum Allowed Stopping Response (deg): 
1 5.100 2.050 12  300
1 1.000 2.250 12   5. Low Speed (SPM): 
1 5.100 2.250 12  250
1 1.000 2.450 12   6. High Speed (SPM): 
1 5.100 2.450 12  350
1 0.750 2.850 14b B. Trimmer Parameters
1 1.000 3.083 12   1. Maximum Speed (Full Scale Calibration):
1 5.100 3.083 12  375
1 1.000 3.283 12   2. Idle Speed (Bodymaker Stopped):
1 5.100 3.283 12  250
1 1.000 3.483 12   2. High Speed Offset (Trimmer Infeed Covered):
1 5.200 3.483 12  20
1 0.750 3.883 14b D. PLS Configuration & Channel Setpoints
1 1.000 4.317 12 1. Number of PLS Channels: 
1 5.200 4.317 12  16
1 1.000 4.517 12 2. PLS Scale Factor: 
1 5.100 4.517 12  360
1 1.000 4.717 12 3. PLS Program: 
1 5.300 4.717 12  0
1 1.000 4.917 12 4. Speed Compensation (advance): 
1 1.500 5.117 12 CH00 (msec):   0
1 1.500 5.317 12 CH01 (msec):   0
1 1.500 5.517 12 CH02 (msec):   0
1 1.500 5.717 12 CH03 (msec):   0
1 1.500 5.917 12 CH04 (msec):   0
1 1.500 6.117 12 CH05 (msec):   0
1 1.500 6.317 12 CH06 (msec):   0
1 1.500 6.517 12 CH07 (msec):   0
1 1.000 6.717 12 5. Channel Setpoints (ON - OFF): 
1 1.500 6.917 12 CH00:   150  -  170
1 1.500 7.117 12 CH01:   180  -  200
1 1.500 7.317 12 CH02:   155  -  175
1 1.500 7.517 12 CH03:   110  -  130
1 1.500 7.717 12 CH04:   230  -  300
1 1.500 7.917 12 CH05:   150  -  200
1 1.500 8.117 12 CH06:   120  -  190
1 1.500 8.317 12 CH07:   0  -  20
1 1.500 8.517 12 CH10:   0  -  0
1 1.500 8.717 12 CH11:   0  -  0
1 1.500 8.917 12 CH12:   0  -  0
1 1.500 9.117 12 CH13:   0  -  0
1 1.500 9.317 12 CH14:   0  -  0
1 1.500 9.517 12 CH15:   0  -  0
1 1.500 9.717 12 CH16:   0  -  0
1 1.500 9.917 12 CH17:   0  -  0
1 0.500 10.733 10 <date>
1 6.500 10.733 10 Page 1
1 line 0.500 10.633 7.000 10.633
2 2.300 0.100 12b TALVEK Report: [unnamed]
2 line 0.500 0.500 7.000 0.500
2 0.500 0.750 14b Data Collection Counts (shift data)
2 0.750 1.217 14b A. Current Shift Data
2 1.000 1.450 12 1. Total Good Cans:
2 3.900 1.450 12 0
2 1.000 1.650 12 2. Total Short Cans:
2 3.900 1.650 12 0
2 0.750 2.050 14b B. Last (previous) Shift Data
2 1.000 2.283 12 1. Total Good Cans:
2 3.900 2.283 12 0
2 1.000 2.483 12 2. Total Short Cans:
2 3.900 2.483 12 0
2 0.750 2.883 14b C. Brake Response
2 1.000 3.117 12   1. Low Speed:
2 3.900 3.117 12 0
2 1.000 3.317 12   2. High Speed:
2 3.900 3.317 12 0
2 0.500 10.733 10 <date>
2 6.500 10.733 10 Page 2
2 line 0.500 10.633 7.000 10.633)";

QStringList expectedLines(const char* listing)
{
    return QString::fromLatin1(listing)
        .replace(QStringLiteral("<date>"), generalDateText(kPrintTime))
        .split(QLatin1Char('\n'));
}

// A record with every field away from its default.
MachineData filledData()
{
    MachineData d = DefaultData;
    d.ParamValue
        = { 1234567, 4321, 655359999, 65535, 17, 23, 1, 178, 182, 310, 260, 360, 380, 240, 25, 1, 5, 12 };
    d.PlsChannelCount = 12;
    d.PlsScaleFactor = 720;
    d.PlsOffset = 5;
    d.PlsProgram = 3;
    d.SpeedCompensation = { 1, 2, 3, -4, 5, 6, 7, 8 };
    for (int k = 0; k < 16; ++k) {
        d.OnSetpoint[k] = qint16(10 + 20 * k);
        d.OffSetpoint[k] = qint16(15 + 20 * k);
    }
    d.OffSetpoint[15] = -1;
    return d;
}

// Where a text of the listing stands: "<page> <x> <y>", or empty when absent.
QString placeOf(const RecordingReportPrinter& printer, const QString& text)
{
    for (const ReportOp& op : printer.ops())
        if (op.kind == ReportOp::Kind::Text && op.text == text)
            return QStringLiteral("%1 %2 %3").arg(op.page).arg(op.x, 0, 'f', 3).arg(op.y, 0, 'f', 3);
    return {};
}

} // namespace

class tst_modReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void defaultReport();
    void filledRecord_data();
    void filledRecord();
    void sectionDPageBreak_data();
    void sectionDPageBreak();
};

void tst_modReport::initTestCase()
{
    resetMachineDataGlobals();
    InitMachineData(1, 0, 0);
}

void tst_modReport::defaultReport()
{
    RecordingReportPrinter printer;
    printReport(printer, QStringLiteral("[unnamed]"), CurrentData, kPrintTime);
    const QStringList got = printer.listing();
    const QStringList want = expectedLines(kDefaultReport);
    for (int i = 0; i < std::min(got.size(), want.size()); ++i)
        QCOMPARE(got[i], want[i]);
    QCOMPARE(got.size(), want.size());
    // Sizes and bold are in the listing; every text is upright, plain Times.
    for (const ReportOp& op : printer.ops())
        QCOMPARE(op.font, (ReportFont { QStringLiteral("Times"), op.font.size, op.font.bold }));
    // The last footer started a new page; ending the document is the caller's.
    QCOMPARE(printer.page(), 3);
    QCOMPARE(printer.pagesDrawn(), 2);
    QCOMPARE(printer.endDocs(), 0);
}

void tst_modReport::filledRecord_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("place");
    // Set-up values with their blank, right-aligned at 5.5 inch.
    QTest::newRow("brake wear") << " 1"
                                << "1 5.300 1.450";
    QTest::newRow("stop low") << " 178"
                              << "1 5.100 1.650";
    QTest::newRow("high speed") << " 360"
                                << "1 5.100 2.450";
    QTest::newRow("trimmer offset") << " 25"
                                    << "1 5.200 3.483";
    QTest::newRow("channels") << " 12"
                              << "1 5.200 4.317";
    QTest::newRow("scale") << " 720"
                           << "1 5.100 4.517";
    QTest::newRow("program") << " 3"
                             << "1 5.300 4.717";
    QTest::newRow("speed comp 0") << "CH00 (msec):   1"
                                  << "1 1.500 5.117";
    QTest::newRow("speed comp negative") << "CH03 (msec):  -4"
                                         << "1 1.500 5.717";
    QTest::newRow("speed comp 7") << "CH07 (msec):   8"
                                  << "1 1.500 6.517";
    QTest::newRow("CH00") << "CH00:   10  -  15"
                          << "1 1.500 6.917";
    QTest::newRow("CH07") << "CH07:   150  -  155"
                          << "1 1.500 8.317";
    QTest::newRow("CH10") << "CH10:   170  -  175"
                          << "1 1.500 8.517";
    QTest::newRow("CH17 negative") << "CH17:   310  - -1"
                                   << "1 1.500 9.917";
    // Shift data with digit grouping, right-aligned at 4 inch.
    QTest::newRow("good cans") << "1,234,567"
                               << "2 3.100 1.450";
    QTest::newRow("short cans") << "4,321"
                                << "2 3.500 1.650";
    QTest::newRow("last good cans") << "655,359,999"
                                    << "2 2.900 2.283";
    QTest::newRow("last short cans") << "65,535"
                                     << "2 3.400 2.483";
    QTest::newRow("brake low") << "17"
                               << "2 3.800 3.117";
    QTest::newRow("brake high") << "23"
                                << "2 3.800 3.317";
    QTest::newRow("file name") << "TALVEK Report: [line 7.sdt]"
                               << "1 2.150 0.100";
}

void tst_modReport::filledRecord()
{
    QFETCH(QString, text);
    QFETCH(QString, place);
    RecordingReportPrinter printer;
    printReport(printer, QStringLiteral("[line 7.sdt]"), filledData(), kPrintTime);
    QCOMPARE(placeOf(printer, text), place);
    QCOMPARE(printer.pagesDrawn(), 2);
}

void tst_modReport::sectionDPageBreak_data()
{
    QTest::addColumn<double>("height");
    QTest::addColumn<int>("pages");
    // Section B ends at 3.883 inch; section D needs 29 lines of 0.2 inch and
    // 0.9 inch more, so it stays on page 1 from a height of 10.583 inch on.
    QTest::newRow("fits") << 10.59 << 2;
    QTest::newRow("just too short") << 10.58 << 3;
    QTest::newRow("letter") << 10.0 << 3;
}

void tst_modReport::sectionDPageBreak()
{
    QFETCH(double, height);
    QFETCH(int, pages);
    RecordingReportPrinter printer(7.5, height);
    printReport(printer, QStringLiteral("[unnamed]"), CurrentData, kPrintTime);
    QCOMPARE(printer.pagesDrawn(), pages);
    const QStringList got = printer.listing();
    const QString footerY = QString::number(height - 10.0 / 60 - 0.1, 'f', 3);
    const QString lineY = QString::number(height - 10.0 / 60 - 0.2, 'f', 3);
    for (int p = 1; p <= pages; ++p) {
        // Every page: its header first, its footer and footer line last.
        const QStringList page = got.filter(QRegularExpression(QStringLiteral("^%1 ").arg(p)));
        QCOMPARE(page.value(0), QStringLiteral("%1 2.300 0.100 12b TALVEK Report: [unnamed]").arg(p));
        QCOMPARE(page.value(1), QStringLiteral("%1 line 0.500 0.500 7.000 0.500").arg(p));
        QCOMPARE(page.value(page.size() - 2), QStringLiteral("%1 6.500 %2 10 Page %1").arg(p).arg(footerY));
        QCOMPARE(page.value(page.size() - 1), QStringLiteral("%1 line 0.500 %2 7.000 %2").arg(p).arg(lineY));
    }
    if (pages == 3) {
        // Section D opens page 2 right under the header; the parts follow.
        QCOMPARE(got.filter(QStringLiteral("14b ")).filter(QRegularExpression(QStringLiteral("^2 "))),
            QStringList { QStringLiteral("2 0.750 0.750 14b D. PLS Configuration & Channel Setpoints") });
        QCOMPARE(placeOf(printer, QStringLiteral("CH17:   0  -  0")), QStringLiteral("2 1.500 6.783"));
        QCOMPARE(placeOf(printer, QStringLiteral("Data Collection Counts (shift data)")),
            QStringLiteral("3 0.500 0.750"));
    } else {
        QCOMPARE(placeOf(printer, QStringLiteral("D. PLS Configuration & Channel Setpoints")),
            QStringLiteral("1 0.750 3.883"));
    }
}

QTEST_GUILESS_MAIN(tst_modReport)
#include "tst_modreport.moc"
