// The fuel call: from the picture of the viewed car at its line, whether it will run short before the
// end and what the pit menu should hold. It decides; the lap line carries the call out.
#pragma once

#include <optional>

#include "link/output.h"
#include "strategy/car_at_line.h"
#include "strategy/fuel_settings.h"

struct FuelCall {
    bool estimated = false;  // the car was pictured at the line; the figures below are set
    float use = 0.0f;        // fuel per lap, fraction of a full tank
    float estimate = 0.0f;   // fuel in the tank now, at this lap line
    bool runsShort = false;  // less than three laps' use left with three laps or more to go (with topUp, one or
                             // more), both readings taken: an amount is to be typed
    float need = 0.0f;       // fraction of a full tank the pit menu should be set to
};

// `planned`: the fuel of the next stop of the stint plan, which takes the place of the fuel to the
// flag when there is one; nothing without a plan or with no stop left. `noStopPlanned`: the plan found the
// fuel to the flag, and no stop is called.
FuelCall callFuel(const CarAtLine& car, const FuelSettings& settings, std::optional<float> planned, bool noStopPlanned,
                  Output& out);
