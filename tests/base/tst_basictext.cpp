#include "base/BasicError.h"
#include "base/BasicText.h"

#include <QLocale>
#include <QTest>
#include <cfloat>
#include <cmath>

using namespace talvek;

class tst_BasicText final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void val_data();
    void val();
    void valHugeAndTiny();
    void isNumeric_data();
    void isNumeric();
    void cint_data();
    void cint();
    void clng_data();
    void clng();
    void overflowError();
    void strNum_data();
    void strNum();
    void groupedNumber();
};

void tst_BasicText::initTestCase()
{
    // The system locale is read from the environment on its first use.
    qputenv("LC_ALL", "en_US.UTF-8");
    qputenv("LC_NUMERIC", "en_US.UTF-8");
    qputenv("LANG", "en_US.UTF-8");
}

void tst_BasicText::val_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("blank") << QStringLiteral("   ") << 0.0;
    QTest::newRow("integer") << QStringLiteral("300") << 300.0;
    QTest::newRow("leading blank") << QStringLiteral(" 300") << 300.0;
    QTest::newRow("trailing blank") << QStringLiteral("300 ") << 300.0;
    QTest::newRow("blank inside") << QStringLiteral("1 2") << 12.0;
    QTest::newRow("tab and lf inside") << QStringLiteral("\t1\t2\n3") << 123.0;
    QTest::newRow("cr ends the number") << QStringLiteral("12\r3") << 12.0;
    QTest::newRow("cr first") << QStringLiteral("\r12") << 0.0;
    QTest::newRow("negative") << QStringLiteral("-5") << -5.0;
    QTest::newRow("plus sign") << QStringLiteral("+7") << 7.0;
    QTest::newRow("blank after sign") << QStringLiteral("- 5") << -5.0;
    QTest::newRow("two signs") << QStringLiteral("+-5") << 0.0;
    QTest::newRow("double minus") << QStringLiteral("--5") << 0.0;
    QTest::newRow("sign only") << QStringLiteral("-") << 0.0;
    QTest::newRow("decimal") << QStringLiteral("12.5") << 12.5;
    QTest::newRow("point first") << QStringLiteral(".5") << 0.5;
    QTest::newRow("negative point first") << QStringLiteral("-.25") << -0.25;
    QTest::newRow("point last") << QStringLiteral("5.") << 5.0;
    QTest::newRow("point only") << QStringLiteral(".") << 0.0;
    QTest::newRow("second point stops") << QStringLiteral("1.2.3") << 1.2;
    QTest::newRow("letters after") << QStringLiteral("12abc") << 12.0;
    QTest::newRow("letters first") << QStringLiteral("abc12") << 0.0;
    QTest::newRow("degree sign") << QStringLiteral("150\u00B0") << 150.0;
    QTest::newRow("currency") << QStringLiteral("$12") << 0.0;
    QTest::newRow("grouping stops") << QStringLiteral("1,000") << 1.0;
    QTest::newRow("percent stops") << QStringLiteral("50%") << 50.0;
    QTest::newRow("exponent") << QStringLiteral("1E3") << 1000.0;
    QTest::newRow("exponent lower") << QStringLiteral("1e3") << 1000.0;
    QTest::newRow("exponent D") << QStringLiteral("1D3") << 1000.0;
    QTest::newRow("exponent d") << QStringLiteral("2.5d2") << 250.0;
    QTest::newRow("exponent plus") << QStringLiteral("1E+2") << 100.0;
    QTest::newRow("exponent minus") << QStringLiteral("15E-1") << 1.5;
    QTest::newRow("exponent blanks") << QStringLiteral("1 E - 2") << 0.01;
    QTest::newRow("exponent without digits") << QStringLiteral("7E") << 7.0;
    QTest::newRow("exponent sign without digits") << QStringLiteral("7E-x") << 7.0;
    QTest::newRow("exponent fraction stops") << QStringLiteral("1E3.5") << 1000.0;
    QTest::newRow("leading zeros") << QStringLiteral("000123") << 123.0;
    QTest::newRow("zero") << QStringLiteral("0") << 0.0;
    QTest::newRow("minus zero") << QStringLiteral("-0") << 0.0;
    QTest::newRow("long fraction") << QStringLiteral("0.1000000000000000055511151231257827") << 0.1;
    QTest::newRow("big integer") << QStringLiteral("655359999") << 655359999.0;
    QTest::newRow("hex") << QStringLiteral("&H1F") << 31.0;
    QTest::newRow("hex lower") << QStringLiteral("&hff") << 255.0;
    QTest::newRow("hex stops") << QStringLiteral("&H1FG") << 31.0;
    QTest::newRow("hex blanks") << QStringLiteral(" & H 1 F") << 31.0;
    QTest::newRow("hex 7FFF") << QStringLiteral("&H7FFF") << 32767.0;
    QTest::newRow("hex 8000 wraps") << QStringLiteral("&H8000") << -32768.0;
    QTest::newRow("hex FFFF wraps") << QStringLiteral("&HFFFF") << -1.0;
    QTest::newRow("hex leading zeros keep value") << QStringLiteral("&H0000FFFF") << -1.0;
    QTest::newRow("hex 10000 is 32-bit") << QStringLiteral("&H10000") << 65536.0;
    QTest::newRow("hex 7FFFFFFF") << QStringLiteral("&H7FFFFFFF") << 2147483647.0;
    QTest::newRow("hex 80000000 wraps") << QStringLiteral("&H80000000") << -2147483648.0;
    QTest::newRow("hex FFFFFFFF wraps") << QStringLiteral("&HFFFFFFFF") << -1.0;
    QTest::newRow("hex beyond 32 bits") << QStringLiteral("&H100000000") << 4294967296.0;
    QTest::newRow("hex no digits") << QStringLiteral("&H") << 0.0;
    QTest::newRow("hex no digits letter") << QStringLiteral("&HZ1") << 0.0;
    QTest::newRow("octal") << QStringLiteral("&O17") << 15.0;
    QTest::newRow("octal lower") << QStringLiteral("&o777") << 511.0;
    QTest::newRow("octal stops at 8") << QStringLiteral("&O178") << 15.0;
    QTest::newRow("octal wraps") << QStringLiteral("&O177777") << -1.0;
    QTest::newRow("ampersand digits") << QStringLiteral("&17") << 0.0;
    QTest::newRow("sign before hex") << QStringLiteral("-&H10") << 0.0;
    QTest::newRow("fullwidth digit") << QStringLiteral("\uFF11") << 0.0;
}

