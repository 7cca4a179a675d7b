// The program file set of RSComm: selecting a set for the download
// (DownloadFile, with the board check and the revision and configuration
// files) or for the upload (UploadFile).

#include "base/BasicError.h"
#include "base/Prompter.h"
#include "base/RuntimeFault.h"
#include "link/AddressUtils.h"
#include "link/ProgramFiles.h"
#include "link/RSComm.h"

#include <QFileInfo>

namespace talvek {

namespace {

const QString kSource = QStringLiteral("RSComm");
const QString kUnknown = QStringLiteral("Unknown");
const QString kDownloadTitle = QStringLiteral("Program Download");

enum class BoardClass
{
    Incompatible,
    PlsProgram,
    Downloadable
};

BoardClass classify(int code)
{
    switch (code) {
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '8':
    case ':':
    case ';':
    case '<':
    case '=':
    case 'A':
    case 'B':
    case 'D':
        return BoardClass::Downloadable;
    case '7':
    case '>':
    case '?':
    case '@':
    case 'C':
    case 'E':
        return BoardClass::PlsProgram;
    default:
        return BoardClass::Incompatible;
    }
}

BasicError invalidCall()
{
    return BasicError(
        RuntimeError::kInvalidCall, kSource, QStringLiteral("Invalid procedure call or argument"));
}

// Two mark-hex (or ordinary hexadecimal) digits as the decimal text of their value.
QString hexPairText(QString pair)
{
    MarkHex2HEX(pair);
    int value = 0;
    for (const QChar c : pair) {
        const int digit = QStringView(u"0123456789ABCDEF").indexOf(c, 0, Qt::CaseInsensitive);
        if (digit < 0)
            throw BasicError(RuntimeError::kTypeMismatch, kSource, QStringLiteral("Type mismatch"));
        value = value * 16 + digit;
    }
    return QString::number(value);
}

// The numeric value of one character of a configuration field: a digit
// gives its value; anything else, or a position past the end, gives 0.
qint16 configDigit(const QString& field, qsizetype position)
{
    if (position > field.size())
        return 0;
    const char16_t c = field.at(position - 1).unicode();
    return (c >= u'0' && c <= u'9') ? qint16(c - u'0') : 0;
}

// The board code: the character code of the first character of the field.
qint16 boardCodeOf(const QString& field)
{
    if (field.isEmpty())
        throw invalidCall();
    return qint16(field.front().unicode());
}

} // namespace

void RSComm::setDownloadFile(const QString& NVK_FileName)
{
    if (transferRunning())
        return;
    m_validProgram = false;
    try {
        if (NVK_FileName.isEmpty() || !QFileInfo::exists(NVK_FileName))
            return;
        const ProgramSetPaths paths = deriveProgramSet(NVK_FileName);
        m_program.programPath = paths.program;
        m_program.revisionPath = paths.revision;
        m_program.imagePath = paths.image;
        m_program.configPath = paths.config;

        const std::optional<QString> field = readFirstField(NVK_FileName);
        if (!field)
            return;
        m_program.boardCode = boardCodeOf(*field);
        m_program.boardName = TargetboardName(m_program.boardCode);

        const QString name = programBaseName(NVK_FileName);
        switch (classify(m_program.boardCode)) {
        case BoardClass::PlsProgram:
            m_prompter.msgBox(name
                    + QStringLiteral(" file is a PLS target board program.\r\n"
                                     "Open PLS program to download to target board.\r\n\r\n"
                                     "Program Downloaded Halted."),
                QStringLiteral("PLS Program Download"), MsgIcon::Information, MsgButtons::OK);
            return;
        case BoardClass::Incompatible:
            m_prompter.msgBox(name
                    + QStringLiteral(" file is incompatible with target board.\r\n\r\n"
                                     "Program Downloaded Halted!"),
                kDownloadTitle, MsgIcon::Critical, MsgButtons::OK);
            return;
        case BoardClass::Downloadable:
            break;
        }

        bool valid = SetProgramIdent(m_program.revisionPath);
        if (!valid) {
            m_prompter.msgBox(m_program.revisionPath
                    + QStringLiteral(" Revision File is Not Valid\r\n\r\nProgram Downloaded Halted!"),
                kDownloadTitle, MsgIcon::Exclamation, MsgButtons::OK);
        }
        if (m_program.boardCode >= 56 && m_program.boardCode <= 65) {
            if (!SetProgramConfig(m_program.configPath)) {
                valid = false;
                m_prompter.msgBox(m_program.configPath
                        + QStringLiteral(
                            " Configuration File is Not Valid\r\n\r\nProgram Downloaded Halted!"),
                    kDownloadTitle, MsgIcon::Exclamation, MsgButtons::OK);
            }
        }
        m_validProgram = valid;
    } catch (const BasicError& e) {
        m_validProgram = false;
        showRuntimeFault(m_prompter, e, QStringLiteral("RSComm-Download File"), MsgIcon::Information);
    }
}

void RSComm::setUploadFile(const QString& NVK_FileName)
{
    if (transferRunning())
        return;
    try {
        const ProgramSetPaths paths = deriveProgramSet(NVK_FileName);
        m_program.programPath = paths.program;
        m_program.revisionPath = paths.revision;
        m_program.imagePath = paths.image;
        m_program.configPath = paths.config;
        if (NVK_FileName.isEmpty() || !QFileInfo::exists(NVK_FileName))
            return;
        const std::optional<QString> field = readFirstField(NVK_FileName);
        if (!field)
            return;
        m_program.boardCode = boardCodeOf(*field);
        m_program.boardName = TargetboardName(m_program.boardCode);
    } catch (const BasicError& e) {
        showRuntimeFault(m_prompter, e, QStringLiteral("RSComm UploadFile"), MsgIcon::Information);
    }
}

bool RSComm::SetProgramIdent(const QString& path)
{
    m_program.ident = kUnknown;
    m_program.checksum = kUnknown;
    m_program.revision = kUnknown;
    try {
        const QFileInfo info(path);
        if (!info.exists() || info.size() == 0)
            return false;
        const std::optional<QString> field = readFirstField(path);
        if (!field)
            return false;
        const QString& s = *field;
        if (s.size() < 4)
            throw invalidCall();
        const QString checksum = hexPairText(s.mid(s.size() - 4, 2));
        const QString revision = hexPairText(s.right(2));
        m_program.ident = s.left(s.size() - 4);
        m_program.checksum = checksum;
        m_program.revision = revision;
        return true;
    } catch (const BasicError& e) {
        showRuntimeFault(m_prompter, e, QStringLiteral("RSComm-Set Program Ident"), MsgIcon::Critical);
        return false;
    }
}

bool RSComm::SetProgramConfig(const QString& path)
{
    m_program.configA = 3;
    m_program.configB = 0;
    m_program.configC = 3;
    try {
        const QFileInfo info(path);
        if (!info.exists() || info.size() == 0)
            return false;
        const std::optional<QString> field = readFirstField(path);
        if (!field)
            return false;
        m_program.configA = configDigit(*field, 36);
        m_program.configB = configDigit(*field, 39);
        m_program.configC = configDigit(*field, 40);
        return true;
    } catch (const BasicError& e) {
        showRuntimeFault(m_prompter, e, QStringLiteral("RSComm-Set Program Config"), MsgIcon::Critical);
        return false;
    }
}

} // namespace talvek
