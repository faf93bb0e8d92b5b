// merlon-capture's command line: the settings a run gets, its defaults
// included, and the calls it refuses with their messages.
#include "tools/capture/capture_options.h"
#include "tools/options/tool_options.h"

#include <QtTest>

namespace {

// The settings in one line, or the refusal's message after "!".
QString Read(const QStringList& arguments) {
    std::vector<std::string> words;
    for (const QString& argument : arguments)
        words.push_back(argument.toStdString());
    bool help = false;
    CaptureRunOptions run;
    try {
        run = ParseCaptureArguments(words, help);
    } catch (const UsageError& error) {
        return "! " + QString::fromUtf8(error.what());
    }
    static const char* const kModes[] = {"ein Bild", "alle", "fortlaufend"};
    QStringList parts{
        QString::fromStdString(run.portLabel) + "=" +
            QString::fromStdString(run.port.devicePath.empty()
                                       ? "COM" + std::to_string(run.port.number)
                                       : run.port.devicePath),
        QStringLiteral("%1/%2").arg(run.port.speed).arg(run.port.dataBits),
        QString::fromStdString(run.stem),
        QString::fromStdString(run.phoneNumber),
        kModes[static_cast<int>(run.mode)] + (run.mode == CaptureRunOptions::Mode::Interval
                                                  ? " " + QString::number(run.minutes)
                                                  : QString()),
        QStringLiteral("%1x %2s %3s")
            .arg(run.attempts)
            .arg(run.pictureTimeoutSeconds)
            .arg(run.answerWaitSeconds),
    };
    for (const auto& [set, name] : {std::pair{run.flash, "blitz"},
                                    {run.direct, "direkt"},
                                    {run.large, "groß"},
                                    {run.dialFirst, "anwahl"},
                                    {run.timeNames, "zeitnamen"},
                                    {help, "hilfe"}})
        if (set)
            parts << name;
    for (const std::string* text : {&run.newestCopy, &run.afterPicture, &run.metricsFile})
        if (!text->empty())
            parts << QString::fromStdString(*text);
    return parts.join(' ');
}

} // namespace

class TestCaptureOptions : public QObject {
    Q_OBJECT

private slots:
    void readsTheRunsSettings_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("read");
        QTest::newRow("defaults") << QStringList{}
                                  << "COM1=COM1 9600/8 Kamera 0157 ein Bild 3x 300s 30s";
        QTest::newRow("every option")
            << QStringList{"-p",          "com7",
                           "-s",          "115200",
                           "-b",          "7",
                           "-n",          "/srv/Hof",
                           "-t",          "0170",
                           "--alle",      "10",
                           "--blitz",     "--direkt",
                           "--groß",      "--anwahl",
                           "--zeitnamen", "--versuche",
                           "5",           "--wartezeit",
                           "60",          "--anwahlzeit=9",
                           "--neuestes",  "neu.jpg",
                           "--danach",    "echo",
                           "--metriken",  "m.prom"}
            << "com7=COM7 115200/7 /srv/Hof 0170 alle 10 5x 60s 9s blitz direkt groß anwahl "
               "zeitnamen neu.jpg echo m.prom";
        QTest::newRow("a device by its name") << QStringList{"--port", "ttyUSB0", "--fortlaufend"}
                                              << "ttyUSB0=/dev/ttyUSB0 9600/8 Kamera 0157 "
                                                 "fortlaufend 3x 300s 30s";
        QTest::newRow("help") << QStringList{"-h"}
                              << "COM1=COM1 9600/8 Kamera 0157 ein Bild 3x 300s 30s hilfe";
        QTest::newRow("empty telephone number")
            << QStringList{"--telefon", ""} << "! Option --telefon braucht eine Telefonnummer";
        QTest::newRow("a short option takes no =")
            << QStringList{"-n="} << "! Unbekannte Option: -n=";
        QTest::newRow("empty stem")
            << QStringList{"--name="} << "! Option --name braucht einen Namen";
        QTest::newRow("empty port") << QStringList{"-p", ""} << "! Option -p braucht einen Port";
        QTest::newRow("empty hook")
            << QStringList{"--danach", ""} << "! Option --danach braucht einen Befehl";
        QTest::newRow("no such COM port")
            << QStringList{"--port", "COM20"}
            << "! Port COM20 gibt es nicht, erlaubt sind COM1 bis COM19";
        QTest::newRow("bad number")
            << QStringList{"--datenbits", "9"}
            << "! '9' ist für --datenbits nicht gültig, erlaubt sind 5 bis 8";
        QTest::newRow("both modes") << QStringList{"--alle", "1", "--fortlaufend"}
                                    << "! --alle und --fortlaufend schließen einander aus";
        QTest::newRow("a fault beats --help")
            << QStringList{"--help", "--turbo"} << "! Unbekannte Option: --turbo";
    }

    void readsTheRunsSettings() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, read);
        QCOMPARE(Read(arguments), read);
    }

    // The help shows each default and range the table holds, in its layout.
    void helpShowsTheTable() {
        const QString help = QString::fromStdString(CaptureHelpText());
        QVERIFY(help.startsWith(QString::fromUtf8(kCaptureUsage)));
        for (const char* entry :
             {"  -p, --port PORT          COM1 bis COM19 wie im Programm",
              "  -s, --geschwindigkeit N  Bit/s, Vorgabe 9600\n",
              "  -b, --datenbits N        5 bis 8, Vorgabe 8\n",
              "  --gross, --groß          \"Groß\" (640 x 480 statt 320 x 240)\n",
              "  --versuche N             so viele Versuche je Bild (1 bis 100, Vorgabe 3)\n",
              "                           (1 bis 600, Vorgabe 30)\n"})
            QVERIFY2(help.contains(QString::fromUtf8(entry)), entry);
    }
};

QTEST_APPLESS_MAIN(TestCaptureOptions)
#include "test_capture_options.moc"
