#pragma once

#include <QFileDevice>
#include <QString>
#include <QStringList>

namespace talvek {

class ProgramFolder;

// The development-system folders whose NORVIK.SFG receives the port choice.
const QStringList& DevelopmentSystemFolders();

// Saves a comm port choice where the program keeps what it writes:
// - when pinTarget is given (Unix), the link support/ports/COM<port> to it;
// - the port settings file, "3, 19200 " and CR LF;
// - NORVIK.SFG (the port number minus 1, CR LF) in each development-system
//   folder that exists beside the program.
// Every file is replaced as a whole. Throws BasicError (source "SetupComm")
// with the file and the reason when a folder, file or link cannot be written.
void SaveCommPortSettings(const ProgramFolder& folder, int port, int speed, const QString& pinTarget = {});

// The error for a settings file that could not be read or written.
[[noreturn]] void ThrowSettingsFileError(
    QFileDevice::FileError error, const QString& errorText, const QString& path, const QString& what);

} // namespace talvek
