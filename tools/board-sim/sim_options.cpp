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

// A fault spoils every picture (or dial), or with "=N" only the first N.
const char kPictures[] = "eine Anzahl Bilder ab 1";
const char kDials[] = "eine Anzahl Anwahlen ab 1";
const NumberRange kCount{1, 1000000};

const std::vector<ToolOption> kOptions = {
    // "--help=..." has always been taken as "--help".
    {Help, "-h", "--help", OptionValue::Optional},
    {Link, nullptr, "--link", OptionValue::Required, "einen Pfad"},
    {Save, nullptr, "--save", OptionValue::Required, "ein Verzeichnis"},
    {DialDelay, nullptr, "--dial-delay", OptionValue::Required,
     "eine Wartezeit in Millisekunden (0 bis 600000)", NumberRange{0, 600000}},
    {Baud, nullptr, "--baud", OptionValue::Required,
     "eine Geschwindigkeit in Bit/s (10 bis 4000000)", NumberRange{10, 4000000}},
    {Quality, nullptr, "--quality", OptionValue::Required, "eine JPEG-Qualität (1 bis 100)",
     NumberRange{1, 100}},
    {Fast, nullptr, "--fast"},
    {NoEcho, nullptr, "--no-echo"},
    {Numeric, nullptr, "--numeric"},
    {Silent, nullptr, "--silent"},
    {RandomFaults, nullptr, "--faults", OptionValue::Required, "einen Startwert (0 bis 4294967295)",
     NumberRange{0, 4294967295L}},
    {Chatter, nullptr, "--chatter", OptionValue::Optional, kPictures, kCount},
    {CutBeforeEnd, nullptr, "--cut-before-end", OptionValue::Optional, kPictures, kCount},
    {Nul, nullptr, "--nul", OptionValue::Optional, kPictures, kCount},
    {Noise, nullptr, "--noise", OptionValue::Optional, kPictures, kCount},
    {Lowercase, nullptr, "--lowercase", OptionValue::Optional, kPictures, kCount},
    {HangUpMidPicture, nullptr, "--hangup-mid-picture", OptionValue::Optional, kPictures, kCount},
    {DropDigit, nullptr, "--drop-digit", OptionValue::Optional, kPictures, kCount},
    {FlipDigit, nullptr, "--flip-digit", OptionValue::Optional, kPictures, kCount},
    {Busy, nullptr, "--busy", OptionValue::Optional, kDials, kCount},
    {NoAnswer, nullptr, "--no-answer", OptionValue::Optional, kDials, kCount},
    {NoDialtone, nullptr, "--no-dialtone", OptionValue::Optional, kDials, kCount},
    {NoEscape, nullptr, "--no-escape", OptionValue::Optional, kDials, kCount},
};

std::string NeedsValueText(const std::string& spelled, const ToolOption& option) {
    return spelled + " braucht " + option.valueName + ".";
}

std::string FaultText(const OptionFault& fault) {
    switch (fault.kind) {
    case OptionFault::Kind::Unknown:
        break;
    case OptionFault::Kind::MissingValue:
        return NeedsValueText(fault.spelled, *fault.option);
    case OptionFault::Kind::UnwantedValue:
        return "Option " + fault.spelled + " nimmt keinen Wert.";
    case OptionFault::Kind::BadNumber:
        // Only a fault's count is optional: "--nul=N braucht ...".
        if (fault.option->value == OptionValue::Optional)
            return NeedsValueText(fault.spelled + "=N", *fault.option);
        return NeedsValueText(fault.spelled, *fault.option);
    }
    return "Unbekannte Option: " + fault.word;
}

} // namespace

