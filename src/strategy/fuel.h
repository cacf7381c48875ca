// The fuel estimate: fuel left and used per lap from the viewed player's readings at his lap lines,
// and whether he will run short before the end. It decides; the lap line carries the call out.
#pragma once

#include <cstddef>

#include "link/output.h"
#include "link/wire.h"
#include "race/tracker.h"
#include "strategy/fuel_settings.h"

struct FuelCall {
    bool estimated = false;  // both lap lines of the player were found; the figures below are set
    float use = 0.0f;        // fuel per lap, fraction of a full tank
    float estimate = 0.0f;   // fuel in the tank now, at this lap line
    bool runsShort = false;  // less than three laps' use left with three laps or more to go (with topUp, one or
                             // more), both readings taken: an amount is to be typed
    float need = 0.0f;       // fraction of a full tank the pit menu should be set to
};

// Compares the viewed player's readings at the two lap lines before `lap` (the use averaged over
// more laps when the settings ask for it) and reports the estimate on the console. `slot` is the
// player's slot in the block of lap LapsDone - 1; `lapsToGo` the laps he has still to run.
FuelCall estimateFuel(const Tracker& tracker, const IS_LAP& lap, std::size_t slot, unsigned lapsToGo,
                      const FuelSettings& settings, Output& out);
