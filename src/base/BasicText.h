#pragma once

#include <QString>
#include <QtGlobal>

// Number conversions with the semantics of the classic language the operators'
// texts and the set-up files come from. Every text that becomes a number goes
// through Val / IsNumeric; every integer store through CInt / CLng.
namespace talvek {

// The leading-number parse.
// - Blanks, tabs and line feeds are dropped wherever they stand ("1 2" is 12,
//   "- 5" is -5). Carriage returns are not dropped; they end the number.
// - Then: an optional sign, digits, one decimal point, and an exponent made of
//   E or D (either case), an optional sign and digits. Reading stops at the
//   first character that does not continue the number ("12abc" is 12,
//   "1.2.3" is 1.2, "1E" is 1).
// - "&H" / "&O" (either case) at the start read hexadecimal / octal digits.
//   A value up to FFFF is a 16-bit integer (so "&HFFFF" is -1, "&H8000" is
//   -32768); up to FFFFFFFF a 32-bit integer ("&HFFFFFFFF" is -1,
//   "&H10000" is 65536). A larger value, where the classic language stops
//   with Overflow, is returned as its plain unsigned value.
// - Text that does not start with a number gives 0 ("abc", "$5", "+-5", "&5").
// - A decimal number too large for a double gives +/- the largest double
//   (never an infinity); one too small gives 0. The result is never -0.
double Val(const QString& text);

// True when the whole text is one number as Val reads it: blanks, tabs and
// LF are allowed around it, CR only after it, none inside it; sign, digits, one decimal
// point (".", never the locale's), exponent with E or D and at least one digit;
// or "&H" / "&O" with at least one digit and a value of at most 32 bits.
// Deliberately refused, although the classic function took some of them as
// numbers in some locales: empty or blank text, a lone sign or point, currency
// signs ("$12"), digit grouping ("1,000"), a trailing or doubled sign
// ("12-", "--1"), parentheses ("(12)"), percent signs, a blank between sign
// and digits ("- 5"), and a number that overflows a double ("1E400"). A field
// that accepts a text therefore always stores what Val reads from it.
bool IsNumeric(const QString& text);

// Conversions to 16-bit and 32-bit integers: rounding to nearest with ties to
// the even integer (2.5 -> 2, 3.5 -> 4, -2.5 -> -2). A result outside the
// type's range (and NaN) throws BasicError 6 "Overflow".
qint16 CInt(double value);
qint32 CLng(double value);

// The classic Str$: one leading blank for zero and positive numbers, "-" for
// negative ones; up to 15 significant digits without trailing zeros; no "0"
// before the point of a number below 1 (" .5", "-.25"); scientific notation
// with "E+nn" / "E-nn" when the decimal exponent is 15 or more or below -4
// (" 1E+15", " 1.5E-05").
QString StrNum(double value);

// A whole number with the system's digit grouping ("#,##0").
QString groupedNumber(qint64 value);

} // namespace talvek
