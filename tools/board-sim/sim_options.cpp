#include "tools/board-sim/sim_options.h"

#include "tools/options/tool_options.h"

namespace {

enum SimOptionId {
    Help,
    Link,
    Save,
    DialDelay,
    Baud,
    Quality,
    Fast,
    NoEcho,
    Numeric,
    Silent,
    RandomFaults,
    // The faults, in the order of kFaultCounts.
    Chatter,
    CutBeforeEnd,
    Nul,
    Noise,
    Lowercase,
    HangUpMidPicture,
    DropDigit,
    FlipDigit,
    Busy,
    NoAnswer,
    NoDialtone,
    NoEscape,
};

int FaultPlan::*const kFaultCounts[] = {
    &FaultPlan::chatter,   &FaultPlan::cutBeforeEnd, &FaultPlan::nul,
    &FaultPlan::noise,     &FaultPlan::lowercase,    &FaultPlan::hangUpMidPicture,
    &FaultPlan::dropDigit, &FaultPlan::flipDigit,    &FaultPlan::busy,
    &FaultPlan::noAnswer,  &FaultPlan::noDialtone,   &FaultPlan::noEscape,
};

// The lists of --help.
enum HelpSection { SettingSection, FaultSection };

// A fault spoils every picture (or dial), or with "=N" only the first N.
const NumberRange kCount{1, 1000000};
constexpr OptionValue kCounted = OptionValue::Optional;

const std::vector<ToolOption> kOptions = {
    {Link, nullptr, "--link", OptionValue::NonEmpty, "einen Pfad", std::nullopt, "PFAD", nullptr,
     "legt eine symbolische Verknüpfung PFAD auf das Gerät an (eine alte Verknüpfung wird "
     "ersetzt, eine Datei nie) und entfernt sie beim Beenden; z. B. --link /tmp/merlon-com1 und "
     "dann MERLON_COM1=/tmp/merlon-com1 für das Programm"},
    {NoEcho, nullptr, "--no-echo", OptionValue::None, "", std::nullopt, "", nullptr,
     "beginnt mit ausgeschaltetem Echo (wie nach ATE0)"},
    {Numeric, nullptr, "--numeric", OptionValue::None, "", std::nullopt, "", nullptr,
     "beginnt mit Meldungen als Zahlen (wie nach ATV0)"},
    {Silent, nullptr, "--silent", OptionValue::None, "", std::nullopt, "", nullptr,
     "beginnt ohne Meldungen (wie nach ATQ1)"},
    {DialDelay, nullptr, "--dial-delay", OptionValue::Required, "eine Wartezeit in Millisekunden",
     NumberRange{0, 600000}, "MS", "1500", "Wählzeit in Millisekunden (Vorgabe {default})"},
    {Baud, nullptr, "--baud", OptionValue::Required, "eine Geschwindigkeit in Bit/s",
     NumberRange{10, 4000000}, "N", "9600",
     "Leitungsgeschwindigkeit in Bit/s (Vorgabe {default}): 10 Bit je Zeichen, also 960 "
     "Zeichen je Sekunde bei 9600"},
    {Fast, nullptr, "--fast", OptionValue::None, "", std::nullopt, "", nullptr,
     "sendet so schnell, wie das Pseudo-Terminal es abnimmt"},
    {Save, nullptr, "--save", OptionValue::NonEmpty, "ein Verzeichnis", std::nullopt, "VERZ",
     nullptr,
     "speichert jedes Bild vor dem Senden als VERZ/picture-0001.jpg, VERZ/picture-0002.jpg, ..."},
    {Quality, nullptr, "--quality", OptionValue::Required, "eine JPEG-Qualität",
     NumberRange{1, 100}, "N", "75", "JPEG-Qualität {range} (Vorgabe {default})"},
    // "--help=..." has always been taken as "--help".
    {Help, "-h", "--help", OptionValue::Optional, "", std::nullopt, "", nullptr,
     "zeigt diese Hilfe"},
    {Busy, nullptr, "--busy", kCounted, "", kCount, "N", nullptr,
     "\"BUSY\" nach der Wählzeit statt \"CONNECT\"", FaultSection},
    {NoAnswer, nullptr, "--no-answer", kCounted, "", kCount, "N", nullptr,
     "\"NO ANSWER\" nach Klingeln von fünf Wählzeiten", FaultSection},
    {NoDialtone, nullptr, "--no-dialtone", kCounted, "", kCount, "N", nullptr,
     "\"NO DIALTONE\" nach einem Fünftel der Wählzeit", FaultSection},
    {NoEscape, nullptr, "--no-escape", kCounted, "", kCount, "N", nullptr,
     "der Anruf nimmt kein Escape an (wie ein Modem mit S2=255): \"+++\" und die Zeilen "
     "danach gehen als Daten an das Board; 3 s nach dem letzten Zeichen legt die Gegenseite "
     "auf (\"NO CARRIER\")",
     FaultSection},
    {Chatter, nullptr, "--chatter", kCounted, "", kCount, "N", nullptr,
     "Modem- und Board-Meldungen vor dem Bild (\"RING\", \"Merlon EVA Kamera bereit\", ...)",
     FaultSection},
    {CutBeforeEnd, nullptr, "--cut-before-end", kCounted, "", kCount, "N", nullptr,
     "das Bild endet ohne \"CAM_E\"", FaultSection},
    {Nul, nullptr, "--nul", kCounted, "", kCount, "N", nullptr,
     "ein NUL-Byte zwischen zwei Hex-Paaren", FaultSection},
    {Noise, nullptr, "--noise", kCounted, "", kCount, "N", nullptr,
     "drei zufällige Störbytes in den Hex-Paaren", FaultSection},
    {Lowercase, nullptr, "--lowercase", kCounted, "", kCount, "N", nullptr,
     "Hex-Ziffern in Kleinbuchstaben", FaultSection},
    {HangUpMidPicture, nullptr, "--hangup-mid-picture", kCounted, "", kCount, "N", nullptr,
     "nach der Hälfte des Bildes \"NO CARRIER\": der Anruf ist beendet", FaultSection},
    {DropDigit, nullptr, "--drop-digit", kCounted, "", kCount, "N", nullptr,
     "eine Hex-Ziffer eines Paares in den Bilddaten fehlt; \"CAM_E\" kommt", FaultSection},
    {FlipDigit, nullptr, "--flip-digit", kCounted, "", kCount, "N", nullptr,
     "eine Hex-Ziffer in den Bilddaten ist eine andere", FaultSection},
    {RandomFaults, nullptr, "--faults", OptionValue::Required, "einen Startwert",
     NumberRange{0, 4294967295L}, "STARTWERT", nullptr,
     "wiederholbare Mischung aller Fehler oben: jede Anwahl und jedes Bild bleibt fehlerfrei "
     "(6\u00a0von\u00a010) oder bekommt einen davon, nach STARTWERT ({range}) und seiner Nummer",
     FaultSection},
};

// Where the help texts of each list begin.
constexpr std::size_t kSettingColumn = 21;
constexpr std::size_t kFaultColumn = 28;

void Take(const OptionWord& word, SimOptions& options) {
    const int id = word.option->id;
    switch (id) {
    case Help:
        options.help = true;
        break;
    case Link:
        options.linkPath = *word.value;
        break;
    case Save:
        options.saveDir = *word.value;
        break;
    case DialDelay:
        options.dialDelayMs = static_cast<int>(word.number);
        break;
    case Baud:
        options.baud = word.number;
        break;
    case Quality:
        options.quality = static_cast<int>(word.number);
        break;
    case Fast:
        options.fast = true;
        break;
    case NoEcho:
        options.echo = false;
        break;
    case Numeric:
        options.verbose = false;
        break;
    case Silent:
        options.quiet = true;
        break;
    case RandomFaults:
        options.faults.randomSeed = static_cast<unsigned>(word.number);
        break;
    default: // a fault
        options.faults.*kFaultCounts[id - Chatter] =
            word.value ? static_cast<int>(word.number) : FaultPlan::kEveryPicture;
        break;
    }
}

} // namespace

