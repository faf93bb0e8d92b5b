#include "tools/capture/capture_options.h"

#include "camera/capture_modes.h"
#include "platform/com_port_names.h"
#include "tools/options/tool_options.h"

#include <cstdint>
#include <optional>

const char kCaptureUsage[] = "Aufruf: merlon-capture [OPTIONEN]\n"
                             "       merlon-capture --help\n";

namespace {

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
    HoldCall,
    ModemInit,
    PictureTimeout,
    Attempts,
    AnswerWait,
    TimeNames,
    Newest,
    AfterPicture,
    Metrics,
    Journal,
};

// The lists of --help, in the order they are shown.
enum HelpSection { LineSection, PictureSection, OutputSection, ModeSection };

const std::vector<ToolOption> kOptions = {
    {Port, "-p", "--port", OptionValue::NonEmpty, "einen Port", std::nullopt, "PORT", "COM1",
     "COM1 bis COM19 wie im Programm (COM<n> ist das Gerät in MERLON_COM<n>, sonst "
     "/dev/ttyS<n-1>) oder ein Gerätepfad; ein Name ohne \"/\" steht für /dev/NAME (ttyUSB0 -> "
     "/dev/ttyUSB0). Vorgabe {default}",
     LineSection},
    {Speed, "-s", "--geschwindigkeit", OptionValue::Required, "eine Geschwindigkeit",
     NumberRange{1, 4000000}, "N", "9600", "Bit/s, Vorgabe {default}", LineSection},
    {DataBits, "-b", "--datenbits", OptionValue::Required, "eine Anzahl Datenbits",
     NumberRange{5, 8}, "N", "8", "{range}, Vorgabe {default}", LineSection},
    {Stem, "-n", "--name", OptionValue::NonEmpty, "einen Namen", std::nullopt, "STAMM", "Kamera",
     "Stamm der Dateinamen, auch mit Verzeichnis (/srv/kamera/Hof); Vorgabe {default}",
     PictureSection},
    {Phone, "-t", "--telefon", OptionValue::NonEmpty, "eine Telefonnummer", std::nullopt, "NUMMER",
     "0157", "Telefonnummer des Boards, Vorgabe {default}", PictureSection},
    {Flash, nullptr, "--blitz", OptionValue::None, "", std::nullopt, "", nullptr, "\"Blitz\"",
     PictureSection},
    {Direct, nullptr, "--direkt", OptionValue::None, "", std::nullopt, "", nullptr, "\"Direkt\"",
     PictureSection},
    {Large, nullptr, "--gross", OptionValue::None, "", std::nullopt, "", nullptr,
     "\"Groß\" (640 x 480 statt 320 x 240)", PictureSection},
    {Large, nullptr, "--groß"},
    {TimeNames, nullptr, "--zeitnamen", OptionValue::None, "", std::nullopt, "", nullptr,
     "Dateinamen nach der Ortszeit statt nach der Zeitmarke: STAMM_JJJJ-MM-TT_hh-mm-ss.jpg",
     PictureSection},
    {Newest, nullptr, "--neuestes", OptionValue::NonEmpty, "einen Dateinamen", std::nullopt,
     "DATEI", nullptr,
     "nach jedem Bild in Ordnung eine Kopie davon unter DATEI, die auf einmal ersetzt wird: ein "
     "Webserver liefert nie ein halbes Bild",
     OutputSection},
    {AfterPicture, nullptr, "--danach", OptionValue::NonEmpty, "einen Befehl", std::nullopt,
     "BEFEHL", nullptr,
     "nach jedem Bild in Ordnung /bin/sh -c 'BEFEHL \"$@\"' mit dem absoluten Pfad des Bildes "
     "als $1 und MERLON_DATEI, MERLON_BYTES, MERLON_ZEIT (ISO 8601) und MERLON_VERSUCH in der "
     "Umgebung. Der Befehl läuft neben der Aufnahme, einer nach dem anderen; kommt ein neueres "
     "Bild, bevor der vorige endet, wartet nur das neueste, die übersprungenen werden gemeldet. "
     "Nach 10\u00a0Minuten wird er beendet (SIGTERM, 5\u00a0Sekunden später SIGKILL); was er "
     "ausgibt, "
     "steht auf der Fehlerausgabe",
     OutputSection},
    {Metrics, nullptr, "--metriken", OptionValue::NonEmpty, "einen Dateinamen", std::nullopt,
     "DATEI", nullptr,
     "nach jedem Versuch den Zustand der Station im Textformat von Prometheus in DATEI, auf "
     "einmal ersetzt (für den Textfile-Collector von node_exporter: DATEI endet auf .prom)",
     OutputSection},
    {Journal, nullptr, "--protokoll", OptionValue::NonEmpty, "einen Dateinamen", std::nullopt,
     "DATEI", nullptr,
     "nach jedem Versuch eine Zeile JSON (JSON Lines) an DATEI anhängen: Zeit, Port, Versuch, "
     "Ergebnis, Anwahl, Datei, Bytes, Sekunden und Meldung, in den Wörtern der Metriken (für "
     "merlon-galerie und jq)",
     OutputSection},
    {Every, nullptr, "--alle", OptionValue::Required, "eine Anzahl Minuten",
     NumberRange{1, CaptureModes::kMaxIntervalMinutes}, "N", nullptr,
     "alle N Minuten ein Bild ({range}), das erste sofort", ModeSection},
    {Continuous, nullptr, "--fortlaufend", OptionValue::None, "", std::nullopt, "", nullptr,
     "das nächste Bild gleich nach dem Speichern anfordern", ModeSection},
    {DialFirst, nullptr, "--anwahl", OptionValue::None, "", std::nullopt, "", nullptr,
     "vor dem Bild wählen (\"AT\", eine Sekunde später \"ATD\u00a0NUMMER\") und die Antwort des "
     "Modems lesen: auf CONNECT folgt sofort die Anforderung, auf BUSY, NO\u00a0ANSWER, "
     "NO\u00a0CARRIER, "
     "NO\u00a0DIALTONE oder ERROR ist der Versuch gescheitert; mit --alle vor jedem Bild (im "
     "Programm "
     "\"ohne Reconnect\"), sonst vor dem ersten Bild und nach jedem gescheiterten Versuch. Ohne "
     "--anwahl muss die Verbindung zum Board schon bestehen. Vor dem Wählen muss das Modem "
     "auf \"AT\" mit \"OK\" antworten; schweigt es 2\u00a0Sekunden, steht vielleicht noch ein "
     "Anruf: es bekommt das Escape (\"+++\") und \"ATH\", dann noch einmal \"AT\". Den Anruf "
     "beendet das Programm selbst (Escape, \"ATH\"): mit --alle nach jedem Bild, sonst vor dem "
     "Ende und vor jeder neuen Anwahl",
     ModeSection},
    {HoldCall, nullptr, "--verbindung-halten", OptionValue::None, "", std::nullopt, "", nullptr,
     "den Anruf nicht beenden und ohne Prüfung des Modems wählen (\"AT\", eine Sekunde, "
     "\"ATD\")",
     ModeSection},
    {ModemInit, nullptr, "--modeminit", OptionValue::NonEmpty, "einen Befehl", std::nullopt, "TEXT",
     nullptr,
     "TEXT statt \"AT\" vor dem Wählen senden (z.\u00a0B. \"AT&F E1 V1 X4\"), beantwortet wie "
     "\"AT\"",
     ModeSection},
    {AnswerWait, nullptr, "--anwahlzeit", OptionValue::Required, "eine Anzahl Sekunden",
     NumberRange{1, 600}, "S", "30",
     "so viele Sekunden bekommt ein Modem, das auf \"ATD\" nichts meldet, bevor das Bild "
     "angefordert wird ({range}, Vorgabe {default})",
     ModeSection},
    {Attempts, nullptr, "--versuche", OptionValue::Required, "eine Anzahl Versuche",
     NumberRange{1, 100}, "N", "3", "so viele Versuche je Bild ({range}, Vorgabe {default})",
     ModeSection},
    {PictureTimeout, nullptr, "--wartezeit", OptionValue::Required, "eine Anzahl Sekunden",
     NumberRange{1, 86400}, "S", "300",
     "so viele Sekunden darf ein Bild von der Anforderung bis zum Speichern dauern ({range}, "
     "Vorgabe {default})",
     ModeSection},
    {Help, "-h", "--help", OptionValue::None, "", std::nullopt, "", nullptr, "zeigt diese Hilfe",
     ModeSection},
};

