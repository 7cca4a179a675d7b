#pragma once

#include <QString>

namespace talvek {

// A font of the printed report.
struct ReportFont
{
    QString name;
    double size = 12; // points
    bool bold = false;
    bool italic = false;
    bool underline = false;

    bool operator==(const ReportFont&) const = default;
};

// The printer as the report draws on it. Every coordinate and size is in
// inches, measured from the top left corner of the printable area. Text is
// placed by the top of its line, as the height from textHeight() runs down
// from there. A new page starts only once something is drawn on it, so a
// document that ends right after newPage() has no empty last page.
class ReportPrinter
{
public:
    virtual ~ReportPrinter() = default;

    // The printable area: its width (W) and height (H).
    virtual double width() const = 0;
    virtual double height() const = 0;

    // Font of the texts drawn from now on and of the text metrics.
    virtual void setFont(const ReportFont& font) = 0;
    virtual double textWidth(const QString& text) const = 0;
    // The height of a line of the text: the font's line height, the same for
    // every text (the empty one too).
    virtual double textHeight(const QString& text) const = 0;

    virtual void drawText(double x, double y, const QString& text) = 0;
    virtual void drawLine(double x1, double y1, double x2, double y2) = 0;

    // Number of the page being drawn, from 1.
    virtual int page() const = 0;
    virtual void newPage() = 0;
    // Ends the document: it is printed (or written) now.
    virtual void endDoc() = 0;
};

} // namespace talvek
