// The report on a real printer: a PDF printout of the whole report, and the
// printer settings carried to and from a QPrinter.

#include "print/QtReportPrinter.h"
#include "shared/MachineData.h"
#include "shared/modReport.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace talvek;

namespace {

const QDateTime kPrintTime(QDate(2024, 3, 14), QTime(14, 5, 7));

} // namespace

class tst_QtReportPrinter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pdfPrintout();
    void printerSettingsRoundTrip();
};

void tst_QtReportPrinter::initTestCase()
{
    resetMachineDataGlobals();
    InitMachineData(1, 0, 0);
}

void tst_QtReportPrinter::pdfPrintout()
{
    QTemporaryDir dir;
    PrinterSettings settings;
    settings.outputFileName = dir.filePath(QStringLiteral("report.pdf"));
    settings.paperName = QStringLiteral("Letter");
    settings.paperSize = QSizeF(215.9, 279.4);
    QtReportPrinter printer(settings);
    QVERIFY(printer.width() > 7.5 && printer.width() < 8.5);
    QVERIFY(printer.height() > 10.0 && printer.height() < 11.0);
    // Times at 12 points: about a sixth of an inch high, "I" narrower than "W".
    printer.setFont(reportStyleFont(ReportStyle::Body));
    QVERIFY(printer.textHeight(QString()) > 0.15 && printer.textHeight(QString()) < 0.25);
    QVERIFY(printer.textWidth(QStringLiteral("I")) < printer.textWidth(QStringLiteral("W")));
    QVERIFY(!QFile::exists(settings.outputFileName)); // nothing is begun before the first drawing

    printReport(printer, QStringLiteral("[unnamed]"), CurrentData, kPrintTime);
    // Section D has a page of its own or not, as the font's line height has it.
    QVERIFY2(printer.page() == 3 || printer.page() == 4, qPrintable(QString::number(printer.page())));
    printer.endDoc();
    QVERIFY(printer.usable());

    QFile pdf(settings.outputFileName);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    QVERIFY(bytes.startsWith("%PDF-"));
    // The empty page after the last footer is not printed.
    static const QRegularExpression pageObject(QStringLiteral("/Type\\s*/Page[^s]"));
    QCOMPARE(QString::fromLatin1(bytes).count(pageObject), printer.page() - 1);
    QVERIFY(bytes.contains("/MediaBox [0 0 612.000000 792.000000]")); // Letter, in points
}

void tst_QtReportPrinter::printerSettingsRoundTrip()
{
    PrinterSettings settings;
    settings.outputFileName = QStringLiteral("/tmp/x.pdf");
    settings.paperName = QStringLiteral("A4");
    settings.paperSize = QSizeF(210, 297);
    settings.landscape = true;
    settings.copies = 2;
    QPrinter printer;
    applyPrinterSettings(printer, settings);
    QCOMPARE(printer.outputFormat(), QPrinter::PdfFormat);
    QCOMPARE(printer.pageLayout().pageSize().id(), QPageSize::A4);
    QCOMPARE(printerSettingsOf(printer), settings);
}

QTEST_MAIN(tst_QtReportPrinter)
#include "tst_qtreportprinter.moc"
