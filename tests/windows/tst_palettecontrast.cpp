// The colours the program chooses, seen as they are drawn: the compare, the
// trends and the timing diagram rendered in a light and a dark palette, the
// contrast of each text measured against the background it is drawn on
// (WCAG AA: 4.5:1).

#include "MainWindowRig.h"
#include "Palettes.h"
#include "shared/SetupFile.h"
#include "windows/DisplayText.h"
#include "windows/PaletteColours.h"
#include "windows/TimingDiagramView.h"
#include "windows/frmCompare.h"
#include "windows/frmTrends.h"

#include <QHash>
#include <QTableWidget>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QValueAxis>

using namespace talvek;
using namespace talvek::test;

namespace {

// The colour that covers most of an area (its background) and the colour in
// it that stands out most against that (the core of the text drawn on it).
struct Measured
{
    QColor background;
    QColor text;
    double ratio = 1;
};

Measured measure(const QImage& image, const QRect& area)
{
    QHash<QRgb, int> counts;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000];
    Measured m;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            m.background = QColor::fromRgb(it.key());
        }
    }
    m.text = m.background;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        const double ratio = contrastRatio(QColor::fromRgb(it.key()), m.background);
        if (ratio > m.ratio) {
            m.ratio = ratio;
            m.text = QColor::fromRgb(it.key());
        }
    }
    return m;
}

QString described(const QString& what, const Measured& m)
{
    return QStringLiteral("%1: %2 on %3, %4:1")
        .arg(what, m.text.name(), m.background.name())
        .arg(m.ratio, 0, 'f', 2);
}

void requireReadable(const QImage& image, const QRect& area, const QString& what)
{
    const Measured m = measure(image, area);
    QVERIFY2(m.ratio >= 4.5, qPrintable(described(what, m)));
}

void showExposed(QWidget& w, const QSize& size)
{
    w.resize(size);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCoreApplication::processEvents();
}

} // namespace

