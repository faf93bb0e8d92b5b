// The simulator's command line: what it understands and its German help.
#pragma once

#include "tools/board-sim/fault_plan.h"

#include <string>
#include <vector>

// The numbers' defaults are those of the option table (sim_options.cpp),
// which ParseSimOptions sets before it reads the command line.
struct SimOptions {
    std::string linkPath; // --link: symbolic link to the device
    bool echo = true;     // --no-echo clears it
    bool verbose = true;  // --numeric clears it: result codes as numbers
    bool quiet = false;   // --silent: no result codes
    int dialDelayMs = 0;
    long baud = 0;       // line speed: pacing and "CONNECT <baud>"
    bool fast = false;   // no pacing: as fast as the pseudo-terminal takes it
    std::string saveDir; // --save: where each picture sent is written
    int quality = 0;     // JPEG quality of the pictures
    FaultPlan faults;
    bool help = false;
};

// Reads the arguments after the program name into options. Returns an empty
// text on success, else the German message that says what is wrong.
std::string ParseSimOptions(const std::vector<std::string>& arguments, SimOptions& options);

std::string SimHelpText(const std::string& programName);
