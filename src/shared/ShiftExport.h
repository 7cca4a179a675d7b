#pragma once

#include "shared/MachineData.h"

#include <QByteArray>
#include <QString>

namespace talvek {

class Prompter;

// The shift data export: a small text file with the four counters of a
// record, twelve lines, each ended by CR LF, single-byte text (Latin-1;
// characters outside it are written as "?"):
//
//   <file title, or "untitled" when there is none>
//   Date: <date and time of the last upload or open>
//   <one blank>
//   Current Shift Data:
//   (Total Good Cans, Total Short Cans)
//   <row 0>
//   <row 1>
//   <one blank>
//   Last Shift Data:
//   (Total Good Cans, Total Short Cans)
//   <row 2>
//   <row 3>
//
// Counters are written as decimal text with one leading blank when zero or
// positive, "-" when negative, without digit grouping. A row missing from the
// table is written as 0.
QByteArray shiftExportBytes(const MachineData& data, const QString& fileTitle, const QString& uploadNow);

// Writes the bytes to `path` through a temporary file that takes the place of
// the old one only when everything was written: a failed export leaves no
// half-written file, and a file that stood at `path` stays as it was. On
// failure `reason` says why.
bool writeShiftExport(const QString& path, const QByteArray& bytes, QString* reason = nullptr);

// "Export Shift Data...": the save dialog (text files, confirm overwrite,
// proposing the last export path, or the first time the folder and name of
// the set-up file at `setupFilePath` with ".txt"), then the file of
// CurrentData; ".txt" is added to a name typed without an extension. A cancelled
// dialog ends the command silently. A file that could not be written is
// reported in one box naming the file and the reason. The chosen path
// becomes gFileExportPath in either case. Returns true when the file was written.
bool exportShiftData(Prompter& prompter, QString& gFileExportPath, const QString& gFileNameTitle,
    const QString& gUploadNOW, const QString& setupFilePath = QString());

} // namespace talvek
