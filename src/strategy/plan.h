// The stint plan: from the picture of the viewed car at its line, the stops it has left, the fuel of each,
// the laps between which the next one can be made and the use per lap that would drop one.
#pragma once

#include <cstdint>

#include "link/output.h"
#include "race/tracker.h"
#include "strategy/car_at_line.h"
#include "strategy/fuel_settings.h"

struct StintPlan {
    bool made = false;        // the car was pictured with a use; the rest is set
    float use = 0.0f;         // today's use per lap, fraction of a full tank
    unsigned stops = 0;       // stops left, a mandatory one included
    bool mandatory = false;   // the one stop left is the mandatory one and needs no fuel
    float fuel = 0.0f;        // the fuel of the next stop, fraction of a full tank
    float lastFuel = 0.0f;    // of the last stop (the same as `fuel` with even stints or one stop)
    unsigned windowFrom = 0;  // the next stop at the end of a lap from this one (laps completed) ...
    unsigned windowTo = 0;    // ... to this one; both 0 with no stop left
    bool inWindow = false;    // the lap the car drives now may end with the next stop
    float spareLaps = 0.0f;   // no stop left: laps of fuel beyond the flag and the reserve
    float savingUse = 0.0f;   // a use per lap, at least 0.9 x today's, with which one stop fewer does; 0: none
};

// A tank holds 1; a stop is made with the reserve (settings.reserve laps of use) still in the tank.
StintPlan planStints(const CarAtLine& car, const FuelSettings& settings, Stints stints);

// The percent typed for a fuel: the whole percent above it, or the nearest with round="nearest"; 100 at most
// (a full tank).
unsigned plannedPercent(float fuel, const FuelSettings& settings);

// What the console last said of the plan in this race, so that it speaks again only when it changes.
struct PlanShown {
    std::uint32_t race = 0;   // Tracker::races of the race it was said in; 0: nothing said yet
    unsigned stops = 0;
    bool mandatory = false;
    unsigned fuel = 0, lastFuel = 0;  // percent
    unsigned windowFrom = 0, windowTo = 0;
    bool inWindow = false;
    bool saving = false;
};

// "Plan: 2 stops, 77% and 77%, next stop from lap 27 to lap 47." at the first line of a race with a plan and
// whenever the stops, the amounts or the window change (its first lap only while the car is not in it: from
// then on it is the next lap, at every line), and the saving that drops a stop when it starts to apply.
void reportPlan(PlanShown& shown, std::uint32_t race, const StintPlan& plan, const FuelSettings& settings, Output& out);
