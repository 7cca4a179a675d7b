#pragma once

#include "base/Outcome.h"
#include "link/PortAddress.h"

#include <QList>
#include <QString>

namespace talvek {

// The presses of a plant, support/Presses.cfg beside the port settings (or a
// file given): one press a line,
//
//   # name, port, speed[, approved set-up file]
//   press1, rfc2217://10.20.0.11:4001, 19200, approved/press1.sdt
//   press2, /dev/ttyUSB0, 9600
//   press3, COM3, 9600
//
// Blank lines and lines that start with '#' are skipped. The port is a
// network port's URL, a device path or COMn (the port number n of this
// machine); the speed 9600 or 19200; the set-up file, when given, is
// relative to the plant file's folder.
inline constexpr char kPlantFile[] = "support/Presses.cfg";

struct PlantPress
{
    QString name;
    QString port; // as written: a URL, a device path, or COMn
    int commPort = 0; // n of COMn; 0 for a URL or a device path
    int speed = 9600;
    QString setupFile; // absolute; empty when none is named
    int line = 0; // in the plant file

    bool operator==(const PlantPress&) const = default;
};

struct PlantFile
{
    QString path;
    QList<PlantPress> presses;

    // The press of that name (names are matched without regard to case).
    const PlantPress* find(const QString& name) const;
};

// The plant file's contents, read from the file at `path` (for messages and
// the set-up files' folder). A line that is not a press, a name given
// twice and two presses on one port are refused: Cause::BadFile with
// "PATH line N: why".
Result<PlantFile> parsePlantFile(const QByteArray& contents, const QString& path);
// The plant file at path: missing, unreadable or refused as parsePlantFile says.
Result<PlantFile> readPlantFile(const QString& path);

} // namespace talvek