// Where the help texts begin, right of the longest heading.
constexpr std::size_t kHelpColumn = 27;

const char kIntroduction[] =
    "Nimmt Bilder der Kamera am Merlon-Board ohne Bildschirm auf: ein Bild, alle N\n"
    "Minuten eines oder eines nach dem anderen. Anfordern, Dekodieren und die\n"
    "Dateinamen (STAMM_<Zeitmarke>.jpg) sind dieselben wie im Programm unter\n"
    "\"Aufnahme\"; unter diesem Namen steht aber nur ein Bild, das in Ordnung ist.\n";

const char kDescription[] =
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
    } else {
        fields.devicePath = port.find('/') == std::string::npos ? "/dev/" + port : port;
    }
    return fields;
}

// What one option, given or by default, sets.
struct Reading {
    CaptureRunOptions run;
    std::string port;
    bool interval = false;
    bool continuous = false;
    bool help = false;

    void take(const OptionWord& word) {
        const auto number = static_cast<std::int32_t>(word.number);
        switch (word.option->id) {
        case Help:
            help = true;
            break;
        case Port:
            port = *word.value;
            break;
        case Speed:
            run.port.speed = number;
            break;
        case DataBits:
            run.port.dataBits = number;
            break;
        case Stem:
            run.stem = *word.value;
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
        case HoldCall:
            run.holdCall = true;
            break;
        case ModemInit:
            run.modemInit = *word.value;
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
        case Journal:
            run.journalFile = *word.value;
            break;
        }
    }
};

} // namespace

