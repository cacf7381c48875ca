// The stint plan: the fewest stops that reach the flag, their fuel, the window of the next one and the
// saving that drops one, from the viewed car's level, use and laps to go at its line; and how it is shown.
#include "strategy/plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "link/outgoing.h"
#include "strategy/pit_fuel.h"

namespace {

constexpr unsigned kMostStops = 99;  // a use this plan cannot carry to the flag stops planning there
constexpr unsigned kHighLaps = 5;    // the laps ahead the highest recent use is feared for
// The average of the last laps moves by a percent or so from lap to lap: a count said holds while a use this
// much higher or lower gives it, so that the plan does not say 5, 6 and 5 stops as a floor flips.
constexpr double kCountNoise = 0.01;

// Whole laps the car can still drive from `level` before it is down to its reserve, at `use` a lap: a car
// stops at the end of a lap, and what its last lap does not burn stays in the tank.
double lapsBefore(double level, double reserve, double use) { return std::floor((level - reserve) / use); }

// The fuel the car needs beyond `level` to drive `laps` laps at `use` and keep `reserveLaps` of it at the flag.
double fuelShort(double level, double use, double reserveLaps, double laps) {
    return (laps + reserveLaps) * use - level;
}

// The stops that carry the car `laps` laps with the reserve left at the flag, each made at the end of the
// last lap its tank covers: `first` laps from the level now, then `stint` from every full tank. The stints
// are whole laps, the first and every later one alike, so the count is what a car stopping at each window's
// last lap needs.
unsigned stopsFor(double first, double stint, double laps) {
    if (first >= laps) return 0;
    return static_cast<unsigned>(std::min(std::ceil((laps - first) / stint), static_cast<double>(kMostStops)));
}

// The stops at `use` a lap, as the car would make them from `level`; kMostStops + 1 for a use no tank lasts a lap with.
unsigned stopsAt(double level, double use, double reserveLaps, double laps) {
    const double reserve = reserveLaps * use;
    const double stint = lapsBefore(1.0, reserve, use);
    if (stint < 1.0) return kMostStops + 1;
    return stopsFor(std::max(lapsBefore(level, reserve, use), 0.0), stint, laps);
}

// The laps to go when `stops` stops are to come; `fuelled`: those the fuel is for.
double lapsWith(const CarAtLine& car, unsigned stops, bool fuelled = false) {
    const unsigned k = std::min(stops, kStopsTimed) - 1;
    return fuelled ? car.lapsFuelled[k] : car.lapsWithStops[k];
}

// One stop at the least: a stop costs time, and in a timed race the car then completes fewer laps, the fewer
// the more stops it makes.
unsigned stopsNeeded(const CarAtLine& car, double level, double use, double reserveLaps) {
    unsigned stops = 1;
    while (stops < kMostStops && stopsAt(level, use, reserveLaps, lapsWith(car, stops)) > stops) ++stops;
    return stops;
}

// Whether `stops` stops carry the car `laps` laps with the reserve left at the flag.
bool reaches(double level, double use, double reserveLaps, double laps, unsigned stops) {
    return stopsAt(level, use, reserveLaps, laps) <= stops;
}

// The most a use can be, down to 0.9 x `use`, with which `stops` stops do; 0 when even that is too much.
float savingUse(double level, double use, double reserveLaps, double laps, unsigned stops) {
    double low = 0.9 * use;
    if (!reaches(level, low, reserveLaps, laps, stops)) return 0.0f;
    double high = use;
    for (int step = 0; step < 40; ++step) {
        const double middle = (low + high) / 2.0;
        (reaches(level, middle, reserveLaps, laps, stops) ? low : high) = middle;
    }
    return static_cast<float>(low);
}

std::string percentText(float fraction, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(fraction) * 100.0);
    return text;
}

}  // namespace

unsigned plannedPercent(float fuel, const FuelSettings& settings) {
    return pitFuelAmount(settings.roundNearest ? fuel - 0.005f : fuel, kFullTankPercent);
}

std::optional<unsigned> countSaid(const PlanShown& shown, std::uint32_t race, unsigned stopsMade) {
    if (shown.race != race || shown.mandatory || stopsMade < shown.saidAtStops) return std::nullopt;
    const unsigned since = stopsMade - shown.saidAtStops;
    return shown.stops > since ? shown.stops - since : 0;
}

