// The text conversions of stored choices, apart from any store.
#include "core/optionchoices.h"

#include <QtTest>

using namespace zd;

class TestOptionChoices : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parseStoredBool_data();
    void parseStoredBool();
    void plainDecimal_data();
    void plainDecimal();
};

void TestOptionChoices::plainDecimal_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("plain");
    QTest::newRow("integer") << "1" << true;
    QTest::newRow("signed fraction") << "-0.5" << true;
    QTest::newRow("exponent") << "1e3" << true;
    QTest::newRow("leading point") << ".5" << true;
    QTest::newRow("final line feed") << "1\n" << false;
    QTest::newRow("final carriage return") << "1\r" << false;
    QTest::newRow("leading blank") << " 1" << false;
    QTest::newRow("two lines") << "1\n2" << false;
    QTest::newRow("nan") << "nan" << false;
    QTest::newRow("infinity") << "inf" << false;
    QTest::newRow("hex") << "0x10" << false;
    QTest::newRow("empty") << "" << false;
}

void TestOptionChoices::parseStoredBool()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    const std::optional<bool> value = zd::parseStoredBool(text);
    QCOMPARE(value.has_value() ? int(*value) : -1, expected);
}

void TestOptionChoices::parseStoredBool_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected"); // -1 mismatch, 0 false, 1 true
    QTest::newRow("True") << "True" << 1;
    QTest::newRow("false") << "false" << 0;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("minus one") << "-1" << 1;
    QTest::newRow("fraction") << "0.5" << 1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("no") << "no" << -1;
    QTest::newRow("yes") << "yes" << -1;
    QTest::newRow("garbage") << "Tru" << -1;
    QTest::newRow("exponent") << "1e3" << 1;
    QTest::newRow("zero with exponent") << "0e5" << 0;
    QTest::newRow("blanks around") << " 2 " << 1;
    QTest::newRow("leading point") << ".5" << 1;
    QTest::newRow("plus sign") << "+0" << 0;
    QTest::newRow("nan") << "nan" << -1;
    QTest::newRow("NaN") << "NaN" << -1;
    QTest::newRow("inf") << "inf" << -1;
    QTest::newRow("minus infinity") << "-infinity" << -1;
    QTest::newRow("hex") << "0x10" << -1;
    QTest::newRow("hex float") << "0x1p3" << -1;
    QTest::newRow("decimal comma") << "1,5" << -1;
}

void TestOptionChoices::plainDecimal()
{
    QFETCH(QString, text);
    QFETCH(bool, plain);
    QCOMPARE(isPlainDecimal(text), plain);
}

QTEST_GUILESS_MAIN(TestOptionChoices)
#include "tst_optionchoices.moc"
