#include "base/BasicText.h"

#include "base/BasicError.h"

#include <QLocale>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <string>

namespace talvek {

namespace {

// What the number scanner found at the start of a text.
struct NumberScan
{
    bool found = false; // at least one digit formed a number
    bool overflow = false; // too large for a double, or a radix number over 32 bits
    double value = 0.0;
    qsizetype end = 0; // index just past the number
};

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

int radixDigit(QChar c, int radix)
{
    int d = -1;
    if (c >= u'0' && c <= u'9')
        d = c.unicode() - u'0';
    else if (c >= u'a' && c <= u'f')
        d = c.unicode() - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        d = c.unicode() - u'A' + 10;
    return d < radix ? d : -1;
}

// "&H..." / "&O..." starting at text[0] == '&'.
NumberScan scanRadix(QStringView text)
{
    NumberScan scan;
    if (text.size() < 2)
        return scan;
    const QChar kind = text[1];
    int radix = 0;
    if (kind == u'H' || kind == u'h')
        radix = 16;
    else if (kind == u'O' || kind == u'o')
        radix = 8;
    else
        return scan;

    quint64 exact = 0;
    bool beyond32 = false;
    double approx = 0.0;
    qsizetype pos = 2;
    for (; pos < text.size(); ++pos) {
        const int d = radixDigit(text[pos], radix);
        if (d < 0)
            break;
        scan.found = true;
        approx = approx * radix + d;
        if (!beyond32) {
            exact = exact * radix + quint64(d);
            beyond32 = exact > 0xFFFFFFFFull;
        }
    }
    scan.end = pos;
    if (!scan.found)
        return scan;
    if (beyond32) {
        scan.overflow = true;
        scan.value = approx;
    } else if (exact <= 0xFFFFu) {
        scan.value = qint16(quint16(exact));
    } else {
        scan.value = qint32(quint32(exact));
    }
    return scan;
}

// Sign, digits, point, exponent starting at text[0].
NumberScan scanDecimal(QStringView text)
{
    NumberScan scan;
    qsizetype pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
        negative = text[pos] == u'-';
        ++pos;
    }

    std::string digits; // integer and fraction digits, in order
    qsizetype intDigits = 0;
    while (pos < text.size() && isDigit(text[pos])) {
        digits.push_back(char(text[pos].unicode()));
        ++intDigits;
        ++pos;
    }
    if (pos < text.size() && text[pos] == u'.') {
        ++pos;
        while (pos < text.size() && isDigit(text[pos])) {
            digits.push_back(char(text[pos].unicode()));
            ++pos;
        }
    }
    if (digits.empty())
        return scan; // no digit: not a number ("-", ".", "-.")
    scan.found = true;

    qint64 exponent = 0;
    if (pos < text.size()) {
        const QChar e = text[pos];
        if (e == u'E' || e == u'e' || e == u'D' || e == u'd') {
            qsizetype p = pos + 1;
            bool expNegative = false;
            if (p < text.size() && (text[p] == u'+' || text[p] == u'-')) {
                expNegative = text[p] == u'-';
                ++p;
            }
            if (p < text.size() && isDigit(text[p])) {
                while (p < text.size() && isDigit(text[p])) {
                    if (exponent < 1000000000)
                        exponent = exponent * 10 + (text[p].unicode() - u'0');
                    ++p;
                }
                if (expNegative)
                    exponent = -exponent;
                pos = p;
            }
            // An exponent letter without digits is not part of the number.
        }
    }
    scan.end = pos;

    // value = 0.<significant digits> x 10^point
    const auto first = digits.find_first_not_of('0');
    if (first == std::string::npos)
        return scan; // zero
    const auto last = digits.find_last_not_of('0');
    const std::string significant = digits.substr(first, last - first + 1);
    const qint64 point = qint64(intDigits) - qint64(first) + exponent;

    double magnitude = 0.0;
    if (point > 400) {
        scan.overflow = true;
    } else if (point >= -400) {
        const std::string literal = "0." + significant + "e" + std::to_string(point);
        const auto result = std::from_chars(literal.data(), literal.data() + literal.size(), magnitude);
        if (result.ec == std::errc::result_out_of_range) {
            scan.overflow = point > 0;
            magnitude = 0.0;
        }
    }
    if (scan.overflow)
        magnitude = DBL_MAX;
    scan.value = negative ? -magnitude : magnitude;
    return scan;
}

NumberScan scanNumber(QStringView text)
{
    if (!text.isEmpty() && text[0] == u'&')
        return scanRadix(text);
    return scanDecimal(text);
}

bool isValBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

bool isSurroundingBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

} // namespace

double Val(const QString& text)
{
    QString compact;
    compact.reserve(text.size());
    for (const QChar c : text) {
        if (!isValBlank(c))
            compact.append(c);
    }
    const NumberScan scan = scanNumber(compact);
    if (!scan.found || scan.value == 0.0)
        return 0.0;
    return scan.value;
}

bool IsNumeric(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    // A carriage return ends Val's number, so one before the number would
    // make Val read 0: only what Val drops may stand before it.
    while (begin < end && isValBlank(text[begin]))
        ++begin;
    while (end > begin && isSurroundingBlank(text[end - 1]))
        --end;
    if (begin == end)
        return false;
    const QStringView number = QStringView(text).mid(begin, end - begin);
    const NumberScan scan = scanNumber(number);
    return scan.found && !scan.overflow && scan.end == number.size();
}

qint16 CInt(double value)
{
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -32768.0 && rounded <= 32767.0))
        throw BasicError::overflow();
    return qint16(rounded);
}

qint32 CLng(double value)
{
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0))
        throw BasicError::overflow();
    return qint32(rounded);
}

QString StrNum(double value)
{
    if (std::isnan(value))
        return QStringLiteral(" NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral(" Inf") : QStringLiteral("-Inf");

    const QString sign = value < 0 ? QStringLiteral("-") : QStringLiteral(" ");
    if (value == 0.0)
        return QStringLiteral(" 0");

    // 15 significant digits: d.dddddddddddddde+xx
    char buffer[64];
    const auto result
        = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 14);
    const std::string text(buffer, result.ptr);
    const auto ePos = text.find('e');
    std::string digits = text.substr(0, 1) + text.substr(2, ePos - 2);
    const int exponent = std::stoi(text.substr(ePos + 1));
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    QString body;
    if (exponent >= 15 || exponent < -4) {
        body = QString::fromLatin1(digits.substr(0, 1));
        if (digits.size() > 1)
            body += u'.' + QString::fromLatin1(digits.substr(1));
        body += QStringLiteral("E") + (exponent < 0 ? u'-' : u'+')
            + QStringLiteral("%1").arg(std::abs(exponent), 2, 10, QLatin1Char('0'));
    } else if (exponent < 0) {
        body = u'.' + QString(-exponent - 1, u'0') + QString::fromLatin1(digits);
    } else {
        const std::size_t intCount = std::size_t(exponent) + 1;
        if (digits.size() <= intCount) {
            body = QString::fromLatin1(digits) + QString(qsizetype(intCount - digits.size()), u'0');
        } else {
            body = QString::fromLatin1(digits.substr(0, intCount)) + u'.'
                + QString::fromLatin1(digits.substr(intCount));
        }
    }
    return sign + body;
}

QString groupedNumber(qint64 value)
{
    return QLocale::system().toString(qlonglong(value));
}

} // namespace talvek
