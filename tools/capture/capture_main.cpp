// merlon-capture: takes pictures from the camera board without a display,
// once, every N minutes or back to back, with the same capture session as
// the main window. One line per sound picture on standard output.
#include "camera/capture_modes.h"
#include "platform/com_port_names.h"
#include "platform/files.h"
#include "tools/capture/capture_run.h"
#include "tools/capture/service_watchdog.h"
#include "tools/capture/stop_signals.h"
#include "tools/options/tool_options.h"

#include <QCoreApplication>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kExitUsage = 2;

const char kUsage[] = "Aufruf: merlon-capture [OPTIONEN]\n"
                      "       merlon-capture --help\n";

const char kHelp[] =
    "Nimmt Bilder der Kamera am Merlon-Board ohne Bildschirm auf: ein Bild, alle N\n"
    "Minuten eines oder eines nach dem anderen. Anfordern, Dekodieren und die\n"
    "Dateinamen (STAMM_<Zeitmarke>.jpg) sind dieselben wie im Programm unter\n"
    "\"Aufnahme\"; unter diesem Namen steht aber nur ein Bild, das in Ordnung ist.\n"
    "\n"
    "Port und Leitung:\n"
    "  -p, --port PORT          COM1 bis COM19 wie im Programm (COM<n> ist das Gerät\n"
    "                           in MERLON_COM<n>, sonst /dev/ttyS<n-1>) oder ein\n"
    "                           Gerätepfad; ein Name ohne \"/\" steht für /dev/NAME\n"
    "                           (ttyUSB0 -> /dev/ttyUSB0). Vorgabe COM1\n"
    "  -s, --geschwindigkeit N  Bit/s, Vorgabe 9600\n"
    "  -b, --datenbits N        5 bis 8, Vorgabe 8\n"
    "\n"
    "Bilder:\n"
    "  -n, --name STAMM         Stamm der Dateinamen, auch mit Verzeichnis\n"
    "                           (/srv/kamera/Hof); Vorgabe Kamera\n"
    "  -t, --telefon NUMMER     Telefonnummer des Boards, Vorgabe 0157\n"
    "  --blitz                  \"Blitz\"\n"
    "  --direkt                 \"Direkt\"\n"
    "  --gross, --groß          \"Groß\" (640 x 480 statt 320 x 240)\n"
    "  --zeitnamen              Dateinamen nach der Ortszeit statt nach der\n"
    "                           Zeitmarke: STAMM_JJJJ-MM-TT_hh-mm-ss.jpg\n"
    "\n"
    "Für Webseite, Skripte und Überwachung:\n"
    "  --neuestes DATEI         nach jedem Bild in Ordnung eine Kopie davon unter\n"
    "                           DATEI, die auf einmal ersetzt wird: ein Webserver\n"
    "                           liefert nie ein halbes Bild\n"
    "  --danach BEFEHL          nach jedem Bild in Ordnung /bin/sh -c 'BEFEHL \"$@\"'\n"
    "                           mit dem absoluten Pfad des Bildes als $1 und\n"
    "                           MERLON_DATEI, MERLON_BYTES, MERLON_ZEIT (ISO 8601)\n"
    "                           und MERLON_VERSUCH in der Umgebung. Der Befehl läuft\n"
    "                           neben der Aufnahme, einer nach dem anderen; kommt\n"
    "                           ein neueres Bild, bevor der vorige endet, wartet nur\n"
    "                           das neueste, die übersprungenen werden gemeldet.\n"
    "                           Nach 10 Minuten wird er beendet (SIGTERM, 5 Sekunden\n"
    "                           später SIGKILL); was er ausgibt, steht auf der\n"
    "                           Fehlerausgabe\n"
    "  --metriken DATEI         nach jedem Versuch den Zustand der Station im\n"
    "                           Textformat von Prometheus in DATEI, auf einmal\n"
    "                           ersetzt (für den Textfile-Collector von\n"
    "                           node_exporter: DATEI endet auf .prom)\n"
    "\n"
    "Betriebsart (ohne --alle und --fortlaufend: ein Bild, dann Ende):\n"
    "  --alle N                 alle N Minuten ein Bild (1 bis 71582), das erste\n"
    "                           sofort\n"
    "  --fortlaufend            das nächste Bild gleich nach dem Speichern anfordern\n"
    "  --anwahl                 vor dem Bild wählen (\"AT\", eine Sekunde später\n"
    "                           \"ATD NUMMER\") und die Antwort des Modems lesen: auf\n"
    "                           CONNECT folgt sofort die Anforderung, auf BUSY,\n"
    "                           NO ANSWER, NO CARRIER, NO DIALTONE oder ERROR ist\n"
    "                           der Versuch gescheitert; mit --alle vor jedem Bild\n"
    "                           (im Programm \"ohne Reconnect\"), sonst vor dem ersten\n"
    "                           Bild und nach jedem gescheiterten Versuch. Ohne\n"
    "                           --anwahl muss die Verbindung zum Board schon bestehen\n"
    "  --anwahlzeit S           so viele Sekunden bekommt ein Modem, das auf \"ATD\"\n"
    "                           nichts meldet, bevor das Bild angefordert wird\n"
    "                           (1 bis 600, Vorgabe 30)\n"
    "  --versuche N             so viele Versuche je Bild (1 bis 100, Vorgabe 3)\n"
    "  --wartezeit S            so viele Sekunden darf ein Bild von der Anforderung\n"
    "                           bis zum Speichern dauern (1 bis 86400, Vorgabe 300)\n"
    "  -h, --help               zeigt diese Hilfe\n"
    "\n"
    "Jedes Bild wird geprüft, sobald es ganz da ist. Für jedes, das in Ordnung ist,\n"
    "erscheint eine Zeile auf der Standardausgabe: Datei, Anzahl der Bytes, Uhrzeit\n"
    "und Versuch (\"Versuch 2 von 3\"). Ein beschädigtes oder unlesbares Bild liegt\n"
    "daneben als STAMM_<Zeitmarke>.beschaedigt.jpg (oder .unlesbar.jpg), mit dem\n"
    "empfangenen Text von CAM_B bis CAM_E als .txt, wird auf der Fehlerausgabe\n"
    "gemeldet und sofort noch einmal angefordert. Nach einer gescheiterten Anwahl,\n"
    "einer abgebrochenen Verbindung (auch NO CARRIER mitten im Bild) oder einem\n"
    "Bild, das nicht rechtzeitig kommt, folgt der nächste Versuch nach einer Pause\n"
    "von 5 Sekunden, die sich bei jedem weiteren Fehler verdoppelt, bis zu einer\n"
    "Minute. Mit --alle enden die Versuche, wenn das nächste Bild fällig ist. Ist\n"
    "die Fehlerausgabe ein Terminal, zeigt sie, wie viel vom ankommenden Bild schon\n"
    "da ist. Jeder Fehler ist eine Zeile auf der Fehlerausgabe. Jede Datei wird\n"
    "unter einem verborgenen Namen geschrieben und erst vollständig umbenannt.\n"
    "Ein Bild ersetzt nie eine Datei: ist sein Name schon vergeben (die Zeitmarke\n"
    "beginnt nach jedem Neustart von vorn), bekommt es _2, _3, ... vor der Endung\n"
    "(STAMM_<Zeitmarke>_2.jpg, STAMM_<Zeitmarke>_2.beschaedigt.jpg).\n"
    "\n"
    "Mit --alle und --fortlaufend läuft das Programm weiter, bis es SIGINT (Strg+C)\n"
    "oder SIGTERM erhält: nach dem letzten Versuch folgt das nächste Bild, ein\n"
    "Port, der sich nicht öffnen lässt, wird gemeldet und beim nächsten fälligen\n"
    "Bild wieder versucht, fortlaufend nach derselben wachsenden Pause.\n"
    "\n"
    "Rückgabewert: 0, wenn ein Bild gespeichert wurde oder das Programm durch\n"
    "SIGINT oder SIGTERM endete (der Port wird geschlossen und freigegeben); 1,\n"
    "wenn im Betrieb mit einem Bild jeder Versuch scheiterte (was beiseitegelegt\n"
    "wurde, bleibt), der Port nicht geöffnet oder das Bild nicht gespeichert\n"
    "werden konnte; 2 bei falschem Aufruf.\n";

