#include "link/AddressUtils.h"

#include "base/BasicError.h"

#include <QStringView>
#include <optional>

namespace talvek {

namespace {

constexpr qint16 code(char c)
{
    return static_cast<qint16>(static_cast<unsigned char>(c));
}

// A whole decimal number as written in an address: blanks and tabs around it
// are ignored, one optional sign, then at least one digit and nothing else.
// Numbers too large for any board (more than 12 significant digits) count as
// not numbers.
std::optional<qint64> wholeNumber(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(text.at(begin)))
        ++begin;
    while (end > begin && blank(text.at(end - 1)))
        --end;
    bool negative = false;
    if (begin < end && (text.at(begin) == u'+' || text.at(begin) == u'-')) {
        negative = text.at(begin) == u'-';
        ++begin;
    }
    if (begin == end)
        return std::nullopt;
    qsizetype significant = begin;
    while (significant < end - 1 && text.at(significant) == u'0')
        ++significant;
    if (end - significant > 12)
        return std::nullopt;
    qint64 value = 0;
    for (qsizetype i = begin; i < end; ++i) {
        const QChar c = text.at(i);
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return negative ? -value : value;
}

// One row of the fixed point tables: board, letter, point number, byte address.
struct PointRow
{
    char board;
    char letter;
    int point;
    int byteAddress;
};

// clang-format off
constexpr PointRow kPointTable[] = {
    // R6010
    { '1', 'X', 30, 49 }, { '1', 'X', 31, 50 }, { '1', 'X', 50, 51 }, { '1', 'X', 51, 52 },
    { '1', 'X', 60, 53 }, { '1', 'X', 61, 54 }, { '1', 'X', 70, 55 }, { '1', 'X', 71, 56 },
    { '1', 'X', 80, 57 },
    { '1', 'Y', 81, 58 }, { '1', 'Y', 90, 59 }, { '1', 'Y', 100, 60 }, { '1', 'Y', 110, 61 },
    { '1', 'Y', 111, 62 }, { '1', 'Y', 120, 63 }, { '1', 'Y', 121, 64 }, { '1', 'Y', 130, 65 },
    { '1', 'Y', 140, 66 }, { '1', 'Y', 141, 67 },
    // K7210
    { ':', 'X', 10, 51 }, { ':', 'X', 11, 52 }, { ':', 'Y', 0, 49 }, { ':', 'Y', 1, 50 },
    // K7211
    { ';', 'X', 10, 51 }, { ';', 'X', 11, 52 }, { ';', 'X', 20, 53 }, { ';', 'X', 21, 54 },
    { ';', 'Y', 0, 49 }, { ';', 'Y', 1, 50 },
    // K7212
    { '<', 'X', 10, 51 }, { '<', 'X', 11, 52 }, { '<', 'X', 20, 53 },
    { '<', 'Y', 0, 49 }, { '<', 'Y', 1, 50 }, { '<', 'Y', 21, 54 },
    // K7220 (PLC)
    { '=', 'X', 0, 49 }, { '=', 'X', 1, 50 }, { '=', 'X', 10, 51 }, { '=', 'Y', 11, 52 },
    // V5510
    { 'A', 'X', 10, 51 }, { 'A', 'X', 11, 52 }, { 'A', 'X', 20, 53 },
    { 'A', 'Y', 0, 49 }, { 'A', 'Y', 1, 50 }, { 'A', 'Y', 21, 54 },
    // K7221 (PLC)
    { 'B', 'X', 10, 51 }, { 'B', 'X', 11, 52 }, { 'B', 'X', 20, 53 }, { 'B', 'X', 21, 54 },
    { 'B', 'Y', 0, 49 }, { 'B', 'Y', 1, 50 },
};
// clang-format on

std::optional<int> pointByteAddress(qint16 board, QChar letter, qint64 point)
{
    if (board == code('2')) {
        // R6012: point 10g + d (g = 0..15, d = 0 or 1) is 2g + d into the X/Y or I block.
        if (point < 0 || point > 151 || point % 10 > 1)
            return std::nullopt;
        const int offset = static_cast<int>(2 * (point / 10) + point % 10);
        if (letter == u'X' || letter == u'Y')
            return 160 + offset;
        if (letter == u'I')
            return 192 + offset;
        return std::nullopt;
    }
    for (const PointRow& row : kPointTable) {
        if (code(row.board) == board && letter == QLatin1Char(row.letter) && row.point == point)
            return row.byteAddress;
    }
    return std::nullopt;
}

bool isOneOf(qint16 board, const char* codes)
{
    for (const char* c = codes; *c; ++c) {
        if (code(*c) == board)
            return true;
    }
    return false;
}

// Boards whose byte window ends at 255.
constexpr const char* kSmallBoards = "134568:;<=AB";

} // namespace

QString EquateAdd(const QString& Var, qint16 TargetBoardIndex)
{
    if (Var.isEmpty())
        return Var;
    const QChar letter = Var.at(0).toUpper();
    const QStringView rest = QStringView(Var).mid(1);

    std::optional<qint64> point;
    std::optional<int> bit;
    if (rest.contains(u'.')) {
        if (rest.size() < 2)
            return Var;
        point = wholeNumber(rest.left(rest.size() - 2));
        const QChar last = Var.back();
        if (last < u'0' || last > u'9')
            return Var;
        bit = qMin(last.unicode() - u'0', 7);
    } else {
        point = wholeNumber(rest);
    }
    if (!point)
        return Var;

    const std::optional<int> address = pointByteAddress(TargetBoardIndex, letter, *point);
    if (!address)
        return Var;
    QString result = u'B' + QString::number(*address);
    if (bit)
        result += u'.' + QString::number(*bit);
    return result;
}

std::optional<qint64> unreachableByte(qint64 first, int count)
{
    if (first >= kFirstUnreachableByte)
        return first;
    if (first + qMax(count, 1) - 1 >= kFirstUnreachableByte)
        return kFirstUnreachableByte;
    return std::nullopt;
}

bool ValidAdd(const QString& Var, qint16 TargetBoardIndex)
{
    if (Var.isEmpty())
        return false;
    const QChar letter = Var.at(0).toUpper();
    const QStringView rest = QStringView(Var).mid(1);
    // With a bit, the number runs from the second to the third-from-last character.
    const std::optional<qint64> parsed = rest.contains(u'.')
        ? (rest.size() < 2 ? std::nullopt : wholeNumber(rest.left(rest.size() - 2)))
        : wholeNumber(rest);
    if (!parsed)
        return false;
    const qint64 number = *parsed;
    const qint16 board = TargetBoardIndex;
    const bool lowDigit = number % 10 == 0 || number % 10 == 1;

    switch (letter.unicode()) {
    case u'B': {
        const qint64 max = isOneOf(board, kSmallBoards) ? 255 : isOneOf(board, "2D") ? 8275 : 65535;
        return number >= 32 && number <= max;
    }
    case u'W':
    case u'D': {
        const qint64 max = isOneOf(board, kSmallBoards) ? 254 : isOneOf(board, "2D") ? 8274 : 65534;
        return number >= 32 && number <= max && number % 2 == 0;
    }
    case u'F': {
        const qint64 max = isOneOf(board, kSmallBoards) ? 120 : 991;
        return number >= 0 && number <= max;
    }
    case u'I': {
        qint64 max = 0;
        if (isOneOf(board, "12"))
            max = 151;
        else if (isOneOf(board, "34568"))
            max = 21;
        else
            return false;
        return number >= 0 && number <= max && lowDigit;
    }
    case u'X':
    case u'Y': {
        if (board == code('D') || board == kNoBoard)
            return false;
        const qint64 max = isOneOf(board, "12") ? 151 : 21;
        return number >= 0 && number <= max && lowDigit;
    }
    default:
        return number == 0;
    }
}

namespace {
qint16 checked16(int value)
{
    if (value < -32768 || value > 32767)
        throw BasicError::overflow();
    return static_cast<qint16>(value);
}
} // namespace

qint16 Dec2Octal(qint16 DecNum)
{
    const int n = DecNum;
    return checked16((n / 8) * 10 + n % 8);
}

qint16 Octal2Dec(qint16 OctNum)
{
    const int n = OctNum;
    return checked16((n / 10) * 8 + n % 10);
}

QString MarkHex2HEX(QString& MarkHEX)
{
    static constexpr char16_t kMark[] = u":;<=>?";
    static constexpr char16_t kHex[] = u"ABCDEF";
    for (int i = 0; i < 6; ++i)
        MarkHEX.replace(QChar(kMark[i]), QChar(kHex[i]), Qt::CaseSensitive);
    return MarkHEX;
}

QString HEX2MarkHEX(QString& HexCode)
{
    static constexpr char16_t kHex[] = u"ABCDEF";
    static constexpr char16_t kMark[] = u":;<=>?";
    for (int i = 0; i < 6; ++i)
        HexCode.replace(QChar(kHex[i]), QChar(kMark[i]), Qt::CaseSensitive);
    return HexCode;
}

} // namespace talvek