void tst_BasicText::val()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    const double actual = Val(text);
    QCOMPARE(actual, expected);
    QVERIFY2(!std::signbit(actual) || actual != 0.0, "Val returned -0");
}

void tst_BasicText::valHugeAndTiny()
{
    QCOMPARE(Val(QStringLiteral("1E400")), DBL_MAX);
    QCOMPARE(Val(QStringLiteral("-1E400")), -DBL_MAX);
    QCOMPARE(Val(QStringLiteral("1E999999999999999999999")), DBL_MAX);
    QCOMPARE(Val(QStringLiteral("1E-400")), 0.0);
    QCOMPARE(Val(QStringLiteral("1.7976931348623157E308")), DBL_MAX);
    // 500 zeros after the point and then a 1, scaled back by the exponent.
    QCOMPARE(Val(QStringLiteral("0.") + QString(500, u'0') + QStringLiteral("1E501")), 1.0);
    // A very long digit string must neither hang nor lose the leading digits.
    QCOMPARE(Val(QStringLiteral("1") + QString(300, u'0')), 1e300);
    QCOMPARE(Val(QStringLiteral("&H") + QString(40, u'F')), std::pow(16.0, 40) - 1);
}

void tst_BasicText::isNumeric_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");

    QTest::newRow("empty") << QString() << false;
    QTest::newRow("blanks") << QStringLiteral("  \t ") << false;
    QTest::newRow("integer") << QStringLiteral("300") << true;
    QTest::newRow("surrounding blanks") << QStringLiteral("  300  ") << true;
    QTest::newRow("tab and newline around") << QStringLiteral("\t300\r\n") << true;
    QTest::newRow("blank inside") << QStringLiteral("3 00") << false;
    QTest::newRow("negative") << QStringLiteral("-5") << true;
    QTest::newRow("plus") << QStringLiteral("+5") << true;
    QTest::newRow("blank after sign") << QStringLiteral("- 5") << false;
    QTest::newRow("sign only") << QStringLiteral("-") << false;
    QTest::newRow("two signs") << QStringLiteral("--5") << false;
    QTest::newRow("trailing sign") << QStringLiteral("5-") << false;
    QTest::newRow("decimal") << QStringLiteral("12.5") << true;
    QTest::newRow("point first") << QStringLiteral(".5") << true;
    QTest::newRow("point last") << QStringLiteral("5.") << true;
    QTest::newRow("point only") << QStringLiteral(".") << false;
    QTest::newRow("two points") << QStringLiteral("1.2.3") << false;
    QTest::newRow("comma decimal") << QStringLiteral("12,5") << false;
    QTest::newRow("grouping") << QStringLiteral("1,000") << false;
    QTest::newRow("currency") << QStringLiteral("$12") << false;
    QTest::newRow("parentheses") << QStringLiteral("(12)") << false;
    QTest::newRow("percent") << QStringLiteral("12%") << false;
    QTest::newRow("letters after") << QStringLiteral("12abc") << false;
    QTest::newRow("word") << QStringLiteral("abc") << false;
    QTest::newRow("degree sign") << QStringLiteral("150\u00B0") << false;
    QTest::newRow("exponent") << QStringLiteral("1E3") << true;
    QTest::newRow("exponent D") << QStringLiteral("1d3") << true;
    QTest::newRow("exponent signed") << QStringLiteral("-1.5e-3") << true;
    QTest::newRow("exponent without digits") << QStringLiteral("1E") << false;
    QTest::newRow("exponent sign only") << QStringLiteral("1E+") << false;
    QTest::newRow("exponent overflow") << QStringLiteral("1E400") << false;
    QTest::newRow("exponent underflow") << QStringLiteral("1E-400") << true;
    QTest::newRow("hex") << QStringLiteral("&H1F") << true;
    QTest::newRow("hex lower blanks around") << QStringLiteral(" &hff ") << true;
    QTest::newRow("hex FFFFFFFF") << QStringLiteral("&HFFFFFFFF") << true;
    QTest::newRow("hex beyond 32 bits") << QStringLiteral("&H100000000") << false;
    QTest::newRow("hex no digits") << QStringLiteral("&H") << false;
    QTest::newRow("hex bad digit") << QStringLiteral("&H1G") << false;
    QTest::newRow("octal") << QStringLiteral("&O17") << true;
    QTest::newRow("octal bad digit") << QStringLiteral("&O18") << false;
    QTest::newRow("ampersand alone") << QStringLiteral("&") << false;
    QTest::newRow("cr inside") << QStringLiteral("1\r2") << false;
    QTest::newRow("cr before (Val reads 0)") << QStringLiteral("\r151") << false;
}

