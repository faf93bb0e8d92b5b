// merlon-capture's command line: the table of its options (each option's
// name, value, range, default and help text in one row), the help made from
// it, and the reading of the words into the run's settings.
#pragma once

#include "tools/capture/capture_run.h"

#include <string>
#include <vector>

// The first lines of the help, and what a wrong call prints after its message.
extern const char kCaptureUsage[];

// The settings the words after the program name ask for, every option not
// given at its default; `helpAsked` tells whether --help was among them.
// Throws UsageError (tools/options) for a call that is wrong, --help or not.
CaptureRunOptions ParseCaptureArguments(const std::vector<std::string>& arguments, bool& helpAsked);

// What --help prints: the usage, then the options and what the program does.
std::string CaptureHelpText();
