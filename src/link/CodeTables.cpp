#include "link/CodeTables.h"

#include "base/BasicError.h"
#include "base/FieldInput.h"
#include "base/ProgramFolder.h"
#include "base/Prompter.h"
#include "base/RuntimeFault.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

namespace talvek {

namespace {

CodeLookup readError(CodeLookup result, int number, const QString& description)
{
    result.status = CodeLookup::Status::ReadError;
    result.errorNumber = number;
    result.errorDescription = description;
    return result;
}

} // namespace

QString codeHexText(qint16 code)
{
    QString text = QString::number(static_cast<quint16>(code), 16).toUpper();
    if (text.size() < 2)
        text.prepend(u'0');
    return text;
}

QString faultCodeFilePath(const ProgramFolder& folder)
{
    return folder.resolve(QStringLiteral("support/FaultErrCodes.txt"));
}

QString commErrorCodeFilePath(const ProgramFolder& folder)
{
    return folder.resolve(QStringLiteral("support/CommErrCodes.txt"));
}

CodeLookup lookupCodeText(QIODevice& device, const QString& codeText, CodeMatch match)
{
    CodeLookup result;

    // Read the whole table, but never more than a code table can sensibly hold.
    QByteArray data;
    char buffer[16384];
    for (;;) {
        const qint64 n = device.read(buffer, sizeof buffer);
        if (n < 0)
            return readError(result, RuntimeError::kDeviceIo, QStringLiteral("Device I/O error"));
        if (n == 0)
            break;
        if (data.size() + n > kMaxCodeTableSize)
            return readError(result, RuntimeError::kOutOfMemory, QStringLiteral("Out of memory"));
        data.append(buffer, n);
    }

    FieldInput in(std::move(data));
    while (!in.atEnd()) {
        const QString code = in.next();
        const QString description = in.next();
        if (in.pastEnd())
            return readError(result, RuntimeError::kInputPastEnd, QStringLiteral("Input past end of file"));
        if (code.compare(codeText, Qt::CaseInsensitive) == 0) {
            result.matched = true;
            result.description = description;
            if (match == CodeMatch::First)
                break;
        }
    }
    result.status = result.matched ? CodeLookup::Status::Found : CodeLookup::Status::NotFound;
    return result;
}

CodeLookup lookupCodeText(const QString& filePath, const QString& codeText, CodeMatch match)
{
    const QFileInfo info(filePath);
    if (filePath.isEmpty() || !info.exists() || info.isDir()) {
        CodeLookup result;
        result.status = CodeLookup::Status::FileMissing;
        return result;
    }
    // A pipe or a device would block the open or the read: no code table.
    if (!info.isFile())
        return readError({}, RuntimeError::kPathFileAccess, QStringLiteral("Path/File access error"));
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!info.isReadable())
            return readError({}, RuntimeError::kPermissionDenied, QStringLiteral("Permission denied"));
        return readError({}, RuntimeError::kPathFileAccess, QStringLiteral("Path/File access error"));
    }
    // A regular file announces its size; refuse an oversized one before reading it.
    if (!file.isSequential() && file.size() > kMaxCodeTableSize)
        return readError({}, RuntimeError::kOutOfMemory, QStringLiteral("Out of memory"));
    return lookupCodeText(file, codeText, match);
}

QString faultDescriptionText(qint16 FltCode, const ProgramFolder& folder, Prompter& prompter)
{
    const QString codeText = codeHexText(FltCode);
    QString result = QStringLiteral("Fault Code (") + codeText + QStringLiteral("H): ");

    const CodeLookup lookup = lookupCodeText(faultCodeFilePath(folder), codeText, CodeMatch::First);
    switch (lookup.status) {
    case CodeLookup::Status::Found:
        result += lookup.description;
        break;
    case CodeLookup::Status::NotFound:
        break;
    case CodeLookup::Status::FileMissing:
        result += QStringLiteral("--- Fault File Not Found ---");
        break;
    case CodeLookup::Status::ReadError:
        showRuntimeFault(prompter, lookup.errorNumber, lookup.errorDescription,
            QStringLiteral("RSComm FaultDescription"), MsgIcon::Information);
        break;
    }
    return result;
}

} // namespace talvek
