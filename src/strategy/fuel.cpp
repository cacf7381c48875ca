// The fuel call: whether the viewed car will run short before the end, from its picture at the line, and
// the amount the pit menu should hold, reported on the console.
#include "strategy/fuel.h"

FuelCall callFuel(const CarAtLine& car, const FuelSettings& settings, std::optional<float> planned, bool noStopPlanned,
                  Output& out) {
    if (!car.estimated) return {};
    FuelCall call{true, car.use, car.level};
    if (noStopPlanned) return call;  // a stop is called only for fuel the car does not have
    const float estimate = car.level;
    // A zero level was never recorded; NaN fails the comparison.
    const float threeLaps = 3.0f * car.use;
    if (!(estimate < threeLaps) || !car.readingsTaken) return call;
    unsigned lapsToGo = car.lapsToGo;
    if (lapsToGo < 3 && !settings.topUp) return call;
    // What the line compares the level with: the fuel to the flag and the reserve without a stop, as a stop is
    // what it calls for; whatever amount is typed.
    const float toFlag = (static_cast<float>(lapsToGo) + settings.reserve) * car.use;

    // In a timed race the stop the amount is for costs time, and the car completes fewer laps.
    if (car.lapsWithStops[0] != lapsToGo) printLine(out, "Laps to go with a stop: ", car.lapsWithStops[0], ".");
    lapsToGo = car.lapsWithStops[0];
    // The fuel for the laps to go and the reserve; to the finish, less what the tank holds now.
    const float lapsNeeded = static_cast<float>(lapsToGo) + settings.reserve;
    float need = lapsNeeded * car.use;
    if (settings.topUp) {
        if (lapsToGo == 0) return call;
        if (car.stopAfterReading != 0) {
            printLine(out, "Pit stop in lap ", car.stopAfterReading, ": no amount from the reading before it.");
            return call;
        }
    }
    // With the top-up, a stop the tank does not need takes the least, not what the menu held from before.
    bool reaches = settings.topUp && !(estimate < need);
    if (settings.toFinish) need = need - estimate;
    if (planned) reaches = false;  // the plan has a stop left: the car stops, and the plan says with what
    if (reaches) need = 0.0f;
    if (planned) need = *planned;
    const float estimatePercent = estimate * 100.0f;
    if (reaches) printLine(out, "Player has fuel to the flag: pit fuel to the least.");
    else printLine(out, "Player will run out of fuel! ", estimatePercent, "% < ", toFlag * 100.0f, "%");
    call.runsShort = true;
    // The amount typed is the percent above the need; half a percent less makes it the nearest one.
    call.need = settings.roundNearest ? need - 0.005f : need;
    return call;
}
