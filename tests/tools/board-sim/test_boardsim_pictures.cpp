// The simulated camera's pictures and how the board puts them on the line:
// sizes, flash and direct marks, the running number and time written in,
// the hex stream and each fault it can carry, which dials and pictures get
// which fault, and the command line.
#include "capture/hex_capture.h"
#include "tools/board-sim/fault_plan.h"
#include "tools/board-sim/picture_scene.h"
#include "tools/board-sim/picture_stream.h"
#include "tools/board-sim/sim_options.h"

#include <QtTest>

#include <string>

namespace {

// Every byte value once, so every hex digit appears in both places of a pair.
std::string AllByteValues() {
    std::string bytes;
    for (int value = 0; value < 256; ++value)
        bytes += static_cast<char>(value);
    return bytes;
}

double MeanLuma(const RgbImage& image) {
    double sum = 0;
    for (std::size_t i = 0; i < image.pixels.size(); i += 3)
        sum += 0.299 * image.pixels[i] + 0.587 * image.pixels[i + 1] + 0.114 * image.pixels[i + 2];
    return sum / (image.pixels.size() / 3);
}

bool IsMarkRed(Rgb p) {
    return p.r > 200 && p.g < 90 && p.b < 90;
}

// The smallest rectangle holding every pixel in which a and b differ, as
// (left, top, right, bottom), right and bottom exclusive; empty if equal.
QRect Difference(const RgbImage& a, const RgbImage& b) {
    QRect box;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const Rgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (p.r != q.r || p.g != q.g || p.b != q.b)
                box = box.united(QRect(x, y, 1, 1));
        }
    return box;
}

SceneRequest Request(bool flash, bool direct, bool large, int number = 1,
                     std::string time = "12:34:56") {
    return SceneRequest{BoardOptions{flash, direct, large}, number, std::move(time)};
}

QByteArray Bytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// Where the entropy-coded data of a baseline JPEG starts: after the scan
// header that follows the first FF DA.
std::size_t ScanDataStart(const std::string& jpeg) {
    const std::size_t sos = jpeg.find("\xFF\xDA");
    if (sos == std::string::npos)
        return std::string::npos;
    return sos + 2 + (static_cast<unsigned char>(jpeg[sos + 2]) << 8) +
           static_cast<unsigned char>(jpeg[sos + 3]);
}

int HexValue(char digit) {
    return QByteArray(1, digit).toInt(nullptr, 16);
}

} // namespace

class TestBoardSimPictures : public QObject {
    Q_OBJECT

private slots:
    void flashMakesItBrighter_data() {
        QTest::addColumn<bool>("large");
        QTest::newRow("small") << false;
        QTest::newRow("large") << true;
    }

    void flashMakesItBrighter() {
        QFETCH(bool, large);
        const double plain = MeanLuma(RenderScene(Request(false, false, large)));
        const double flash = MeanLuma(RenderScene(Request(true, false, large)));
        QVERIFY2(flash > plain + 30, qPrintable(QString("%1 vs %2").arg(flash).arg(plain)));
    }

    void directIsFramedAndBadged_data() {
        QTest::addColumn<bool>("large");
        QTest::newRow("small") << false;
        QTest::newRow("large") << true;
    }

