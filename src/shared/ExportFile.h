#pragma once

#include "base/Outcome.h"
#include "base/Prompter.h"

#include <QByteArray>
#include <QString>

namespace talvek {

// An export a window offers (a CSV of the journal, a picture of the trends,
// the link monitor's log): the path the operator chose, empty when none, and
// how writing it ended: done, Cause::Cancelled (no path chosen) or
// Cause::BadFile (not written; the detail is the sentence that says why).
struct Export
{
    QString path;
    Status written;
};

// Asks where with the save dialog of `request`, then writes `bytes` there
// whole, or leaves a file already there as it was.
Export exportToFile(Prompter& prompter, const FileDialogRequest& request, const QByteArray& bytes);

// "The file could not be written:" and the path, for an export that was not
// written; empty when it was, or was cancelled.
QString exportFailureText(const Export& e);

} // namespace talvek
