#pragma once

#include "base/Prompter.h"
#include "base/ReportPrinter.h"

#include <QFont>
#include <QPainter>
#include <QPrinter>

namespace talvek {

// The report's printer on a QPrinter: the system printer, or a PDF file when
// the settings name one. The document begins with the first drawing (a
// printer that cannot be opened draws nothing and reports nothing) and is
// ended by endDoc(), or at the latest when the object goes.
class QtReportPrinter final : public ReportPrinter
{
public:
    explicit QtReportPrinter(const PrinterSettings& settings);
    ~QtReportPrinter() override;
    Q_DISABLE_COPY_MOVE(QtReportPrinter)

    double width() const override;
    double height() const override;
    void setFont(const ReportFont& font) override;
    double textWidth(const QString& text) const override;
    double textHeight(const QString& text) const override;
    void drawText(double x, double y, const QString& text) override;
    void drawLine(double x1, double y1, double x2, double y2) override;
    int page() const override { return m_page; }
    void newPage() override;
    void endDoc() override;

    QPrinter& printer() { return m_printer; }
    // False once the printer could not be opened.
    bool usable() const { return !m_failed; }

private:
    bool ready();
    QPointF device(double x, double y) const;

    QPrinter m_printer;
    QPainter m_painter;
    QFont m_font;
    int m_page = 1;
    bool m_pagePending = false;
    bool m_failed = false;
    bool m_ended = false;
};

// The printer dialog's choice onto a printer, and back.
void applyPrinterSettings(QPrinter& printer, const PrinterSettings& settings);
PrinterSettings printerSettingsOf(const QPrinter& printer);

} // namespace talvek
