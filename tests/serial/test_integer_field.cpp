// The integer syntax of the settings fields: which texts are numbers, their
// values, and the message for the ones that are not.
#include "platform/user_error.h"
#include "serial/integer_field.h"

#include <QtTest>

#include <string>

class IntegerFieldTest : public QObject {
    Q_OBJECT
private slots:
    void acceptsIntegers_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qint32>("value");
        QTest::newRow("zero") << QByteArray("0") << 0;
        QTest::newRow("plain") << QByteArray("9600") << 9600;
        QTest::newRow("leading zeros") << QByteArray("0008") << 8;
        QTest::newRow("plus") << QByteArray("+12") << 12;
        QTest::newRow("minus") << QByteArray("-12") << -12;
        QTest::newRow("minus zero") << QByteArray("-0") << 0;
        QTest::newRow("leading spaces") << QByteArray("  12") << 12;
        QTest::newRow("space before sign") << QByteArray(" -7") << -7;
        QTest::newRow("largest") << QByteArray("2147483647") << 2147483647;
        QTest::newRow("smallest") << QByteArray("-2147483648") << qint32(-2147483647 - 1);
        QTest::newRow("zeros before largest") << QByteArray("00002147483647") << 2147483647;
        QTest::newRow("dollar") << QByteArray("$1F") << 31;
        QTest::newRow("x") << QByteArray("x1F") << 31;
        QTest::newRow("X") << QByteArray("X1f") << 31;
        QTest::newRow("0x") << QByteArray("0x1f") << 31;
        QTest::newRow("0X") << QByteArray("0XaB") << 171;
        QTest::newRow("hex after spaces") << QByteArray("   $10") << 16;
        QTest::newRow("hex 32 bits signed") << QByteArray("$FFFFFFFF") << -1;
        QTest::newRow("hex top bit") << QByteArray("0x80000000") << qint32(-2147483647 - 1);
        QTest::newRow("hex largest positive") << QByteArray("$7FFFFFFF") << 2147483647;
        QTest::newRow("hex zeros beyond 8 digits") << QByteArray("$000000001") << 1;
        QTest::newRow("hex zero") << QByteArray("0x0") << 0;
    }
    void acceptsIntegers() {
        QFETCH(QByteArray, text);
        QFETCH(qint32, value);
        QCOMPARE(ParseIntegerField(text.toStdString()), value);
    }

    void rejectsNonIntegers_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("spaces only") << QByteArray("   ");
        QTest::newRow("tab before") << QByteArray("\t12");
        QTest::newRow("space after") << QByteArray("12 ");
        QTest::newRow("space inside") << QByteArray("1 2");
        QTest::newRow("plus alone") << QByteArray("+");
        QTest::newRow("minus alone") << QByteArray("-");
        QTest::newRow("two signs") << QByteArray("+-1");
        QTest::newRow("space after sign") << QByteArray("- 1");
        QTest::newRow("letter") << QByteArray("a");
        QTest::newRow("digits then letter") << QByteArray("12a");
        QTest::newRow("decimal point") << QByteArray("1.5");
        QTest::newRow("above largest") << QByteArray("2147483648");
        QTest::newRow("below smallest") << QByteArray("-2147483649");
        QTest::newRow("far too large") << QByteArray("99999999999999999999999");
        QTest::newRow("dollar alone") << QByteArray("$");
        QTest::newRow("0x alone") << QByteArray("0x");
        QTest::newRow("x alone") << QByteArray("x");
        QTest::newRow("signed hex") << QByteArray("-0x1");
        QTest::newRow("plus hex") << QByteArray("+$1");
        QTest::newRow("hex without prefix") << QByteArray("1F");
        QTest::newRow("hex bad digit") << QByteArray("$1G");
        QTest::newRow("hex 33 bits") << QByteArray("$100000000");
        QTest::newRow("two prefixes") << QByteArray("0x$1");
        QTest::newRow("prefix after zero twice") << QByteArray("00x1");
        QTest::newRow("non-ASCII digit") << QByteArray("\xd9\xa1");
        QTest::newRow("NUL inside") << QByteArray("1\0"
                                                  "2",
                                                  3);
    }
    void rejectsNonIntegers() {
        QFETCH(QByteArray, text);
        const std::string field = text.toStdString();
        try {
            ParseIntegerField(field);
            QFAIL("accepted");
        } catch (const UserError& error) {
            // what() ends at a NUL, so the expectation does too.
            const std::string expected = "'" + field + "' ist kein gültiger Integerwert";
            QCOMPARE(std::string(error.what()), std::string(expected.c_str()));
        }
    }
};

QTEST_APPLESS_MAIN(IntegerFieldTest)
#include "test_integer_field.moc"
