#pragma once

#include <QString>

namespace talvek {

// Variables of the main window that other windows and the file commands read
// or set.
struct ShellGlobals
{
    QString gFileNamePath; // full path of the current set-up file
    QString gFileNameTitle; // its name without folder
    QString gFileNameCaption; // "[unnamed]" or "[" + gFileNameTitle + "]"
    QString gFileExportPath; // last shift data export file
    QString gUploadNOW; // date and time of the last upload or open
    QString gProgramFilePath; // last program file chosen for download
};

} // namespace talvek
