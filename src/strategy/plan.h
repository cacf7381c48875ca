// The stint plan: from the picture of the viewed car at its line, the stops it has left, the fuel of each,
// the laps between which the next one can be made and the use per lap that would drop one.
#pragma once

#include <cstdint>
#include <optional>

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
    float saveUse = 0.0f;     // no stop left though the reserve is short: the use a lap that keeps it; 0: none
    float savingUse = 0.0f;   // a use per lap, at least 0.9 x today's, with which one stop fewer does; 0: none
};

// A tank holds 1; a stop is made with the reserve (settings.reserve laps of use) still in the tank. A car with
// the fuel to the flag at the highest use of its last five laps makes no stop for the reserve alone. `said`:
// the stops left as the console said them; a count is kept while a use within the noise of today's average
// gives it too, and no stop while the average use reaches the flag with half the reserve.
StintPlan planStints(const CarAtLine& car, const FuelSettings& settings, Stints stints,
                     std::optional<unsigned> said = std::nullopt);

// The percent typed for a fuel: the whole percent above it, or the nearest with round="nearest"; 100 at most
// (a full tank).
unsigned plannedPercent(float fuel, const FuelSettings& settings);

// What the console last said of the plan in this race, and what the line before found, so that it speaks
// only when it matters.
struct PlanShown {
    std::uint32_t race = 0;   // Tracker::races of the race it was said in; 0: nothing said yet
    unsigned stops = 0;       // said
    bool mandatory = false;
    unsigned fuel = 0;        // the next stop's, percent
    bool save = false;        // no stop, the reserve short
    unsigned stopsFound = 0;  // the count of the line before, said or not
    bool mandatoryFound = false;
    bool inWindow = false;    // at the line before
    unsigned stopsMade = 0;   // NumStops at the line before
    unsigned savingStint = 0;  // stopsMade + 1 of the stint the saving was said in; 0: not said
    unsigned savingStops = 0;  // the count said then
    unsigned saidAtStops = 0;  // NumStops when the count was said
};

// The stops left by the count said in `race`, less the stops made since; none without a count said.
std::optional<unsigned> countSaid(const PlanShown& shown, std::uint32_t race, unsigned stopsMade);

// At most one line a lap line. "Plan: 2 stops, 100% and 77%, next stop from lap 27 to lap 47." at the first
// line of a race with a plan, at the first line after a stop, when a new count has held at two lines in a row,
// when the next stop's amount moves by 3 points or more, and when the car leaves its window without a stop;
// "Plan: window open now, until lap 47." as the car starts its window's first lap; else, once a stint and
// count, the saving that drops a stop, when it is lower than today's use as printed. `stopsMade`: NumStops
// of the line.
void reportPlan(PlanShown& shown, std::uint32_t race, unsigned stopsMade, const StintPlan& plan,
                const FuelSettings& settings, Output& out);
