#pragma once

#include "base/Outcome.h"

#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

namespace talvek {

class RSComm;
struct MachineData;

// What a data download is about to change on the press, read from the
// controller just before it is asked for (the compare's own reading, into a
// record of its own: the working data are never touched): each value that
// differs, by its address, caption, what the controller holds and what the
// download sends, and the PLS channels the controller holds as pulse trains
// (a download clears them: a set-up file cannot hold one).
struct DownloadPreview
{
    struct Change
    {
        QString address; // "W1026", "PLS-SCALE", "CH03"
        QString caption; // "Low Speed (SPM)"
        QString held; // what the controller holds
        QString sent; // what the download writes
    };

    qint16 code = 0; // the download's transfer code (10, 11, 12, 14)
    bool compared = false; // the download's groups were read (not shift data alone)
    bool offline = false; // nothing was read: the program is OFFLINE
    Status read = done(); // how that reading ended
    int rowCount = 0; // parameter rows the compare covered
    int channelCount = 0; // channels it covered
    QList<Change> rows; // parameter rows and configuration fields that differ
    QList<Change> channels; // channels that differ (pulse trains among them)
    QList<int> pulseTrains; // channels the controller holds as pulse trains
    bool defaults = false; // the data are the start-up defaults
};

// Reads what a download of transfer code `code` would change from `data`.
// OFFLINE nothing is read (compared stays false, read says why).
DownloadPreview previewDownload(RSComm& rs, qint16 code, const MachineData& data);

// The data group of a transfer code: "Set-up Parameters", "Timing Channels",
// "Shift Data", "All Data".
QString transferGroupName(qint16 code);

// The lines the download question shows between its own first and last
// lines: the group and the file's caption, then what differs, the pulse
// trains it clears, whether the data are the start-up defaults, and a
// reading that failed.
QString downloadDataLine(const DownloadPreview& preview, const QString& fileCaption);

// What a download does to channels the PLS holds as pulse trains; empty
// when there are none.
QString pulseTrainDownloadWarning(const QList<int>& channels);

// The question before a data download: "You are about to Download Data to
// the PLC", the lines that say what goes, "Do You Wish to Continue?".
QString downloadDataQuestion(const QString& line);

} // namespace talvek
