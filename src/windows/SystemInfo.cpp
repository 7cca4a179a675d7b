#include "SystemInfo.h"

#include "Prompter.h"
#include "modUtility.h"

#include <QFileInfo>
#include <QProcess>
#include <QtEndian>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace talvek {

namespace {

// Registry values are read into a buffer of this size, as the lookup always has.
constexpr int kValueBufferBytes = 1024;

} // namespace

QString RegistryValueText(quint32 type, const QByteArray& data)
{
    if (type == RegString) {
        QString text
            = QString::fromUtf16(reinterpret_cast<const char16_t*>(data.constData()), data.size() / 2);
        if (text.endsWith(QChar(0)))
            text.chop(1);
        return text;
    }
    if (type == RegDword) {
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

ProgramStarter DetachedProgramStarter()
{
    return [](const QString& program) { return QProcess::startDetached(program, {}); };
}

std::optional<QString> FindSystemInfoProgram(RegistryReader& registry)
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

void StartSystemInfo(RegistryReader& registry, const ProgramStarter& start, Prompter& prompter)
{
    const auto program = FindSystemInfoProgram(registry);
    if (program && !program->isEmpty() && start && start(*program))
        return;
    prompter.msgBox(QStringLiteral("System Information Is Unavailable At This Time"), kAppTitle,
        MsgIcon::None, MsgButtons::OK);
}

} // namespace talvek
