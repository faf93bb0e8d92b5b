// The simulated modem and board as a state machine, on a clock of plain
// numbers: command echo and result codes in words, numbers or none,
// dialling and the calls that fail, the board's options and picture
// requests, the "+++" escape with its guard times, and the order in which
// modem replies and board text reach the line.
#include "tools/board-sim/modem_board.h"

#include <QtTest>

#include <string>

namespace {

// Everything the modem has to send, taken in small bites so that partial
// consumption is exercised too.
std::string Drain(ModemBoard& modem) {
    std::string out;
    for (std::string_view pending = modem.pendingOutput(); !pending.empty();
         pending = modem.pendingOutput()) {
        const std::size_t bite = std::min<std::size_t>(7, pending.size());
        out.append(pending.substr(0, bite));
        modem.consumeOutput(bite);
    }
    return out;
}

// Requests as text, one "fdl" triple each, capitals for options on.
QString Requests(const std::vector<BoardOptions>& requests) {
    QStringList list;
    for (const BoardOptions& o : requests)
        list << QString(QChar(o.flash ? 'F' : 'f')) + QChar(o.direct ? 'D' : 'd') +
                    QChar(o.large ? 'L' : 'l');
    return list.join(',');
}

QByteArray Bytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

ModemSettings Settings(bool echo = true, std::int64_t dialDelayMs = 0) {
    ModemSettings settings;
    settings.echo = echo;
    settings.dialDelayMs = dialDelayMs;
    settings.speed = 9600;
    settings.guardMs = 1000;
    return settings;
}

// A modem with a call up since time 0 and nothing left to send.
void Connect(ModemBoard& modem) {
    modem.receive("ATD 0157\r", 0);
    modem.advance(0);
    Drain(modem);
    QCOMPARE(modem.state(), ModemBoard::State::Online);
}

} // namespace

class TestBoardSimModem : public QObject {
    Q_OBJECT

private slots:
    void commandMode_data() {
        QTest::addColumn<bool>("echo");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("output");

        const QByteArray ok = "\r\nOK\r\n", error = "\r\nERROR\r\n";
        QTest::newRow("AT") << true << QByteArray("AT\r") << "AT\r" + ok;
        QTest::newRow("lower case") << true << QByteArray("at\r") << "at\r" + ok;
        // The LF arrives after the CR has ended the line, so its echo
        // follows the reply.
        QTest::newRow("CR LF gives one reply")
            << true << QByteArray("AT\r\n") << "AT\r" + ok + "\n";
        QTest::newRow("LF alone ends a line") << true << QByteArray("AT\n") << "AT\n" + ok;
        QTest::newRow("echo off at start") << false << QByteArray("AT\r") << ok;
        QTest::newRow("ATE0 echoed, later lines not")
            << true << QByteArray("ATE0\rAT\r") << "ATE0\r" + ok + ok;
        QTest::newRow("ATE1 brings echo back")
            << false << QByteArray("ATE1\rAT\r") << ok + "AT\r" + ok;
        QTest::newRow("ATE2 refused") << true << QByteArray("ATE2\r") << "ATE2\r" + error;
        QTest::newRow("settings accepted")
            << true << QByteArray("AT&F S0=1 X4L2M1\r") << "AT&F S0=1 X4L2M1\r" + ok;
        QTest::newRow("junk after AT") << true << QByteArray("AT#\r") << "AT#\r" + error;
        QTest::newRow("board line unanswered")
            << true << QByteArray("CONBA\r") << QByteArray("CONBA\r");
        QTest::newRow("empty lines unanswered")
            << true << QByteArray("\r\r\n") << QByteArray("\r\r\n");
        QTest::newRow("backspace edits") << true << QByteArray("AX\bT\r") << "AX\bT\r" + ok;
        QTest::newRow("ATH without call") << true << QByteArray("ATH\r") << "ATH\r" + ok;
        QTest::newRow("ATO without call")
            << true << QByteArray("ATO\r") << "ATO\r" + QByteArray("\r\nNO CARRIER\r\n");
        QTest::newRow("dial") << true << QByteArray("ATD 0157\r")
                              << "ATD 0157\r" + QByteArray("\r\nCONNECT 9600\r\n");
        QTest::newRow("keys while dialling dropped")
            << true << QByteArray("ATD0157\rAT\r")
            << "ATD0157\r" + QByteArray("\r\nCONNECT 9600\r\n");
        const QByteArray longest = "AT" + QByteArray("L1").repeated(127); // 256 characters
        QTest::newRow("longest line") << false << longest + "\r" << ok;
        QTest::newRow("overlong line refused whole")
            << false << longest + "L1\r" + "AT\r" << error + ok;
    }

