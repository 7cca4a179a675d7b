#pragma once

#include "link/PlantFile.h"

#include <QStringList>
#include <QTextStream>

namespace talvek {

// talvek-cli --all-presses COMMAND: the command on every press of the plant
// file at once, each press in a talvek-cli of its own (its own link, its
// own timeouts), and one line per press with its outcome, in the plant
// file's order:
//   upload all -o DIR   each press's set-up into DIR/NAME.sdt, written only
//                       when its upload succeeded
//   compare all         each press against its approved set-up file
//   status              each press's status on one line
// The exit code is 0 when every press succeeded; compare gives 1 when a
// press differs and none failed; otherwise the code of the first press
// that failed.
struct AllPressesRun
{
    QString program; // talvek-cli itself
    QStringList forwarded; // the options every press's run gets (folder, journal, baud, trace...)
    QString command; // "upload", "compare" or "status"
    QStringList rest; // its arguments
    QString outputDir; // upload: -o DIR
};

// Why the command cannot run on all presses, or nothing.
std::optional<QString> allPressesProblem(const QString& command, const QStringList& rest, bool hasOutput);

int runAllPresses(const PlantFile& plant, const AllPressesRun& run, QTextStream& out, QTextStream& err);

} // namespace talvek