    void directIsFramedAndBadged() {
        QFETCH(bool, large);
        const RgbImage direct = RenderScene(Request(false, true, large));
        const RgbImage plain = RenderScene(Request(false, false, large));
        const int w = direct.width, h = direct.height;
        for (const QPoint p : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1),
                               QPoint(w - 1, h - 1), QPoint(w / 2, 2), QPoint(2, h / 2)}) {
            QVERIFY2(IsMarkRed(direct.pixel(p.x(), p.y())),
                     qPrintable(QString("%1,%2").arg(p.x()).arg(p.y())));
            QVERIFY(!IsMarkRed(plain.pixel(p.x(), p.y())));
        }
        // Frame and badge only: the scene inside is the same picture.
        const QRect changed = Difference(direct, plain);
        QVERIFY(!changed.isEmpty());
        const int unit = w / 320;
        const int inner = 6 * unit;
        int changedInside = 0;
        for (int y = inner; y < h - inner; ++y)
            for (int x = inner; x < w - inner; ++x) {
                const Rgb p = direct.pixel(x, y), q = plain.pixel(x, y);
                if (p.r != q.r || p.g != q.g || p.b != q.b) {
                    ++changedInside;
                    QVERIFY(x > w / 2 && y < h / 4); // the badge, top right
                }
            }
        QVERIFY(changedInside > 0);
    }

    void sameRequestSamePicture() {
        const SceneRequest request = Request(true, true, false, 7, "08:15:00");
        QCOMPARE(Bytes(TakePicture(request, 75)), Bytes(TakePicture(request, 75)));
    }

    // Pictures twelve apart have the sun in the same place, so only the
    // number differs, and only in the label at the top left.
    void numberIsWrittenIn() {
        const RgbImage first = RenderScene(Request(false, false, false, 1));
        const RgbImage thirteenth = RenderScene(Request(false, false, false, 13));
        const QRect changed = Difference(first, thirteenth);
        QVERIFY(!changed.isEmpty());
        const int margin = 12, shadow = 2;
        QVERIFY2(changed.bottom() < margin + TextHeight(3) + shadow &&
                     changed.right() < margin + TextWidth("BILD 0001", 3) + shadow,
                 qPrintable(QString("%1,%2 %3x%4")
                                .arg(changed.x())
                                .arg(changed.y())
                                .arg(changed.width())
                                .arg(changed.height())));
    }

    void timeIsWrittenIn() {
        const RgbImage before = RenderScene(Request(false, false, true, 3, "09:59:59"));
        const RgbImage after = RenderScene(Request(false, false, true, 3, "10:00:00"));
        const QRect changed = Difference(before, after);
        QVERIFY(!changed.isEmpty());
        QVERIFY(changed.top() > 480 / 2 && changed.left() > 640 / 3);
    }

    // Every character the pictures use must have a glyph: a missing one
    // would leave a gap, not a letter.
    void fontHasTheCharactersUsed() {
        for (const char c : std::string("0123456789:BILDTZ")) {
            RgbImage image(8, 8);
            DrawText(image, 1, 0, std::string(1, c), 1, Rgb{255, 255, 255});
            int ink = 0;
            for (const unsigned char v : image.pixels)
                ink += v == 255;
            QVERIFY2(ink >= 3 * 5, qPrintable(QString("'%1'").arg(c)));
        }
        QCOMPARE(TextWidth("12:34:56", 3), (8 * 6 - 1) * 3);
    }

    // Text reaching past the edges keeps the part inside, nothing else.
    void textIsClippedAtTheEdges() {
        RgbImage image(10, 10);
        DrawText(image, -2, -2, "8", 4, Rgb{1, 2, 3});
        DrawText(image, 8, 8, "88", 4, Rgb{1, 2, 3}); // wholly outside but for blanks
        auto inked = [&](int x, int y) { return image.pixel(x, y).r == 1; };
        QVERIFY(inked(0, 2));  // left column, second row
        QVERIFY(inked(2, 0));  // top row, second column
        QVERIFY(!inked(0, 0)); // the glyph's blank corner
        QVERIFY(!inked(9, 9));
    }

    void stream_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("endSeen");
        QTest::addColumn<bool>("decodesToPicture");
        QTest::addColumn<bool>("hangUpAfter");
        QTest::newRow("none") << "" << true << true << false;
        QTest::newRow("chatter") << "chatter" << true << true << false;
        QTest::newRow("cut before end") << "cut" << false << true << false;
        QTest::newRow("NUL") << "nul" << true << true << false;
        QTest::newRow("lower case") << "lowercase" << true << false << false;
        QTest::newRow("hang-up") << "hangup" << false << false << true;
    }

    void stream() {
        QFETCH(QString, fault);
        QFETCH(bool, endSeen);
        QFETCH(bool, decodesToPicture);
        QFETCH(bool, hangUpAfter);
        const std::string picture = AllByteValues();
        StreamFaults faults;
        faults.chatter = fault == "chatter";
        faults.cutBeforeEnd = fault == "cut";
        faults.nul = fault == "nul";
        faults.lowercase = fault == "lowercase";
        faults.hangUpMidPicture = fault == "hangup";
        const PictureStream stream = BuildPictureStream(picture, faults, 1);
        const std::string clean = BuildPictureStream(picture, StreamFaults{}, 1).text;

        const DecodedCapture decoded = DecodeHexCapture(stream.text);
        QCOMPARE(decoded.endSeen, endSeen);
        QCOMPARE(decoded.bytes == picture, decodesToPicture);
        QCOMPARE(stream.hangUpAfter, hangUpAfter);

        if (fault.isEmpty()) {
            QCOMPARE(Bytes(clean.substr(0, 22)), QByteArray("CAM_B\r\n00 01 02 03 04 "));
            QCOMPARE(Bytes(clean.substr(clean.size() - 13)), QByteArray("FE FF CAM_E\r\n"));
            QCOMPARE(clean.size(), std::size_t(7 + 3 * 256 + 7));
            QVERIFY(clean.find_first_of("abcdef") == std::string::npos);
        } else if (fault == "chatter") {
            QCOMPARE(Bytes(stream.text), QByteArray(kBoardChatter) + Bytes(clean));
            QVERIFY(stream.text.find("Kamera bereit") < stream.text.find("CAM_B"));
        } else if (fault == "cut") {
            QCOMPARE(Bytes(stream.text), Bytes(clean.substr(0, clean.size() - 7)));
        } else if (fault == "nul") {
            QCOMPARE(stream.text.size(), clean.size() + 1);
            QCOMPARE(std::count(stream.text.begin(), stream.text.end(), '\0'), 1);
        } else if (fault == "lowercase") {
            QCOMPARE(Bytes(stream.text.substr(7, 3 * 256)),
                     Bytes(clean.substr(7, 3 * 256)).toLower());
        } else if (fault == "hangup") {
            QCOMPARE(Bytes(stream.text), Bytes(clean.substr(0, clean.size() / 2)));
        }
    }

    void noiseIsReproducible() {
        const std::string picture = AllByteValues();
        StreamFaults faults;
        faults.noise = true;
        const std::string clean = BuildPictureStream(picture, StreamFaults{}, 1).text;
        const std::string first = BuildPictureStream(picture, faults, 1).text;
        QCOMPARE(first.size(), clean.size() + 3);
        QCOMPARE(Bytes(BuildPictureStream(picture, faults, 1).text), Bytes(first));
        QVERIFY(Bytes(BuildPictureStream(picture, faults, 2).text) != Bytes(first));
        QVERIFY(first.rfind("CAM_B\r\n", 0) == 0); // noise only in the hex
        QVERIFY(DecodeHexCapture(first).endSeen);
    }

    void digitFaults_data() {
        QTest::addColumn<bool>("drop"); // else flip
        QTest::addColumn<unsigned>("seed");
        QTest::addColumn<bool>("large");
        QTest::newRow("drop, small") << true << 1u << false;
        QTest::newRow("drop, large") << true << 3u << true;
        QTest::newRow("flip, small") << false << 1u << false;
        QTest::newRow("flip, large") << false << 3u << true;
    }

    // One digit lost or changed inside the scan data of a real picture:
    // the decoder's bytes differ from the JPEG in that one byte only, the
    // end marker still comes, and the same seed puts it in the same place.
    void digitFaults() {
        QFETCH(bool, drop);
        QFETCH(unsigned, seed);
        QFETCH(bool, large);
        const std::string jpeg = TakePicture(Request(false, false, large), 75);
        StreamFaults faults;
        faults.dropDigit = drop;
        faults.flipDigit = !drop;
        const std::string clean = BuildPictureStream(jpeg, StreamFaults{}, seed).text;
        const PictureStream stream = BuildPictureStream(jpeg, faults, seed);
        const std::string& text = stream.text;
        QCOMPARE(text.size(), clean.size() - (drop ? 1 : 0));
        QVERIFY(!stream.hangUpAfter);

        const auto differ = std::mismatch(text.begin(), text.end(), clean.begin());
        const std::size_t at = static_cast<std::size_t>(differ.first - text.begin());
        QVERIFY(at >= 7 && (at - 7) % 3 < 2); // a digit, not a blank
        const std::size_t pair = (at - 7) / 3;
        const bool highDigit = (at - 7) % 3 == 0;
        if (drop) {
            QCOMPARE(Bytes(text), Bytes(std::string(clean).erase(at, 1)));
        } else {
            QCOMPARE(Bytes(text.substr(at + 1)), Bytes(clean.substr(at + 1)));
            QVERIFY(QByteArray("0123456789ABCDEF").contains(text[at]));
            QVERIFY(text[at] != clean[at]);
        }
        QVERIFY(pair >= ScanDataStart(jpeg));
        QVERIFY(pair < jpeg.size() - 2);

        const DecodedCapture decoded = DecodeHexCapture(text);
        QVERIFY(decoded.endSeen);
        QCOMPARE(decoded.bytes.size(), jpeg.size());
        for (std::size_t i = 0; i < jpeg.size(); ++i)
            if (i != pair && decoded.bytes[i] != jpeg[i])
                QFAIL(qPrintable(QString("byte %1 changed too").arg(i)));
        const auto original = static_cast<unsigned char>(jpeg[pair]);
        const auto received = static_cast<unsigned char>(decoded.bytes[pair]);
        QVERIFY(received != original);
        if (drop) {
            // The blank before the digit left reads as a high digit 0.
            QCOMPARE(int(received), HexValue(clean[at + (highDigit ? 1 : -1)]));
        } else {
            QCOMPARE(received & (highDigit ? 0x0F : 0xF0), original & (highDigit ? 0x0F : 0xF0));
        }
        QVERIFY(Bytes(text).endsWith("FF D9 CAM_E\r\n"));

        QCOMPARE(Bytes(BuildPictureStream(jpeg, faults, seed).text), Bytes(text));
        QVERIFY(Bytes(BuildPictureStream(jpeg, faults, seed + 100).text) != Bytes(text));

        // Wherever other seeds put it, it stays inside the scan data.
        for (unsigned other = 1000; other < 1300; ++other) {
            const std::string moved = BuildPictureStream(jpeg, faults, other).text;
            const auto first = std::mismatch(moved.begin(), moved.end(), clean.begin()).first;
            const std::size_t otherPair = static_cast<std::size_t>(first - moved.begin() - 7) / 3;
            QVERIFY(otherPair >= ScanDataStart(jpeg) && otherPair < jpeg.size() - 2);
            QVERIFY(DecodeHexCapture(moved).bytes[otherPair] != jpeg[otherPair]);
        }
    }

    void faultCounts_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("number");
        QTest::addColumn<bool>("spoiled");
        QTest::newRow("off") << 0 << 1 << false;
        QTest::newRow("every, first") << int(FaultPlan::kEveryPicture) << 1 << true;
        QTest::newRow("every, much later") << int(FaultPlan::kEveryPicture) << 5000 << true;
        QTest::newRow("first two, second") << 2 << 2 << true;
        QTest::newRow("first two, third") << 2 << 3 << false;
    }

    void faultCounts() {
        QFETCH(int, count);
        QFETCH(int, number);
        QFETCH(bool, spoiled);
        FaultPlan plan;
        plan.cutBeforeEnd = count;
        plan.noise = count;
        const StreamFaults faults = FaultsForPicture(plan, number);
        QCOMPARE(faults.cutBeforeEnd, spoiled);
        QCOMPARE(faults.noise, spoiled);
        QVERIFY(!faults.lowercase && !faults.nul && !faults.chatter && !faults.hangUpMidPicture);

        // Call faults count dials the same way.
        FaultPlan calls;
        calls.busy = count;
        QCOMPARE(OutcomeForDial(calls, number) == CallOutcome::Busy, spoiled);
        QVERIFY(!FaultsForPicture(calls, number).any());
    }

    void callFaultOrder_data() {
        QTest::addColumn<int>("busy");
        QTest::addColumn<int>("noAnswer");
        QTest::addColumn<int>("noDialtone");
        QTest::addColumn<QList<int>>("outcomes"); // of dials 1 to 4
        const int c = int(CallOutcome::Connect), b = int(CallOutcome::Busy),
                  a = int(CallOutcome::NoAnswer), d = int(CallOutcome::NoDialtone);
        QTest::newRow("none") << 0 << 0 << 0 << QList<int>{c, c, c, c};
        QTest::newRow("busy twice") << 2 << 0 << 0 << QList<int>{b, b, c, c};
        QTest::newRow("no answer always") << 0 << -1 << 0 << QList<int>{a, a, a, a};
        QTest::newRow("busy before no answer") << 1 << 3 << 0 << QList<int>{b, a, a, c};
        QTest::newRow("no dial tone first") << 3 << 0 << 1 << QList<int>{d, b, b, c};
    }

    void callFaultOrder() {
        QFETCH(int, busy);
        QFETCH(int, noAnswer);
        QFETCH(int, noDialtone);
        QFETCH(QList<int>, outcomes);
        FaultPlan plan;
        plan.busy = busy;
        plan.noAnswer = noAnswer;
        plan.noDialtone = noDialtone;
        QList<int> got;
        for (int dial = 1; dial <= 4; ++dial)
            got << int(OutcomeForDial(plan, dial));
        QCOMPARE(got, outcomes);
    }

    // "--faults SEED": every picture and dial draws on its own, the same
    // seed gives the same draws, clean ones are the clear majority and
    // every fault turns up; each picture gets one fault at most.
    void randomFaultMix() {
        FaultPlan plan;
        plan.randomSeed = 42;
        FaultPlan again = plan;
        FaultPlan other = plan;
        other.randomSeed = 43;
        constexpr int kDraws = 2000;
        QMap<QString, int> pictures, dials;
        QStringList sequence, otherSequence;
        for (int number = 1; number <= kDraws; ++number) {
            const StreamFaults faults = FaultsForPicture(plan, number);
            const QString names = QString::fromStdString(FaultNames(faults));
            QVERIFY2(!names.contains(' '), qPrintable(names));
            ++pictures[names];
            QCOMPARE(QString::fromStdString(FaultNames(FaultsForPicture(again, number))), names);
            const CallOutcome outcome = OutcomeForDial(plan, number);
            QCOMPARE(OutcomeForDial(again, number), outcome);
            // A call that refuses the escape is a fault of its own.
            ++dials[EscapeRefusedForDial(plan, number) ? QStringLiteral("no-escape")
                                                       : QString::number(int(outcome))];
            sequence << names;
            otherSequence << QString::fromStdString(FaultNames(FaultsForPicture(other, number)));
        }
        QVERIFY(sequence != otherSequence);
        QCOMPARE(pictures.size(), 9); // clean and eight faults
        QCOMPARE(dials.size(), 5); // connect, three call faults, no-escape
        for (const QMap<QString, int>& counts : {pictures, dials}) {
            const int clean = counts.value(counts == pictures ? "" : "0");
            QVERIFY2(clean > kDraws / 2 && clean < kDraws * 7 / 10,
                     qPrintable(QString::number(clean)));
        }
    }

    void options_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<long>("baud");
        QTest::addColumn<int>("dialDelay");
        QTest::addColumn<int>("nulCount");

        const int every = FaultPlan::kEveryPicture;
        QTest::newRow("defaults") << QStringList{} << true << 9600L << 1500 << 0;
        QTest::newRow("baud") << QStringList{"--baud", "115200"} << true << 115200L << 1500 << 0;
        QTest::newRow("baud=") << QStringList{"--baud=2400"} << true << 2400L << 1500 << 0;
        QTest::newRow("baud zero") << QStringList{"--baud=0"} << false << 0L << 0 << 0;
        QTest::newRow("baud missing") << QStringList{"--baud"} << false << 0L << 0 << 0;
        QTest::newRow("baud not a number")
            << QStringList{"--baud", "9600x"} << false << 0L << 0 << 0;
        QTest::newRow("dial delay 0")
            << QStringList{"--dial-delay", "0"} << true << 9600L << 0 << 0;
        QTest::newRow("dial delay negative")
            << QStringList{"--dial-delay", "-5"} << false << 0L << 0 << 0;
        QTest::newRow("fault on every picture")
            << QStringList{"--nul"} << true << 9600L << 1500 << every;
        QTest::newRow("fault on the first two")
            << QStringList{"--nul=2"} << true << 9600L << 1500 << 2;
        QTest::newRow("fault count zero") << QStringList{"--nul=0"} << false << 0L << 0 << 0;
        QTest::newRow("switch with a value") << QStringList{"--fast=1"} << false << 0L << 0 << 0;
        QTest::newRow("unknown") << QStringList{"--turbo"} << false << 0L << 0 << 0;
        QTest::newRow("stray word") << QStringList{"COM1"} << false << 0L << 0 << 0;
    }

    void options() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, valid);
        std::vector<std::string> list;
        for (const QString& argument : arguments)
            list.push_back(argument.toStdString());
        SimOptions options;
        const std::string error = ParseSimOptions(list, options);
        QCOMPARE(error.empty(), valid);
        if (!valid)
            return;
        QTEST(options.baud, "baud");
        QTEST(options.dialDelayMs, "dialDelay");
        QTEST(options.faults.nul, "nulCount");
    }
};

QTEST_APPLESS_MAIN(TestBoardSimPictures)
#include "test_boardsim_pictures.moc"