    // What a terminal user sees when typing to the modem: echo as typed,
    // verbose result codes framed by CR LF.
    void commandMode() {
        QFETCH(bool, echo);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, output);
        ModemBoard modem(Settings(echo));
        modem.receive(std::string_view(input.constData(), input.size()), 0);
        modem.advance(0);
        QCOMPARE(Bytes(Drain(modem)), output);
        QVERIFY(modem.takePictureRequests().empty());
    }

    void dialTakesTheDialDelay() {
        ModemBoard modem(Settings(true, 1500));
        modem.receive("ATD 0157\r", 100);
        QCOMPARE(modem.state(), ModemBoard::State::Dialling);
        QCOMPARE(modem.nextTimer().value_or(-1), 1600);
        modem.advance(1599);
        QCOMPARE(Bytes(Drain(modem)), QByteArray("ATD 0157\r"));
        modem.advance(1600);
        QCOMPARE(Bytes(Drain(modem)), QByteArray("\r\nCONNECT 9600\r\n"));
        QVERIFY(modem.inCall());
        QVERIFY(!modem.nextTimer());
    }

    void failedCalls_data() {
        QTest::addColumn<int>("outcome"); // of the first dial; the second connects
        QTest::addColumn<qint64>("answerAt");
        QTest::addColumn<QByteArray>("answer");

        // Dialled at 100 with a dial delay of 1500.
        QTest::newRow("connect") << int(CallOutcome::Connect) << qint64(1600)
                                 << QByteArray("\r\nCONNECT 9600\r\n");
        QTest::newRow("busy after the dial delay")
            << int(CallOutcome::Busy) << qint64(1600) << QByteArray("\r\nBUSY\r\n");
        QTest::newRow("no answer after five dial delays")
            << int(CallOutcome::NoAnswer) << qint64(7600) << QByteArray("\r\nNO ANSWER\r\n");
        QTest::newRow("no dial tone after a fifth")
            << int(CallOutcome::NoDialtone) << qint64(400) << QByteArray("\r\nNO DIALTONE\r\n");
    }

    // The planner decides each dial as the modem takes it; a failed call
    // leaves the modem in command mode, ready for the next "ATD".
    void failedCalls() {
        QFETCH(int, outcome);
        QFETCH(qint64, answerAt);
        QFETCH(QByteArray, answer);
        QList<int> asked;
        ModemBoard modem(Settings(false, 1500), [&](int dial) {
            asked << dial;
            return dial == 1 ? CallOutcome(outcome) : CallOutcome::Connect;
        });
        modem.receive("ATD 0157\r", 100);
        QCOMPARE(asked, QList<int>{1});
        QCOMPARE(modem.nextTimer().value_or(-1), answerAt);
        modem.advance(answerAt - 1);
        QCOMPARE(Bytes(Drain(modem)), QByteArray());
        QCOMPARE(modem.state(), ModemBoard::State::Dialling);
        modem.advance(answerAt);
        QCOMPARE(Bytes(Drain(modem)), answer);
        QVERIFY(!modem.nextTimer());
        if (CallOutcome(outcome) == CallOutcome::Connect) {
            QVERIFY(modem.inCall());
            return;
        }
        QCOMPARE(modem.state(), ModemBoard::State::Command);
        modem.receive("BILD\rAT\rATD 0157\r", answerAt + 10);
        QVERIFY(modem.takePictureRequests().empty());
        modem.advance(answerAt + 1510);
        QCOMPARE(asked, (QList<int>{1, 2}));
        QCOMPARE(Bytes(Drain(modem)), QByteArray("\r\nOK\r\n\r\nCONNECT 9600\r\n"));
        QVERIFY(modem.inCall());
        QCOMPARE(modem.dials(), 2);
    }

    void resultCodeForms_data() {
        QTest::addColumn<bool>("verbose"); // at start
        QTest::addColumn<bool>("quiet");   // at start
        QTest::addColumn<long>("speed");
        QTest::addColumn<int>("outcome"); // of every dial
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("output");

        const int connect = int(CallOutcome::Connect);
        auto row = [](const char* name, bool verbose, bool quiet, long speed, int outcome,
                      const QByteArray& input, const QByteArray& output) {
            QTest::newRow(name) << verbose << quiet << speed << outcome << input << output;
        };
        // Numbers, as after ATV0: the code and one CR, nothing before it.
        row("numeric OK", false, false, 9600, connect, "AT\r", "0\r");
        row("numeric NO CARRIER", false, false, 9600, connect, "ATO\r", "3\r");
        row("numeric CONNECT 9600", false, false, 9600, connect, "ATD1\r", "12\r");
        row("numeric CONNECT 2400", false, false, 2400, connect, "ATD1\r", "10\r");
        row("numeric CONNECT, speed not in the table", false, false, 921600, connect, "ATD1\r",
            "1\r");
        row("numeric BUSY", false, false, 9600, int(CallOutcome::Busy), "ATD1\r", "7\r");
        row("numeric NO ANSWER", false, false, 9600, int(CallOutcome::NoAnswer), "ATD1\r", "8\r");
        row("numeric NO DIALTONE", false, false, 9600, int(CallOutcome::NoDialtone), "ATD1\r",
            "6\r");
        row("numeric information", false, false, 9600, connect, "ATI\r",
            "Merlon Board-Simulator\r\n0\r");
        // The commands themselves; the reply to the line takes the new form.
        row("ATV0", true, false, 9600, connect, "ATV0\rAT\r", "0\r0\r");
        row("ATV1", false, false, 9600, connect, "ATV1\rAT\r", "\r\nOK\r\n\r\nOK\r\n");
        row("ATZ restores the start form", false, false, 9600, connect, "ATV1\rATZ\r",
            "\r\nOK\r\n0\r");
        // Quiet, as after ATQ1: no result codes at all, information still.
        row("quiet OK", true, true, 9600, connect, "AT\r", "");
        row("quiet dial", true, true, 9600, connect, "ATD1\r", "");
        row("quiet information", true, true, 9600, connect, "ATI\r",
            "\r\nMerlon Board-Simulator\r\n");
        row("ATQ1", true, false, 9600, connect, "ATQ1\rAT\r", "");
        row("ATQ0", true, true, 9600, connect, "ATQ0\rAT\r", "\r\nOK\r\n\r\nOK\r\n");
    }

    // What the modem says, echo off, as words (ATV1), numbers (ATV0) or
    // not at all (ATQ1), from the start settings or after the command.
    void resultCodeForms() {
        QFETCH(bool, verbose);
        QFETCH(bool, quiet);
        QFETCH(long, speed);
        QFETCH(int, outcome);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, output);
        ModemSettings settings = Settings(false, 0);
        settings.verbose = verbose;
        settings.quiet = quiet;
        settings.speed = speed;
        ModemBoard modem(settings, [&](int) { return CallOutcome(outcome); });
        modem.receive(std::string_view(input.constData(), input.size()), 0);
        modem.advance(0);
        QCOMPARE(Bytes(Drain(modem)), output);
        QVERIFY(modem.state() != ModemBoard::State::Dialling);
    }

    void boardLines_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("requests");

        QTest::newRow("defaults") << QByteArray("BILD\r") << "fdl";
        QTest::newRow("all on") << QByteArray("CONBE\rCONSD\rCONRH\rBILD\r") << "FDL";
        QTest::newRow("any line ending") << QByteArray("CONBE\nCONSD\r\nCONRH\rBILD\n") << "FDL";
        QTest::newRow("options hold until changed")
            << QByteArray("CONBE\rBILD\rCONBA\rCONRH\rBILD\rBILD\r") << "Fdl,fdL,fdL";
        QTest::newRow("the program's own sequence")
            << QByteArray("CONBA\rCONSD\rCONRL\rBILD\r") << "fDl";
        QTest::newRow("blanks and case") << QByteArray("  conbe \rbild\r") << "Fdl";
        QTest::newRow("modem commands go to the board")
            << QByteArray("AT\rATD 0157\rBILD\r") << "fdl";
        QTest::newRow("unknown line ignored") << QByteArray("CONBEX\rBILDER\r") << "";
        QTest::newRow("overlong line dropped whole") << "CONBE" + QByteArray(300, ' ') + "\rBILD\r"
                                                     << "fdl";
    }

    // During a call the board takes the lines; the modem neither echoes nor
    // answers them.
    void boardLines() {
        QFETCH(QByteArray, input);
        QFETCH(QString, requests);
        ModemBoard modem(Settings());
        Connect(modem);
        modem.receive(std::string_view(input.constData(), input.size()), 10);
        modem.advance(10);
        QCOMPARE(Requests(modem.takePictureRequests()), requests);
        QCOMPARE(Bytes(Drain(modem)), QByteArray());
        QVERIFY(modem.takePictureRequests().empty());
    }

    void noPictureWithoutCall() {
        ModemBoard modem(Settings(false, 1500));
        modem.receive("BILD\r", 0);
        modem.receive("ATD1\rBILD\r", 10); // still dialling
        modem.advance(10);
        QVERIFY(modem.takePictureRequests().empty());
    }

    void escapeLineAndHangUp() {
        ModemBoard modem(Settings());
        Connect(modem);
        modem.receive("+++\r", 10);
        QCOMPARE(Bytes(Drain(modem)), QByteArray("\r\nOK\r\n"));
        QCOMPARE(modem.state(), ModemBoard::State::OnlineCommand);
        modem.receive("BILD\r", 20); // a modem command line now, not the board's
        QVERIFY(modem.takePictureRequests().empty());
        modem.receive("ATH\r", 30);
        QCOMPARE(Bytes(Drain(modem)), QByteArray("BILD\rATH\r\r\nOK\r\n"));
        QCOMPARE(modem.state(), ModemBoard::State::Command);
        QVERIFY(!modem.inCall());
    }

    void escapeAndBackOnline() {
        ModemBoard modem(Settings());
        Connect(modem);
        modem.receive("+++\r", 10);
        modem.receive("ATD 1\rATO\r", 20);
        QCOMPARE(Bytes(Drain(modem)),
                 QByteArray("\r\nOK\r\nATD 1\r\r\nERROR\r\nATO\r\r\nCONNECT 9600\r\n"));
        QCOMPARE(modem.state(), ModemBoard::State::Online);
        modem.receive("BILD\r", 30);
        QCOMPARE(modem.takePictureRequests().size(), std::size_t(1));
    }

    void guardTime_data() {
        QTest::addColumn<QList<qint64>>("plusTimes"); // one "+" each
        QTest::addColumn<qint64>("interruptAt");      // a data byte, or -1
        QTest::addColumn<qint64>("checkAt");
        QTest::addColumn<bool>("escaped");

        QTest::newRow("silence, +++, silence")
            << QList<qint64>{1000, 1000, 1000} << qint64(-1) << qint64(2000) << true;
        QTest::newRow("second silence not over")
            << QList<qint64>{1000, 1000, 1000} << qint64(-1) << qint64(1999) << false;
        QTest::newRow("first silence too short")
            << QList<qint64>{999, 999, 999} << qint64(-1) << qint64(5000) << false;
        QTest::newRow("typed slowly")
            << QList<qint64>{1000, 1200, 1400} << qint64(-1) << qint64(2400) << true;
        QTest::newRow("byte after the pluses cancels")
            << QList<qint64>{1000, 1000, 1000} << qint64(1500) << qint64(5000) << false;
        QTest::newRow("restart after a pause")
            << QList<qint64>{1000, 1100, 2200, 2300, 2400} << qint64(-1) << qint64(3400) << true;
        QTest::newRow("pause breaks the count")
            << QList<qint64>{1000, 1100, 2200} << qint64(-1) << qint64(5000) << false;
        QTest::newRow("second silence too short, then data")
            << QList<qint64>{1000, 1000, 1000} << qint64(1999) << qint64(5000) << false;
        // --no-escape: the call refuses it however well it is timed.
        QTest::newRow("refused") << QList<qint64>{1000, 1000, 1000} << qint64(-2) << qint64(2000)
                                 << false;
    }

    void guardTime() {
        QFETCH(QList<qint64>, plusTimes);
        QFETCH(qint64, interruptAt); // -2: a call that refuses the escape
        QFETCH(qint64, checkAt);
        QFETCH(bool, escaped);
        ModemBoard modem(Settings(), {}, [&](int) { return interruptAt == -2; });
        Connect(modem);
        for (const qint64 at : plusTimes) {
            modem.advance(at);
            modem.receive("+", at);
        }
        if (interruptAt >= 0) {
            modem.advance(interruptAt);
            modem.receive("B", interruptAt);
        }
        modem.advance(checkAt);
        QCOMPARE(modem.state(),
                 escaped ? ModemBoard::State::OnlineCommand : ModemBoard::State::Online);
        QCOMPARE(Bytes(Drain(modem)), escaped ? QByteArray("\r\nOK\r\n") : QByteArray());
        // The pluses never reach the board as a line of their own.
        modem.receive("\r", checkAt + 1);
        QVERIFY(modem.takePictureRequests().empty());
    }

    // The hang-up a station does: escape, "OK", "AT" and "ATH" in command
    // mode with the call held; a call that refuses the escape passes it all
    // to the board and is ended by the far side once the line is quiet.
    void hangUpAfterEscape_data() {
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<int>("boardLines");
        QTest::newRow("taken") << false << QByteArray("\r\nOK\r\nAT\r\r\nOK\r\nATH\r\r\nOK\r\n")
                               << 0;
        QTest::newRow("refused") << true << QByteArray("\r\nNO CARRIER\r\n") << 1;
    }
    void hangUpAfterEscape() {
        QFETCH(bool, refused);
        QFETCH(QByteArray, output);
        QFETCH(int, boardLines);
        ModemBoard modem(Settings(), {}, [&](int) { return refused; });
        Connect(modem);
        modem.receive("+++", 1000);
        modem.advance(2000);
        QCOMPARE(modem.inCall(), true);
        modem.receive("AT\r", 2100);
        modem.receive("ATH\r", 2200);
        modem.receive("BILD\r", 2300); // the board's, if the call still stands
        modem.advance(2300 + ModemBoard::kRefusedCallHoldMs - 1);
        QCOMPARE(modem.inCall(), refused);
        modem.advance(2300 + ModemBoard::kRefusedCallHoldMs);
        QCOMPARE(Bytes(Drain(modem)), refused ? output : output + "BILD\r");
        QVERIFY(!modem.inCall());
        QCOMPARE(int(modem.takePictureRequests().size()), boardLines);
    }

    void boardTextOnlyDuringCall() {
        ModemBoard modem(Settings());
        modem.queueBoardText("CAM_B\r\n");
        QCOMPARE(Bytes(Drain(modem)), QByteArray());
        Connect(modem);
        modem.queueBoardText("CAM_B\r\nFF D8 ");
        modem.queueBoardText("FF D9 CAM_E\r\n");
        QCOMPARE(Bytes(Drain(modem)), QByteArray("CAM_B\r\nFF D8 FF D9 CAM_E\r\n"));
    }

    // After "+++" the board's text waits (the modem holds the call) and the
    // modem's replies go first; "ATO" lets the rest through.
    void boardTextWaitsWhileEscaped() {
        ModemBoard modem(Settings());
        Connect(modem);
        modem.queueBoardText("0123456789");
        QCOMPARE(modem.pendingOutput().substr(0, 4), std::string_view("0123"));
        modem.consumeOutput(4);
        modem.receive("+++\r", 10);
        QCOMPARE(Bytes(Drain(modem)), QByteArray("\r\nOK\r\n"));
        modem.receive("ATO\r", 20);
        QCOMPARE(Bytes(Drain(modem)), QByteArray("ATO\r\r\nCONNECT 9600\r\n456789"));
    }

    void hangUpDiscardsBoardText() {
        ModemBoard modem(Settings());
        Connect(modem);
        modem.queueBoardText("CAM_B\r\nFF D8 ");
        modem.receive("+++\rATH\r", 10);
        Drain(modem);
        Connect(modem);
        QCOMPARE(Bytes(Drain(modem)), QByteArray());
    }

    void callDropsAfterText() {
        ModemBoard modem(Settings());
        Connect(modem);
        modem.queueBoardText("CAM_B\r\nFF ", true);
        modem.queueBoardText("D8 "); // never sent: the call is gone by then
        QCOMPARE(Bytes(Drain(modem)), QByteArray("CAM_B\r\nFF \r\nNO CARRIER\r\n"));
        QCOMPARE(modem.state(), ModemBoard::State::Command);
        modem.receive("BILD\r", 10);
        QVERIFY(modem.takePictureRequests().empty());
        QCOMPARE(Bytes(Drain(modem)), QByteArray("BILD\r"));
    }

    void emptyTextCanStillHangUp() {
        ModemBoard modem(Settings());
        Connect(modem);
        modem.queueBoardText("", true);
        QCOMPARE(Bytes(Drain(modem)), QByteArray("\r\nNO CARRIER\r\n"));
        QVERIFY(!modem.inCall());
    }
};

QTEST_APPLESS_MAIN(TestBoardSimModem)
#include "test_boardsim_modem.moc"