StintPlan planStints(const CarAtLine& car, const FuelSettings& settings, Stints stints, std::optional<unsigned> said) {
    StintPlan plan;
    const double use = car.use, level = car.level, reserveLaps = settings.reserve;
    // From its finishing line on the car has nothing left to plan.
    if (!car.estimated || stints == Stints::Off || !(use > 0.0) || std::isnan(level) || car.lapsToGo == 0) return plan;
    plan.made = true;
    plan.use = car.use;
    const double reserve = reserveLaps * use;
    const double first = std::max(lapsBefore(level, reserve, use), 0.0);  // laps before the first stop
    if (first >= car.lapsToGo) {
        plan.spareLaps = static_cast<float>((level - reserve) / use - car.lapsToGo);
        if (car.mandatoryStopDue && car.lapsToGo >= 1) {
            plan.stops = 1;
            plan.mandatory = true;
            plan.windowFrom = car.lapsDone + 1u;
            plan.windowTo = car.lapsDone + std::max(car.lapsToGo, 2u) - 1u;
            plan.inWindow = true;
        }
        return plan;
    }
    // The fuel to the flag but not the reserve: a stop for fuel the car has costs more than saving a little. The
    // highest use of the last five laps is taken for the next five; over more laps the wobble evens out, and a
    // last stop that filled the tank to the flag does not make the plan hesitate between no stop and one.
    // On the last lap the board says LAST LAP.
    const double highLaps = std::min(car.lapsToGo, kHighLaps);
    const double toFlag = highLaps * std::max(car.highUse, car.use) + (car.lapsToGo - highLaps) * use;
    // Once no stop was said, it holds while the car reaches the flag at its average use with half its reserve.
    const bool noneSaid = said == 0u && level >= (car.lapsToGo + reserveLaps / 2.0) * use;
    if (!car.mandatoryStopDue && (level >= toFlag || noneSaid)) {
        if (car.lapsToGo > 1) plan.saveUse = static_cast<float>(level / (car.lapsToGo + reserveLaps));
        return plan;
    }
    const double stint = lapsBefore(1.0, reserve, use);  // laps of a full tank
    if (stint < 1.0) return {};  // a use no tank lasts a lap with: nothing to plan
    unsigned stops = stopsNeeded(car, level, use, reserveLaps);
    if (said.value_or(0) != 0 && said != stops && !car.mandatoryStopDue &&
        stopsNeeded(car, level, use * (1.0 - kCountNoise), reserveLaps) <= *said &&
        *said <= stopsNeeded(car, level, use * (1.0 + kCountNoise), reserveLaps)) {
        stops = *said;
    }
    const double laps = lapsWith(car, stops);
    const double fuelled = lapsWith(car, stops, true);
    plan.stops = stops;
    // A stop takes a lap's fuel at the least: a driver low on fuel stops whatever the clock says, and a splash
    // of the least, counting on the lap the stop's time may take away, leaves him short and makes him stop again.
    const double needed = std::max(fuelShort(level, use, reserveLaps, fuelled), use);
    if (stints == Stints::Even) {
        plan.fuel = plan.lastFuel = static_cast<float>(std::min(needed / stops, 1.0));
    } else {
        // The last stop takes the fuel for the laps left after it, less what the whole laps before it left.
        plan.fuel = stops > 1 ? 1.0f : static_cast<float>(std::min(needed, 1.0));
        const double lastStint = fuelled - first - (stops - 1) * stint;
        const double leftOver = stops > 1 ? 1.0 - stint * use : level - first * use;
        plan.lastFuel = static_cast<float>(std::clamp(fuelShort(leftOver, use, reserveLaps, lastStint), use, 1.0));
    }
    plan.windowTo = car.lapsDone + static_cast<unsigned>(std::max(first, 1.0));
    // The earliest stop fills the tank, and its stint and those after it still reach the flag.
    const double earliest = std::max(laps - stops * stint, 1.0);
    plan.windowFrom = std::min(car.lapsDone + static_cast<unsigned>(earliest), plan.windowTo);
    plan.inWindow = plan.windowFrom <= car.lapsDone + 1u;
    if (!(car.mandatoryStopDue && stops == 1)) {
        plan.savingUse = savingUse(level, use, reserveLaps, stops > 1 ? laps : car.lapsToGo, stops - 1);
    }
    return plan;
}