struct Arguments {
    CaptureRunOptions run;
    bool help = false;
};

class UsageError {
public:
    explicit UsageError(std::string text) : message(std::move(text)) {}
    std::string message;
};

enum CaptureOptionId {
    Help,
    Port,
    Speed,
    DataBits,
    Stem,
    Phone,
    Flash,
    Direct,
    Large,
    Every,
    Continuous,
    DialFirst,
    PictureTimeout,
    Attempts,
    AnswerWait,
    TimeNames,
    Newest,
    AfterPicture,
    Metrics,
};

const std::vector<ToolOption> kOptions = {
    {Help, "-h", "--help"},
    {Port, "-p", "--port", OptionValue::Required, "einen Port"},
    {Speed, "-s", "--geschwindigkeit", OptionValue::Required, "eine Geschwindigkeit",
     NumberRange{1, 4000000}},
    {DataBits, "-b", "--datenbits", OptionValue::Required, "eine Anzahl Datenbits",
     NumberRange{5, 8}},
    {Stem, "-n", "--name", OptionValue::Required, "einen Namen"},
    {Phone, "-t", "--telefon", OptionValue::Required, "eine Telefonnummer"},
    {Flash, nullptr, "--blitz"},
    {Direct, nullptr, "--direkt"},
    {Large, nullptr, "--gross"},
    {Large, nullptr, "--groß"},
    {Every, nullptr, "--alle", OptionValue::Required, "eine Anzahl Minuten",
     NumberRange{1, CaptureModes::kMaxIntervalMinutes}},
    {Continuous, nullptr, "--fortlaufend"},
    {DialFirst, nullptr, "--anwahl"},
    {PictureTimeout, nullptr, "--wartezeit", OptionValue::Required, "eine Anzahl Sekunden",
     NumberRange{1, 86400}},
    {Attempts, nullptr, "--versuche", OptionValue::Required, "eine Anzahl Versuche",
     NumberRange{1, 100}},
    {AnswerWait, nullptr, "--anwahlzeit", OptionValue::Required, "eine Anzahl Sekunden",
     NumberRange{1, 600}},
    {TimeNames, nullptr, "--zeitnamen"},
    {Newest, nullptr, "--neuestes", OptionValue::Required, "einen Dateinamen"},
    {AfterPicture, nullptr, "--danach", OptionValue::Required, "einen Befehl"},
    {Metrics, nullptr, "--metriken", OptionValue::Required, "einen Dateinamen"},
};