std::string ParseSimOptions(const std::vector<std::string>& arguments, SimOptions& options) {
    const CommandLine line = ReadCommandLine(arguments, kOptions, Names::Refused);
    for (const OptionWord& word : line.words) {
        const int id = word.option->id;
        // A path is a value that must not be empty.
        if ((id == Link || id == Save) && word.value->empty())
            return NeedsValueText(word.spelled, *word.option);
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
    return line.fault ? FaultText(*line.fault) : std::string();
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
           "Optionen:\n"
           "  --link PFAD        legt eine symbolische Verknüpfung PFAD auf das Gerät an\n"
           "                     (eine alte Verknüpfung wird ersetzt, eine Datei nie) und\n"
           "                     entfernt sie beim Beenden; z. B. --link /tmp/merlon-com1\n"
           "                     und dann MERLON_COM1=/tmp/merlon-com1 für das Programm\n"
           "  --no-echo          beginnt mit ausgeschaltetem Echo (wie nach ATE0)\n"
           "  --numeric          beginnt mit Meldungen als Zahlen (wie nach ATV0)\n"
           "  --silent           beginnt ohne Meldungen (wie nach ATQ1)\n"
           "  --dial-delay MS    Wählzeit in Millisekunden (Vorgabe 1500)\n"
           "  --baud N           Leitungsgeschwindigkeit in Bit/s (Vorgabe 9600): 10 Bit je\n"
           "                     Zeichen, also 960 Zeichen je Sekunde bei 9600\n"
           "  --fast             sendet so schnell, wie das Pseudo-Terminal es abnimmt\n"
           "  --save VERZ        speichert jedes Bild vor dem Senden als\n"
           "                     VERZ/picture-0001.jpg, VERZ/picture-0002.jpg, ...\n"
           "  --quality N        JPEG-Qualität 1 bis 100 (Vorgabe 75)\n"
           "  -h, --help         zeigt diese Hilfe\n"
           "\n"
           "Fehler auf Wunsch (für Tests). Ohne Anzahl betreffen sie jede Anwahl oder jedes\n"
           "Bild, mit =N nur die ersten N: Anwahlen (ATD) bei den Fehlern des Anrufs,\n"
           "Bilder bei denen des Bildes (z. B. --busy=2: die ersten zwei Anwahlen melden\n"
           "\"BUSY\", die dritte verbindet; --cut-before-end=1: nur das erste Bild).\n"
           "Nach einem Fehler des Anrufs ist das Modem wieder im Befehlsmodus.\n"
           "  --busy[=N]                \"BUSY\" nach der Wählzeit statt \"CONNECT\"\n"
           "  --no-answer[=N]           \"NO ANSWER\" nach Klingeln von fünf Wählzeiten\n"
           "  --no-dialtone[=N]         \"NO DIALTONE\" nach einem Fünftel der Wählzeit\n"
           "  --no-escape[=N]           der Anruf nimmt kein Escape an (wie ein Modem mit\n"
           "                            S2=255): \"+++\" und die Zeilen danach gehen als\n"
           "                            Daten an das Board; 3 s nach dem letzten Zeichen\n"
           "                            legt die Gegenseite auf (\"NO CARRIER\")\n"
           "  --chatter[=N]             Modem- und Board-Meldungen vor dem Bild\n"
           "                            (\"RING\", \"Merlon EVA Kamera bereit\", ...)\n"
           "  --cut-before-end[=N]      das Bild endet ohne \"CAM_E\"\n"
           "  --nul[=N]                 ein NUL-Byte zwischen zwei Hex-Paaren\n"
           "  --noise[=N]               drei zufällige Störbytes in den Hex-Paaren\n"
           "  --lowercase[=N]           Hex-Ziffern in Kleinbuchstaben\n"
           "  --hangup-mid-picture[=N]  nach der Hälfte des Bildes \"NO CARRIER\": der\n"
           "                            Anruf ist beendet\n"
           "  --drop-digit[=N]          eine Hex-Ziffer eines Paares in den Bilddaten\n"
           "                            fehlt; \"CAM_E\" kommt\n"
           "  --flip-digit[=N]          eine Hex-Ziffer in den Bilddaten ist eine andere\n"
           "  --faults STARTWERT        wiederholbare Mischung aller Fehler oben: jede\n"
           "                            Anwahl und jedes Bild bleibt fehlerfrei (6 von 10)\n"
           "                            oder bekommt einen davon, nach STARTWERT\n"
           "                            (0 bis 4294967295) und seiner Nummer\n"
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
