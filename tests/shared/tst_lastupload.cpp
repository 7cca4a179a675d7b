// What the download question says about the data it writes: the group, the
// file, and how much differs from the controller's data at the last upload.

#include "shared/LastUpload.h"
#include "shared/MachineData.h"

#include <QTest>

using namespace talvek;

class tst_LastUpload : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        resetMachineDataGlobals();
        InitMachineData(1, 0, 0);
    }

    // Unknown before an upload and again after a download of the group;
    // counted per row and per channel in between.
    void countsAgainstTheLastUpload()
    {
        LastUpload last;
        const QString unnamed = QStringLiteral("[unnamed]");
        QCOMPARE(downloadDataLine(14, unnamed, last.differences(14, CurrentData)),
            QStringLiteral("All Data from [unnamed]."));

        last.noteUpload(4, CurrentData);
        QCOMPARE(downloadDataLine(14, unnamed, last.differences(14, CurrentData)),
            QStringLiteral("All Data from [unnamed]: 0 of 18 rows and 0 of 16 channels differ from what the "
                           "controller held at the last upload."));
        CurrentData.ParamValue[1] = 5; // shift data
        CurrentData.ParamValue[10] = 300; // set-up parameters
        CurrentData.OffSetpoint[12] = 40; // a channel beyond the eight named ones
        QCOMPARE(downloadDataLine(14, QStringLiteral("[press3.sdt]"), last.differences(14, CurrentData)),
            QStringLiteral("All Data from [press3.sdt]: 2 of 18 rows and 1 of 16 channels differ from what the "
                           "controller held at the last upload."));
        QCOMPARE(downloadDataLine(11, unnamed, last.differences(11, CurrentData)),
            QStringLiteral("Timing Channels from [unnamed]: 1 of 16 channels differs from what the controller "
                           "held at the last upload."));
        QCOMPARE(downloadDataLine(12, unnamed, last.differences(12, CurrentData)),
            QStringLiteral("Shift Data from [unnamed]: 1 of 6 rows differs from what the controller held at "
                           "the last upload."));

        // Downloading the set-up parameters makes them (and so "All") unknown;
        // the shift rows are still known.
        last.noteDownload(10);
        QCOMPARE(downloadDataLine(10, unnamed, last.differences(10, CurrentData)),
            QStringLiteral("Set-up Parameters from [unnamed]."));
        QCOMPARE(downloadDataLine(14, unnamed, last.differences(14, CurrentData)),
            QStringLiteral("All Data from [unnamed]."));
        QVERIFY(last.differences(12, CurrentData).rows.has_value());
        // A download code is never taken as an upload.
        last.noteUpload(10, CurrentData);
        QVERIFY(!last.differences(10, CurrentData).rows.has_value());
    }
};

QTEST_GUILESS_MAIN(tst_LastUpload)
#include "tst_lastupload.moc"