void tst_BasicText::isNumeric()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QCOMPARE(IsNumeric(text), expected);
}

void tst_BasicText::cint_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("overflows");
    QTest::addColumn<int>("expected");

    QTest::newRow("zero") << 0.0 << false << 0;
    QTest::newRow("2.5 to even") << 2.5 << false << 2;
    QTest::newRow("3.5 to even") << 3.5 << false << 4;
    QTest::newRow("-2.5 to even") << -2.5 << false << -2;
    QTest::newRow("-3.5 to even") << -3.5 << false << -4;
    QTest::newRow("0.5 to even") << 0.5 << false << 0;
    QTest::newRow("1.5 to even") << 1.5 << false << 2;
    QTest::newRow("2.4") << 2.4 << false << 2;
    QTest::newRow("2.6") << 2.6 << false << 3;
    QTest::newRow("-2.6") << -2.6 << false << -3;
    QTest::newRow("max") << 32767.0 << false << 32767;
    QTest::newRow("max plus 0.4") << 32767.4 << false << 32767;
    QTest::newRow("max plus 0.5 rounds up") << 32767.5 << true << 0;
    QTest::newRow("above max") << 32768.0 << true << 0;
    QTest::newRow("min") << -32768.0 << false << -32768;
    QTest::newRow("min minus 0.5 to even") << -32768.5 << false << -32768;
    QTest::newRow("below min") << -32769.0 << true << 0;
    QTest::newRow("huge") << 1e300 << true << 0;
    QTest::newRow("nan") << std::nan("") << true << 0;
    QTest::newRow("infinity") << HUGE_VAL << true << 0;
}

void tst_BasicText::cint()
{
    QFETCH(double, value);
    QFETCH(bool, overflows);
    QFETCH(int, expected);
    if (overflows) {
        QVERIFY_THROWS_EXCEPTION(BasicError, CInt(value));
    } else {
        QCOMPARE(int(CInt(value)), expected);
    }
}

