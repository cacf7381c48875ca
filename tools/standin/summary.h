// The summary printed when a scenario is over: finishing order, the viewed car's fuel at each lap line,
// its stops and what it took, whether it ran dry, and the driver's faults: stray key presses, keys into a
// dialog or text entry, fuel setting changes while standing in the box (the last two when there are any).
#pragma once

#include <string>

#include "standin/race_model.h"

namespace standin {

std::string formatSummary(const SessionReport& report);

}  // namespace standin
