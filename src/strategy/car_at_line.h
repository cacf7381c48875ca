// The viewed car at its lap line, worked out once and reported on the console: its level, its use per
// lap, the laps it has to go with and without a stop and its lap time. The fuel call and the plan read it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/output.h"
#include "link/wire.h"
#include "race/race_length.h"
#include "race/tracker.h"
#include "strategy/fuel_settings.h"

constexpr unsigned kStopsTimed = 16;  // the stops whose time the laps to go are worked out with, one by one

struct CarAtLine {
    bool estimated = false;      // both lap lines of the car before this one were found; the rest is set
    std::uint16_t lapsDone = 0;  // LapsDone of this line
    float use = 0.0f;            // fuel per lap, fraction of a full tank
    float highUse = 0.0f;        // the highest use of the last five laps averaged; `use` without them
    float level = 0.0f;          // fuel in the tank now, at this line (0 at the least; a NaN as read)
    bool readingsTaken = false;  // neither level the use came from was 0, a line never read
    unsigned lapsToGo = 0;       // lines still to cross after this one
    // The same when k + 1 stops of settings.stopSeconds are to come (timed races; the last for more).
    unsigned lapsWithStops[kStopsTimed] = {};
    unsigned lapsFuelled[kStopsTimed] = {};    // the same, the last of them a quarter shorter: what the fuel is for
    double lapTimeMs = 0.0;      // the car's recent pace; 0 when it has no lap
    unsigned stopAfterReading = 0;  // with topUp: a lap whose stop came after a reading the level is from
    bool mandatoryStopDue = false;  // the race asks for a stop and the car has made none
};

// From the car's readings at the two lap lines before `lap` (the use averaged over more laps when the
// settings ask for it), reported on the console. `slot` is its slot in the block of lap LapsDone - 1.
CarAtLine carAtLine(const Tracker& tracker, const IS_LAP& lap, std::size_t slot, const Distance& distance,
                    const FuelSettings& settings, Output& out);
