#include "shared/SystemInfo.h"

#include "base/BasicError.h"
#include "base/ProgramFolder.h"
#include "base/Prompter.h"
#include "link/CommPortSettings.h"
#include "link/PortAddress.h"
#include "link/RSComm.h"
#include "link/SerialDevices.h"
#include "link/SerialPortControl.h"
#include "shared/modUtility.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSysInfo>
#include <QtEndian>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace talvek {

namespace {

#ifdef Q_OS_UNIX
// Whether this user may use a device, and what to do when not: the advice
// the port's permission error gives, in a line.
QString deviceAdviceSummary(const QString& device)
{
    const std::optional<DeviceOwnership> node = deviceOwnership(device);
    if (!node)
        return deviceAccessible(device) ? QStringLiteral("usable") : QStringLiteral("not usable");
    return portAdvice(device, 0, *node, currentPortUser(), deviceAccessible(device), QString()).summary;
}
#endif

// Registry values are read into a buffer of this size, as the lookup always has.
[[maybe_unused]] constexpr int kValueBufferBytes = 1024; // used by the Windows lookup only

} // namespace

QString registryValueText(quint32 type, const QByteArray& data)
{
    if (type == kRegString) {
        QString text
            = QString::fromUtf16(reinterpret_cast<const char16_t*>(data.constData()), data.size() / 2);
        if (text.endsWith(QChar(0)))
            text.chop(1);
        return text;
    }
    if (type == kRegDword) {
        quint32 value = 0;
        for (qsizetype i = qMin<qsizetype>(data.size(), 4) - 1; i >= 0; --i)
            value = (value << 8) | quint8(data.at(i));
        return QString::number(value);
    }
    return {};
}