std::string MissingValueText(const std::string& spelled, const ToolOption& option) {
    return "Option " + spelled + " braucht " + option.valueName;
}

std::string FaultText(const OptionFault& fault) {
    switch (fault.kind) {
    case OptionFault::Kind::Unknown:
        break;
    case OptionFault::Kind::MissingValue:
        return MissingValueText(fault.spelled, *fault.option);
    case OptionFault::Kind::UnwantedValue:
        return "Option " + fault.spelled + " nimmt keinen Wert";
    case OptionFault::Kind::BadNumber:
        return "'" + fault.value + "' ist für " + fault.spelled + " nicht gültig, erlaubt sind " +
               std::to_string(fault.option->number->lowest) + " bis " +
               std::to_string(fault.option->number->highest);
    }
    return "Unbekannte Option " + fault.word;
}

// "COM<n>" names a port of the program, anything else a device.
ComPortSettings PortSettings(const std::string& port, const ComPortSettings& line) {
    ComPortSettings fields = line;
    const bool comName = port.size() > 3 && (port[0] == 'C' || port[0] == 'c') &&
                         (port[1] == 'O' || port[1] == 'o') && (port[2] == 'M' || port[2] == 'm');
    if (comName) {
        const auto number = ParseNumber(port.substr(3), kFirstComPortNumber, kLastComPortNumber);
        if (!number)
            throw UsageError("Port " + port + " gibt es nicht, erlaubt sind COM1 bis COM19");
        fields.number = static_cast<int>(*number);
        fields.devicePath.clear();
    } else if (port.empty()) {
        throw UsageError("Option --port braucht einen Port");
    } else {
        fields.devicePath = port.find('/') == std::string::npos ? "/dev/" + port : port;
    }
    return fields;
}

