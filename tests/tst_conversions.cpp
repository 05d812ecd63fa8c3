#include "app/AddressArgument.h"
#include "platform/NumericPrefix.h"
#include "platform/TextFormat.h"
#include "protocol/Address.h"

#include <QTest>

#include <cmath>

using namespace kvp;

class tst_conversions : public QObject
{
    Q_OBJECT

private slots:
    void numericPrefix_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("found");

        QTest::newRow("plain digits") << "31" << 31.0 << true;
        QTest::newRow("empty") << "" << 0.0 << false;
        QTest::newRow("letters only") << "abc" << 0.0 << false;
        QTest::newRow("stops at letter") << "7x" << 7.0 << true;
        QTest::newRow("blanks inside the number") << " 1 2" << 12.0 << true;
        QTest::newRow("tab and line feed skipped") << "\t3\n1" << 31.0 << true;
        QTest::newRow("carriage return stops") << "3\r1" << 3.0 << true;
        QTest::newRow("negative") << "-1" << -1.0 << true;
        QTest::newRow("plus sign") << "+5" << 5.0 << true;
        QTest::newRow("sign without digits") << "-" << 0.0 << false;
        QTest::newRow("two signs") << "--1" << 0.0 << false;
        QTest::newRow("decimal") << "3.6" << 3.6 << true;
        QTest::newRow("leading point") << ".5" << 0.5 << true;
        QTest::newRow("lone point") << "." << 0.0 << false;
        QTest::newRow("second point stops") << "1.2.3" << 1.2 << true;
        QTest::newRow("exponent E") << "1E2" << 100.0 << true;
        QTest::newRow("exponent D") << "2d1" << 20.0 << true;
        QTest::newRow("negative exponent") << "25e-1" << 2.5 << true;
        QTest::newRow("exponent without digits") << "1E" << 1.0 << true;
        QTest::newRow("exponent sign without digits") << "4e+x" << 4.0 << true;
        QTest::newRow("hex") << "&H1F" << 31.0 << true;
        QTest::newRow("hex lower case") << "&h1f" << 31.0 << true;
        QTest::newRow("hex stops at non-digit") << "&H1G" << 1.0 << true;
        QTest::newRow("octal") << "&O17" << 15.0 << true;
        QTest::newRow("octal stops at 8") << "&O18" << 1.0 << true;
        QTest::newRow("ampersand alone") << "&" << 0.0 << false;
        QTest::newRow("hex without digits") << "&H" << 0.0 << false;
        QTest::newRow("non-ASCII stops") << "1\xe5\x9c\xb0" << 1.0 << true;
        QTest::newRow("huge exponent") << "1e999" << HUGE_VAL << true;
        QTest::newRow("tiny exponent") << "1e-999" << 0.0 << true;
    }

    void numericPrefix()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QFETCH(bool, found);
        const NumericPrefix result = parseNumericPrefix(text.toStdString());
        QCOMPARE(result.found, found);
        QCOMPARE(result.value, value);
    }

    void formatTwoDigits_data()
    {
        QTest::addColumn<double>("number");
        QTest::addColumn<QString>("text");

        QTest::newRow("zero") << 0.0 << "00";
        QTest::newRow("one digit padded") << 5.0 << "05";
        QTest::newRow("two digits") << 31.0 << "31";
        QTest::newRow("three digits kept") << 123.0 << "123";
        QTest::newRow("negative padded") << -1.0 << "-01";
        QTest::newRow("rounds up") << 3.6 << "04";
        QTest::newRow("rounds down") << 3.4 << "03";
        QTest::newRow("half away from zero") << 2.5 << "03";
        QTest::newRow("negative rounding to zero has no sign") << -0.4 << "00";
        QTest::newRow("large") << 1e12 << "1000000000000";
    }

    void formatTwoDigits()
    {
        QFETCH(double, number);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(kvp::formatTwoDigits(number)), text);
    }

    void integerText_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");

        QTest::newRow("zero") << 0 << "0";
        QTest::newRow("minus one, no blank") << -1 << "-1";
        QTest::newRow("largest reading") << 8388607 << "8388607";
        QTest::newRow("smallest reading") << -8388608 << "-8388608";
        QTest::newRow("no grouping") << 1193046 << "1193046";
    }

    void integerText()
    {
        QFETCH(int, value);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(kvp::integerText(value)), text);
    }

    void address_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("valid"); // -1: refused

        QTest::newRow("5") << "5" << "05" << 5;
        QTest::newRow("31") << "31" << "31" << 31;
        QTest::newRow("0") << "0" << "00" << 0;
        QTest::newRow("empty") << "" << "00" << -1;
        QTest::newRow("abc") << "abc" << "00" << -1;
        QTest::newRow("32 out of range") << "32" << "32" << -1;
        QTest::newRow("123") << "123" << "123" << -1;
        QTest::newRow("-1") << "-1" << "-01" << -1;
        QTest::newRow("7x") << "7x" << "07" << 7;
        QTest::newRow("blank 1 blank 2") << " 1 2" << "12" << 12;
        QTest::newRow("&H1F") << "&H1F" << "31" << 31;
        QTest::newRow("3.6 rounds to 4") << "3.6" << "04" << 4;
        QTest::newRow("31.4 rounds into range") << "31.4" << "31" << 31;
        QTest::newRow("31.5 rounds out of range") << "31.5" << "32" << -1;
        QTest::newRow("-0.4 rounds to 0") << "-0.4" << "00" << 0;
        QTest::newRow("huge") << "1e999" << "inf" << -1;
    }

    void address()
    {
        QFETCH(QString, text);
        QFETCH(QString, field);
        QFETCH(int, valid);
        QCOMPARE(QString::fromStdString(addressField(text.toStdString())), field);
        QCOMPARE(validAddress(text.toStdString()).value_or(-1), valid);
    }

    // The command line takes an address written out in full; the box above is lenient.
    void addressArgument_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("addresses"); // empty: a usage error
        for (const auto &[text, addresses] : std::initializer_list<std::pair<const char *, const char *>>{
                 {"0", "0"}, {"31", "31"}, {"07", "7"}, {"0031", "31"}, {"32", ""}, {"99999999999", ""}, {"", ""},
                 {"0x1f", ""}, {"1e1", ""}, {"5x", ""}, {"3.6", ""}, {"&H1F", ""}, {"-1", ""}, {"+5", ""},
                 {" 5", ""}, {"5 ", ""}, {"\u0663", ""}, {"3,7,12", "3 7 12"}, {"12,3", "12 3"},
                 {"0-4,9", "0 1 2 3 4 9"}, {"30-31", "30 31"}, {"5-5", "5"}, {"3,3", ""}, {"0-4,2", ""}, {"4-2", ""},
                 {"3,", ""}, {",3", ""}, {"3,,7", ""}, {"0-32", ""}, {"1-", ""}, {"-", ""}, {"1-2-3", ""}})
            QTest::newRow(text) << QString::fromUtf8(text) << QString::fromUtf8(addresses);
    }

    void addressArgument()
    {
        QFETCH(QString, text);
        QFETCH(QString, addresses);
        QStringList got;
        if (const auto parsed = kvp::addressArgument(text))
            for (const int a : *parsed)
                got << QString::number(a);
        QCOMPARE(got.join(' '), addresses);
    }
};

QTEST_APPLESS_MAIN(tst_conversions)
#include "tst_conversions.moc"
