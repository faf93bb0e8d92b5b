// The simulator's event loop: one thread polls the pseudo-terminal for the
// program's bytes and for room to write, runs the modem's timers, makes the
// pictures the board is asked for and paces the line.
#pragma once

#include "tools/board-sim/sim_options.h"

// Runs until SIGINT, SIGTERM or SIGHUP. Prints the device path as the first
// line on stdout. Returns the process exit code; failures are reported on
// stderr in German.
int RunBoardSim(const SimOptions& options);