std::optional<QString> SystemRegistry::GetKeyValue(
    RegistryRoot root, const QString& keyName, const QString& valueName)
{
#ifdef Q_OS_WIN
    HKEY base = HKEY_LOCAL_MACHINE;
    switch (root) {
    case RegistryRoot::ClassesRoot:
        base = HKEY_CLASSES_ROOT;
        break;
    case RegistryRoot::CurrentUser:
        base = HKEY_CURRENT_USER;
        break;
    case RegistryRoot::LocalMachine:
        base = HKEY_LOCAL_MACHINE;
        break;
    case RegistryRoot::Users:
        base = HKEY_USERS;
        break;
    }
    HKEY key = nullptr;
    // Read access is all a lookup needs (and all an ordinary user gets).
    if (RegOpenKeyExW(base, reinterpret_cast<LPCWSTR>(keyName.utf16()), 0, KEY_QUERY_VALUE, &key)
        != ERROR_SUCCESS)
        return std::nullopt;
    QByteArray buffer(kValueBufferBytes, '\0');
    DWORD size = DWORD(buffer.size());
    DWORD type = 0;
    const LONG rc = RegQueryValueExW(key, reinterpret_cast<LPCWSTR>(valueName.utf16()), nullptr, &type,
        reinterpret_cast<LPBYTE>(buffer.data()), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return std::nullopt;
    buffer.truncate(qMin<qsizetype>(size, buffer.size()));
    return RegistryValueText(type, buffer);
#else
    Q_UNUSED(root);
    Q_UNUSED(keyName);
    Q_UNUSED(valueName);
    return std::nullopt;
#endif
}

ProgramStarter detachedProgramStarter()
{
    return [](const QString& program) { return QProcess::startDetached(program, {}); };
}

std::optional<QString> findSystemInfoProgram(RegistryReader& registry)
{
    if (auto path = registry.GetKeyValue(RegistryRoot::LocalMachine,
            QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"), QStringLiteral("PATH")))
        return path;
    if (auto folder = registry.GetKeyValue(RegistryRoot::LocalMachine,
            QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"), QStringLiteral("MSINFO"))) {
        const QString program = *folder + QStringLiteral("\\MSINFO32.EXE");
        QString local = program;
        local.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (QFileInfo(local).isFile())
            return program;
    }
    return std::nullopt;
}

void startSystemInfo(RegistryReader& registry, const ProgramStarter& start, Prompter& prompter,
    const std::function<bool()>& showReport)
{
    const auto program = findSystemInfoProgram(registry);
    if (program && !program->isEmpty() && start && start(*program))
        return;
    if (showReport && showReport())
        return;
    prompter.msgBox(QStringLiteral("System Information Is Unavailable At This Time"), kAppTitle,
        MsgIcon::None, MsgButtons::OK);
}

} // namespace talvek

namespace talvek {

namespace {

QString foundText(const QString& path)
{
    return QDir::toNativeSeparators(path)
        + (QFileInfo(path).isFile() ? QStringLiteral(" (found)") : QStringLiteral(" (MISSING)"));
}

QString osDescription()
{
    QString text = QSysInfo::prettyProductName();
    QFile release(QStringLiteral("/etc/os-release"));
    if (release.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = release.readAll().split('\n');
        for (const QByteArray& line : lines) {
            if (line.startsWith("PRETTY_NAME=")) {
                text = QString::fromUtf8(line.mid(12)).remove(QLatin1Char('"'));
                break;
            }
        }
    }
    return text;
}

// The program: its version, the Qt it runs on, the system and the user.
void describeProgram(QStringList& out)
{
    out << QStringLiteral("%1 %2.%3.%4")
               .arg(kAppTitle)
               .arg(TALVEK_VERSION_MAJOR)
               .arg(TALVEK_VERSION_MINOR)
               .arg(TALVEK_VERSION_PATCH);
    out << QStringLiteral("Qt %1 (built with %2)")
               .arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR));
    out << QStringLiteral("Operating system: %1").arg(osDescription());
    out << QStringLiteral("Kernel: %1 %2 (%3)")
               .arg(QSysInfo::kernelType(), QSysInfo::kernelVersion(), QSysInfo::currentCpuArchitecture());
    out << QStringLiteral("User: %1").arg(currentUserName());
    out << QString();
}

// Where the program and its files are, and whether the files it reads are there.
void describeFiles(QStringList& out, const ProgramFolder& folder)
{
    out << QStringLiteral("Program: %1 (%2)")
               .arg(QDir::toNativeSeparators(folder.root()),
                   folder.isPortable() ? QStringLiteral("portable copy") : QStringLiteral("installed"));
    if (!folder.isPortable()) {
        QStringList data;
        for (const QString& dir : folder.dataDirs())
            data << QDir::toNativeSeparators(dir);
        out << QStringLiteral("Program files: %1").arg(data.join(QStringLiteral(", ")));
    }
    out << QStringLiteral("Settings folder: %1").arg(QDir::toNativeSeparators(folder.configDir()));
    out << QStringLiteral("Help: %1").arg(foundText(folder.resolve(QStringLiteral("Help/TALVEK.html"))));
    out << QStringLiteral("Fault codes: %1")
               .arg(foundText(folder.resolve(QStringLiteral("support/FaultErrCodes.txt"))));
    out << QStringLiteral("Communication error codes: %1")
               .arg(foundText(folder.resolve(QStringLiteral("support/CommErrCodes.txt"))));
    out << QString();
}

// The settings the link would use, read as the link reads them (nothing is
// written), and the device their port number names.
void describePortSettings(QStringList& out, const ProgramFolder& folder, const SerialPortControl* port)
{
    const QString settingsPath = folder.resolve(QLatin1String(kPortSettingsFile));
    PortSettings settings;
    QString source
        = QStringLiteral("defaults; %1 does not exist yet").arg(QDir::toNativeSeparators(settingsPath));
    QFile file(settingsPath);
    if (QFileInfo(settingsPath).size() > 0 && file.open(QIODevice::ReadOnly)) {
        source = QDir::toNativeSeparators(settingsPath);
        try {
            settings = parsePortSettings(file.read(kPortSettingsReadLimit));
        } catch (const BasicError& e) {
            source += QStringLiteral(", unreadable: ") + e.description();
        }
    }
    out << QStringLiteral("Port settings in force: COM%1 at %2 baud (%3)")
               .arg(settings.port)
               .arg(settings.speed, source);
    if (port) {
        const QString device = port->deviceForPort(settings.port);
        if (device.isEmpty()) {
            out << QStringLiteral("Port %1 means: no device on this machine").arg(settings.port);
        } else if (looksLikeNetworkPort(device)) {
            out << QStringLiteral("Port %1 means: the network port %2 of a serial device server")
                       .arg(settings.port)
                       .arg(device);
        } else {
            QString line = QStringLiteral("Port %1 means: %2")
                               .arg(settings.port)
                               .arg(QDir::toNativeSeparators(device));
#ifdef Q_OS_UNIX
            if (!QFileInfo::exists(device))
                line += QStringLiteral(" (not present)");
            else
                line += QStringLiteral(" (present, %1)").arg(deviceAdviceSummary(device));
#endif
            out << line;
        }
    }
    out << QString();
}

// The serial devices present, what they are and whether this user may use them.
void describeSerialDevices(QStringList& out, const QList<SerialDeviceInfo>& devices)
{
    out << QStringLiteral("Serial devices present:");
    if (devices.isEmpty())
        out << QStringLiteral("  none");
    for (const SerialDeviceInfo& d : devices) {
        QStringList about;
        for (const QString& part : { d.description, d.manufacturer })
            if (!part.isEmpty() && !about.contains(part))
                about << part;
        if (!d.serialNumber.isEmpty())
            about << QStringLiteral("serial number %1").arg(d.serialNumber);
        out << QStringLiteral("  %1%2").arg(QDir::toNativeSeparators(d.device),
            about.isEmpty() ? QString() : QStringLiteral(": ") + about.join(QStringLiteral(", ")));
        if (!d.byId.isEmpty())
            out << QStringLiteral("    also %1").arg(d.byId);
#ifdef Q_OS_UNIX
        if (const std::optional<DeviceOwnership> node = deviceOwnership(d.device)) {
            out << QStringLiteral("    user %1, group %2, mode %3; %4")
                       .arg(node->owner, node->group,
                           QStringLiteral("%1").arg(node->mode & 0777, 3, 8, QLatin1Char('0')),
                           deviceAdviceSummary(d.device));
        }
#endif
    }
}

} // namespace

QString systemInfoReport(
    const ProgramFolder& folder, const SerialPortControl* port, const QList<SerialDeviceInfo>& devices)
{
    QStringList out;
    describeProgram(out);
    describeFiles(out, folder);
    describePortSettings(out, folder, port);
    describeSerialDevices(out, devices);
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace talvek
