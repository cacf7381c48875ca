// Setting the pit-stop fuel amount: the one place where the program types into the game, a batch of
// "/press" commands at most once per lap line, and the advice line it leaves for the board.
#pragma once

#include <cstdint>

#include "link/output.h"
#include "link/wire.h"
#include "race/tracker.h"

// The lap line the pit fuel was last typed at, so that a line repeated by the stream types nothing more.
struct PitFuelState {
    std::uint32_t race = 0;  // Tracker::races at that line
    std::uint8_t plid = 0;
    std::uint16_t lap = 0;   // LapsDone; 0: nothing typed yet
};

// Types the amount for `need` (fraction of a full tank) at the lap line of `lap` and writes the
// advice into latestBoard.advice; nothing when it was typed at that line already. Returns the amount
// typed in percent, 0 when nothing was typed.
unsigned setPitFuel(PitFuelState& state, Tracker& tracker, const IS_LAP& lap, float need, Output& out);

// The amount in percent set for a need: need x 100 truncated, plus one, at most 99;
// 1 for a need of zero or less, 0 (nothing to set) for a NaN.
unsigned pitFuelAmount(float need);
