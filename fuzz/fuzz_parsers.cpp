// The address and number parsers on any text: Val, IsNumeric, CInt, CLng,
// ParseAddress, EquateAdd, ValidAdd and the mark-hex conversions. The first
// input byte picks a board code, the rest is the text.
#include "base/BasicError.h"
#include "base/BasicText.h"
#include "base/Clock.h"
#include "FuzzCheck.h"
#include "link/AddressUtils.h"
#include "link/ByteLink.h"
#include "ScriptedPrompter.h"

#include <QRegularExpression>

#include <array>
#include <cmath>

using namespace talvek;

namespace {

constexpr std::array<qint16, 16> boardCodes { 0, '1', '2', '3', '4', '5', '6', '8', ':', ';', '<',
    '=', 'A', 'B', 'D', '0' };

void checkNumbers(const QString& text)
{
    const double v = Val(text);
    FUZZ_CHECK(std::isfinite(v), "Val gave an infinity or NaN");
    FUZZ_CHECK(!(v == 0 && std::signbit(v)), "Val gave -0");
    if (IsNumeric(text)) {
        // A field that accepts a text stores what Val reads: for a plain
        // decimal number that is what the C locale reads too.
        QString plain = text.trimmed();
        if (!plain.startsWith(QLatin1Char('&'))) {
            plain.replace(QLatin1Char('d'), QLatin1Char('e')).replace(QLatin1Char('D'), QLatin1Char('e'));
            bool ok = false;
            const double c = plain.toDouble(&ok);
            // The C locale refuses a number too small for a double; Val reads 0.
            FUZZ_CHECK(ok || v == 0, "IsNumeric accepted what is not a number");
            if (ok)
                FUZZ_CHECK(std::fabs(c - v) <= std::fabs(c) * 1e-15, "IsNumeric and Val disagree on the value");
        }
    }
    for (const double x : { v, v / 7.0, v * 1e-3 }) {
        try {
            const qint16 i = CInt(x);
            FUZZ_CHECK(std::fabs(double(i) - x) <= 0.5, "CInt rounded by more than a half");
        } catch (const BasicError& e) {
            FUZZ_CHECK(e.number() == 6, "CInt failed with something else than Overflow");
            FUZZ_CHECK(!(x >= -32768.5 && x < 32767.5), "CInt overflowed on a value in range");
        }
        try {
            const qint32 l = CLng(x);
            FUZZ_CHECK(std::fabs(double(l) - x) <= 0.5, "CLng rounded by more than a half");
        } catch (const BasicError& e) {
            FUZZ_CHECK(e.number() == 6, "CLng failed with something else than Overflow");
            FUZZ_CHECK(!(x >= -2147483648.5 && x < 2147483647.5), "CLng overflowed on a value in range");
        }
    }
}

void checkAddresses(const QString& text, qint16 board, ByteLink& rs)
{
    rs.ParseAddress(text);
    FUZZ_CHECK(rs.AddNumber() >= 0, "a negative byte address");
    FUZZ_CHECK(rs.AddType() == QLatin1String("B") || rs.AddType() == QLatin1String("W")
            || rs.AddType() == QLatin1String("D") || rs.AddType() == QLatin1String("F"),
        "an address type the link does not know");
    // The bit is the address's last digit (0..9); the write refuses 8 and 9.
    if (rs.IsBitAdd())
        FUZZ_CHECK(rs.BitMask() != 0 && (rs.BitMask() & (rs.BitMask() - 1)) == 0 && rs.BitMask() <= 512,
            "a bit mask that is not one bit");

    const QString equated = EquateAdd(text, board);
    if (equated != text) {
        static const QRegularExpression byteAddress(QStringLiteral("^B(\\d+)(\\.[0-7])?$"));
        const auto m = byteAddress.match(equated);
        FUZZ_CHECK(m.hasMatch(), "EquateAdd gave something else than a byte address");
        const int n = m.captured(1).toInt();
        FUZZ_CHECK(n >= 49 && n <= 223, "EquateAdd gave a byte outside the I/O image");
    }
    if (ValidAdd(text, board)) {
        rs.ParseAddress(text);
        FUZZ_CHECK(rs.AddNumber() <= 65535 + 3, "a valid address beyond the byte memory");
    }
}

void checkMarkHex(const QString& text)
{
    QString a = text;
    const QString plain = MarkHex2HEX(a);
    FUZZ_CHECK(a == plain, "MarkHex2HEX did not rewrite the text in place");
    static const QRegularExpression markDigits(QStringLiteral("[:;<=>?]"));
    FUZZ_CHECK(!plain.contains(markDigits), "MarkHex2HEX left a mark digit");
    QString b = text;
    const QString marked = HEX2MarkHEX(b);
    FUZZ_CHECK(b == marked, "HEX2MarkHEX did not rewrite the text in place");
    static const QRegularExpression hexLetters(QStringLiteral("[A-F]"));
    FUZZ_CHECK(!marked.contains(hexLetters), "HEX2MarkHEX left a digit above 9");
    if (!text.contains(hexLetters)) {
        QString back = plain;
        FUZZ_CHECK(HEX2MarkHEX(back) == text, "mark-hex round trip is not exact");
    }
    if (!text.contains(markDigits)) {
        QString back = marked;
        FUZZ_CHECK(MarkHex2HEX(back) == text, "hex round trip is not exact");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > 4096)
        return 0;
    static FakeClock clock;
    static test::ScriptedPrompter prompter;
    static ByteLink rs(clock, prompter);

    const qint16 board = boardCodes[data[0] % boardCodes.size()];
    const QString text = fuzz::latin1Of(data + 1, size - 1);
    checkNumbers(text);
    checkAddresses(text, board, rs);
    checkMarkHex(text);
    const int n = data[0] % 64;
    FUZZ_CHECK(Octal2Dec(Dec2Octal(qint16(n))) == n, "octal round trip is not exact");
    return 0;
}
