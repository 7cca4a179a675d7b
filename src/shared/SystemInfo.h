#pragma once

#include "link/SerialDevices.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace talvek {

class Prompter;
class ProgramFolder;
class SerialPortControl;

enum class RegistryRoot
{
    ClassesRoot,
    CurrentUser,
    LocalMachine,
    Users
};

// Registry value types the lookup understands.
constexpr quint32 kRegString = 1; // REG_SZ
constexpr quint32 kRegDword = 4; // REG_DWORD

// Reads values from the system registry. On Windows it is the real registry;
// elsewhere there is none and every lookup finds nothing.
class RegistryReader
{
public:
    virtual ~RegistryReader() = default;
    // GetKeyValue: the value's text, or nothing when the key or value is missing.
    virtual std::optional<QString> GetKeyValue(
        RegistryRoot root, const QString& keyName, const QString& valueName)
        = 0;
};

class SystemRegistry final : public RegistryReader
{
public:
    std::optional<QString> GetKeyValue(
        RegistryRoot root, const QString& keyName, const QString& valueName) override;
};

// The text of a raw registry value. A string (UTF-16 data) is cut at its
// length, without a final NUL; a double word (little-endian) becomes its
// decimal number; other types give an empty text.
QString registryValueText(quint32 type, const QByteArray& data);

// Starts another program in a normal window; false when it could not be started.
using ProgramStarter = std::function<bool(const QString& program)>;
ProgramStarter detachedProgramStarter();

// The system information program named by the registry, if any.
std::optional<QString> findSystemInfoProgram(RegistryReader& registry);

// "&System Info...": starts the system information program; where there is
// none, shows our own report (showReport, true when it was shown); failing
// both, "System Information Is Unavailable At This Time".
void startSystemInfo(RegistryReader& registry, const ProgramStarter& start, Prompter& prompter,
    const std::function<bool()>& showReport = {});

// What a support call needs to know about this installation, as plain text:
// TALVEK and Qt versions, operating system and kernel, where the program's
// files and settings are, the port settings in force and the device they mean,
// and the serial devices present with their owning group and whether this user
// is in it.
QString systemInfoReport(
    const ProgramFolder& folder, const SerialPortControl* port, const QList<SerialDeviceInfo>& devices);

} // namespace talvek
