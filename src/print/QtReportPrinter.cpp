#include "print/QtReportPrinter.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPen>
#include <algorithm>

namespace talvek {

namespace {

// Lines are half a point wide.
constexpr double kLineWidthInch = 1.0 / 144.0;

QFont qtFont(const ReportFont& font)
{
    QFont f(font.name);
    f.setStyleHint(QFont::Times);
    f.setPointSizeF(font.size);
    f.setBold(font.bold);
    f.setItalic(font.italic);
    f.setUnderline(font.underline);
    return f;
}

} // namespace

void applyPrinterSettings(QPrinter& printer, const PrinterSettings& settings)
{
    if (!settings.outputFileName.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(settings.outputFileName);
    } else {
        printer.setOutputFileName(QString());
        printer.setOutputFormat(QPrinter::NativeFormat);
        if (!settings.printerName.isEmpty())
            printer.setPrinterName(settings.printerName);
    }
    if (!settings.paperSize.isEmpty())
        printer.setPageSize(
            QPageSize(settings.paperSize, QPageSize::Millimeter, settings.paperName, QPageSize::FuzzyMatch));
    printer.setPageOrientation(settings.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setCopyCount(std::max(1, settings.copies));
}

PrinterSettings printerSettingsOf(const QPrinter& printer)
{
    PrinterSettings settings;
    if (printer.outputFormat() == QPrinter::PdfFormat)
        settings.outputFileName = printer.outputFileName();
    else
        settings.printerName = printer.printerName();
    const QPageLayout layout = printer.pageLayout();
    settings.paperName = layout.pageSize().key();
    settings.paperSize = layout.pageSize().size(QPageSize::Millimeter);
    settings.landscape = layout.orientation() == QPageLayout::Landscape;
    settings.copies = printer.copyCount();
    return settings;
}

QtReportPrinter::QtReportPrinter(const PrinterSettings& settings)
    : m_printer(QPrinter::HighResolution)
{
    applyPrinterSettings(m_printer, settings);
    m_printer.setDocName(QStringLiteral("TALVEK Report"));
    m_printer.setCreator(QStringLiteral("TALVEK"));
    m_font = qtFont(ReportFont { QStringLiteral("Times") });
}

QtReportPrinter::~QtReportPrinter()
{
    if (m_painter.isActive())
        m_painter.end();
}

double QtReportPrinter::width() const
{
    return m_printer.pageLayout().paintRect(QPageLayout::Inch).width();
}

double QtReportPrinter::height() const
{
    return m_printer.pageLayout().paintRect(QPageLayout::Inch).height();
}

void QtReportPrinter::setFont(const ReportFont& font)
{
    m_font = qtFont(font);
    if (m_painter.isActive())
        m_painter.setFont(m_font);
}

double QtReportPrinter::textWidth(const QString& text) const
{
    return QFontMetricsF(m_font, &m_printer).horizontalAdvance(text) / m_printer.logicalDpiX();
}

double QtReportPrinter::textHeight(const QString&) const
{
    return QFontMetricsF(m_font, &m_printer).height() / m_printer.logicalDpiY();
}

QPointF QtReportPrinter::device(double x, double y) const
{
    return { x * m_printer.logicalDpiX(), y * m_printer.logicalDpiY() };
}

bool QtReportPrinter::ready()
{
    if (m_failed || m_ended)
        return false;
    if (!m_painter.isActive()) {
        if (!m_painter.begin(&m_printer)) {
            m_failed = true;
            return false;
        }
        m_painter.setFont(m_font);
        m_painter.setPen(QPen(Qt::black, kLineWidthInch * m_printer.logicalDpiX()));
        m_pagePending = false;
    }
    if (m_pagePending) {
        m_pagePending = false;
        if (!m_printer.newPage()) {
            m_failed = true;
            return false;
        }
    }
    return true;
}

void QtReportPrinter::drawText(double x, double y, const QString& text)
{
    if (!ready())
        return;
    // The printer places text by its baseline, the report by the top of the line.
    const QPointF at = device(x, y) + QPointF(0, QFontMetricsF(m_font, &m_printer).ascent());
    m_painter.drawText(at, text);
}

void QtReportPrinter::drawLine(double x1, double y1, double x2, double y2)
{
    if (!ready())
        return;
    m_painter.drawLine(device(x1, y1), device(x2, y2));
}

void QtReportPrinter::newPage()
{
    ++m_page;
    // The page begins with its first drawing; nothing is printed for a page
    // that stays empty at the end of the document.
    if (m_painter.isActive())
        m_pagePending = true;
}

void QtReportPrinter::endDoc()
{
    if (m_painter.isActive())
        m_painter.end();
    m_ended = true;
}

} // namespace talvek