Arguments ParseArguments(int argc, char** argv) {
    Arguments arguments;
    CaptureRunOptions& run = arguments.run;
    std::optional<std::string> port;
    bool interval = false;
    bool continuous = false;
    const CommandLine line =
        ReadCommandLine(std::vector<std::string>(argv + 1, argv + argc), kOptions, Names::Refused);
    for (const OptionWord& word : line.words) {
        const auto number = static_cast<std::int32_t>(word.number);
        switch (word.option->id) {
        case Help:
            arguments.help = true;
            break;
        case Port:
            port = word.value;
            break;
        case Speed:
            run.port.speed = number;
            break;
        case DataBits:
            run.port.dataBits = number;
            break;
        case Stem:
            run.stem = *word.value;
            if (run.stem.empty())
                throw UsageError(MissingValueText(word.spelled, *word.option));
            break;
        case Phone:
            run.phoneNumber = *word.value;
            break;
        case Flash:
            run.flash = true;
            break;
        case Direct:
            run.direct = true;
            break;
        case Large:
            run.large = true;
            break;
        case Every:
            run.minutes = number;
            interval = true;
            break;
        case Continuous:
            continuous = true;
            break;
        case DialFirst:
            run.dialFirst = true;
            break;
        case PictureTimeout:
            run.pictureTimeoutSeconds = number;
            break;
        case Attempts:
            run.attempts = number;
            break;
        case AnswerWait:
            run.answerWaitSeconds = number;
            break;
        case TimeNames:
            run.timeNames = true;
            break;
        case Newest:
            run.newestCopy = *word.value;
            break;
        case AfterPicture:
            run.afterPicture = *word.value;
            break;
        case Metrics:
            run.metricsFile = *word.value;
            break;
        }
        const bool needsText = word.option->id == Newest || word.option->id == AfterPicture ||
                               word.option->id == Metrics;
        if (needsText && word.value->empty())
            throw UsageError(MissingValueText(word.spelled, *word.option));
    }
    if (line.fault)
        throw UsageError(FaultText(*line.fault));
    if (interval && continuous)
        throw UsageError("--alle und --fortlaufend schließen einander aus");
    run.mode = interval     ? CaptureRunOptions::Mode::Interval
               : continuous ? CaptureRunOptions::Mode::Continuous
                            : CaptureRunOptions::Mode::OnePicture;
    if (port) {
        run.port = PortSettings(*port, run.port);
        run.portLabel = *port;
    }
    return arguments;
}

} // namespace

int main(int argc, char** argv) {
    IgnoreFileSizeSignal();
    Arguments arguments;
    try {
        arguments = ParseArguments(argc, argv);
    } catch (const UsageError& error) {
        std::cerr << "merlon-capture: " << error.message << "\n" << kUsage;
        return kExitUsage;
    }
    if (arguments.help) {
        std::cout << kUsage << "\n" << kHelp;
        return CaptureRun::kExitOk;
    }

    // Before the application object: a stop from the first moment on is seen.
    StopSignals stop;
    InterruptibleClock clock(stop);
    QCoreApplication application(argc, argv);
    // Before the run: it starts the commands after a picture, which must not
    // find systemd's notification socket in their environment.
    ServiceWatchdog watchdog;
    CaptureRun run(arguments.run, stop);
    watchdog.ready();
    const int exitCode = run.exec();
    watchdog.stopping();
    return exitCode;
}
