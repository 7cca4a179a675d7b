#pragma once

// Callers of the program set helpers report its faults with this box.
#include "base/RuntimeFault.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <utility>

namespace talvek {

// Files of a program file set: a program file (".nvk"), a revision file
// (".rev"), a program image (".hex", Intel HEX) and a configuration file
// (".lcf"), all sharing one base name. Helpers shared by the selection and
// the transfers of RSComm.

// Only the first field of a program, revision or configuration file is ever
// read; nothing beyond this many bytes is looked at.
inline constexpr qint64 kMaxFirstFieldBytes = 64 * 1024;
// A program image for a 64 KiB controller is well below this, even with
// one-byte records; a larger file is not a program image.
inline constexpr qint64 kMaxProgramImageBytes = 2 * 1024 * 1024;

struct ProgramSetPaths
{
    QString program; // base & "nvk"
    QString revision; // base & "rev"
    QString image; // base & "hex"
    QString config; // base & "lcf"
};

// The four member paths of the set that the program file P belongs to: the
// base is P without its last three characters (the dot stays), the
// extensions are appended in lower case. On a case-sensitive file system a
// member that exists under another case of its name (PRESS1.REV) is taken as
// it exists; otherwise the lower-case name stands.
ProgramSetPaths deriveProgramSet(const QString& p);

// The file name of P without folder and extension ("PRESS1" for C:/progs/PRESS1.NVK).
QString programBaseName(const QString& p);

// Opens a program file as text and reads its first field with the
// comma-separated field input. Nothing (std::nullopt) when the file is empty.
// Throws BasicError: 53 when the file does not exist, 75 when it is not a
// plain file or cannot be read, 62 when it holds no field at all.
std::optional<QString> readFirstField(const QString& path);

// Reads a whole file of at most maxBytes. Nothing when the file is larger.
// Throws BasicError 53 / 75 like readFirstField.
std::optional<QByteArray> readWholeFile(const QString& path, qint64 maxBytes);

// Replaces the files of a set together: none of them unless every new one
// could be written in full (see safeWriteAll). Throws BasicError 75 on failure.
void saveFileSet(const QList<std::pair<QString, QByteArray>>& files);

} // namespace talvek
