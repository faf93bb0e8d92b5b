// merlon-galerie: builds the stations' web site under one folder from their
// journals (merlon-capture --protokoll) and the pictures they name.
#include "platform/clock.h"
#include "platform/user_error.h"
#include "tools/galerie/site_builder.h"
#include "tools/options/tool_options.h"


#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] = "Aufruf: merlon-galerie --ziel ORDNER PROTOKOLL...\n"
                      "       merlon-galerie --help\n";

enum GalerieOptionId { Help, Target };

constexpr std::size_t kHelpColumn = 22;

const std::vector<ToolOption> kOptions = {
    {Target, nullptr, "--ziel", OptionValue::NonEmpty, "einen Ordner", std::nullopt, "ORDNER",
     nullptr, "der Ordner der Website (wird angelegt)"},
    {Help, "-h", "--help", OptionValue::None, "", std::nullopt, "", nullptr, "zeigt diese Hilfe"},
};

std::string HelpText() {
    return "Baut aus den Protokollen einer oder mehrerer Stationen (merlon-capture\n"
           "--protokoll) und den Bildern, die sie nennen, eine statische Website unter\n"
           "ORDNER: index.html mit einer Karte je Station und eine Seite je Station und\n"
           "Tag. Bilder werden fest verlinkt (oder kopiert), Vorschaubilder einmal je\n"
           "Bild gemacht; ein weiterer Lauf macht nur neu, was sich geändert hat.\n"
           "\n" +
           OptionHelp(kOptions, 0, kHelpColumn) +
           "  PROTOKOLL           das Protokoll einer Station; ihr Name ist der Dateiname\n"
           "                      ohne Endung (bei protokoll.jsonl der Name des Ordners)\n"
           "\n"
           "Rückgabewert: 0, wenn alles gebaut wurde; 1, wenn ein Protokoll oder ein Bild\n"
           "nicht gelesen werden konnte (gemeldet, der Rest wird gebaut); 2 bei falschem\n"
           "Aufruf.\n";
}

struct Options {
    std::optional<std::string> target;
    std::vector<std::string> journals;
    bool help = false;
};

Options ParseArguments(int argc, char** argv) {
    Options options;
    const CommandLine line =
        ReadCommandLine(std::vector<std::string>(argv + 1, argv + argc), kOptions, Names::Accepted);
    for (const OptionWord& word : line.words) {
        if (!word.option) {
            options.journals.push_back(word.spelled);
        } else if (word.option->id == Help) {
            options.help = true;
        } else {
            if (options.target)
                throw UsageError("Option " + word.spelled + " ist doppelt angegeben");
            options.target = word.value;
        }
    }
    if (line.fault)
        throw UsageError(UsageFaultText(*line.fault));
    if (options.help)
        return options;
    if (!options.target || options.target->empty())
        throw UsageError("Kein Zielordner angegeben (--ziel ORDNER)");
    if (options.journals.empty())
        throw UsageError("Kein Protokoll angegeben");
    return options;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = ParseArguments(argc, argv);
    } catch (const UsageError& error) {
        std::cerr << "merlon-galerie: " << error.what() << "\n" << kUsage;
        return kExitUsage;
    }
    if (options.help) {
        std::cout << kUsage << "\n" << HelpText();
        return kExitOk;
    }
    try {
        const GalleryReport report =
            BuildGallery({*options.target, options.journals, CurrentClock().wallTimeMs()});
        for (const std::string& note : report.notes)
            std::cerr << "merlon-galerie: " << note << "\n";
        return report.faulty ? kExitFailed : kExitOk;
    } catch (const UserError& error) {
        std::cerr << "merlon-galerie: " << error.what() << std::endl;
        return kExitFailed;
    } catch (const std::bad_alloc&) {
        std::cerr << "merlon-galerie: zu wenig Arbeitsspeicher" << std::endl;
        return kExitFailed;
    }
}
