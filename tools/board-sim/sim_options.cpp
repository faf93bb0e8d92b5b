#include "tools/board-sim/sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <optional>

namespace {

std::optional<long> ParseNumber(const std::string& text, long lowest, long highest) {
    if (text.empty() || text[0] == ' ' || text[0] == '+')
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

struct FaultFlag {
    const char* name;
    int FaultPlan::*count;
};

const FaultFlag kFaultFlags[] = {
    {"--chatter", &FaultPlan::chatter},
    {"--cut-before-end", &FaultPlan::cutBeforeEnd},
    {"--nul", &FaultPlan::nul},
    {"--noise", &FaultPlan::noise},
    {"--lowercase", &FaultPlan::lowercase},
    {"--hangup-mid-picture", &FaultPlan::hangUpMidPicture},
};

} // namespace

std::string ParseSimOptions(const std::vector<std::string>& arguments, SimOptions& options) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::string name = argument;
        std::optional<std::string> attached;
        if (const auto equals = argument.find('=');
            argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = argument.substr(0, equals);
            attached = argument.substr(equals + 1);
        }

        // Options that take a value, as "--name value" or "--name=value".
        auto value = [&]() -> std::optional<std::string> {
            if (attached)
                return attached;
            if (i + 1 < arguments.size())
                return arguments[++i];
            return std::nullopt;
        };
        auto needsValue = [&](const char* what) { return name + " braucht " + what + "."; };
        auto noValue = [&]() { return "Option " + name + " nimmt keinen Wert."; };

        if (name == "-h" || name == "--help") {
            options.help = true;
        } else if (name == "--link") {
            const auto path = value();
            if (!path || path->empty())
                return needsValue("einen Pfad");
            options.linkPath = *path;
        } else if (name == "--save") {
            const auto path = value();
            if (!path || path->empty())
                return needsValue("ein Verzeichnis");
            options.saveDir = *path;
        } else if (name == "--dial-delay") {
            const auto text = value();
            const auto ms = text ? ParseNumber(*text, 0, 600000) : std::nullopt;
            if (!ms)
                return needsValue("eine Wartezeit in Millisekunden (0 bis 600000)");
            options.dialDelayMs = static_cast<int>(*ms);
        } else if (name == "--baud") {
            const auto text = value();
            const auto baud = text ? ParseNumber(*text, 10, 4000000) : std::nullopt;
            if (!baud)
                return needsValue("eine Geschwindigkeit in Bit/s (10 bis 4000000)");
            options.baud = *baud;
        } else if (name == "--quality") {
            const auto text = value();
            const auto quality = text ? ParseNumber(*text, 1, 100) : std::nullopt;
            if (!quality)
                return needsValue("eine JPEG-Qualität (1 bis 100)");
            options.quality = static_cast<int>(*quality);
        } else if (name == "--fast") {
            if (attached)
                return noValue();
            options.fast = true;
        } else if (name == "--no-echo") {
            if (attached)
                return noValue();
            options.echo = false;
        } else {
            const FaultFlag* fault = nullptr;
            for (const FaultFlag& flag : kFaultFlags)
                if (name == flag.name)
                    fault = &flag;
            if (!fault)
                return "Unbekannte Option: " + argument;
            // A fault spoils every picture, or with "=N" only the first N.
            int count = FaultPlan::kEveryPicture;
            if (attached) {
                const auto n = ParseNumber(*attached, 1, 1000000);
                if (!n)
                    return name + "=N braucht eine Anzahl Bilder ab 1.";
                count = static_cast<int>(*n);
            }
            options.faults.*(fault->count) = count;
        }
    }
    return {};
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
           "  andere AT-Befehle  \"OK\"; Zeilen ohne \"AT\" am Anfang bleiben unbeantwortet\n"
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
           "  --dial-delay MS    Wählzeit in Millisekunden (Vorgabe 1500)\n"
           "  --baud N           Leitungsgeschwindigkeit in Bit/s (Vorgabe 9600): 10 Bit je\n"
           "                     Zeichen, also 960 Zeichen je Sekunde bei 9600\n"
           "  --fast             sendet so schnell, wie das Pseudo-Terminal es abnimmt\n"
           "  --save VERZ        speichert jedes Bild vor dem Senden als\n"
           "                     VERZ/picture-0001.jpg, VERZ/picture-0002.jpg, ...\n"
           "  --quality N        JPEG-Qualität 1 bis 100 (Vorgabe 75)\n"
           "  -h, --help         zeigt diese Hilfe\n"
           "\n"
           "Fehler auf Wunsch (für Tests). Ohne Anzahl betreffen sie jedes Bild, mit =N\n"
           "nur die ersten N Bilder (z. B. --cut-before-end=1: nur das erste Bild):\n"
           "  --chatter[=N]             Modem- und Board-Meldungen vor dem Bild\n"
           "                            (\"RING\", \"Merlon EVA Kamera bereit\", ...)\n"
           "  --cut-before-end[=N]      das Bild endet ohne \"CAM_E\"\n"
           "  --nul[=N]                 ein NUL-Byte zwischen zwei Hex-Paaren\n"
           "  --noise[=N]               drei zufällige Störbytes in den Hex-Paaren\n"
           "  --lowercase[=N]           Hex-Ziffern in Kleinbuchstaben\n"
           "  --hangup-mid-picture[=N]  nach der Hälfte des Bildes \"NO CARRIER\": der\n"
           "                            Anruf ist beendet\n"
           "\n"
           "Ausgabe: erste Zeile der Gerätepfad, dann je gesendetem Bild eine Zeile\n"
           "\"Bild <Nummer>: <Datei> (<Breite>x<Höhe>, <Bytes> Bytes)\"; ohne --save steht\n"
           "\"-\" statt der Datei. Modem-Ereignisse stehen auf der Fehlerausgabe.\n";
}
