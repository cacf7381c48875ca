// The command line: --help and --version are answered on the console and end the program; any
// other argument is named on standard error and left aside, so the program runs as without it.
#pragma once

#include <string_view>

#include "link/output.h"

constexpr std::string_view kBanner = "Stintkeeper by Tessel. Version R4.";  // the first console line, and --version

// True when the arguments were answered and the program ends here, with exit code 0.
bool answerArguments(int argc, const char* const* argv, Output& console);
