// The options every Qt program takes are left to Qt: the program's own
// parser sees only its own.

#include "base/QtOptions.h"

#include <QTest>

using namespace talvek;

class tst_QtOptions : public QObject
{
    Q_OBJECT

private slots:
    void qtsOwnOptionsAreLeftToQt_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("kept");
        const QString talvek = QStringLiteral("talvek");
        QTest::addRow("-style Fusion")
            << QStringList { talvek, "-style", "Fusion", "press.sdt" } << QStringList { talvek, "press.sdt" };
        QTest::addRow("-style=Fusion") << QStringList { talvek, "-style=Fusion" } << QStringList { talvek };
        QTest::addRow("--style Fusion") << QStringList { talvek, "--style", "Fusion", "--system-info" }
                                        << QStringList { talvek, "--system-info" };
        QTest::addRow("platform and reverse") << QStringList { talvek, "-platform", "offscreen", "-reverse",
            "--comm-port", "3" } << QStringList { talvek, "--comm-port", "3" };
        QTest::addRow("stylesheet and geometry") << QStringList { talvek, "-stylesheet", "big.qss",
            "-qwindowgeometry", "800x480+0+0" } << QStringList { talvek };
        // The program's own, unknown ones and what follows "--" stay for its parser.
        QTest::addRow("own options") << QStringList { talvek, "--speed", "19200", "-x", "--stylish" }
                                     << QStringList { talvek, "--speed", "19200", "-x", "--stylish" };
        QTest::addRow("after --") << QStringList { talvek, "--", "-style" }
                                  << QStringList { talvek, "--", "-style" };
        QTest::addRow("-reverse=1 is not the flag")
            << QStringList { talvek, "-reverse=1" } << QStringList { talvek, "-reverse=1" };
        QTest::addRow("-style last, without a value")
            << QStringList { talvek, "-style" } << QStringList { talvek };
    }

    void qtsOwnOptionsAreLeftToQt()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, kept);
        QCOMPARE(withoutQtOptions(arguments), kept);
    }
};

QTEST_GUILESS_MAIN(tst_QtOptions)
#include "tst_qtoptions.moc"
