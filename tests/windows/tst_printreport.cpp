// "&Print Report..." from the main window: the printer dialog (cancel ends the
// command silently), the wait display up while the report is drawn and the
// document ended, the file name caption and CurrentData on the pages, the
// chosen printer kept for the next report, a real PDF printout, and the Qt
// printer dialog itself.

#include "base/Clock.h"
#include "base/ProgramFolder.h"
#include "K7700Sim.h"
#include "RecordingReportPrinter.h"
#include "ScriptedPrompter.h"
#include "shared/MachineData.h"
#include "SimPort.h"
#include "windows/frmMDIMain.h"
#include "windows/frmWaitDisplay.h"
#include "windows/PrintReportCommand.h"
#include "windows/QtPrompter.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPrintDialog>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace talvek;
using namespace talvek::test;

namespace {

const QString kGenerating = QStringLiteral("Generating Report, Please Standby ...");

struct PrintRig
{
    QTemporaryDir dir;
    ProgramFolder folder { dir.path() };
    K7700Sim sim;
    FakeClock clock;
    SimPort port { sim, clock };
    ScriptedPrompter prompter;
    std::unique_ptr<frmMDIMain> w;

    PrintRig()
    {
        resetMachineDataGlobals();
        w = std::make_unique<frmMDIMain>(prompter, clock, folder, &port);
    }
    PrintReportCommand* command() const { return w->findChild<PrintReportCommand*>(); }
    // What the wait display shows right now; empty when it is not up.
    QString waitDisplayText() const
    {
        const auto* wait = w->findChild<frmWaitDisplay*>();
        return wait && wait->isVisible() ? wait->lblWaitDisplay->text() : QString();
    }
};

// What a watched printer saw: the wait display's text at each drawing and at
// the end of the document, and the report's listing at that end.
struct Watch
{
    QStringList seen;
    QStringList listing;
};

class WatchedPrinter final : public RecordingReportPrinter
{
public:
    WatchedPrinter(const PrintRig& rig, Watch& watch)
        : m_rig(rig)
        , m_watch(watch)
    { }
    void drawText(double x, double y, const QString& text) override
    {
        m_watch.seen.append(m_rig.waitDisplayText());
        RecordingReportPrinter::drawText(x, y, text);
    }
    void endDoc() override
    {
        m_watch.seen.append(QStringLiteral("endDoc: ") + m_rig.waitDisplayText());
        m_watch.listing = listing();
        RecordingReportPrinter::endDoc();
    }

private:
    const PrintRig& m_rig;
    Watch& m_watch;
};

PrinterSettings pdfSettings(const QString& path)
{
    PrinterSettings s;
    s.outputFileName = path;
    s.paperName = QStringLiteral("A4");
    s.paperSize = QSizeF(210, 297);
    return s;
}

} // namespace

class tst_PrintReport : public QObject
{
    Q_OBJECT

private slots:
    void cancelIsSilent();
    void printsUnderWaitDisplay();
    void pdfPrintout();
    void qtPrinterDialog();
};

void tst_PrintReport::cancelIsSilent()
{
    PrintRig rig;
    int printersMade = 0;
    rig.command()->setPrinterFactory([&](const PrinterSettings&) {
        ++printersMade;
        return std::make_unique<RecordingReportPrinter>();
    });
    rig.prompter.answerPrinter(std::nullopt);
    rig.w->mnuFilePrint->trigger();

    QCOMPARE(rig.prompter.calls().size(), 1);
    QCOMPARE(rig.prompter.calls()[0].kind, PromptCall::Kind::Printer);
    QCOMPARE(rig.prompter.calls()[0].printer, PrinterSettings {});
    QCOMPARE(printersMade, 0);
    QVERIFY(!rig.w->findChild<frmWaitDisplay*>());
    QCOMPARE(rig.prompter.unexpected(), 0);
    QCOMPARE(rig.command()->printerChoice(), PrinterSettings {}); // the choice stays as it was
}

void tst_PrintReport::printsUnderWaitDisplay()
{
    PrintRig rig;
    Watch watch;
    QList<PrinterSettings> madeFor;
    rig.command()->setPrinterFactory([&](const PrinterSettings& s) {
        madeFor.append(s);
        return std::make_unique<WatchedPrinter>(rig, watch);
    });
    rig.w->globals().gFileNameCaption = QStringLiteral("[line 7.sdt]");
    CurrentData.ParamValue[0] = 1234567;
    PrinterSettings chosen;
    chosen.printerName = QStringLiteral("Shop Floor");
    chosen.landscape = true;
    rig.prompter.answerPrinter(chosen);

    rig.w->mnuFilePrint->trigger();

    QCOMPARE(madeFor, QList<PrinterSettings> { chosen });
    // Every drawing and the end of the document happened with the wait
    // display up and showing its report text; afterwards it is gone.
    QVERIFY(watch.seen.size() > 50);
    QCOMPARE(watch.seen.last(), QStringLiteral("endDoc: ") + kGenerating);
    QCOMPARE(watch.seen.count(kGenerating), watch.seen.size() - 1);
    QVERIFY(rig.waitDisplayText().isEmpty());
    // The pages carry the main window's file name caption and CurrentData.
    QCOMPARE(watch.listing.filter(QStringLiteral(" 12b TALVEK Report: [line 7.sdt]")).size(), 2);
    QCOMPARE(watch.listing.filter(QStringLiteral("2 3.100 1.450 12 1,234,567")).size(), 1);
    QCOMPARE(rig.prompter.unexpected(), 0);
    QCOMPARE(rig.prompter.messages().size(), 0);

    // The next report opens the dialog on the printer chosen.
    QCOMPARE(rig.command()->printerChoice(), chosen);
    rig.prompter.answerPrinter(std::nullopt);
    rig.w->mnuFilePrint->trigger();
    QCOMPARE(rig.prompter.calls().last().printer, chosen);
    QCOMPARE(madeFor.size(), 1);
}

void tst_PrintReport::pdfPrintout()
{
    PrintRig rig;
    const QString path = rig.dir.filePath(QStringLiteral("report.pdf"));
    rig.prompter.answerPrinter(pdfSettings(path));
    rig.w->mnuFilePrint->trigger();

    QFile pdf(path);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    QVERIFY(bytes.startsWith("%PDF-"));
    QVERIFY(bytes.contains("/MediaBox [0 0 595")); // A4
    static const QRegularExpression pageObject(QStringLiteral("/Type\\s*/Page[^s]"));
    const int pages = QString::fromLatin1(bytes).count(pageObject);
    QVERIFY2(pages == 2 || pages == 3, qPrintable(QString::number(pages)));
    QCOMPARE(rig.prompter.unexpected(), 0);
}

void tst_PrintReport::qtPrinterDialog()
{
    QTemporaryDir dir;
    QtPrompter prompter;
    PrinterSettings current = pdfSettings(dir.filePath(QStringLiteral("a.pdf")));
    current.landscape = true;

    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QVERIFY(!dialog->testOption(QAbstractPrintDialog::PrintPageRange));
        dialog->reject();
    });
    QCOMPARE(prompter.printerDialog(current), std::nullopt);

    // Accepted as it opened: the choice it was given comes back.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->accept();
    });
    QCOMPARE(prompter.printerDialog(current), std::optional<PrinterSettings>(current));
}

QTEST_MAIN(tst_PrintReport)
#include "tst_printreport.moc"
