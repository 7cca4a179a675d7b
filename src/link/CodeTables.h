#pragma once

#include <QString>

class QIODevice;

namespace talvek {

class ProgramFolder;
class Prompter;

// The code tables beside the program turn controller fault codes and
// communication error codes into operator texts. Each is a comma-separated
// text file of records of two fields: the code as hexadecimal text (upper-case
// digits, at least two: "0A", "1F") and its description, in double quotes when
// it holds a comma.

// Which record wins when several carry the same code: the first (reading stops
// at it), or the last (the whole file is read).
enum class CodeMatch
{
    First,
    Last
};

struct CodeLookup
{
    enum class Status
    {
        Found, // a record matched; description holds its text
        NotFound, // the file was read to its end without a match (also an empty file)
        FileMissing, // no such file (a folder of that name counts as missing)
        ReadError, // the file could not be opened or read; errorNumber and errorDescription say why
    };
    Status status = Status::NotFound;
    // A record matched. With CodeMatch::Last a ReadError may follow a match:
    // then matched is true and description holds the last match before the fault.
    bool matched = false;
    QString description;
    int errorNumber = 0;
    QString errorDescription;
};

// Largest code table read; a bigger file is a read error (7, "Out of memory"),
// so that a stray large file cannot make the program allocate without bound.
inline constexpr qint64 kMaxCodeTableSize = 1024 * 1024;

// A code as the tables write it: upper-case hexadecimal of the 16-bit value,
// at least two digits ("0A", "FF"; -1 gives "FFFF").
QString codeHexText(qint16 code);

// Full paths of the two tables, "support/FaultErrCodes.txt" and
// "support/CommErrCodes.txt" under the program folder, whatever the case of
// the names on disk.
QString faultCodeFilePath(const ProgramFolder& folder);
QString commErrorCodeFilePath(const ProgramFolder& folder);

// Looks up codeText in a code table. The code fields are compared without
// regard to case. The file is opened, read and closed within the call.
// A record whose description is missing at the very end of the file is the
// read error 62 "Input past end of file" (what was found before it stands).
CodeLookup lookupCodeText(
    const QString& filePath, const QString& codeText, CodeMatch match = CodeMatch::First);
// The same on a device that is already open for reading (read from its
// current position to its end). The device is left open.
CodeLookup lookupCodeText(QIODevice& device, const QString& codeText, CodeMatch match = CodeMatch::First);

// RSComm's FaultDescription: "Fault Code (" + code text + "H): " followed by
// the description from the fault code table, by nothing when the table lacks
// the code, or by "--- Fault File Not Found ---" when the table is missing.
// A read error shows "Error Number = " n CR LF CR LF description, title
// "RSComm FaultDescription", information icon, and returns the text built so far.
QString faultDescriptionText(qint16 FltCode, const ProgramFolder& folder, Prompter& prompter);

} // namespace talvek
