#pragma once

#include <array>

#include <QFileDevice>
#include <QString>
#include <QStringList>
#include <optional>

namespace talvek {

class ProgramFolder;

// The port settings file, "port,speed" on one line, beside the program: the
// link reads it, the comm port dialog writes it. Paths are relative to the
// program folder.
inline constexpr char kPortSettingsFile[] = "support/RSPort.cfg";
// The link that names the device of port n ("support/ports/COM<n>").
QString portLinkFile(int port);

struct PortSettings
{
    int port = 1;
    QString speed = QStringLiteral("9600");
};
// The speeds the link opens a port at, slowest first (the first is the default).
inline constexpr std::array<int, 2> kSupportedSpeeds { 9600, 19200 };
inline bool isSupportedSpeed(int baud)
{
    return baud == kSupportedSpeeds[0] || baud == kSupportedSpeeds[1];
}
// The settings file holds one short line; nothing beyond this is read.
inline constexpr qint64 kPortSettingsReadLimit = 4096;
// The port settings file's contents, "port,speed": the port limited to
// 1..99, a speed other than 9600 or 19200 read as 9600. Throws BasicError
// 13 (port not a number), 6 (port overflows) or 62 (a field missing).
PortSettings parsePortSettings(const QByteArray& contents);
// The settings the link opens with: the file as it stands, or the defaults,
// which are then written (with the folder) when the file is missing or
// empty, unless the folder's settings are read-only. Throws BasicError (source "RSComm") when the file cannot
// be read or its defaults written, or holds no settings (see parsePortSettings).
PortSettings readPortSettings(const ProgramFolder& folder);
// The settings the file holds as it stands, or nothing when it is missing
// or empty; nothing is written. Throws BasicError (source "SetupComm") when
// the file cannot be read or holds no settings.
std::optional<PortSettings> loadPortSettings(const ProgramFolder& folder);

// The development-system folders whose NORVIK.SFG receives the port choice.
const QStringList& developmentSystemFolders();

// Saves a comm port choice where the program keeps what it writes:
// - when pinTarget is given (Unix), the link support/ports/COM<port> to it;
// - the port settings file, "3, 19200 " and CR LF;
// - NORVIK.SFG (the port number minus 1, CR LF) in each development-system
//   folder that exists beside the program.
// Every file is replaced as a whole. Throws BasicError (source "SetupComm")
// with the file and the reason when a folder, file or link cannot be written.
void saveCommPortSettings(const ProgramFolder& folder, int port, int speed, const QString& pinTarget = {});

// The error for a settings file that could not be read or written.
[[noreturn]] void throwSettingsFileError(
    QFileDevice::FileError error, const QString& errorText, const QString& path, const QString& what);

} // namespace talvek