class tst_PaletteContrast : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase() { usePalette(false); }

    void compareRowsRead_data() { palettes(); }
    void compareRowsRead()
    {
        QFETCH(bool, dark);
        usePalette(dark);
        Rig rig;
        MachineData changed = DefaultData;
        changed.ParamValue[9] = 310;
        frmCompare w(rig.w->context(), DefaultData, QStringLiteral("/plant/t1.sdt"), changed,
            QStringLiteral("/plant/old/t1.sdt"));
        showExposed(w, QSize(900, 620));
        w.grdCompare->clearSelection();
        w.grdCompare->setCurrentItem(nullptr);
        const QList<CompareRow>& rows = w.compare().rows();
        int differs = -1;
        for (int r = 0; r < rows.size() && differs < 0; ++r)
            if (rows[r].state == CompareRow::State::Differs)
                differs = r;
        QVERIFY(differs > 0);
        w.grdCompare->scrollToItem(w.grdCompare->item(differs, 0));
        QCoreApplication::processEvents();
        const QImage image = w.grdCompare->viewport()->grab().toImage();
        const auto cellArea = [&](int row, int column) {
            return w.grdCompare->visualItemRect(w.grdCompare->item(row, column)).adjusted(2, 2, -2, -2);
        };
        for (int c = 0; c < frmCompare::ColumnCount; ++c)
            requireReadable(image, cellArea(differs, c), QStringLiteral("differing row, column %1").arg(c));
        requireReadable(
            image, cellArea(differs - 1, frmCompare::ColCaption), QStringLiteral("a row that is the same"));
        // The differing row stands out from the rows around it.
        const QColor marked = measure(image, cellArea(differs, frmCompare::ColCaption)).background;
        const QColor plain = measure(image, cellArea(differs - 1, frmCompare::ColCaption)).background;
        QVERIFY2(contrastRatio(marked, plain) >= 1.15,
            qPrintable(marked.name() + QLatin1Char(' ') + plain.name()));
    }

    void trendsChartFollowsThePalette_data() { palettes(); }
    void trendsChartFollowsThePalette()
    {
        QFETCH(bool, dark);
        usePalette(dark);
        Rig rig;
        for (int i = 0; i < 3; ++i)
            rig.w->journal().recordSample(250 + i, 140, 220 + i);
        frmTrends w(
            rig.w->journal(), rig.prompter, [] { return std::optional<int>(300); }, nullptr);
        showExposed(w, QSize(900, 520));
        const QImage image = w.view()->viewport()->grab().toImage();
        const QRect plot
            = w.view()->mapFromScene(w.chart()->mapRectToScene(w.chart()->plotArea())).boundingRect();
        const int line = QFontMetrics(w.chart()->axes(Qt::Horizontal).value(0)->labelsFont()).height();
        const QRect timeLabels(plot.left(), plot.bottom() + 8, plot.width(), line);
        requireReadable(image, timeLabels, QStringLiteral("time axis"));
        requireReadable(image, QRect(0, plot.top() + line, plot.left() - 8, plot.height() - 2 * line),
            QStringLiteral("speed axis"));
        requireReadable(image,
            QRect(plot.right() + 8, plot.top() + line, image.width() - plot.right() - 8,
                plot.height() - 2 * line),
            QStringLiteral("brake response axis"));
        requireReadable(
            image, QRect(plot.left(), 0, plot.width(), plot.top() - line), QStringLiteral("title"));
        // Not a white panel in a dark window: the chart is drawn on the base.
        QCOMPARE(measure(image, timeLabels).background, w.palette().color(QPalette::Base));
    }

    void diagramTextsRead_data() { palettes(); }
    void diagramTextsRead()
    {
        QFETCH(bool, dark);
        usePalette(dark);
        TimingDiagramInput input;
        input.onTexts
            = { QStringLiteral("10"), QStringLiteral("****"), QStringLiteral("200"), QStringLiteral("0"),
                  QStringLiteral("30"), QStringLiteral("40"), QStringLiteral("50"), QStringLiteral("60") };
        input.offTexts
            = { QStringLiteral("90"), QStringLiteral("****"), QStringLiteral("20"), QStringLiteral("0"),
                  QStringLiteral("35"), QStringLiteral("45"), QStringLiteral("55"), QStringLiteral("65") };
        input.scaleText = QStringLiteral("360");
        input.rpmText = QStringLiteral("250");
        input.positionText = QStringLiteral("-");
        TimingDiagramView v;
        v.setDiagram(buildTimingDiagram(input));
        showExposed(v, QSize(800, 400));
        const QImage image = v.grab().toImage();
        const int line = v.fontMetrics().height();
        requireReadable(image, QRect(0, 0, v.width(), line), QStringLiteral("degree axis"));
        for (const int channel : { 0, 1 }) {
            const QRect row = v.rowRect(channel);
            requireReadable(image, QRect(6, row.top() + 2, v.labelWidth() - 12, row.height() - 4),
                QStringLiteral("name of channel %1").arg(channel));
        }
        // The note of a cleared channel (an odd row, on the alternate base).
        const QRect row = v.rowRect(1);
        const int left = int(v.xOf(0)) + 2;
        requireReadable(image, QRect(left, row.top() + 2, int(v.xOf(360)) - left - 2, row.height() - 4),
            QStringLiteral("note of a cleared channel"));
    }

    // The colours themselves, in every palette Qt's styles give and the dark
    // one: text on a marked row and each trend line against the base.
    void chosenColoursKeepTheirContrast()
    {
        QList<QPalette> palettes { lightPalette(), darkPalette() };
        QPalette yellowish = lightPalette();
        yellowish.setColor(QPalette::Base, QColor(255, 250, 205)); // a pale yellow base
        palettes << yellowish;
        for (const QPalette& p : palettes) {
            for (const RowMark mark : { RowMark::Differs, RowMark::Failed }) {
                const MarkColours c = markColours(p, mark);
                QVERIFY(contrastRatio(c.text, c.background) >= 4.5);
                QVERIFY(c.background != p.color(QPalette::Base)); // still marked
            }
            for (const QColor& hue : { QColor(40, 90, 200), QColor(30, 150, 60), QColor(220, 120, 20) })
                QVERIFY(contrastRatio(lineColour(p, hue), p.color(QPalette::Base)) >= 4.5);
        }
        // Half-transparent black on white is drawn mid grey.
        QCOMPARE(opaqueOn(QColor(0, 0, 0, 128), Qt::white), QColor(127, 127, 127));
    }

private:
    static void palettes()
    {
        QTest::addColumn<bool>("dark");
        QTest::addRow("light") << false;
        QTest::addRow("dark") << true;
    }
};

QTEST_MAIN(tst_PaletteContrast)
#include "tst_palettecontrast.moc"
