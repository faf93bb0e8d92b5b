// merlon-board-sim: a modem and a Merlon camera board on a pseudo-terminal,
// for trying the program without hardware and for the end-to-end tests.
#include "tools/board-sim/board_sim.h"
#include "tools/board-sim/sim_options.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    SimOptions options;
    const std::string error = ParseSimOptions(arguments, options);
    if (!error.empty()) {
        std::fprintf(stderr, "merlon-board-sim: %s\nHilfe: merlon-board-sim --help\n",
                     error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(SimHelpText("merlon-board-sim").c_str(), stdout);
        return 0;
    }
    return RunBoardSim(options);
}