namespace {

// The whole plan: "Plan: 2 stops, 100% and 77%, next stop from lap 27 to lap 47."; more than three stops
// in one line of at most 80 characters, "15 stops, 14 full tanks and 40%" or, all alike, "15 stops of 94%".
std::string planLine(const StintPlan& plan, unsigned fuel, unsigned lastFuel) {
    std::string line = "Plan: ";
    if (plan.saveUse != 0.0f) {
        line += "no stop, " + percentText(plan.saveUse, 2) + "% a lap keeps the reserve.";
        return line;
    }
    if (plan.stops == 0) {
        char spare[32];
        std::snprintf(spare, sizeof spare, "%.1f", static_cast<double>(plan.spareLaps));
        return line + "no stop needed, " + spare + " laps spare.";
    }
    if (plan.mandatory) return line + "1 stop (mandatory), no fuel needed.";
    appendValue(line, plan.stops);
    line += plan.stops == 1 ? " stop" : " stops";
    if (plan.stops > 3 && fuel == lastFuel) {
        line += " of ";
        appendValue(line, fuel);
        line += '%';
    } else if (plan.stops > 3) {
        line += ", ";
        appendValue(line, plan.stops - 1);
        if (fuel == kFullTankPercent) {
            line += " full tanks";
        } else {
            line += " of ";
            appendValue(line, fuel);
            line += '%';
        }
        line += " and ";
        appendValue(line, lastFuel);
        line += '%';
    } else {
        for (unsigned k = 1; k <= plan.stops; ++k) {
            line += k == 1 ? ", " : k == plan.stops ? " and " : ", ";
            appendValue(line, k == plan.stops ? lastFuel : fuel);
            line += '%';
        }
    }
    line += ", next stop from lap ";
    appendValue(line, plan.windowFrom);
    line += " to lap ";
    appendValue(line, plan.windowTo);
    line += '.';
    return line;
}

// Hundredths of a percent, as the console prints a use.
long printedHundredths(float use) { return std::lround(static_cast<double>(use) * 10000.0); }

}  // namespace

void reportPlan(PlanShown& shown, std::uint32_t race, unsigned stopsMade, const StintPlan& plan,
                const FuelSettings& settings, Output& out) {
    if (!plan.made) return;
    const bool stopLeft = plan.stops > 0 && !plan.mandatory;
    const unsigned fuel = stopLeft ? plannedPercent(plan.fuel, settings) : 0;
    const unsigned lastFuel = stopLeft ? plannedPercent(plan.lastFuel, settings) : 0;
    const bool save = plan.saveUse != 0.0f;
    const bool first = shown.race != race;
    const bool afterStop = !first && stopsMade != shown.stopsMade;
    const bool newCount = plan.stops != shown.stops || plan.mandatory != shown.mandatory;
    // A count said only once it held at two lines in a row: one lap's use does not make the plan wobble.
    const bool held = plan.stops == shown.stopsFound && plan.mandatory == shown.mandatoryFound;
    const bool moved = fuel > shown.fuel + 2 || shown.fuel > fuel + 2;
    const bool opens = stopLeft && plan.inWindow && !shown.inWindow;
    const bool closes = stopLeft && !plan.inWindow && shown.inWindow;
    const bool whole = first || afterStop || (newCount ? held : moved || closes || (save && !shown.save));
    if (first) shown = PlanShown{};
    shown.race = race;
    shown.stopsFound = plan.stops;
    shown.mandatoryFound = plan.mandatory;
    shown.inWindow = plan.inWindow;
    shown.stopsMade = stopsMade;
    if (whole) {
        shown.saidAtStops = stopsMade;
        shown.stops = plan.stops;
        shown.mandatory = plan.mandatory;
        shown.fuel = fuel;
        shown.save = save;
        printLine(out, planLine(plan, fuel, lastFuel));
    } else if (opens && !newCount) {
        printLine(out, "Plan: window open now, until lap ", plan.windowTo, ".");
    } else if (plan.savingUse != 0.0f && printedHundredths(plan.savingUse) < printedHundredths(plan.use) &&
               !(shown.savingStint == stopsMade + 1 && shown.savingStops == shown.stops)) {
        shown.savingStint = stopsMade + 1;
        shown.savingStops = shown.stops;
        printLine(out, "Plan: one stop fewer at ", percentText(plan.savingUse, 2), "% a lap (now ",
                  percentText(plan.use, 2), "%).");
    }
}
