// Fuel strategy: the estimate of fuel left and used per lap, and typing the pit-stop fuel amount.
// Runs inside the handling of the viewed player's lap line.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/port.h"
#include "link/wire.h"
#include "race/session.h"

// Compares the fuel readings of the viewed player at the two lap lines before `lap`;
// `slot` is the player's slot in the block of lap LapsDone - 1. May set "PIT" and call setPitFuel.
void estimateFuel(Tracker& tracker, const IS_LAP& lap, std::size_t slot, Port& port);

// Types the pit fuel amount for `need` (fraction of a full tank) as one batch of "/press" commands
// and writes the advice line into latestBoard.advice.
void setPitFuel(Tracker& tracker, float need, Port& port);

// The amount in percent that setPitFuel sets for a need: need x 100 truncated, plus one, at most 99;
// 1 for a need of zero or less, 0 (nothing to set) for a NaN.
unsigned pitFuelAmount(float need);