CaptureRunOptions ParseCaptureArguments(const std::vector<std::string>& arguments,
                                        bool& helpAsked) {
    Reading reading;
    for (const OptionWord& word : DefaultWords(kOptions))
        reading.take(word);
    const CommandLine line = ReadCommandLine(arguments, kOptions, Names::Refused);
    for (const OptionWord& word : line.words)
        reading.take(word);
    if (line.fault)
        throw UsageError(UsageFaultText(*line.fault));
    if (reading.interval && reading.continuous)
        throw UsageError("--alle und --fortlaufend schließen einander aus");
    CaptureRunOptions& run = reading.run;
    run.mode = reading.interval     ? CaptureRunOptions::Mode::Interval
               : reading.continuous ? CaptureRunOptions::Mode::Continuous
                                    : CaptureRunOptions::Mode::OnePicture;
    run.port = PortSettings(reading.port, run.port);
    run.portLabel = reading.port;
    helpAsked = reading.help;
    return run;
}

std::string CaptureHelpText() {
    return std::string(kCaptureUsage) + "\n" + kIntroduction + "\nPort und Leitung:\n" +
           OptionHelp(kOptions, LineSection, kHelpColumn) + "\nBilder:\n" +
           OptionHelp(kOptions, PictureSection, kHelpColumn) +
           "\nFür Webseite, Skripte und Überwachung:\n" +
           OptionHelp(kOptions, OutputSection, kHelpColumn) +
           "\nBetriebsart (ohne --alle und --fortlaufend: ein Bild, dann Ende):\n" +
           OptionHelp(kOptions, ModeSection, kHelpColumn) + "\n" + kDescription;
}
