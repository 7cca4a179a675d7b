#include "shared/ShiftExport.h"

#include "base/Prompter.h"
#include "base/SafeWrite.h"
#include "shared/modUtility.h"

namespace talvek {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kFilter = QStringLiteral("Text Files(*.txt)|*.txt|");
const QString kExtension = QStringLiteral("txt");
const QString kCaptionLine = QStringLiteral("(Total Good Cans, Total Short Cans)");

qint32 row(const MachineData& data, int index)
{
    return data.ParamValue.value(index, 0);
}

void setReason(QString* reason, const QString& text)
{
    if (reason)
        *reason = text;
}

} // namespace

QByteArray shiftExportBytes(const MachineData& data, const QString& fileTitle, const QString& uploadNow)
{
    const QStringList lines {
        fileTitle.isEmpty() ? QStringLiteral("untitled") : fileTitle,
        QStringLiteral("Date: ") + uploadNow,
        QStringLiteral(" "),
        QStringLiteral("Current Shift Data:"),
        kCaptionLine,
        paramValueText(row(data, 0)),
        paramValueText(row(data, 1)),
        QStringLiteral(" "),
        QStringLiteral("Last Shift Data:"),
        kCaptionLine,
        paramValueText(row(data, 2)),
        paramValueText(row(data, 3)),
    };
    QString text;
    for (const QString& line : lines)
        text += line + kCrLf;
    return text.toLatin1();
}

bool writeShiftExport(const QString& path, const QByteArray& bytes, QString* reason)
{
    if (const auto failure = safeWrite(path, bytes)) {
        setReason(reason, failure->sentence());
        return false;
    }
    return true;
}

bool exportShiftData(Prompter& prompter, QString& gFileExportPath, const QString& gFileNameTitle,
    const QString& gUploadNOW, const QString& setupFilePath)
{
    FileDialogRequest request;
    request.title = QStringLiteral("Save As");
    request.filter = kFilter;
    request.fileName
        = gFileExportPath.isEmpty() ? proposedSavePath(setupFilePath, kExtension) : gFileExportPath;
    request.overwritePrompt = true;
    request.defaultExt = kExtension;
    const auto chosen = prompter.saveFileName(request);
    if (!chosen || chosen->isEmpty())
        return false;
    gFileExportPath = withDefaultExtension(*chosen, kExtension);

    QString reason;
    if (!writeShiftExport(
            gFileExportPath, shiftExportBytes(CurrentData, gFileNameTitle, gUploadNOW), &reason)) {
        prompter.msgBox(QStringLiteral("The shift data could not be exported to:") + kCrLf + gFileExportPath
                + kCrLf + kCrLf + reason,
            QStringLiteral("TALVEK"), MsgIcon::Exclamation, MsgButtons::OK);
        return false;
    }
    return true;
}

} // namespace talvek
