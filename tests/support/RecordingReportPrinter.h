#pragma once

#include "base/ReportPrinter.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace talvek::test {

// One drawing call on the report printer.
struct ReportOp
{
    enum class Kind
    {
        Text,
        Line
    };
    Kind kind = Kind::Text;
    int page = 1;
    double x = 0;
    double y = 0;
    double x2 = 0; // lines: the end point
    double y2 = 0;
    QString text;
    ReportFont font;
};

// A report printer for tests: a printable area of the given size and simple
// metrics (a character is size/120 inch wide, a line size/60 inch high, so
// 0.1 x 0.2 inch at 12 points), and a record of every drawing call.
class RecordingReportPrinter : public ReportPrinter
{
public:
    explicit RecordingReportPrinter(double width = 7.5, double height = 11.0);

    double width() const override { return m_width; }
    double height() const override { return m_height; }
    void setFont(const ReportFont& font) override { m_font = font; }
    double textWidth(const QString& text) const override;
    double textHeight(const QString& text) const override;
    void drawText(double x, double y, const QString& text) override;
    void drawLine(double x1, double y1, double x2, double y2) override;
    int page() const override { return m_page; }
    void newPage() override { ++m_page; }
    void endDoc() override { ++m_endDocs; }

    const QList<ReportOp>& ops() const { return m_ops; }
    int endDocs() const { return m_endDocs; }
    // The pages that have something drawn on them.
    int pagesDrawn() const;
    // One line per call: "<page> <x> <y> <size>[b] <text>" for texts,
    // "<page> line <x1> <y1> <x2> <y2>" for lines, inches to 3 decimals.
    QStringList listing() const;

private:
    double m_width;
    double m_height;
    ReportFont m_font;
    int m_page = 1;
    int m_endDocs = 0;
    QList<ReportOp> m_ops;
};

} // namespace talvek::test