void tst_BasicText::clng_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("overflows");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("zero") << 0.0 << false << qint64(0);
    QTest::newRow("300") << 300.0 << false << qint64(300);
    QTest::newRow("2.5 to even") << 2.5 << false << qint64(2);
    QTest::newRow("-3.5 to even") << -3.5 << false << qint64(-4);
    QTest::newRow("100000.5 to even") << 100000.5 << false << qint64(100000);
    QTest::newRow("100001.5 to even") << 100001.5 << false << qint64(100002);
    QTest::newRow("double word max") << 655359999.0 << false << qint64(655359999);
    QTest::newRow("max") << 2147483647.0 << false << qint64(2147483647);
    QTest::newRow("max plus 0.4") << 2147483647.4 << false << qint64(2147483647);
    QTest::newRow("max plus 0.5") << 2147483647.5 << true << qint64(0);
    QTest::newRow("min") << -2147483648.0 << false << qint64(-2147483648LL);
    QTest::newRow("min minus 0.5 to even") << -2147483648.5 << false << qint64(-2147483648LL);
    QTest::newRow("below min") << -2147483649.0 << true << qint64(0);
    QTest::newRow("nan") << std::nan("") << true << qint64(0);
}

void tst_BasicText::clng()
{
    QFETCH(double, value);
    QFETCH(bool, overflows);
    QFETCH(qint64, expected);
    if (overflows) {
        QVERIFY_THROWS_EXCEPTION(BasicError, CLng(value));
    } else {
        QCOMPARE(qint64(CLng(value)), expected);
    }
}

void tst_BasicText::overflowError()
{
    try {
        CInt(40000.0);
        QFAIL("CInt(40000) did not throw");
    } catch (const BasicError& error) {
        QCOMPARE(error.number(), 6);
        QCOMPARE(error.description(), QStringLiteral("Overflow"));
        QCOMPARE(error.source(), QStringLiteral("TALVEK"));
        QCOMPARE(QString::fromStdString(error.what()), QStringLiteral("Overflow"));
    }
}

void tst_BasicText::strNum_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero") << 0.0 << QStringLiteral(" 0");
    QTest::newRow("minus zero") << -0.0 << QStringLiteral(" 0");
    QTest::newRow("12") << 12.0 << QStringLiteral(" 12");
    QTest::newRow("300") << 300.0 << QStringLiteral(" 300");
    QTest::newRow("-5") << -5.0 << QStringLiteral("-5");
    QTest::newRow("12.5") << 12.5 << QStringLiteral(" 12.5");
    QTest::newRow("-12.5") << -12.5 << QStringLiteral("-12.5");
    QTest::newRow("0.5") << 0.5 << QStringLiteral(" .5");
    QTest::newRow("-0.25") << -0.25 << QStringLiteral("-.25");
    QTest::newRow("0.001") << 0.001 << QStringLiteral(" .001");
    QTest::newRow("0.0001") << 0.0001 << QStringLiteral(" .0001");
    QTest::newRow("0.000015") << 0.000015 << QStringLiteral(" 1.5E-05");
    QTest::newRow("100") << 100.0 << QStringLiteral(" 100");
    QTest::newRow("1000000") << 1000000.0 << QStringLiteral(" 1000000");
    QTest::newRow("double word max") << 655359999.0 << QStringLiteral(" 655359999");
    QTest::newRow("int32 min") << -2147483648.0 << QStringLiteral("-2147483648");
    QTest::newRow("15 digits") << 123456789012345.0 << QStringLiteral(" 123456789012345");
    QTest::newRow("1E15") << 1e15 << QStringLiteral(" 1E+15");
    QTest::newRow("1.5E20") << 1.5e20 << QStringLiteral(" 1.5E+20");
    QTest::newRow("-1E100") << -1e100 << QStringLiteral("-1E+100");
    QTest::newRow("one third") << 1.0 / 3.0 << QStringLiteral(" .333333333333333");
    QTest::newRow("two thirds rounded") << 2.0 / 3.0 << QStringLiteral(" .666666666666667");
    QTest::newRow("0.1") << 0.1 << QStringLiteral(" .1");
    QTest::newRow("1.1") << 1.1 << QStringLiteral(" 1.1");
}

void tst_BasicText::strNum()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(StrNum(value), expected);
}

void tst_BasicText::groupedNumber()
{
    // initTestCase fixed the system locale to en_US before its first use.
    QCOMPARE(talvek::groupedNumber(0), QStringLiteral("0"));
    QCOMPARE(talvek::groupedNumber(999), QStringLiteral("999"));
    QCOMPARE(talvek::groupedNumber(1000), QStringLiteral("1,000"));
    QCOMPARE(talvek::groupedNumber(1234567), QStringLiteral("1,234,567"));
    QCOMPARE(talvek::groupedNumber(-1234), QStringLiteral("-1,234"));
    QCOMPARE(talvek::groupedNumber(Q_INT64_C(655359999000)), QStringLiteral("655,359,999,000"));
}

QTEST_APPLESS_MAIN(tst_BasicText)
#include "tst_basictext.moc"