std::string ParseSimOptions(const std::vector<std::string>& arguments, SimOptions& options) {
    for (const OptionWord& word : DefaultWords(kOptions))
        Take(word, options);
    const CommandLine line = ReadCommandLine(arguments, kOptions, Names::Refused);
    for (const OptionWord& word : line.words)
        Take(word, options);
    return line.fault ? UsageFaultText(*line.fault) : std::string();
}

std::string SimHelpText(const std::string& programName) {
    return "Aufruf: " + programName +
           " [OPTIONEN]\n"
           "\n"
           "Simuliert Modem und Merlon-Board an einem Pseudo-Terminal.\n"
           "\n"
           "Das Programm öffnet ein Pseudo-Terminal und schreibt den Pfad seines Geräts\n"
           "als erste Zeile auf die Standardausgabe. Dort spielt es ein Hayes-Modem mit\n"
           "Klartext-Meldungen (\"OK\", \"CONNECT 9600\", \"NO CARRIER\") und, nach dem\n"
           "Wählen, das Merlon-Board mit Kamera. Das Gerät bleibt offen, solange der\n"
           "Simulator läuft; die Verbindung übersteht das Schließen und Wiederöffnen\n"
           "des Ports. Strg+C oder SIGTERM beendet den Simulator.\n"
           "\n"
           "Modem (Befehlsmodus):\n"
           "  AT                 \"OK\"; ATE0/ATE1 schaltet das Echo aus/ein\n"
           "  ATD<Nummer>        wählt; nach der Wählzeit \"CONNECT <Baud>\", dann Datenmodus\n"
           "  ATH, ATH0          legt auf, \"OK\"\n"
           "  ATO                zurück in den Datenmodus eines laufenden Anrufs\n"
           "  ATV0, ATV1         Meldungen als Zahlen (\"0\" und CR für \"OK\") / als Text\n"
           "  ATQ1, ATQ0         keine Meldungen / wieder Meldungen (das Echo bleibt)\n"
           "  ATZ                legt auf; Echo und Meldungen wie beim Start\n"
           "  andere AT-Befehle  \"OK\"; Zeilen ohne \"AT\" am Anfang bleiben unbeantwortet\n"
           "  Zahlen: 0 OK, 3 NO CARRIER, 4 ERROR, 6 NO DIALTONE, 7 BUSY, 8 NO ANSWER;\n"
           "  CONNECT mit 5 (1200), 9 (600), 10 (2400), 11 (4800), 12 (9600), 13 (7200),\n"
           "  14 (12000), 15 (14400), 16 (19200), 17 (38400), 18 (57600), 19 (115200),\n"
           "  bei anderen Geschwindigkeiten 1.\n"
           "  Im Befehlsmodus wird jedes Zeichen zurückgesendet (Echo), solange es an ist;\n"
           "  Eingaben während des Wählens werden verworfen.\n"
           "\n"
           "Board (Datenmodus, ohne Echo):\n"
           "  CONBE / CONBA      Blitz ein / aus (das Bild wird deutlich heller)\n"
           "  CONSD / CONSI      direkt ein / aus (roter Rahmen und \"D\" im Bild)\n"
           "  CONRH / CONRL      großes Bild 640 x 480 / kleines Bild 320 x 240\n"
           "  BILD               sendet ein Bild: \"CAM_B\", CR LF, die Bytes des JPEG als\n"
           "                     Hex-Paare mit je einem Leerzeichen, \"CAM_E\", CR LF\n"
           "  +++                zurück in den Befehlsmodus (als eigene Zeile, oder mit je\n"
           "                     1 s Pause davor und danach); danach ATH legt auf\n"
           "  Jedes Bild trägt seine laufende Nummer und die Uhrzeit.\n"
           "\n"
           "Optionen:\n" +
           OptionHelp(kOptions, SettingSection, kSettingColumn) +
           "\n"
           "Fehler auf Wunsch (für Tests). Ohne Anzahl betreffen sie jede Anwahl oder jedes\n"
           "Bild, mit =N nur die ersten N: Anwahlen (ATD) bei den Fehlern des Anrufs,\n"
           "Bilder bei denen des Bildes (z. B. --busy=2: die ersten zwei Anwahlen melden\n"
           "\"BUSY\", die dritte verbindet; --cut-before-end=1: nur das erste Bild).\n"
           "Nach einem Fehler des Anrufs ist das Modem wieder im Befehlsmodus.\n" +
           OptionHelp(kOptions, FaultSection, kFaultColumn) +
           "Treffen mehrere Fehler des Anrufs eine Anwahl, gilt der früheste: NO DIALTONE,\n"
           "dann BUSY, dann NO ANSWER. Die Ziffern-Fehler treffen eine nach der Bildnummer\n"
           "wiederholbare Stelle in den komprimierten Daten des JPEG (nach dem Scan-Kopf,\n"
           "vor der Endmarke FF D9). --save speichert jedes Bild, wie es ohne Fehler wäre.\n"
           "\n"
           "Ausgabe: erste Zeile der Gerätepfad, dann je gesendetem Bild eine Zeile\n"
           "\"Bild <Nummer>: <Datei> (<Breite>x<Höhe>, <Bytes> Bytes)\"; ohne --save steht\n"
           "\"-\" statt der Datei. Mit einer Fehler-Option (--faults eingeschlossen) folgt\n"
           "nach einem Leerzeichen \"Fehler: <Namen>\" (die Optionen ohne \"--\", durch\n"
           "Leerzeichen getrennt) oder \"fehlerfrei\"; genau die Bytes wie gespeichert\n"
           "tragen die Bilder, die fehlerfrei sind oder nur chatter oder nul haben.\n"
           "Modem-Ereignisse und jeder Fehler stehen auf der Fehlerausgabe, als\n"
           "\"Anwahl <Nummer>: Fehler <Name> (<Beschreibung>)\" oder\n"
           "\"Bild <Nummer>: Fehler <Name> (<Beschreibung>)\".\n";
}
