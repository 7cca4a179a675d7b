#pragma once

#include <QString>
#include <optional>

namespace talvek {

// Address utilities of the controller link. RSComm exposes each of them as a
// member of the same name.
//
// A board index is the board code character of a program file set held as its
// character code: '1' is 49, ':' is 58, 'A' is 65, 'D' is 68. The value 0 (not
// the character '0', which is 48) means that no program file has given a board.
inline constexpr qint16 kNoBoard = 0;

// The board takes the attention byte (0xFF) as the start of a mode handshake
// wherever it comes in a triple, so no address whose high byte is 0xFF can
// be sent: the bytes from FF00H up cannot be reached.
inline constexpr qint64 kFirstUnreachableByte = 0xFF00;

// The first of the `count` bytes from byte address `first` (a word is 2
// bytes, a double word 4) that cannot be reached, or nothing when all can.
std::optional<qint64> unreachableByte(qint64 first, int count);

// Translates the I/O point name of a network or processor board ("X30",
// "Y121", "I20.3") into the byte address text of the controller's I/O image
// ("B49", "B196.3"). A bit number above 7 is limited to 7. A point the board
// lacks, an unknown board and a point or bit that is not written as a whole
// number (for example "X3A", "X30.a", "X.5") return Var unchanged.
QString EquateAdd(const QString& Var, qint16 TargetBoardIndex);

// Whether the address Var lies in the range that the board allows. The number
// part must be a whole decimal number (blanks around it and a sign are
// accepted); any other text makes the address invalid.
bool ValidAdd(const QString& Var, qint16 TargetBoardIndex);

// Two-digit octal conversions: Dec2Octal(15) is 17, Octal2Dec(17) is 15.
// A result outside the 16-bit range throws BasicError 6 "Overflow".
qint16 Dec2Octal(qint16 DecNum);
qint16 Octal2Dec(qint16 OctNum);

// Mark-hex digits write 10..15 as ':' ';' '<' '=' '>' '?'. Both conversions
// rewrite the caller's text in place and return the result; lower-case 'a'..'f'
// and every other character pass unchanged.
QString MarkHex2HEX(QString& MarkHEX);
QString HEX2MarkHEX(QString& HexCode);

} // namespace talvek
