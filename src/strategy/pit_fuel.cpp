// Setting the pit-stop fuel amount by typing it into the pit menu, once per lap line at most.
#include "strategy/pit_fuel.h"

#include <cmath>
#include <cstring>
#include <string>

#include "link/outgoing.h"

unsigned pitFuelAmount(float need) {
    // In double so that a need stored just below a whole percentage keeps that percentage.
    const double percent = static_cast<double>(need) * 100.0;
    if (std::isnan(percent)) return 0;  // no amount can be typed for an unknown need
    // Checked before the conversion: an out-of-range double has no integer value.
    if (percent >= static_cast<double>(kMaxPitFuelAmount)) return kMaxPitFuelAmount;
    if (percent < 0.0) return 1;  // nothing needed: the lowest setting
    return static_cast<unsigned>(percent) + 1;
}

unsigned setPitFuel(PitFuelState& state, Tracker& tracker, const IS_LAP& lap, float need, Output& out) {
    const PitFuelState line{tracker.races, lap.PLID, lap.LapsDone};
    if (state.race == line.race && state.plid == line.plid && state.lap == line.lap) {
        diagnose(out, "lap ", lap.LapsDone, " of PLID ", lap.PLID, " came again: its pit fuel is not typed twice");
        return 0;
    }
    const unsigned amount = pitFuelAmount(need);
    if (amount == 0) {
        printLine(out, "Fuel need unknown! Pit fuel not set.");
        return 0;
    }
    state = line;
    printLine(out, "Setting fuel to ", amount, "%");
    const std::size_t size = sendPressBatch(out, amount);
    printLine(out, size, " bytes sent.");

    std::string advice = "SET ";
    appendValue(advice, amount);
    advice += "% F";
    print(out, "Set Advice: ", advice);
    // At most "SET 99% F": 9 characters and the terminator fit the 12 bytes.
    std::memcpy(tracker.latestBoard.advice, advice.c_str(), advice.size() + 1);
    return amount;
}
