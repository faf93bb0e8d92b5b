// The modem's answers as the station reads them from the received text:
// whole lines in either line end, echoes and chatter passed over, every
// final result in its verbose and numeric form; and the line that tells a
// call dropped while a picture arrived.
#include "camera/modem_answer.h"

#include <QTest>

class ModemAnswerTest : public QObject {
    Q_OBJECT
private slots:
    void readsTheAnswerToADial_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("result"); // a label, or "-" while none is complete
        QTest::newRow("verbose with speed") << QByteArray("\r\nCONNECT 9600\r\n") << "connect";
        QTest::newRow("verbose without speed") << QByteArray("\r\nCONNECT\r\n") << "connect";
        QTest::newRow("speed and protocol") << QByteArray("\r\nCONNECT 33600/ARQ\r\n") << "connect";
        QTest::newRow("echo, then busy") << QByteArray("ATD 0157\r\r\nBUSY\r\n") << "busy";
        QTest::newRow("no answer") << QByteArray("\r\nNO ANSWER\r\n") << "no_answer";
        QTest::newRow("no carrier") << QByteArray("\r\nNO CARRIER\r\n") << "no_carrier";
        QTest::newRow("no dialtone") << QByteArray("\r\nNO DIALTONE\r\n") << "no_dialtone";
        QTest::newRow("no dial tone, spelled apart")
            << QByteArray("\r\nNO DIAL TONE\r\n") << "no_dialtone";
        QTest::newRow("error") << QByteArray("\r\nERROR\r\n") << "error";
        QTest::newRow("LF alone") << QByteArray("\nBUSY\n") << "busy";
        QTest::newRow("OK and RING passed over")
            << QByteArray("\r\nOK\r\n\r\nRING\r\n\r\nCONNECT 2400\r\n") << "connect";
        QTest::newRow("information lines passed over")
            << QByteArray("\r\nCARRIER 14400\r\n\r\nPROTOCOL: LAP-M\r\n\r\nCONNECT 14400\r\n")
            << "connect";
        QTest::newRow("numeric connect") << QByteArray("ATD 0157\r1\r") << "connect";
        QTest::newRow("numeric CONNECT 1200") << QByteArray("5\r") << "connect";
        QTest::newRow("numeric CONNECT 9600") << QByteArray("12\r") << "connect";
        QTest::newRow("numeric CONNECT 115200") << QByteArray("19\r") << "connect";
        QTest::newRow("numeric OK, RING, then busy") << QByteArray("0\r2\r7\r") << "busy";
        QTest::newRow("numeric no carrier") << QByteArray("3\r") << "no_carrier";
        QTest::newRow("numeric error") << QByteArray("4\r") << "error";
        QTest::newRow("numeric no dialtone") << QByteArray("6\r") << "no_dialtone";
        QTest::newRow("numeric no answer") << QByteArray("8\r") << "no_answer";
        QTest::newRow("unknown number") << QByteArray("42\r") << "-";
        QTest::newRow("line not complete yet") << QByteArray("\r\nCONNECT 96") << "-";
        QTest::newRow("numeric not complete yet") << QByteArray("ATD 0157\r1") << "-";
        QTest::newRow("echo alone") << QByteArray("ATD 0157\r") << "-";
        QTest::newRow("lower case") << QByteArray("\r\nbusy\r\n") << "busy";
    }
    void readsTheAnswerToADial() {
        QFETCH(QByteArray, text);
        QFETCH(QString, result);
        ModemAnswerReader reader;
        const auto answer = reader.read(text.toStdString());
        QCOMPARE(answer ? QString::fromLatin1(DialResultLabel(*answer)) : QStringLiteral("-"),
                 result);

        // Byte by byte, as the poll may hand it over, the answer is the same
        // and comes with the byte that ends its line.
        ModemAnswerReader piecewise;
        std::string grown;
        std::optional<DialResult> found;
        qsizetype foundAt = -1;
        for (qsizetype i = 0; i < text.size() && !found; ++i) {
            grown += text[i];
            found = piecewise.read(grown);
            foundAt = i;
        }
        QCOMPARE(found.has_value(), answer.has_value());
        if (found) {
            QCOMPARE(*found, *answer);
            QVERIFY(text[foundAt] == '\r' || text[foundAt] == '\n');
        }
    }

    void readsOnlyFromWhereItStarts() {
        // The answer to "AT" lies before the dial's start: not the dial's.
        const std::string text = "AT\r\r\nERROR\r\nATD 0157\r\r\nCONNECT 9600\r\n";
        ModemAnswerReader reader(text.find("ATD"));
        QCOMPARE(reader.read(text), std::optional<DialResult>(DialResult::Connect));
        // A text emptied meanwhile is read from its start.
        ModemLines lines(100);
        QCOMPARE(lines.next("BUSY\r\n"), std::optional<std::string_view>("BUSY"));
    }

    void tellsACallThatDropped_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("dropped");
        QTest::newRow("verbose") << QByteArray("NO CARRIER") << true;
        QTest::newRow("numeric on its own") << QByteArray("3") << true;
        QTest::newRow("numeric after the last pair") << QByteArray("FF D8 1A 2B 3") << true;
        QTest::newRow("pairs") << QByteArray("FF D8 1A 23 ") << false;
        QTest::newRow("a pair ending in 3") << QByteArray("FF D8 1A 33 ") << false;
        QTest::newRow("a pair ending in 3, wrapped") << QByteArray("FF D8 1A 33 \r\n") << false;
        QTest::newRow("numeric after a high digit") << QByteArray("FF D8 A3\r") << true;
        QTest::newRow("numeric after a pair's digits") << QByteArray("FF D8 A33\r") << true;
        QTest::newRow("verbose after a high digit") << QByteArray("FF D8 A\r\nNO CARRIER\r\n")
                                                    << true;
        QTest::newRow("verbose straight after a digit") << QByteArray("FF D8 ANO CARRIER\r\n")
                                                        << true;
        QTest::newRow("start marker") << QByteArray("CAM_B") << false;
        QTest::newRow("board chatter") << QByteArray("Belichtung 1/60 s") << false;
        QTest::newRow("busy") << QByteArray("BUSY") << false;
    }
    void tellsACallThatDropped() {
        QFETCH(QByteArray, line);
        QFETCH(bool, dropped);
        // As the station reads it: whole lines as they came, from the
        // picture's start on; a row without a line end is one whole line.
        const std::string text =
            "CAM_B\r\n" + line.toStdString() + (line.contains('\r') ? "" : "\r");
        ModemLines lines;
        bool seen = false;
        while (const auto whole = lines.nextAsReceived(text))
            seen = seen || IsCallDropLine(*whole);
        QCOMPARE(seen, dropped);
    }
};

QTEST_APPLESS_MAIN(ModemAnswerTest)
#include "test_modem_answer.moc"
