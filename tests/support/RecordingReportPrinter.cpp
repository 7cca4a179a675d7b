#include "RecordingReportPrinter.h"

#include <algorithm>

namespace talvek::test {

namespace {

QString inch(double v)
{
    return QString::number(v, 'f', 3);
}

} // namespace

RecordingReportPrinter::RecordingReportPrinter(double width, double height)
    : m_width(width)
    , m_height(height)
{ }

double RecordingReportPrinter::textWidth(const QString& text) const
{
    return text.size() * m_font.size / 120.0;
}

double RecordingReportPrinter::textHeight(const QString&) const
{
    return m_font.size / 60.0;
}

void RecordingReportPrinter::drawText(double x, double y, const QString& text)
{
    ReportOp op;
    op.page = m_page;
    op.x = x;
    op.y = y;
    op.text = text;
    op.font = m_font;
    m_ops.append(op);
}

void RecordingReportPrinter::drawLine(double x1, double y1, double x2, double y2)
{
    ReportOp op;
    op.kind = ReportOp::Kind::Line;
    op.page = m_page;
    op.x = x1;
    op.y = y1;
    op.x2 = x2;
    op.y2 = y2;
    op.font = m_font;
    m_ops.append(op);
}

int RecordingReportPrinter::pagesDrawn() const
{
    int pages = 0;
    for (const ReportOp& op : m_ops)
        pages = std::max(pages, op.page);
    return pages;
}

QStringList RecordingReportPrinter::listing() const
{
    QStringList lines;
    for (const ReportOp& op : m_ops) {
        const QString page = QString::number(op.page) + QLatin1Char(' ');
        if (op.kind == ReportOp::Kind::Line) {
            lines.append(page + QStringLiteral("line ") + inch(op.x) + QLatin1Char(' ') + inch(op.y)
                + QLatin1Char(' ') + inch(op.x2) + QLatin1Char(' ') + inch(op.y2));
            continue;
        }
        lines.append(page + inch(op.x) + QLatin1Char(' ') + inch(op.y) + QLatin1Char(' ')
            + QString::number(op.font.size) + (op.font.bold ? QStringLiteral("b ") : QStringLiteral(" "))
            + op.text);
    }
    return lines;
}

} // namespace talvek::test
