// merlon-convert: turns recordings (terminal captures holding a picture
// stream) into JPEG files, one line of report per recording.
#include "camera/recording_conversion.h"
#include "capture/recording_text.h"
#include "platform/files.h"
#include "platform/user_error.h"
#include "tools/options/tool_options.h"

#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] = "Aufruf: merlon-convert MITSCHNITT [-o AUSGABE]\n"
                      "       merlon-convert MITSCHNITT... [-d VERZEICHNIS]\n"
                      "       merlon-convert --help\n";

enum ConvertOptionId { Help, Output, Directory };

const std::vector<ToolOption> kOptions = {
    {Output, "-o", nullptr, OptionValue::Required, "einen Namen", std::nullopt, "AUSGABE", nullptr,
     "schreibt genau nach AUSGABE (nur mit einem Mitschnitt)"},
    {Directory, "-d", nullptr, OptionValue::Required, "einen Namen", std::nullopt, "VERZEICHNIS",
     nullptr, "schreibt VERZEICHNIS/<Name>.jpg für jeden Mitschnitt"},
    {Help, "-h", "--help", OptionValue::None, "", std::nullopt, "", nullptr, "zeigt diese Hilfe"},
};

// Where the help texts begin.
constexpr std::size_t kHelpColumn = 22;

std::string HelpText() {
    return std::string(kUsage) +
           "\n"
           "Wandelt Mitschnitte (Textdateien mit einem Bilddatenstrom zwischen CAM_B und\n"
           "CAM_E) in JPEG-Dateien um, nach denselben Regeln wie \"Aufnahme öffnen\" im\n"
           "Programm. Die Bytes werden auch geschrieben, wenn die Endemarke fehlt.\n"
           "\n"
           "  MITSCHNITT          schreibt MITSCHNITT mit der Endung .jpg statt der\n"
           "                      bisherigen (bild.txt -> bild.jpg); mehrere Mitschnitte\n"
           "                      werden jeder neben sich geschrieben\n" +
           OptionHelp(kOptions, 0, kHelpColumn) +
           "\n"
           "Für jede Umwandlung erscheint eine Zeile: Ausgabedatei, Anzahl der Bytes und\n"
           "ob die Endemarke gesehen wurde. Eine vorhandene Ausgabedatei wird ersetzt;\n"
           "der Mitschnitt selbst wird nie überschrieben.\n"
           "\n"
           "Rückgabewert: 0, wenn alle Dateien geschrieben wurden; 1, wenn ein Mitschnitt\n"
           "nicht gelesen oder eine Ausgabe nicht geschrieben werden konnte (die übrigen\n"
           "werden trotzdem umgewandelt); 2 bei falschem Aufruf.\n";
}

struct Options {
    std::vector<std::string> recordings;
    std::optional<std::string> output;
    std::optional<std::string> directory;
    bool help = false;
};

// Recordings may stand anywhere among the options; after "--" every word is
// one, and "-" alone is a name too.
Options ParseArguments(int argc, char** argv) {
    Options options;
    const CommandLine line =
        ReadCommandLine(std::vector<std::string>(argv + 1, argv + argc), kOptions, Names::Accepted);
    for (const OptionWord& word : line.words) {
        if (!word.option) {
            options.recordings.push_back(word.spelled);
            continue;
        }
        switch (word.option->id) {
        case Help:
            options.help = true;
            break;
        case Output:
        case Directory: {
            auto& target = word.option->id == Output ? options.output : options.directory;
            if (target)
                throw UsageError("Option " + word.spelled + " ist doppelt angegeben");
            target = word.value;
            break;
        }
        }
    }
    if (line.fault)
        throw UsageError(UsageFaultText(*line.fault));
    if (options.help)
        return options;
    if (options.recordings.empty())
        throw UsageError("Kein Mitschnitt angegeben");
    if (options.output && options.directory)
        throw UsageError("-o und -d schließen einander aus");
    if (options.output && options.recordings.size() > 1)
        throw UsageError("-o geht nur mit einem Mitschnitt; für mehrere -d verwenden");
    return options;
}

std::string OutputName(const Options& options, const std::string& recording) {
    if (options.output)
        return *options.output;
    if (options.directory)
        return JpgNameInDirectory(*options.directory, recording);
    return ReplaceExtensionWithJpg(recording);
}

} // namespace

int main(int argc, char** argv) {
    IgnoreFileSizeSignal();
    Options options;
    try {
        options = ParseArguments(argc, argv);
    } catch (const UsageError& error) {
        std::cerr << "merlon-convert: " << error.what() << "\n" << kUsage;
        return kExitUsage;
    }
    if (options.help) {
        std::cout << HelpText();
        return kExitOk;
    }

    int exitCode = kExitOk;
    for (const std::string& recording : options.recordings) {
        try {
            const std::string output = OutputName(options, recording);
            std::cout << ConversionReport(output, ConvertRecording(recording, output)) << std::endl;
        } catch (const UserError& error) {
            std::cerr << "merlon-convert: " << error.what() << std::endl;
            exitCode = kExitFailed;
        } catch (const std::bad_alloc&) {
            std::cerr << "merlon-convert: " << recording
                      << ": zu wenig Arbeitsspeicher für die Umwandlung" << std::endl;
            exitCode = kExitFailed;
        }
    }
    return exitCode;
}
