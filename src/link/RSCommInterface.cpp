// The state properties, code texts and address utilities of RSComm.

#include "base/BasicText.h"
#include "base/Prompter.h"
#include "link/AddressUtils.h"
#include "link/CodeTables.h"
#include "link/K7700Registers.h"
#include "link/RSComm.h"

namespace talvek {

Result<qint16> RSComm::FaultCode()
{
    OperationGuard guard(*this);
    if (guard.refused())
        return fail(Cause::Busy, reg::kFaultCode);
    const Result<QString> raw = m_link.ReadValue(reg::kFaultCode);
    if (!raw)
        return raw.error();
    return qint16(raw->toInt());
}

QString RSComm::FaultDescription(qint16 FltCode)
{
    return faultDescriptionText(FltCode, m_folder, m_prompter);
}

Result<qint16> RSComm::FirmwareRev()
{
    if (!OnlineMode || CommError)
        return fail(Cause::LinkDown, reg::kFirmwareRevision);
    OperationGuard guard(*this);
    if (guard.refused())
        return fail(Cause::Busy, reg::kFirmwareRevision);
    const Result<QString> raw = m_link.ReadValue(reg::kFirmwareRevision);
    if (!raw)
        return raw.error();
    return CInt(Val(*raw));
}

QString RSComm::TargetboardName(qint16 TargetboardType)
{
    switch (TargetboardType) {
    case '1': return QStringLiteral("R6010");
    case '2': return QStringLiteral("R6012");
    case '3': return QStringLiteral("R6014");
    case '4': return QStringLiteral("R6021");
    case '5': return QStringLiteral("R6022");
    case '6': return QStringLiteral("R6016");
    case '7': return QStringLiteral("R6041");
    case '8': return QStringLiteral("R6024");
    case '9': return QStringLiteral("Not Defined");
    case ':': return QStringLiteral("K7210");
    case ';': return QStringLiteral("K7211");
    case '<': return QStringLiteral("K7212");
    case '=': return QStringLiteral("K7220(PLC)");
    case '>': return QStringLiteral("K7220(PLS)");
    case '?': return QStringLiteral("K7240");
    case '@': return QStringLiteral("K7241");
    case 'A': return QStringLiteral("V5510");
    case 'B': return QStringLiteral("K7221(PLC)");
    case 'C': return QStringLiteral("K7221(PLS)");
    case 'D': return QStringLiteral("K7700(PLC)");
    case 'E': return QStringLiteral("K7700(PLS)");
    default:
        // The code as a character (code 70 gives "F Is Not Defined.").
        return QString(QChar(char16_t(quint16(TargetboardType)))) + QStringLiteral(" Is Not Defined.");
    }
}

QString RSComm::LCFBoardIndex(qint16 BoardType)
{
    switch (BoardType) {
    case '1': return QStringLiteral("1");
    case '2': return QStringLiteral("1");
    case '3': return QStringLiteral("?");
    case '4': return QStringLiteral("2");
    case '5': return QStringLiteral("3");
    case '6': return QStringLiteral("D");
    case '8': return QStringLiteral("F");
    case ':': return QStringLiteral("@");
    case ';': return QStringLiteral("A");
    case '<': return QStringLiteral("B");
    case '=': return QStringLiteral("C");
    case 'A': return QStringLiteral("E");
    case 'D': return QStringLiteral("G");
    default: return {};
    }
}

// ---- address utilities ----

QString RSComm::MarkHex2HEX(QString& MarkHEX) { return talvek::MarkHex2HEX(MarkHEX); }
QString RSComm::HEX2MarkHEX(QString& HexCode) { return talvek::HEX2MarkHEX(HexCode); }
qint16 RSComm::Dec2Octal(qint16 DecNum) { return talvek::Dec2Octal(DecNum); }
qint16 RSComm::Octal2Dec(qint16 OctNum) { return talvek::Octal2Dec(OctNum); }
QString RSComm::EquateAdd(const QString& Var, qint16 TargetBoardIndex) { return talvek::EquateAdd(Var, TargetBoardIndex); }
bool RSComm::ValidAdd(const QString& Var, qint16 TargetBoardIndex) { return talvek::ValidAdd(Var, TargetBoardIndex); }

} // namespace talvek
